#include "AddressBookService.h"

#include "AddressBookFiles.h"
#include "BufferRebuild.h"
#include "ContactBuffer.h"
#include "PhoneFields.h"
#include "contacts/lookup/ContactDatabaseLookup.h"
#include "contacts/lookup/PictureFile.h"
#include "core/calls/CCall.h"
#include "core/controller/MainForm.h"
#include "core/devices/NumberRules.h"
#include "core/log/ErrorReport.h"
#include "platform/Clock.h"
#include "shell/settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

namespace {

const QString kOutlook = QStringLiteral("Outlook");
constexpr int kFirstTickMs = 100;
constexpr int kTickMs = 30000;
constexpr int kAddressBookSource = 2;

// Hour boundaries between two times, as a calendar counts hours.
qint64 hoursBetween(const QDateTime& from, const QDateTime& to)
{
    return to.toSecsSinceEpoch() / 3600 - from.toSecsSinceEpoch() / 3600;
}

} // namespace

AddressBookService::AddressBookService(MainForm& form, Clock& clock, QObject* parent)
    : QObject(parent), m_form(form), m_clock(clock), m_buffer(std::make_unique<ContactBuffer>())
{
    // A child, so the program's timers can be found by name.
    m_tmrBuffer.setParent(this);
    m_tmrBuffer.setObjectName(QStringLiteral("tmrBufferOutlookContacts"));
    m_tmrBuffer.setInterval(kFirstTickMs);
    connect(&m_tmrBuffer, &QTimer::timeout, this, &AddressBookService::onBufferTick);
}

AddressBookService::~AddressBookService()
{
    m_rebuild.reset();
}

void AddressBookService::setBufferPath(const QString& path)
{
    m_rebuild.reset();
    m_buffer = std::make_unique<ContactBuffer>(path);
}

QString AddressBookService::defaultRoot()
{
    return AddressBookFiles::defaultRoot();
}

QString AddressBookService::setting(const char* name, const char* fallback) const
{
    return m_form.settings()
        .GetSettingHKCU(kOutlook, QString::fromLatin1(name), QString::fromLatin1(fallback))
        .toString();
}

void AddressBookService::log(const QString& text) const
{
    m_form.LogStr(text);
}

bool AddressBookService::start(bool ignored)
{
    m_available = false;
    if (ignored)
        return false;
    // A new user has no address book yet: the default place is made, so that
    // a sync tool or the first saved contact finds it.
    const QString root = defaultRoot();
    if (contactsFolder() == root)
        QDir().mkpath(root);
    const QFileInfo folder(contactsFolder());
    if (!folder.isDir() || !folder.isReadable()) {
        log(QStringLiteral("Address book not available: %1 is not a readable folder")
                .arg(folder.filePath()));
        return false;
    }
    m_available = true;
    return true;
}

QString AddressBookService::contactsFolder() const
{
    const QString chosen = setting("ContactsStoreID", "");
    if (chosen.isEmpty())
        return defaultRoot();
    if (QFileInfo(chosen).isDir())
        return QDir::cleanPath(chosen);
    // A chosen folder that went away: the default one takes its place.
    m_form.settings().SaveSettingHKCU(kOutlook, QStringLiteral("ContactsStoreID"), QString());
    log(QStringLiteral("Address book folder %1 not found; using %2").arg(chosen, defaultRoot()));
    return defaultRoot();
}

int AddressBookService::countContacts(const QString& folder) const
{
    return int(AddressBookFiles::readFolder(folder, [this](const QString& t) { log(t); }).size());
}

bool AddressBookService::buffered() const
{
    return setting("BufferContacts", "1") != QLatin1String("0");
}

void AddressBookService::restartBufferTimer()
{
    m_tmrBuffer.stop();
    m_tmrBuffer.setInterval(kFirstTickMs);
    m_tmrBuffer.start();
}

void AddressBookService::monitoringStarted()
{
    if (m_form.options().number(QStringLiteral("cmbDataConnection")) == kAddressBookSource)
        restartBufferTimer();
    else
        m_tmrBuffer.stop();
}

bool AddressBookService::rebuilding() const
{
    return m_rebuild && m_rebuild->running();
}

void AddressBookService::onBufferTick()
{
    if (m_tmrBuffer.interval() == kFirstTickMs) {
        m_tmrBuffer.setInterval(kTickMs);
        m_lastRebuild = QDateTime();
    }
    if (!buffered() || !m_available) {
        m_tmrBuffer.stop();
        return;
    }
    const QDateTime now = m_clock.now();
    if (m_lastRebuild.isValid() && hoursBetween(m_lastRebuild, now) <= 23)
        return;
    m_lastRebuild = now;
    rebuildBuffer();
}

