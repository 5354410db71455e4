#include "ContactManagerWindow.h"

#include "contacts/manager/ContactCards.h"
#include "contacts/manager/ManagerCommandLine.h"
#include "loc/LocGuru.h"
#include "shell/dialogs/DialogService.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

constexpr int kPictureSize = 96;
constexpr int kMaxListedErrors = 10;

} // namespace

ContactManagerWindow::ContactManagerWindow(ContactsDatabase& database, DialogService& dialogs,
                                           const LocGuru& loc, Log log, QWidget* parent)
    : QWidget(parent), m_database(database), m_dialogs(dialogs), m_loc(loc), m_log(std::move(log))
{
    setObjectName(QStringLiteral("frmContactManager"));
    setWindowTitle(GetS(QStringLiteral("Phonavo Contacts")));
    setFont(QFont(QStringLiteral("Tahoma"), font().pointSize()));
    m_prompts.picture = [this] {
        return QFileDialog::getOpenFileName(
            this, GetS(QStringLiteral("Choose a picture")), QString(),
            GetS(QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif *.bmp);;All files (*)")));
    };
    m_prompts.importFiles = [this] {
        return QFileDialog::getOpenFileNames(
            this, GetS(QStringLiteral("Import contacts")), QString(),
            GetS(QStringLiteral("vCard files (*.vcf *.vcard);;All files (*)")));
    };
    m_prompts.exportFile = [this] {
        return QFileDialog::getSaveFileName(this, GetS(QStringLiteral("Export contacts")),
                                            QStringLiteral("contacts.vcf"),
                                            GetS(QStringLiteral("vCard files (*.vcf)")));
    };
    buildControls();
    refreshList();
    showContact(ManagedContact());
}

void ContactManagerWindow::setFilePrompts(FilePrompts prompts)
{
    m_prompts = std::move(prompts);
}

QString ContactManagerWindow::GetS(const QString& text, const QStringList& params) const
{
    return m_loc.GetS(text, params);
}

QLineEdit* ContactManagerWindow::addField(const char* name)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    connect(edit, &QLineEdit::textEdited, this, &ContactManagerWindow::markModified);
    return edit;
}

