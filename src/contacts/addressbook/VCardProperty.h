#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

// One unfolded content line of a vCard, "[group.]NAME;PARAM=a,b;...:value",
// split into its parts. Names and parameter names are upper case; parameter
// values keep their case. vCard 2.1's bare parameters ("TEL;WORK;VOICE:")
// are filed under TYPE, ENCODING or VALUE as that version means them.
struct VCardProperty
{
    struct Param
    {
        QByteArray name;
        QByteArrayList values;
    };

    QByteArray group;
    QByteArray name;
    QList<Param> params;
    QByteArray value; // raw bytes, still encoded and escaped

    // Fails for a line without ':' or without a property name.
    static Result<VCardProperty> parse(QByteArrayView line);

    // All values of a parameter, in order, over repeated parameters.
    QByteArrayList paramValues(QByteArrayView name) const;
    // The ENCODING in upper case: "QUOTED-PRINTABLE", "B" (for BASE64 too) or empty.
    QByteArray encoding() const;

    // The value with its transfer encoding undone. Base64 that does not decode
    // fails.
    Result<QByteArray> bytes() const;
    // The value as text: CHARSET when given and known, else UTF-8, else
    // Windows-1252. Line ends become "\n". Still escaped.
    QString rawText() const;
    // rawText() unescaped.
    QString text() const;
    // rawText() split at unescaped ';', each part unescaped (N, ADR, ORG).
    QStringList components() const;
};

namespace VCardText {

// Undoes \n \N \\ \, \; \: ; any other backslash stays as written.
QString unescape(QStringView text);
// Decodes with the named charset, falling back to UTF-8 and then Windows-1252
// when the name is unknown or the bytes do not fit it.
QString decode(QByteArrayView bytes, QByteArrayView charset = {});
// Strict Base64: whitespace between the characters is allowed, nothing else.
Result<QByteArray> fromBase64(QByteArrayView text);
QByteArray fromQuotedPrintable(QByteArrayView text);

} // namespace VCardText
