#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class MainForm;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

// The address-book settings (frmOutlookConnection): which folder of the
// address books holds the contacts, the number buffer, contacts made for
// unknown numbers and the call journal. Save stores the Outlook\... values;
// Cancel stores nothing.
class AddressBookDialog : public QDialog
{
    Q_OBJECT
public:
    struct Hooks
    {
        // The number of contacts in a folder (btnTest); the address-book
        // reader answers it. Without it the button is disabled.
        std::function<int(const QString& folder)> countContacts;
        // Rebuilds the number buffer at once (after a save with buffering on).
        std::function<void()> restartBuffer;
        // Lets the user pick the journal folder, starting at `current`; an
        // empty answer keeps it. A folder dialog when empty.
        std::function<QString(const QString& current)> chooseJournalFolder;
    };

    AddressBookDialog(MainForm& form, Hooks hooks, QWidget* parent = nullptr);

    // The folders of cmbContactsFolder, in the list's order.
    const QStringList& folderPaths() const { return m_folderPaths; }
    QString selectedFolder() const;

private:
    void buildControls();
    void loadSettings();
    void fillFolders(const QString& stored);
    void checkJournal();
    void updateEnabledState();
    void btnTest_Click();
    void btnSave_Click();
    void btnJournalFolder_Click();
    QString GetS(const QString& text) const;

    MainForm& m_form;
    Hooks m_hooks;
    QString m_root;
    QStringList m_folderPaths;
    QComboBox* m_cmbContactsFolder = nullptr;
    QCheckBox* m_cbCreateNewContact = nullptr;
    QCheckBox* m_cbIfNameAvailable = nullptr;
    QCheckBox* m_cbOpenNewContact = nullptr;
    QCheckBox* m_cbAddJournalItem = nullptr;
    QCheckBox* m_cbOpenJournalItem = nullptr;
    QCheckBox* m_cbOpenFoundContact = nullptr;
    QCheckBox* m_cbBufferContacts = nullptr;
    QGroupBox* m_fraJournal = nullptr;
    QLineEdit* m_txtJournalFolder = nullptr;
};