void AddressBookService::rebuildBuffer()
{
    if (rebuilding())
        return;
    m_buffer->close();
    m_rebuild = std::make_unique<BufferRebuild>(*m_buffer, contactsFolder(),
                                                [this](const QString& t) { log(t); });
    connect(m_rebuild.get(), &BufferRebuild::finished, this, [this](int rows) {
        m_form.LogStr(
            m_form.GetS(QStringLiteral("%s numbers buffered from Outlook"), QString::number(rows)));
        emit bufferRebuilt(rows);
    });
    m_rebuild->start();
}

AddressBookContact AddressBookService::contactById(const QString& entryId)
{
    const auto logger = [this](const QString& t) { log(t); };
    QString file = m_buffer->fileOf(entryId);
    if (file.isEmpty() && QFileInfo(entryId.section(QLatin1Char('#'), 0, 0)).isFile())
        file = entryId.section(QLatin1Char('#'), 0, 0);
    if (!file.isEmpty())
        if (AddressBookContact c = AddressBookFiles::findInFile(file, entryId, logger); c.isValid())
            return c;
    // Moved or renamed since the last rebuild: look through the whole book.
    QStringList folders{contactsFolder()};
    while (!folders.isEmpty()) {
        const QString folder = folders.takeFirst();
        for (const AddressBookContact& c : AddressBookFiles::readFolder(folder, logger))
            if (c.entryId == entryId)
                return c;
        folders += AddressBookFiles::subfolders(folder);
    }
    return {};
}