void ContactManagerWindow::buildControls()
{
    m_txtSearch = new QLineEdit(this);
    m_txtSearch->setObjectName(QStringLiteral("txtSearch"));
    m_txtSearch->setPlaceholderText(GetS(QStringLiteral("Search name, company or number")));
    m_txtSearch->setClearButtonEnabled(true);
    connect(m_txtSearch, &QLineEdit::textChanged, this, &ContactManagerWindow::refreshList);

    m_lstContacts = new QListWidget(this);
    m_lstContacts->setObjectName(QStringLiteral("lstContacts"));
    m_lstContacts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(m_lstContacts, &QListWidget::currentItemChanged, this,
            &ContactManagerWindow::currentItemChanged);

    const auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    auto* btnNew = button("btnNew", GetS(QStringLiteral("New")));
    m_btnDelete = button("btnDelete", GetS(QStringLiteral("Delete")));
    auto* btnImport = button("btnImport", GetS(QStringLiteral("Import...")));
    auto* btnExport = button("btnExport", GetS(QStringLiteral("Export")));
    auto* exportMenu = new QMenu(btnExport);
    exportMenu->setObjectName(QStringLiteral("mnuExport"));
    QAction* exportSelection = exportMenu->addAction(GetS(QStringLiteral("Selected contacts...")));
    exportSelection->setObjectName(QStringLiteral("mnuExportSelected"));
    QAction* exportEverything = exportMenu->addAction(GetS(QStringLiteral("All contacts...")));
    exportEverything->setObjectName(QStringLiteral("mnuExportAll"));
    btnExport->setMenu(exportMenu);
    connect(btnNew, &QPushButton::clicked, this, &ContactManagerWindow::newContact);
    connect(m_btnDelete, &QPushButton::clicked, this, &ContactManagerWindow::deleteSelected);
    connect(btnImport, &QPushButton::clicked, this, &ContactManagerWindow::importCards);
    connect(exportSelection, &QAction::triggered, this, &ContactManagerWindow::exportSelected);
    connect(exportEverything, &QAction::triggered, this, &ContactManagerWindow::exportAll);

    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {btnNew, m_btnDelete, btnImport, btnExport})
        listButtons->addWidget(b);
    auto* left = new QVBoxLayout;
    left->addWidget(m_txtSearch);
    left->addWidget(m_lstContacts, 1);
    left->addLayout(listButtons);

    auto* form = new QFormLayout;
    const auto row = [this, form](const char* name, const QString& caption) {
        QLineEdit* edit = addField(name);
        auto* label = new QLabel(caption, this);
        label->setObjectName(QStringLiteral("lbl") + QString::fromLatin1(name + 3));
        label->setBuddy(edit);
        form->addRow(label, edit);
        return edit;
    };
    m_txtFirstName = row("txtFirstName", GetS(QStringLiteral("First name:")));
    m_txtLastName = row("txtLastName", GetS(QStringLiteral("Last name:")));
    m_txtCompany = row("txtCompany", GetS(QStringLiteral("Company:")));
    m_txtNumbers[0] = row("txtTelPrivate", GetS(QStringLiteral("Private phone:")));
    m_txtNumbers[1] = row("txtTelCompany", GetS(QStringLiteral("Business phone:")));
    m_txtNumbers[2] = row("txtMobile", GetS(QStringLiteral("Mobile:")));
    m_txtNumbers[3] = row("txtFax", GetS(QStringLiteral("Fax:")));
    m_txtNumbers[4] = row("txtVoIP", GetS(QStringLiteral("VoIP:")));
    m_txtEmail = row("txtEmail", GetS(QStringLiteral("E-mail:")));
    m_txtNotes = new QPlainTextEdit(this);
    m_txtNotes->setObjectName(QStringLiteral("txtNotes"));
    m_txtNotes->setFixedHeight(m_txtNotes->fontMetrics().lineSpacing() * 4 + 12);
    connect(m_txtNotes, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling)
            markModified();
    });
    auto* lblNotes = new QLabel(GetS(QStringLiteral("Notes:")), this);
    lblNotes->setObjectName(QStringLiteral("lblNotes"));
    lblNotes->setBuddy(m_txtNotes);
    form->addRow(lblNotes, m_txtNotes);

    m_picContact = new QLabel(this);
    m_picContact->setObjectName(QStringLiteral("picContact"));
    m_picContact->setFixedSize(kPictureSize, kPictureSize);
    m_picContact->setAlignment(Qt::AlignCenter);
    m_picContact->setFrameShape(QFrame::StyledPanel);
    auto* btnChoose = button("btnChoosePicture", GetS(QStringLiteral("Choose...")));
    m_btnRemovePicture = button("btnRemovePicture", GetS(QStringLiteral("Remove")));
    connect(btnChoose, &QPushButton::clicked, this, &ContactManagerWindow::choosePicture);
    connect(m_btnRemovePicture, &QPushButton::clicked, this, &ContactManagerWindow::removePicture);
    auto* pictureColumn = new QVBoxLayout;
    pictureColumn->addWidget(m_picContact);
    pictureColumn->addWidget(btnChoose);
    pictureColumn->addWidget(m_btnRemovePicture);
    pictureColumn->addStretch(1);

    auto* btnSave = button("btnSave", GetS(QStringLiteral("Save")));
    btnSave->setDefault(true);
    connect(btnSave, &QPushButton::clicked, this, &ContactManagerWindow::save);
    auto* formAndPicture = new QHBoxLayout;
    formAndPicture->addLayout(form, 1);
    formAndPicture->addLayout(pictureColumn);
    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch(1);
    saveRow->addWidget(btnSave);
    auto* right = new QVBoxLayout;
    right->addLayout(formAndPicture);
    right->addStretch(1);
    right->addLayout(saveRow);

    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 2);
    main->addLayout(right, 3);
    resize(760, 460);
}

void ContactManagerWindow::report(const QString& message, int style)
{
    m_log(message);
    m_dialogs.messageBox(message, style, GetS(QStringLiteral("Phonavo Contacts")));
}

void ContactManagerWindow::markModified()
{
    if (!m_filling)
        m_modified = true;
}

