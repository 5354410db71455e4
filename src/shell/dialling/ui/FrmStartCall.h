#pragma once

#include <QDialog>

class MainForm;
class QLabel;
class QLineEdit;
class QPushButton;

// The dial dialog: one number, dialled on the outgoing device. It remembers
// the number dialled last (StartCallWin\LastCalled) and its position.
class FrmStartCall : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* kSettingsKey = "StartCallWin";

    // StartCall: opens a new dialog, pre-filled with the number's digits or
    // the number dialled last. It deletes itself when closed.
    static FrmStartCall* StartCall(MainForm& form, const QString& number, QWidget* parent);

    FrmStartCall(MainForm& form, const QString& number, QWidget* parent = nullptr);

protected:
    void done(int result) override;

private:
    void numberEdited(const QString& text);
    void btnStart_Click();
    void showLettersHint();

    MainForm& m_form;
    QLineEdit* m_txtNumber;
    QLabel* m_lblLetters;
    QPushButton* m_btnStart;
};
