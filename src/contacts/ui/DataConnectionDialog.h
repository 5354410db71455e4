#pragma once

#include "contacts/mapping/ContactSchema.h"

#include <QDialog>

#include <array>
#include <functional>

class MainForm;
class QComboBox;
class QLineEdit;
class QPushButton;

// frmDataConnection: maps a table of the user's own database onto the fields
// the contact lookup reads (the Data section of the settings). It reads the
// database's tables and columns on a connection of its own, which it closes
// when it closes.
class DataConnectionDialog : public QDialog
{
    Q_OBJECT
public:
    // Edits a connection string (the data-link prompt); returns the given
    // one when the user cancels.
    using ConnectionPrompt = std::function<QString(QWidget* parent, const QString& current)>;

    explicit DataConnectionDialog(MainForm& form, QWidget* parent = nullptr);
    ~DataConnectionDialog() override;

    // Fills the dialog from the settings and opens the stored database.
    void load();
    void setConnectionPrompt(ConnectionPrompt prompt) { m_prompt = std::move(prompt); }

    void done(int result) override;

private:
    // The column lists in the order of their settings.
    enum Column
    {
        PrimKey,
        FirstName,
        LastName,
        ExtraField,
        Picture,
        Number1,
        Number2,
        Number3,
        Number4,
        Number5,
        ColumnCount
    };
    static constexpr int kCaptionCount = 8;

    QComboBox* addColumnList(Column column);
    void openDatabase();
    void fillTables();
    void tableChosen(int index);
    void fillColumns();
    void setColumnListsEnabled(bool enabled);
    QString selectedColumn(Column column) const;
    void chooseConnectString();
    void defaultCaptions();
    void test();
    void save();

    QString setting(const QString& name, const QString& fallback = QString()) const;
    QString GetS(const QString& text) const;

    MainForm& m_form;
    ContactSchema m_schema;
    ConnectionPrompt m_prompt;
    QString m_table; // the table whose columns the lists show
    bool m_filling = false;

    QLineEdit* m_txtConnectString = nullptr;
    QComboBox* m_cmbDBTable = nullptr;
    std::array<QComboBox*, ColumnCount> m_columns{};
    std::array<QLineEdit*, kCaptionCount> m_captions{};
};
