#pragma once

#include <QDialog>
#include <QList>
#include <QPair>

class LocGuru;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits a database connection string of the "Key=Value;" form: the provider,
// its fields and the raw string, kept in step both ways, plus a button that
// tries the connection. Keys the fields do not show are kept as they are.
class ConnectionStringDialog : public QDialog
{
    Q_OBJECT
public:
    // Texts go through `loc` when given (the dialog is made anew for every
    // prompt, so it speaks the language in use).
    explicit ConnectionStringDialog(QWidget* parent = nullptr, const LocGuru* loc = nullptr);

    void setConnectionString(const QString& text);
    QString connectionString() const;
    // A blank connection on the embedded database.
    void newConnection();

    // Opens a throwaway connection; returns the error text, or "" when it opened.
    static QString testConnection(const QString& text);
    // What the last test said (lblTestResult).
    QString testResult() const;

public slots:
    void runTest();

private:
    using Pairs = QList<QPair<QString, QString>>;
    static Pairs parsePairs(const QString& text);
    static QString compose(const Pairs& pairs);
    QString value(const QString& key) const;
    void setValue(const QString& key, const QString& value);
    void removeValue(const QString& key);

    void providerChosen(int index);
    void fieldEdited();
    void rawEdited();
    void showFields();
    void updateRows();
    void browse();
    QLineEdit* addField(const char* name, const QString& label);
    QString GetS(const QString& text) const;

    const LocGuru* m_loc = nullptr;

    Pairs m_pairs;
    bool m_updating = false;
    QFormLayout* m_form = nullptr;
    QComboBox* m_cmbProvider = nullptr;
    QLineEdit* m_txtDataSource = nullptr;
    QPushButton* m_btnBrowse = nullptr;
    QWidget* m_dataSourceRow = nullptr;
    QLabel* m_lblDataSource = nullptr;
    QLineEdit* m_txtHost = nullptr;
    QLineEdit* m_txtPort = nullptr;
    QLineEdit* m_txtDatabase = nullptr;
    QLineEdit* m_txtUser = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QLineEdit* m_txtConnectionString = nullptr;
    QPushButton* m_btnTest = nullptr;
    QLabel* m_lblTestResult = nullptr;
};

// The data-link prompt: a blank string starts a new connection; Cancel gives
// back the given string, OK the edited one.
QString PromptConnectionString(QWidget* parent, const QString& current,
                               const LocGuru* loc = nullptr);
