#include "AddressBookDialog.h"

#include "contacts/addressbook/AddressBookFolders.h"
#include "contacts/journal/CallJournal.h"
#include "core/controller/MainForm.h"
#include "platform/AppPaths.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kSection = QStringLiteral("Outlook");

// Each check box and the value it shows, with the value's default.
struct Option
{
    const char* box;
    const char* value;
    bool byDefault;
};
constexpr Option kOptions[] = {
    {"cbCreateNewContact", "CreateNewContact", false}, {"cbIfNameAvailable", "CreateIfName", true},
    {"cbOpenNewContact", "OpenNewContact", false},     {"cbAddJournalItem", "AddToJournal", false},
    {"cbOpenJournalItem", "OpenJournalEntry", false},  {"cbOpenFoundContact", "OpenContact", false},
    {"cbBufferContacts", "BufferContacts", true},
};

QString name(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

AddressBookDialog::AddressBookDialog(MainForm& form, Hooks hooks, QWidget* parent)
    : QDialog(parent), m_form(form), m_hooks(std::move(hooks)),
      m_root(QDir::cleanPath(AppPaths::addressBookDir()))
{
    setObjectName(QStringLiteral("frmOutlookConnection"));
    setWindowTitle(GetS(QStringLiteral("Address book settings")));
    setModal(true);
    buildControls();
    loadSettings();
    setFont(QFont(QStringLiteral("Tahoma"), font().pointSize()));
}

QString AddressBookDialog::GetS(const QString& text) const
{
    return m_form.GetS(text);
}

void AddressBookDialog::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    const auto box = [this](QCheckBox*& member, const char* objectName, const QString& text) {
        member = new QCheckBox(text, this);
        member->setObjectName(name(objectName));
        return member;
    };
    const auto button = [this](const char* objectName, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name(objectName));
        b->setAutoDefault(false);
        return b;
    };
    const auto indented = [](QWidget* w) {
        auto* row = new QHBoxLayout;
        row->addSpacing(20);
        row->addWidget(w);
        return row;
    };

    auto* contacts = new QGroupBox(GetS(QStringLiteral("Contacts")), this);
    contacts->setObjectName(QStringLiteral("fraContacts"));
    auto* contactsLayout = new QGridLayout(contacts);
    auto* folderLabel = new QLabel(GetS(QStringLiteral("Contacts folder:")), contacts);
    folderLabel->setObjectName(QStringLiteral("lblContactsFolder"));
    m_cmbContactsFolder = new QComboBox(contacts);
    m_cmbContactsFolder->setObjectName(QStringLiteral("cmbContactsFolder"));
    m_cmbContactsFolder->setMinimumContentsLength(30);
    folderLabel->setBuddy(m_cmbContactsFolder);
    auto* test = button("btnTest", GetS(QStringLiteral("Test")));
    test->setEnabled(bool(m_hooks.countContacts));
    contactsLayout->addWidget(folderLabel, 0, 0);
    contactsLayout->addWidget(m_cmbContactsFolder, 0, 1);
    contactsLayout->addWidget(test, 0, 2);
    contactsLayout->addWidget(
        box(m_cbBufferContacts, "cbBufferContacts",
            GetS(QStringLiteral("Keep a number buffer of the address book (faster lookups)"))),
        1, 0, 1, 3);
    contactsLayout->addWidget(
        box(m_cbOpenFoundContact, "cbOpenFoundContact",
            GetS(QStringLiteral("Open the caller's contact when a call comes in"))),
        2, 0, 1, 3);
    layout->addWidget(contacts);

    auto* created = new QGroupBox(GetS(QStringLiteral("Unknown numbers")), this);
    created->setObjectName(QStringLiteral("fraNewContacts"));
    auto* createdLayout = new QVBoxLayout(created);
    createdLayout->addWidget(box(m_cbCreateNewContact, "cbCreateNewContact",
                                 GetS(QStringLiteral("Create a contact for unknown numbers"))));
    createdLayout->addLayout(indented(box(m_cbIfNameAvailable, "cbIfNameAvailable",
                                          GetS(QStringLiteral("Only when a name is known")))));
    createdLayout->addLayout(
        indented(box(m_cbOpenNewContact, "cbOpenNewContact",
                     GetS(QStringLiteral("Show the new contact instead of saving it")))));
    layout->addWidget(created);

    m_fraJournal = new QGroupBox(GetS(QStringLiteral("Call journal")), this);
    m_fraJournal->setObjectName(QStringLiteral("fraJournal"));
    auto* journalLayout = new QGridLayout(m_fraJournal);
    journalLayout->addWidget(box(m_cbAddJournalItem, "cbAddJournalItem",
                                 GetS(QStringLiteral("Write a journal entry for every call"))),
                             0, 0, 1, 3);
    auto* openRow = indented(box(m_cbOpenJournalItem, "cbOpenJournalItem",
                                 GetS(QStringLiteral("Show the entry when the call has ended"))));
    journalLayout->addLayout(openRow, 1, 0, 1, 3);
    auto* journalLabel = new QLabel(GetS(QStringLiteral("Journal folder:")), m_fraJournal);
    journalLabel->setObjectName(QStringLiteral("lblJournalFolder"));
    m_txtJournalFolder = new QLineEdit(m_fraJournal);
    m_txtJournalFolder->setObjectName(QStringLiteral("txtJournalFolder"));
    m_txtJournalFolder->setPlaceholderText(AppPaths::journalDir());
    journalLabel->setBuddy(m_txtJournalFolder);
    auto* choose = button("btnJournalFolder", GetS(QStringLiteral("Choose...")));
    journalLayout->addWidget(journalLabel, 2, 0);
    journalLayout->addWidget(m_txtJournalFolder, 2, 1);
    journalLayout->addWidget(choose, 2, 2);
    layout->addWidget(m_fraJournal);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* save = button("btnSave", GetS(QStringLiteral("Save")));
    save->setDefault(true);
    auto* cancel = button("btnCancel", GetS(QStringLiteral("Cancel")));
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(m_cbCreateNewContact, &QCheckBox::toggled, this,
            &AddressBookDialog::updateEnabledState);
    connect(m_cbAddJournalItem, &QCheckBox::toggled, this, &AddressBookDialog::updateEnabledState);
    connect(test, &QPushButton::clicked, this, &AddressBookDialog::btnTest_Click);
    connect(choose, &QPushButton::clicked, this, &AddressBookDialog::btnJournalFolder_Click);
    connect(save, &QPushButton::clicked, this, &AddressBookDialog::btnSave_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void AddressBookDialog::loadSettings()
{
    const SettingsStore& settings = m_form.settings();
    for (const Option& o : kOptions)
        findChild<QCheckBox*>(name(o.box))
            ->setChecked(
                SettingToBool(settings.GetSettingHKCU(kSection, name(o.value), o.byDefault)));
    m_txtJournalFolder->setText(
        settings.GetSettingHKCU(kSection, QStringLiteral("JournalFolder"), QString()).toString());
    fillFolders(
        settings.GetSettingHKCU(kSection, QStringLiteral("ContactsStoreID"), QString()).toString());
    checkJournal();
    updateEnabledState();
}

void AddressBookDialog::fillFolders(const QString& stored)
{
    const auto folders = AddressBookFolders::list(m_root, [this](const QString& path) {
        m_form.LogStr(
            m_form.GetS(QStringLiteral("The folder %s cannot be read and is left out"), path));
    });
    for (const AddressBookFolders::Folder& f : folders) {
        // The root by its full path, so the user sees where the books are.
        const QString text = f.depth == 0
                                 ? QDir::toNativeSeparators(f.path)
                                 : QString(4 * f.depth, QLatin1Char(' ')) + QDir(f.path).dirName();
        m_cmbContactsFolder->addItem(text);
        m_folderPaths << f.path;
    }
    const QString wanted = stored.trimmed().isEmpty() ? m_root : QDir::cleanPath(stored.trimmed());
    qsizetype at = m_folderPaths.indexOf(wanted);
    if (at < 0 && QFileInfo(wanted).isDir()) {
        // A folder outside the address-book root stays choosable, so saving
        // does not move the contacts elsewhere.
        m_cmbContactsFolder->addItem(QDir::toNativeSeparators(wanted));
        m_folderPaths << wanted;
        at = m_folderPaths.size() - 1;
    } else if (at < 0) {
        m_form.LogStr(m_form.GetS(
            QStringLiteral(
                "The contacts folder %s was not found; the address book folder is selected"),
            wanted));
        at = 0;
    }
    m_cmbContactsFolder->setCurrentIndex(int(at));
}

void AddressBookDialog::checkJournal()
{
    SettingsStore& settings = m_form.settings();
    bool usable =
        !SettingToBool(settings.GetSettingHKCU(kSection, QStringLiteral("NoJournal"), false));
    if (usable) {
        const QString dir = CallJournal::folder(m_txtJournalFolder->text());
        QString problem = AppPaths::createDirProblem(dir);
        if (problem.isEmpty())
            problem = AppPaths::writableDirProblem(dir);
        if (!problem.isEmpty()) {
            m_form.LogStr(m_form.GetS(
                QStringLiteral("The call journal folder %s cannot be used: %s"), dir, problem));
            usable = false;
        }
    }
    if (usable)
        return;
    m_cbAddJournalItem->setChecked(false);
    m_cbOpenJournalItem->setChecked(false);
    m_cbAddJournalItem->hide();
    m_cbOpenJournalItem->hide();
    m_fraJournal->hide();
    settings.SaveSettingHKCU(kSection, QStringLiteral("NoJournal"), QStringLiteral("1"));
}

void AddressBookDialog::updateEnabledState()
{
    const bool create = m_cbCreateNewContact->isChecked();
    m_cbIfNameAvailable->setEnabled(create);
    m_cbOpenNewContact->setEnabled(create);
    m_cbOpenJournalItem->setEnabled(m_cbAddJournalItem->isChecked());
}

QString AddressBookDialog::selectedFolder() const
{
    const int at = m_cmbContactsFolder->currentIndex();
    return at >= 0 && at < m_folderPaths.size() ? m_folderPaths.at(at) : m_root;
}

void AddressBookDialog::btnTest_Click()
{
    if (!m_hooks.countContacts)
        return;
    const int count = m_hooks.countContacts(selectedFolder());
    m_form.dialogs().messageBox(
        m_form.GetS(QStringLiteral("Found %s items in the selected folder"), count),
        MsgStyle::Information, QString());
}

void AddressBookDialog::btnJournalFolder_Click()
{
    const QString current = CallJournal::folder(m_txtJournalFolder->text());
    const QString chosen = m_hooks.chooseJournalFolder
                               ? m_hooks.chooseJournalFolder(current)
                               : QFileDialog::getExistingDirectory(
                                     this, GetS(QStringLiteral("Journal folder")), current);
    if (!chosen.isEmpty())
        m_txtJournalFolder->setText(QDir::cleanPath(chosen));
}

void AddressBookDialog::btnSave_Click()
{
    SettingsStore& settings = m_form.settings();
    for (const Option& o : kOptions)
        settings.SaveSettingHKCU(kSection, name(o.value),
                                 findChild<QCheckBox*>(name(o.box))->isChecked()
                                     ? QStringLiteral("1")
                                     : QStringLiteral("0"));
    const QString folder = selectedFolder();
    settings.SaveSettingHKCU(kSection, QStringLiteral("ContactsStoreID"),
                             folder == m_root ? QString() : folder);
    settings.SaveSettingHKCU(kSection, QStringLiteral("JournalFolder"),
                             m_txtJournalFolder->text().trimmed());
    if (m_cbBufferContacts->isChecked() && m_hooks.restartBuffer)
        m_hooks.restartBuffer();
    accept();
}