void ContactManagerWindow::refreshList()
{
    const auto found = m_database.list(m_txtSearch->text());
    m_filling = true;
    m_lstContacts->clear();
    if (!found) {
        m_filling = false;
        report(found.error(), MsgStyle::Critical);
        return;
    }
    for (const ManagedContact& c : found.value()) {
        QString text = c.displayName();
        if (text.isEmpty())
            text = GetS(QStringLiteral("(no name)"));
        auto* item = new QListWidgetItem(text, m_lstContacts);
        item->setData(Qt::UserRole, c.guid);
        if (!c.company.isEmpty() && text != c.company)
            item->setToolTip(c.company);
    }
    selectGuid(m_current.guid);
    m_filling = false;
}

void ContactManagerWindow::selectGuid(const QString& guid)
{
    const bool filling = m_filling;
    m_filling = true;
    m_lstContacts->setCurrentItem(nullptr);
    m_lstContacts->clearSelection();
    for (int i = 0; i < m_lstContacts->count() && !guid.isEmpty(); ++i)
        if (m_lstContacts->item(i)->data(Qt::UserRole).toString() == guid) {
            m_lstContacts->setCurrentItem(m_lstContacts->item(i));
            m_lstContacts->scrollToItem(m_lstContacts->item(i));
            break;
        }
    m_filling = filling;
}

void ContactManagerWindow::currentItemChanged(QListWidgetItem* current, QListWidgetItem* previous)
{
    if (m_filling || !current)
        return;
    const QString guid = current->data(Qt::UserRole).toString();
    if (guid == m_current.guid)
        return;
    if (!settleChanges()) {
        // Saving failed: stay on the contact being edited.
        m_filling = true;
        m_lstContacts->setCurrentItem(previous);
        m_filling = false;
        return;
    }
    openContact(guid);
}

bool ContactManagerWindow::settleChanges()
{
    if (!m_modified)
        return true;
    QString name = formContact().displayName();
    if (name.isEmpty())
        name = GetS(QStringLiteral("(no name)"));
    const int answer = m_dialogs.messageBox(GetS(QStringLiteral("Save the changes to %s?"), {name}),
                                            MsgStyle::YesNo + MsgStyle::Question,
                                            GetS(QStringLiteral("Phonavo Contacts")));
    if (answer != MsgResult::Yes) {
        m_modified = false;
        return true;
    }
    return save();
}

void ContactManagerWindow::showContact(const ManagedContact& contact)
{
    m_filling = true;
    m_current = contact;
    m_txtFirstName->setText(contact.firstName);
    m_txtLastName->setText(contact.lastName);
    m_txtCompany->setText(contact.company);
    for (int i = 0; i < ManagedContact::kNumberCount; ++i)
        m_txtNumbers[size_t(i)]->setText(contact.numbers[size_t(i)]);
    m_txtEmail->setText(contact.email);
    m_txtNotes->setPlainText(contact.notes);
    showPicture();
    m_modified = false;
    m_filling = false;
}

ManagedContact ContactManagerWindow::formContact() const
{
    ManagedContact c = m_current;
    c.firstName = m_txtFirstName->text().trimmed();
    c.lastName = m_txtLastName->text().trimmed();
    c.company = m_txtCompany->text().trimmed();
    for (int i = 0; i < ManagedContact::kNumberCount; ++i)
        c.numbers[size_t(i)] = m_txtNumbers[size_t(i)]->text().trimmed();
    c.email = m_txtEmail->text().trimmed();
    c.notes = m_txtNotes->toPlainText();
    return c;
}

void ContactManagerWindow::showPicture()
{
    QPixmap pixmap;
    if (!m_current.picture.isEmpty() && pixmap.loadFromData(m_current.picture))
        m_picContact->setPixmap(pixmap.scaled(kPictureSize, kPictureSize, Qt::KeepAspectRatio,
                                              Qt::SmoothTransformation));
    else
        m_picContact->setText(GetS(QStringLiteral("No picture")));
    m_btnRemovePicture->setEnabled(!m_current.picture.isEmpty());
}

void ContactManagerWindow::startNew(const QString& number, const QString& name,
                                    const QString& company)
{
    ManagedContact c;
    const SplitName split = splitPersonName(name);
    c.firstName = split.first;
    c.lastName = split.last;
    c.company = company.trimmed();
    c.numbers[0] = number.trimmed();
    selectGuid(QString());
    showContact(c);
    // Came from a call: nothing is stored until the user saves.
    m_modified = !number.trimmed().isEmpty() || !name.trimmed().isEmpty() || !c.company.isEmpty();
    m_txtFirstName->setFocus();
}