QString AddressBookService::pictureOf(const AddressBookContact& contact)
{
    const VCardContact& card = contact.card;
    if (!card.photoData.isEmpty()) {
        const QMimeType type = QMimeDatabase().mimeTypeForData(card.photoData);
        if (!type.name().startsWith(QLatin1String("image/"))) {
            log(QStringLiteral("Picture of contact %1 is not an image (%2)")
                    .arg(contact.entryId, type.name()));
            return QString();
        }
        const QString file = GetTempFile(QStringLiteral("tmp"));
        QFile out(file);
        if (file.isEmpty() || !out.open(QIODevice::WriteOnly) ||
            out.write(card.photoData) != card.photoData.size())
            return QString();
        return file;
    }
    if (!card.photoUri.isEmpty()) {
        const QUrl url(card.photoUri);
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        if (!path.isEmpty() && QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QString AddressBookService::contactPicture(const QString& entryId)
{
    if (!m_available || entryId.isEmpty())
        return QString();
    const AddressBookContact c = contactById(entryId);
    return c.isValid() ? pictureOf(c) : QString();
}

bool AddressBookService::openContact(const QString& entryId)
{
    const AddressBookContact c = m_available ? contactById(entryId) : AddressBookContact();
    if (!c.isValid() || !m_open)
        return false;
    m_open(c.filePath);
    return true;
}

AddressBookContact AddressBookService::makeContact(const QString& name, const QString& number,
                                                   QString* error)
{
    VCardContact card;
    card.familyName = name;
    card.formattedName = name;
    card.phones << VCardPhone{number.isEmpty() ? m_form.GetS(QStringLiteral("(unknown)")) : number,
                              {QStringLiteral("home")}};
    return AddressBookFiles::createContact(contactsFolder(), card, error);
}

bool AddressBookService::createAndOpenContact(const QString& name, const QString& number)
{
    if (!m_available)
        return false;
    QString error;
    const AddressBookContact made = makeContact(name, number, &error);
    if (!made.isValid()) {
        log(QStringLiteral("Address book contact not created: ") + error);
        return false;
    }
    if (m_open)
        m_open(made.filePath);
    return true;
}

AddressBookContact AddressBookService::findInFolder(const QString& folder, QString& number) const
{
    const QString digits = DigitsOnly(number);
    const QList<AddressBookContact> all =
        AddressBookFiles::readFolder(folder, [this](const QString& t) { log(t); });
    // Cards that hold the digits exactly come first, as a filtered search would give them.
    QList<AddressBookContact> items;
    for (const AddressBookContact& c : all)
        if (PhoneFields::of(c.card).numbers().contains(digits))
            items << c;
    if (items.isEmpty())
        items = all;
    for (const AddressBookContact& c : items)
        for (const QString& stored : PhoneFields::of(c.card).numbers())
            if (ContactDatabaseLookup::matchesPattern(stored, number)) {
                number = stored;
                return c;
            }
    return {};
}

AddressBookSource::Outcome AddressBookService::findContact(const QString& digits, QString& number,
                                                           QString& guid, QString& name,
                                                           QString& picture, QString& extra,
                                                           QVariant& contact)
{
    if (!m_available)
        return Outcome::NotFound;
    if (!m_buffer->isOpen() && !m_buffer->open()) {
        m_form.RaiseError(m_form.GetS(QStringLiteral("Unable to open database: ")) +
                          m_buffer->error());
        return Outcome::Failed;
    }
    const QString pattern = ContactDatabaseLookup::searchPattern(digits);
    AddressBookContact found;
    QString stored;
    QString failure;
    if (const auto row = m_buffer->findExact(digits)) {
        log(QStringLiteral("Found Outlook contact (buffered, exact match for ") + digits +
            QStringLiteral("): id: ") + row->contactId + QStringLiteral(" number: ") +
            row->phoneNumber);
        stored = row->phoneNumber;
        found = contactById(row->contactId);
        if (!found.isValid())
            failure = QStringLiteral("contact %1 not found").arg(row->contactId);
    } else if (const auto match = m_buffer->findPattern(pattern)) {
        log(QStringLiteral("Found Outlook contact (buffered): id: ") + match->contactId +
            QStringLiteral(" number: ") + match->phoneNumber);
        stored = match->phoneNumber;
        found = contactById(match->contactId);
        if (!found.isValid())
            failure = QStringLiteral("contact %1 not found").arg(match->contactId);
    } else {
        log(QStringLiteral("No Outlook contact found in for: ") + digits +
            QStringLiteral(" (lookup: ") + pattern + QStringLiteral(")"));
    }
    if (!failure.isEmpty()) {
        log(QStringLiteral("Error while looking up outlook contact: ") + failure +
            QStringLiteral(" in ") + QStringLiteral("AddressBook"));
        return Outcome::NotFound;
    }
    if (!found.isValid() && !buffered()) {
        QString search = pattern;
        const QString top = contactsFolder();
        found = findInFolder(top, search);
        for (const QString& sub : AddressBookFiles::subfolders(top)) {
            if (found.isValid())
                break;
            found = findInFolder(sub, search);
        }
        if (found.isValid())
            stored = search;
    }
    if (!found.isValid())
        return Outcome::NotFound;

    picture = pictureOf(found);
    name = found.card.displayName();
    extra = found.card.organization;
    const QString address = found.card.addressLines.join(QStringLiteral(", "));
    if (!address.isEmpty())
        extra += (extra.isEmpty() ? QString() : QStringLiteral(", ")) + address;
    guid = found.entryId;
    log(m_form.GetS(QStringLiteral("Found Outlook contact for %s: %s"), number, name) +
        QStringLiteral(" (id: ") + found.entryId + QStringLiteral(")"));
    number = stored;
    contact = QVariant::fromValue(found);
    m_buffer->close();
    return Outcome::Found;
}

void AddressBookService::unknownCaller(CCall& call)
{
    createContact(call, true);
}

void AddressBookService::unknownCallee(CCall& call)
{
    createContact(call, false);
}

void AddressBookService::createContact(CCall& call, bool incoming)
{
    if (!m_available ||
        m_form.options().number(QStringLiteral("cmbDataConnection")) != kAddressBookSource ||
        setting("CreateNewContact", "0") != QLatin1String("1"))
        return;
    const QString number = incoming ? call.CallerID() : call.CalledID();
    const QString recordName = incoming ? call.CallerName : call.CalledName;
    if (number.isEmpty() && recordName.isEmpty())
        return;
    if (setting("CreateIfName", "1") == QLatin1String("1") && recordName.isEmpty())
        return;
    QString name = recordName;
    if (name.isEmpty())
        name = m_form.GetS(incoming ? QStringLiteral("Unknown caller %s")
                                    : QStringLiteral("Unknown callee %s"),
                           number);
    QString error;
    const AddressBookContact made = makeContact(name, number, &error);
    if (!made.isValid()) {
        log(QStringLiteral("[") + call.CallID +
            QStringLiteral("] Address book contact not created: ") + error);
        return;
    }
    if (setting("OpenNewContact", "0") == QLatin1String("1") && m_open)
        m_open(made.filePath);
    (incoming ? call.CallerGUID : call.CalledGUID) = made.entryId;
    call.OutlookContact = QVariant::fromValue(made);
    call.SaveCall();
    m_form.logCall(call.CallID, m_form.GetS(QStringLiteral("Outlook contact created for %s"),
                                            m_form.FormatPartyName(number, recordName)));
}

void AddressBookService::journalCall(CCall& call)
{
    if (m_available && m_journal)
        m_journal(call);
}
