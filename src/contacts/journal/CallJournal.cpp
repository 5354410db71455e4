#include "CallJournal.h"

#include "ICalJournal.h"
#include "contacts/addressbook/AddressBookContact.h"
#include "core/calls/CCall.h"
#include "core/controller/MainForm.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/desktop/ShellOpen.h"
#include "shell/settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>

namespace {

const QString kSection = QStringLiteral("Outlook");
// An entry the program wrote is a few hundred bytes; anything far larger is
// not one of ours and is not read into memory.
constexpr qint64 kMaxEntrySize = 1024 * 1024;

bool setting(const MainForm& form, const char* name)
{
    return SettingToBool(
        form.settings().GetSettingHKCU(kSection, QString::fromLatin1(name), false));
}

} // namespace

CallJournal::CallJournal(MainForm& form, OpenEntry open) : m_form(form), m_open(std::move(open)) {}

QString CallJournal::folder(const QString& setting)
{
    const QString dir = setting.trimmed();
    return dir.isEmpty() ? AppPaths::journalDir() : QDir::cleanPath(dir);
}

QString CallJournal::folder() const
{
    return folder(m_form.settings()
                      .GetSettingHKCU(kSection, QStringLiteral("JournalFolder"), QString())
                      .toString());
}

CallJournal::OpenEntry CallJournal::withShell(ShellOpener& opener)
{
    return [&opener](const QString& file) { opener.ShellOpen(file); };
}

JournalEntry CallJournal::entryFor(const CCall& call) const
{
    const QString number = call.Outgoing ? call.CalledID() : call.CallerID();
    const QString nameField = call.Outgoing ? call.CalledName : call.CallerName;
    const QString extra = call.Outgoing ? call.CalledExtra : call.CallerExtra;
    const QString name = nameField.isEmpty() ? number : nameField;

    JournalEntry entry;
    entry.start = call.CallStart;
    const bool over = call.CallStart.isValid() && call.CallEnd > call.CallStart;
    if (call.Answered() && over)
        entry.durationSeconds = call.CallStart.secsTo(call.CallEnd);
    if (call.Outgoing)
        entry.summary = name.isEmpty() ? m_form.GetS(QStringLiteral("Outgoing call"))
                                       : m_form.GetS(QStringLiteral("Outgoing call to %s"), name);
    else
        entry.summary = name.isEmpty() ? m_form.GetS(QStringLiteral("Incoming call"))
                                       : m_form.GetS(QStringLiteral("Incoming call from %s"), name);
    if (!extra.isEmpty())
        entry.summary += QStringLiteral(" (") + extra + QLatin1Char(')');
    entry.description =
        m_form.GetS(QStringLiteral("Name: %s{\\r}Number: %s{\\r}%s"), nameField, number, extra);

    if (call.OutlookContact.metaType() == QMetaType::fromType<AddressBookContact>()) {
        const auto contact = call.OutlookContact.value<AddressBookContact>();
        if (contact.isValid()) {
            entry.contactName = !contact.card.formattedName.isEmpty() ? contact.card.formattedName
                                : !nameField.isEmpty()                ? nameField
                                                                      : contact.entryId;
            if (!contact.filePath.isEmpty())
                entry.contactUri =
                    QUrl::fromLocalFile(contact.filePath).toString(QUrl::FullyEncoded);
            // A card without a UID is known by its path, which the URI holds.
            if (contact.entryId != contact.filePath)
                entry.contactUid = contact.entryId;
        }
    }
    return entry;
}

bool CallJournal::AddJournalEntry(CCall& call)
{
    if (!setting(m_form, "AddToJournal"))
        return false;
    JournalEntry entry = entryFor(call);
    const QDateTime stamp = Clock::instance().now();

    // The entry of an earlier report of this call is updated in place; one
    // that cannot be read is left alone and a new one written.
    QString path = call.OutlookJournalEntry.toString();
    std::optional<QByteArray> content;
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        QString problem;
        QFile file(path);
        if (file.size() > kMaxEntrySize)
            problem = QStringLiteral("it is larger than 1 MiB");
        else if (!file.open(QIODevice::ReadOnly))
            problem = file.errorString();
        else
            content = ICalJournal::update(file.readAll(), entry, stamp, &problem);
        if (!content)
            m_form.logCall(call.CallID,
                           m_form.GetS(QStringLiteral("The journal entry %s cannot be read: %s"),
                                       path, problem));
    }
    if (!content) {
        const QString dir = folder();
        if (const QString problem = AppPaths::createDirProblem(dir); !problem.isEmpty()) {
            m_form.logCall(
                call.CallID,
                m_form.GetS(QStringLiteral("The call journal folder %s cannot be used: %s"), dir,
                            problem));
            return false;
        }
        entry.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        path = QDir(dir).filePath(entry.uid + QStringLiteral(".ics"));
        content = ICalJournal::create(entry, stamp);
    }
    if (!write(path, *content, call.CallID))
        return false;

    call.OutlookJournalEntry = path;
    m_form.logCall(call.CallID, m_form.GetS(QStringLiteral("Outlook Journal entry added")));
    const bool over = call.CallStart.isValid() && call.CallEnd > call.CallStart;
    if (over && m_open && setting(m_form, "OpenJournalEntry"))
        m_open(path);
    return true;
}

bool CallJournal::write(const QString& path, const QByteArray& content, const QString& callId)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    m_form.logCall(callId,
                   m_form.GetS(QStringLiteral("The journal entry %s could not be written: %s"),
                               path, file.errorString()));
    return false;
}