bool ContactManagerWindow::openContact(const QString& guid)
{
    const auto found = m_database.get(guid);
    if (!found) {
        report(found.error(), MsgStyle::Critical);
        return false;
    }
    if (!found.value()) {
        report(GetS(QStringLiteral("There is no contact with the key %s."), {guid}),
               MsgStyle::Exclamation);
        selectGuid(m_current.guid);
        return false;
    }
    showContact(*found.value());
    selectGuid(guid);
    return true;
}

bool ContactManagerWindow::apply(const ManagerCommandLine& command)
{
    switch (command.action) {
    case ManagerCommandLine::Action::New:
        startNew(command.number, command.name, command.extra);
        return true;
    case ManagerCommandLine::Action::Open:
        return openContact(command.guid);
    case ManagerCommandLine::Action::List:
    case ManagerCommandLine::Action::Help:
        break;
    }
    return true;
}

void ContactManagerWindow::newContact()
{
    if (!settleChanges())
        return;
    startNew(QString(), QString(), QString());
}

bool ContactManagerWindow::save()
{
    ManagedContact c = formContact();
    if (c.displayName().isEmpty()) {
        report(GetS(QStringLiteral("Please enter a name, a company or a number.")),
               MsgStyle::Exclamation);
        return false;
    }
    bool stored = false;
    QString error;
    if (!c.guid.isEmpty()) {
        const auto updated = m_database.update(c);
        stored = updated && updated.value();
        error = updated.error();
    }
    // A contact deleted meanwhile (by another window) is stored anew.
    if (!stored && error.isEmpty()) {
        const auto inserted = m_database.insert(c);
        stored = bool(inserted);
        error = inserted.error();
    }
    if (!stored) {
        report(error, MsgStyle::Critical);
        return false;
    }
    m_log(GetS(QStringLiteral("Contact saved: %s"), {c.displayName()}));
    m_current = c;
    m_modified = false;
    refreshList();
    return true;
}

void ContactManagerWindow::deleteSelected()
{
    QStringList guids;
    QStringList names;
    for (QListWidgetItem* item : m_lstContacts->selectedItems()) {
        guids << item->data(Qt::UserRole).toString();
        names << item->text();
    }
    if (guids.isEmpty() && !m_current.guid.isEmpty()) {
        guids << m_current.guid;
        names << m_current.displayName();
    }
    if (guids.isEmpty())
        return;
    const QString question =
        guids.size() == 1
            ? GetS(QStringLiteral("Delete the contact %s?"), {names.first()})
            : GetS(QStringLiteral("Delete %s contacts?"), {QString::number(guids.size())});
    if (m_dialogs.messageBox(question,
                             MsgStyle::YesNo + MsgStyle::Question + MsgStyle::DefaultButton2,
                             GetS(QStringLiteral("Phonavo Contacts"))) != MsgResult::Yes)
        return;
    for (qsizetype i = 0; i < guids.size(); ++i) {
        const auto removed = m_database.remove(guids[i]);
        if (!removed) {
            report(removed.error(), MsgStyle::Critical);
            break;
        }
        m_log(GetS(QStringLiteral("Contact deleted: %s"), {names[i]}));
    }
    if (guids.contains(m_current.guid))
        showContact(ManagedContact());
    refreshList();
}

void ContactManagerWindow::choosePicture()
{
    const QString file = m_prompts.picture ? m_prompts.picture() : QString();
    if (file.isEmpty())
        return;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        report(GetS(QStringLiteral("The picture %s cannot be read: %s"), {file, in.errorString()}),
               MsgStyle::Exclamation);
        return;
    }
    if (in.size() > kMaxPictureBytes) {
        report(GetS(QStringLiteral("The picture %s is larger than %s MB."),
                    {file, QString::number(kMaxPictureBytes / (1024 * 1024))}),
               MsgStyle::Exclamation);
        return;
    }
    const QByteArray bytes = in.readAll();
    if (QImage::fromData(bytes).isNull()) {
        report(GetS(QStringLiteral("%s is not a picture."), {file}), MsgStyle::Exclamation);
        return;
    }
    m_current.picture = bytes;
    showPicture();
    markModified();
}

