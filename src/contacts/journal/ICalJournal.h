#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// What the call journal says about one call.
struct JournalEntry
{
    QString uid;
    QDateTime start;
    std::optional<qint64> durationSeconds; // only for a call that was answered
    QString summary;
    QString description; // lines separated by '\n'
    // The address-book contact of the call, when there is one.
    QString contactName;
    QString contactUri; // file: URI of the contact's .vcf file
    QString contactUid;
};

// The journal entry as an iCalendar object (RFC 5545): a VCALENDAR holding one
// VJOURNAL, the way vdir calendar folders keep one object per file.
//   SUMMARY, DESCRIPTION, DTSTART (UTC)     the call
//   X-PHONAVO-DURATION                      seconds talked (a VJOURNAL has no
//                                           DTEND or DURATION)
//   CONTACT;ALTREP="file:///...vcf":Name    the caller's card
//   X-PHONAVO-CONTACT-UID                   the card's UID (survives renames)
namespace ICalJournal {

inline constexpr const char* kDurationProperty = "X-PHONAVO-DURATION";
inline constexpr const char* kContactUidProperty = "X-PHONAVO-CONTACT-UID";

// A new calendar object for the entry; `stamp` is the time of writing.
QByteArray create(const JournalEntry& entry, const QDateTime& stamp);

// `existing` with its journal entry's call fields replaced by `entry`'s and
// everything else (a note the user added in a calendar program, say) kept.
// The entry keeps its own UID. Nothing, with `error` set, when `existing` is
// no calendar object with a journal entry.
std::optional<QByteArray> update(const QByteArray& existing, const JournalEntry& entry,
                                 const QDateTime& stamp, QString* error);

// Line breaks as iCalendar text keeps them: "\r\n" and a lone "\r" (the
// break of the translation texts) become "\n".
QString plainLineBreaks(const QString& text);

} // namespace ICalJournal
