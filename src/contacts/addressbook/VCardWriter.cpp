#include "contacts/addressbook/VCard.h"

#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUuid>

namespace {

constexpr qsizetype kFoldWidth = 75; // octets per line, the continuation's blank included

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' || c == u',' || c == u';') {
            out.append(u'\\');
            out.append(c);
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out.append(QStringLiteral("\\n"));
        } else {
            out.append(c);
        }
    }
    return out;
}

QString structured(std::initializer_list<QString> parts)
{
    QStringList escapedParts;
    for (const QString& part : parts)
        escapedParts.append(escaped(part.trimmed()));
    return escapedParts.join(u';');
}

// Folds at kFoldWidth octets, never inside a UTF-8 sequence.
void appendFolded(QByteArray& out, const QByteArray& line)
{
    qsizetype pos = 0;
    qsizetype width = kFoldWidth;
    while (line.size() - pos > width) {
        qsizetype end = pos + width;
        while (end > pos + 1 && (static_cast<uchar>(line[end]) & 0xC0) == 0x80)
            --end;
        out.append(line.constData() + pos, end - pos);
        out.append("\r\n ");
        pos = end;
        width = kFoldWidth - 1;
    }
    out.append(line.constData() + pos, line.size() - pos);
    out.append("\r\n");
}

// A media type as "image/jpeg", or empty when the text is none: it goes into a
// parameter or a data: URI where ';', ',' or ':' would break the line.
QString cleanMediaType(const QString& type)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z0-9!#$&^_.+-]+/[A-Za-z0-9!#$&^_.+-]+$"));
    const QString trimmed = type.trimmed().toLower();
    return pattern.match(trimmed).hasMatch() ? trimmed : QString();
}

bool isBareUuid(const QString& uid)
{
    return uid.size() == 36 && !QUuid::fromString(uid).isNull();
}

} // namespace

QByteArray VCard::write(const VCardContact& c)
{
    QByteArray out;
    const auto line = [&out](const QString& text) { appendFolded(out, text.toUtf8()); };

    line(QStringLiteral("BEGIN:VCARD"));
    line(QStringLiteral("VERSION:4.0"));
    if (!c.uid.isEmpty()) {
        line(QStringLiteral("UID:") +
             (isBareUuid(c.uid) ? QStringLiteral("urn:uuid:") + c.uid : escaped(c.uid)));
    }
    // FN is the one property every card must have.
    line(QStringLiteral("FN:") + escaped(c.displayName()));
    const QString nameParts =
        c.familyName + c.givenName + c.additionalNames + c.prefixes + c.suffixes;
    if (!nameParts.isEmpty()) {
        line(QStringLiteral("N:") +
             structured({c.familyName, c.givenName, c.additionalNames, c.prefixes, c.suffixes}));
    }
    if (!c.organization.isEmpty())
        line(QStringLiteral("ORG:") + escaped(c.organization));

    QStringList address;
    for (const QString& addressLine : c.addressLines) {
        if (!addressLine.trimmed().isEmpty())
            address.append(addressLine.trimmed());
    }
    if (!address.isEmpty()) {
        // street; locality; region; code; country: the reader lists the parts
        // in this order, so the lines come back as they went in.
        while (address.size() > 5)
            address[4] += u'\n' + address.takeAt(5);
        address.resize(5);
        line(QStringLiteral("ADR:;;") +
             structured({address[0], address[1], address[2], address[3], address[4]}));
    }

    static const QRegularExpression tokenPattern(QStringLiteral("^[a-z0-9-]+$"));
    for (const VCardPhone& phone : c.phones) {
        QStringList types;
        bool preferred = false;
        for (const QString& type : phone.types) {
            const QString lower = type.trimmed().toLower();
            if (lower == u"pref")
                preferred = true;
            else if (tokenPattern.match(lower).hasMatch() && !types.contains(lower))
                types.append(lower);
        }
        QString head = QStringLiteral("TEL");
        if (!types.isEmpty())
            head += QStringLiteral(";TYPE=") + types.join(u',');
        if (preferred)
            head += QStringLiteral(";PREF=1");
        line(head + u':' + escaped(phone.number));
    }
    for (const QString& email : c.emails)
        line(QStringLiteral("EMAIL:") + escaped(email));
    if (!c.note.isEmpty())
        line(QStringLiteral("NOTE:") + escaped(c.note));

    if (!c.photoData.isEmpty()) {
        QString type = cleanMediaType(c.photoMediaType);
        if (type.isEmpty())
            type = QMimeDatabase().mimeTypeForData(c.photoData).name();
        line(QStringLiteral("PHOTO:data:") + type + QStringLiteral(";base64,") +
             QString::fromLatin1(c.photoData.toBase64()));
    } else if (!c.photoUri.isEmpty()) {
        QString head = QStringLiteral("PHOTO");
        if (const QString type = cleanMediaType(c.photoMediaType); !type.isEmpty())
            head += QStringLiteral(";MEDIATYPE=") + type;
        // A URI holds no line breaks; the folding would not survive them.
        QString uri = c.photoUri;
        uri.remove(u'\r').remove(u'\n');
        line(head + u':' + uri);
    }
    line(QStringLiteral("END:VCARD"));
    return out;
}
