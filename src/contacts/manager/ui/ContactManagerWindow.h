#pragma once

#include "contacts/manager/ContactsDatabase.h"

#include <QWidget>

#include <functional>

class DialogService;
class LocGuru;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
struct ManagerCommandLine;

// The contact manager's window: the contacts with a search box on the left,
// the chosen contact's form on the right, vCard import and export.
class ContactManagerWindow : public QWidget
{
    Q_OBJECT
public:
    // Where files come from and go to; empty answers cancel. File dialogs
    // unless replaced.
    struct FilePrompts
    {
        std::function<QString()> picture;
        std::function<QStringList()> importFiles;
        std::function<QString()> exportFile;
    };
    using Log = std::function<void(const QString&)>;

    // Larger picture files are refused: they would bloat every lookup.
    static constexpr qint64 kMaxPictureBytes = 4 * 1024 * 1024;
    // vCard files larger than this are not read.
    static constexpr qint64 kMaxImportBytes = 64 * 1024 * 1024;

    ContactManagerWindow(ContactsDatabase& database, DialogService& dialogs, const LocGuru& loc,
                         Log log, QWidget* parent = nullptr);

    void setFilePrompts(FilePrompts prompts);

    // Shows what the command line asks for; false (after telling the user)
    // when the contact to open does not exist.
    bool apply(const ManagerCommandLine& command);
    // A new, unsaved contact filled with these values.
    void startNew(const QString& number, const QString& name, const QString& company);
    bool openContact(const QString& guid);

    // The key of the contact in the form; empty for a new one.
    QString currentGuid() const { return m_current.guid; }
    bool isModified() const { return m_modified; }

public slots:
    void newContact();
    bool save();
    void deleteSelected();
    void choosePicture();
    void removePicture();
    void importCards();
    void exportSelected();
    void exportAll();
    void refreshList();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString GetS(const QString& text, const QStringList& params = {}) const;
    void buildControls();
    QLineEdit* addField(const char* name);
    void showContact(const ManagedContact& contact);
    ManagedContact formContact() const;
    void showPicture();
    void selectGuid(const QString& guid);
    void currentItemChanged(QListWidgetItem* current, QListWidgetItem* previous);
    // Asks to save unsaved edits; false when saving was chosen and failed.
    bool settleChanges();
    void markModified();
    void exportContacts(const QStringList& guids);
    void report(const QString& message, int style);

    ContactsDatabase& m_database;
    DialogService& m_dialogs;
    const LocGuru& m_loc;
    Log m_log;
    FilePrompts m_prompts;

    ManagedContact m_current;
    bool m_modified = false;
    bool m_filling = false;

    QLineEdit* m_txtSearch = nullptr;
    QListWidget* m_lstContacts = nullptr;
    QLineEdit* m_txtFirstName = nullptr;
    QLineEdit* m_txtLastName = nullptr;
    QLineEdit* m_txtCompany = nullptr;
    std::array<QLineEdit*, ManagedContact::kNumberCount> m_txtNumbers{};
    QLineEdit* m_txtEmail = nullptr;
    QPlainTextEdit* m_txtNotes = nullptr;
    QLabel* m_picContact = nullptr;
    QPushButton* m_btnRemovePicture = nullptr;
    QPushButton* m_btnDelete = nullptr;
};
