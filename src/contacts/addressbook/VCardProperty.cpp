#include "contacts/addressbook/VCardProperty.h"

#include <QStringDecoder>

namespace {

// Splits at `separator` where it is not inside double quotes.
QList<QByteArrayView> splitOutsideQuotes(QByteArrayView text, char separator)
{
    QList<QByteArrayView> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            parts.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts.append(text.sliced(start));
    return parts;
}

QByteArrayView unquoted(QByteArrayView text)
{
    text = text.trimmed();
    if (text.startsWith('"'))
        text = text.sliced(1);
    if (text.endsWith('"'))
        text.chop(1);
    return text;
}

// vCard 2.1 writes parameter values without their names ("TEL;WORK;VOICE:",
// "PHOTO;JPEG;BASE64:"); these are the ones that are not types.
QByteArray bareParamName(QByteArrayView value)
{
    static const QByteArrayList encodings = {"QUOTED-PRINTABLE", "BASE64", "8BIT", "7BIT"};
    static const QByteArrayList valueTypes = {"INLINE", "URL", "URI", "CID", "CONTENT-ID"};
    const QByteArray upper = value.toByteArray().toUpper();
    if (encodings.contains(upper))
        return QByteArrayLiteral("ENCODING");
    if (valueTypes.contains(upper))
        return QByteArrayLiteral("VALUE");
    return QByteArrayLiteral("TYPE");
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QString normalizedLineEnds(QString text)
{
    if (text.contains(u'\r'))
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return text;
}

} // namespace

Result<VCardProperty> VCardProperty::parse(QByteArrayView line)
{
    // The value starts at the first ':' outside a quoted parameter value; an
    // unbalanced quote falls back to the first ':' at all.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size() && colon < 0; ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            colon = i;
    }
    if (colon < 0)
        colon = line.indexOf(':');
    if (colon < 0)
        return Result<VCardProperty>::fail(QStringLiteral("the line has no ':'"));

    VCardProperty property;
    property.value = line.sliced(colon + 1).toByteArray();
    const QList<QByteArrayView> head = splitOutsideQuotes(line.first(colon), ';');
    QByteArray name = head.first().trimmed().toByteArray().toUpper();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0) {
        property.group = name.left(dot);
        name.remove(0, dot + 1);
    }
    if (name.isEmpty())
        return Result<VCardProperty>::fail(QStringLiteral("the line has no property name"));
    property.name = name;

    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArrayView param = head[i].trimmed();
        if (param.isEmpty())
            continue;
        const qsizetype equals = param.indexOf('=');
        if (equals < 0) {
            property.params.append({bareParamName(param), {param.toByteArray()}});
            continue;
        }
        Param named{param.first(equals).trimmed().toByteArray().toUpper(), {}};
        // Both TYPE=work,voice and TYPE="work,voice" are lists.
        for (QByteArrayView piece : splitOutsideQuotes(param.sliced(equals + 1), ',')) {
            for (QByteArrayView value : splitOutsideQuotes(unquoted(piece), ',')) {
                value = value.trimmed();
                if (!value.isEmpty())
                    named.values.append(value.toByteArray());
            }
        }
        property.params.append(named);
    }
    return Result<VCardProperty>::ok(property);
}

QByteArrayList VCardProperty::paramValues(QByteArrayView paramName) const
{
    QByteArrayList values;
    for (const Param& param : params) {
        if (param.name == paramName)
            values += param.values;
    }
    return values;
}

QByteArray VCardProperty::encoding() const
{
    const QByteArrayList values = paramValues("ENCODING");
    if (values.isEmpty())
        return {};
    const QByteArray upper = values.first().toUpper();
    return upper == "BASE64" ? QByteArrayLiteral("B") : upper;
}

Result<QByteArray> VCardProperty::bytes() const
{
    const QByteArray transfer = encoding();
    if (transfer == "QUOTED-PRINTABLE")
        return Result<QByteArray>::ok(VCardText::fromQuotedPrintable(value));
    if (transfer == "B")
        return VCardText::fromBase64(value);
    return Result<QByteArray>::ok(value);
}

QString VCardProperty::rawText() const
{
    const Result<QByteArray> decoded = bytes();
    const QByteArrayList charset = paramValues("CHARSET");
    return normalizedLineEnds(VCardText::decode(
        decoded ? decoded.value() : value, charset.isEmpty() ? QByteArray() : charset.first()));
}

QString VCardProperty::text() const
{
    return VCardText::unescape(rawText());
}

QStringList VCardProperty::components() const
{
    const QString raw = rawText();
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'\\')
            ++i;
        else if (raw[i] == u';') {
            parts.append(VCardText::unescape(QStringView(raw).sliced(start, i - start)));
            start = i + 1;
        }
    }
    parts.append(VCardText::unescape(QStringView(raw).sliced(start)));
    return parts;
}

QString VCardText::unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out.append(c);
            continue;
        }
        const QChar next = text[i + 1];
        if (next == u'n' || next == u'N') {
            out.append(u'\n');
            ++i;
        } else if (next == u'\\' || next == u',' || next == u';' || next == u':') {
            out.append(next);
            ++i;
        } else {
            out.append(c);
        }
    }
    return out;
}

QString VCardText::decode(QByteArrayView bytes, QByteArrayView charset)
{
    if (!charset.isEmpty()) {
        const QByteArray name = charset.toByteArray();
        QStringDecoder named(name.constData(), QStringConverter::Flag::Stateless);
        if (named.isValid()) {
            QString text = named(bytes);
            if (!named.hasError())
                return text;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    // Old exports without a CHARSET are mostly Windows-1252; Latin-1 where Qt
    // has no ICU to decode it.
    QStringDecoder cp1252("windows-1252", QStringConverter::Flag::Stateless);
    if (cp1252.isValid())
        return cp1252(bytes);
    return QString::fromLatin1(bytes);
}

Result<QByteArray> VCardText::fromBase64(QByteArrayView text)
{
    QByteArray compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            compact.append(c);
    }
    auto decoded = QByteArray::fromBase64Encoding(
        compact, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    // A lone trailing character carries no whole byte: the data was cut.
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok || compact.size() % 4 == 1)
        return Result<QByteArray>::fail(QStringLiteral("not valid Base64"));
    return Result<QByteArray>::ok(decoded.decoded);
}

QByteArray VCardText::fromQuotedPrintable(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '=') {
            out.append(c);
            continue;
        }
        if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2; // soft line break
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            i += 1;
            continue;
        }
        const int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            out.append(c); // not an escape: keep what was written
            continue;
        }
        out.append(char(high * 16 + low));
        i += 2;
    }
    return out;
}