void ContactManagerWindow::removePicture()
{
    if (m_current.picture.isEmpty())
        return;
    m_current.picture.clear();
    showPicture();
    markModified();
}

void ContactManagerWindow::importCards()
{
    if (!settleChanges())
        return;
    const QStringList files = m_prompts.importFiles ? m_prompts.importFiles() : QStringList();
    if (files.isEmpty())
        return;
    int imported = 0;
    QStringList problems;
    int skipped = 0;
    for (const QString& file : files) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) {
            problems << file + QStringLiteral(": ") + in.errorString();
            continue;
        }
        if (in.size() > kMaxImportBytes) {
            problems << GetS(QStringLiteral("%s: larger than %s MB"),
                             {file, QString::number(kMaxImportBytes / (1024 * 1024))});
            continue;
        }
        const VCardParseResult parsed = VCard::parse(in.readAll());
        for (const VCardError& e : parsed.errors) {
            ++skipped;
            problems << GetS(QStringLiteral("%s, card %s (line %s): %s"),
                             {QFileInfo(file).fileName(), QString::number(e.card),
                              QString::number(e.line), e.reason});
        }
        for (const VCardContact& card : parsed.contacts) {
            ManagedContact c = ContactCards::fromCard(card);
            if (c.displayName().isEmpty()) {
                ++skipped;
                problems << GetS(QStringLiteral("%s: a card without name, company or number"),
                                 {QFileInfo(file).fileName()});
                continue;
            }
            const auto inserted = m_database.insert(c);
            if (!inserted) {
                problems << inserted.error();
                continue;
            }
            ++imported;
        }
    }
    QString message = GetS(QStringLiteral("%s contacts imported."), {QString::number(imported)});
    for (const QString& p : problems)
        m_log(GetS(QStringLiteral("Import: %s"), {p}));
    if (!problems.isEmpty()) {
        message += QLatin1Char('\n') +
                   GetS(QStringLiteral("%s cards skipped:"), {QString::number(skipped)});
        for (const QString& p : problems.mid(0, kMaxListedErrors))
            message += QLatin1Char('\n') + p;
        if (problems.size() > kMaxListedErrors)
            message += QStringLiteral("\n…");
    }
    m_log(message.section(QLatin1Char('\n'), 0, 0));
    m_dialogs.messageBox(message,
                         problems.isEmpty() ? MsgStyle::Information : MsgStyle::Exclamation,
                         GetS(QStringLiteral("Import contacts")));
    refreshList();
}

void ContactManagerWindow::exportSelected()
{
    QStringList guids;
    for (QListWidgetItem* item : m_lstContacts->selectedItems())
        guids << item->data(Qt::UserRole).toString();
    if (guids.isEmpty() && !m_current.guid.isEmpty())
        guids << m_current.guid;
    if (guids.isEmpty()) {
        report(GetS(QStringLiteral("No contact is selected.")), MsgStyle::Information);
        return;
    }
    exportContacts(guids);
}

void ContactManagerWindow::exportAll()
{
    const auto all = m_database.list();
    if (!all) {
        report(all.error(), MsgStyle::Critical);
        return;
    }
    QStringList guids;
    for (const ManagedContact& c : all.value())
        guids << c.guid;
    exportContacts(guids);
}

void ContactManagerWindow::exportContacts(const QStringList& guids)
{
    QString file = m_prompts.exportFile ? m_prompts.exportFile() : QString();
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".vcf");
    QByteArray data;
    for (const QString& guid : guids) {
        const auto found = m_database.get(guid);
        if (!found) {
            report(found.error(), MsgStyle::Critical);
            return;
        }
        if (found.value())
            data += VCard::write(ContactCards::toCard(*found.value()));
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit()) {
        report(GetS(QStringLiteral("The contacts could not be written to %s: %s"),
                    {file, out.errorString()}),
               MsgStyle::Critical);
        return;
    }
    const QString message =
        GetS(QStringLiteral("%s contacts exported to %s."), {QString::number(guids.size()), file});
    m_log(message);
    m_dialogs.messageBox(message, MsgStyle::Information, GetS(QStringLiteral("Export contacts")));
}

void ContactManagerWindow::closeEvent(QCloseEvent* event)
{
    if (!settleChanges()) {
        event->ignore();
        return;
    }
    event->accept();
}
