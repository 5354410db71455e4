#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One TEL line of a card: the number as written and its TYPE values, lower
// case ("work", "cell", "fax", "pref", ...). vCard 4.0's PREF=1 reads as "pref".
struct VCardPhone
{
    QString number;
    QStringList types;
};

// The fields of a contact card that Phonavo uses. Everything else on a card
// is read past; the writer produces only these.
struct VCardContact
{
    QString uid;           // UID, without a "urn:uuid:" prefix
    QString formattedName; // FN
    // N: family; given; additional; prefixes; suffixes
    QString familyName;
    QString givenName;
    QString additionalNames;
    QString prefixes;
    QString suffixes;
    QString organization;     // ORG, its units joined with ", "
    QStringList addressLines; // the first ADR's non-empty parts, street first
    QList<VCardPhone> phones; // in the card's order
    QStringList emails;       // EMAIL
    QString note;             // NOTE
    QByteArray photoData;     // PHOTO given inline (Base64 or a data: URI), decoded
    QString photoUri;         // PHOTO given as a URI (file:, http:, ...)
    QString photoMediaType;   // "image/jpeg" and so on, when the card says

    // FN, else "given family" from N, else the organization.
    QString displayName() const;
};

// Where a card failed: its 1-based position in the data (0 for text that lies
// outside every card), the line it failed on and why, in plain English.
struct VCardError
{
    int card = 0;
    int line = 0;
    QString reason;
};

struct VCardParseResult
{
    QList<VCardContact> contacts; // the cards that could be read, in order
    QList<VCardError> errors;     // broken cards are skipped and listed here
};

namespace VCard {

// Guards against absurd input: a larger file is refused as a whole; a larger
// value breaks its card; cards past the limit are not read.
constexpr qsizetype MaxFileSize = 256 * 1024 * 1024;
constexpr qsizetype MaxValueSize = 16 * 1024 * 1024;
constexpr int MaxCards = 100000;
// Errors past this many are summed up in one last entry.
constexpr int MaxErrors = 1000;

// Reads every card of a file: vCard 2.1 (QUOTED-PRINTABLE, CHARSET=), 3.0 and
// 4.0, folded lines, LF or CRLF. A broken card never stops the cards after it.
VCardParseResult parse(const QByteArray& data);

// One vCard 4.0 card: CRLF line ends, lines folded at 75 octets, values escaped.
QByteArray write(const VCardContact& contact);

} // namespace VCard
