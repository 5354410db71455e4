#pragma once

#include "platform/Result.h"

#include <QList>
#include <QMap>
#include <QString>

// The plain-text source of the shipped language database (data/lang/langdata.txt),
// kept in the repository and turned into langdata.db at build time. UTF-8:
//
//   # comment; blank lines are ignored
//   "Incoming call from: %s. Callee: %s"
//   German: "Eingehender Anruf von: %s. Angerufener: %s"
//   skip
//
// A line that starts with a double quote begins an entry: its native text is
// everything between the first and the last double quote of the line, taken
// as it stands ({\r}, %s and inner quotes included, no escapes). The entry's
// further lines are "<Language>: "<text>"" for the six language columns and
// "skip" (the text is never translated). A text cannot span lines.
namespace LangDataText {

struct Entry
{
    QString native;
    QMap<QString, QString> translations; // language column -> text
    bool skip = false;
    int line = 0; // where the entry starts, for messages
};

// Every entry in file order; fails with "line N: ..." on an unknown language,
// a line that is neither, a repeated native text or a repeated language.
Result<QList<Entry>> parse(const QByteArray& utf8);
Result<QList<Entry>> read(const QString& path);
// The file form of the entries, with a short header comment.
QByteArray format(const QList<Entry>& entries);

// The languages besides English (German, Spanish, ...) that the entry has no
// text for; none for a skipped entry, whose native text is always shown.
QStringList missingLanguages(const Entry& entry);
// What the entry's translations break, one line each ("German: 2 %s, the
// native text has 1"): a %s, {\r} or {\n} lost or added, more than one &
// accelerator, or an accelerator lost or added. Empty when all is well.
QStringList translationFaults(const Entry& entry);

} // namespace LangDataText
