#include "VCardReader.h"

#include <QStringDecoder>
#include <QUrl>

namespace {

// A content line: [group.]NAME *(;PARAM) : VALUE
struct Property
{
    QByteArray name; // upper case, group removed
    QList<QByteArray> params;
    QByteArray value;

    // The value of a parameter "KEY=VALUE" (upper-cased key); 2.1 also writes
    // bare values ("QUOTED-PRINTABLE"), which bareValue finds.
    QByteArray param(const QByteArray& key) const
    {
        for (const QByteArray& p : params) {
            const qsizetype eq = p.indexOf('=');
            if (eq > 0 && p.left(eq).trimmed().toUpper() == key)
                return p.mid(eq + 1).trimmed();
        }
        return QByteArray();
    }
    bool hasBareValue(const QByteArray& value) const
    {
        for (const QByteArray& p : params)
            if (p.trimmed().toUpper() == value)
                return true;
        return false;
    }
    bool quotedPrintable() const
    {
        return param("ENCODING").toUpper() == "QUOTED-PRINTABLE" ||
               hasBareValue("QUOTED-PRINTABLE");
    }
};

// Where the head of a content line ends: the first colon outside quotes
// (parameter values of 4.0 may be quoted and hold colons).
qsizetype valueColon(const QByteArray& line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == '"')
            quoted = !quoted;
        else if (line.at(i) == ':' && !quoted)
            return i;
    }
    return -1;
}

bool parseProperty(const QByteArray& line, Property& property)
{
    const qsizetype colon = valueColon(line);
    if (colon <= 0)
        return false;
    QList<QByteArray> head = line.left(colon).split(';');
    QByteArray name = head.takeFirst().trimmed().toUpper();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        name = name.mid(dot + 1);
    property.name = name;
    property.params = head;
    property.value = line.mid(colon + 1);
    return true;
}

QString decodeText(const QByteArray& bytes, const QByteArray& charset)
{
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData(), QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            QString text = decoder.decode(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    // Not UTF-8 and no charset that helps: old exports are mostly Latin-1.
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString propertyText(const Property& property)
{
    const QByteArray raw = property.quotedPrintable()
                               ? VCardReader::decodeQuotedPrintable(property.value)
                               : property.value;
    return decodeText(raw, property.param("CHARSET"));
}

// The components of a structured value (N, ORG), split at unescaped ";" and
// with the escapes of 3.0/4.0 resolved.
QStringList components(const QString& value)
{
    QStringList out(QString{});
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            out.last().append(
                next == QLatin1Char('n') || next == QLatin1Char('N') ? QLatin1Char(' ') : next);
        } else if (c == QLatin1Char(';')) {
            out.append(QString());
        } else {
            out.last().append(c);
        }
    }
    for (QString& part : out)
        part = part.trimmed();
    return out;
}

QString joinNonEmpty(const QStringList& parts, const QString& separator)
{
    QStringList kept;
    for (const QString& part : parts)
        if (!part.isEmpty())
            kept.append(part);
    return kept.join(separator);
}

QString telephoneNumber(const QString& value)
{
    QString number = value.trimmed();
    if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        number = number.mid(4);
    // A tel: URI may carry parameters such as ";ext=12".
    return number.section(QLatin1Char(';'), 0, 0).trimmed();
}

} // namespace

QByteArray VCardReader::decodeQuotedPrintable(const QByteArray& encoded)
{
    QByteArray out;
    out.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        if (c != '=') {
            out.append(c);
            continue;
        }
        const QByteArray hex = encoded.mid(i + 1, 2);
        bool ok = false;
        const int byte = hex.size() == 2 ? hex.toInt(&ok, 16) : 0;
        if (ok) {
            out.append(static_cast<char>(byte));
            i += 2;
        } else if (i + 1 < encoded.size()) {
            out.append(c); // not an escape: kept as written
        }
        // A "=" at the very end is a soft line break left over: dropped.
    }
    return out;
}

QList<QByteArray> VCardReader::unfold(const QByteArray& data)
{
    QList<QByteArray> lines;
    bool softBreak = false; // the last line ended in a quoted-printable "="
    for (QByteArray line : data.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (softBreak && !lines.isEmpty()) {
            lines.last().chop(1);
            lines.last().append(line);
        } else if ((line.startsWith(' ') || line.startsWith('\t')) && !lines.isEmpty()) {
            lines.last().append(line.mid(1));
        } else if (!line.isEmpty()) {
            lines.append(line);
        }
        softBreak = false;
        if (!lines.isEmpty() && lines.last().endsWith('=')) {
            Property property;
            softBreak = parseProperty(lines.last(), property) && property.quotedPrintable();
        }
    }
    return lines;
}

QList<PhonebookEntry> VCardReader::read(const QByteArray& data)
{
    QList<PhonebookEntry> entries;
    PhonebookEntry card;
    QString structuredName;
    bool inCard = false;
    const auto finish = [&] {
        if (card.name.isEmpty())
            card.name = structuredName;
        if (!card.numbers.isEmpty())
            entries.append(card);
        card = PhonebookEntry();
        structuredName.clear();
    };

    QByteArray text = data;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    for (const QByteArray& line : unfold(text)) {
        Property property;
        if (!parseProperty(line, property))
            continue;
        const QByteArray value = property.value.trimmed().toUpper();
        if (property.name == "BEGIN" && value == "VCARD") {
            if (inCard)
                finish();
            inCard = true;
            continue;
        }
        if (!inCard)
            continue;
        if (property.name == "END" && value == "VCARD") {
            finish();
            inCard = false;
        } else if (property.name == "FN") {
            card.name = components(propertyText(property)).join(QLatin1Char(';'));
        } else if (property.name == "N") {
            // family; given; additional; prefixes; suffixes
            const QStringList n = components(propertyText(property));
            structuredName = joinNonEmpty(
                {n.value(3), n.value(1), n.value(2), n.value(0), n.value(4)}, QStringLiteral(" "));
        } else if (property.name == "TEL") {
            const QString number = telephoneNumber(propertyText(property));
            if (!number.isEmpty())
                card.numbers.append(number);
        } else if (property.name == "ORG") {
            card.extra = joinNonEmpty(components(propertyText(property)), QStringLiteral(", "));
        } else if (property.name == "PHOTO") {
            const QString uri = propertyText(property).trimmed();
            if (uri.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
                card.imageFile = QUrl(uri).toLocalFile();
        }
    }
    if (inCard)
        finish(); // a last card without END
    return entries;
}
