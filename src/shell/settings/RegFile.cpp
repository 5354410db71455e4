#include "shell/settings/RegFile.h"

#include <QStringDecoder>
#include <QtEndian>

namespace {

constexpr QStringView kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr QStringView kHeader4 = u"REGEDIT4";

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. Qt decodes it only
// when built with ICU, so the 32 code points are spelled out here; the five
// unassigned ones keep their Latin-1 meaning.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (char byte : bytes) {
        const auto code = static_cast<uchar>(byte);
        *out++ = QChar(code >= 0x80 && code < 0xA0 ? kCp1252High[code - 0x80] : char16_t(code));
    }
    return text;
}

Result<QString> fromUtf16(QByteArrayView bytes, bool littleEndian)
{
    if (bytes.size() % 2 != 0)
        return Result<QString>::fail(
            QStringLiteral("the file is UTF-16 but has an odd number of bytes"));
    QString text(bytes.size() / 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
        const char* p = bytes.data() + i;
        *out++ = QChar(littleEndian ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p));
    }
    if (!QStringView(text).isValidUtf16())
        return Result<QString>::fail(QStringLiteral("the file is not valid UTF-16"));
    return Result<QString>::ok(text);
}

Result<QString> decode(const QByteArray& bytes)
{
    const QByteArrayView view(bytes);
    if (view.startsWith("\xFF\xFE"))
        return fromUtf16(view.sliced(2), true);
    if (view.startsWith("\xFE\xFF"))
        return fromUtf16(view.sliced(2), false);
    const bool utf8Bom = view.startsWith("\xEF\xBB\xBF");
    // UTF-16 without BOM: ASCII text with every second byte zero.
    if (!utf8Bom && view.size() >= 4 && view[0] != 0 && view[1] == 0 && view[2] != 0 &&
        view[3] == 0)
        return fromUtf16(view, true);

    const QByteArrayView body = utf8Bom ? view.sliced(3) : view;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless |
                                                  QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8(body);
    if (!utf8.hasError())
        return Result<QString>::ok(text);
    if (utf8Bom)
        return Result<QString>::fail(
            QStringLiteral("the file starts with a UTF-8 mark but is not valid UTF-8"));
    return Result<QString>::ok(fromCp1252(body));
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Up to 8 hex digits, nothing else.
std::optional<quint32> parseHex32(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    quint32 number = 0;
    for (QChar c : digits) {
        const int digit = hexValue(c);
        if (digit < 0)
            return std::nullopt;
        number = number * 16 + static_cast<quint32>(digit);
    }
    return number;
}

QString quoteForMessage(QStringView line)
{
    constexpr qsizetype kMax = 60;
    QString shown =
        line.size() > kMax ? line.first(kMax).toString() + QStringLiteral("...") : line.toString();
    for (QChar& c : shown) {
        if (isControl(c))
            c = u'?';
    }
    return u'"' + shown + u'"';
}

// Walks the decoded text line by line, keeping the 1-based line number.
class LineReader
{
public:
    explicit LineReader(QStringView text) : m_text(text) {}

    bool next(QStringView& line)
    {
        if (m_pos > m_text.size())
            return false;
        qsizetype end = m_text.indexOf(u'\n', m_pos);
        if (end < 0)
            end = m_text.size();
        line = m_text.sliced(m_pos, end - m_pos);
        if (line.endsWith(u'\r'))
            line.chop(1);
        m_pos = end + 1;
        ++m_lineNumber;
        return true;
    }
    int lineNumber() const { return m_lineNumber; }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
    int m_lineNumber = 0;
};

struct ParseError
{
    int line = 0;
    QString message;
};

QString decodeRegistryString(QStringView text, qsizetype& pos, QString& error)
{
    // pos is on the opening quote; leaves pos after the closing one.
    QString out;
    for (++pos; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c == u'"') {
            ++pos;
            return out;
        }
        if (c == u'\\') {
            if (++pos >= text.size())
                break;
            const QChar escaped = text[pos];
            if (escaped != u'\\' && escaped != u'"') {
                error = QStringLiteral("unknown escape \\%1 in a quoted text").arg(escaped);
                return {};
            }
            out.append(escaped);
            continue;
        }
        out.append(c);
    }
    error = QStringLiteral("missing closing quote");
    return {};
}

QByteArray stringBytesFromAnsi(const QByteArray& bytes)
{
    // REGEDIT4 files hold string data as 8-bit text; keep it as the registry
    // holds it today (UTF-16LE).
    return RegValue::utf16le(fromCp1252(bytes));
}

class Parser
{
public:
    explicit Parser(QStringView text) : m_reader(text) {}

    Result<QList<RegFile::Section>> run()
    {
        QStringView line;
        bool headerSeen = false;
        while (m_reader.next(line)) {
            const QStringView t = line.trimmed();
            if (t.isEmpty() || t.startsWith(u';'))
                continue;
            if (!headerSeen) {
                if (t == kHeader4)
                    m_ansi = true;
                else if (t != kHeader5)
                    return fail(QStringLiteral("not a registry file: the first line must be "
                                               "\"%1\" or \"%2\", found %3")
                                    .arg(kHeader5, kHeader4, quoteForMessage(t)));
                headerSeen = true;
                continue;
            }
            QString error;
            if (t.startsWith(u'['))
                error = parseSection(t);
            else if (t.startsWith(u'"') || t.startsWith(u'@'))
                error = parseValue(t);
            else
                error = QStringLiteral("expected a [key], a value or a ; comment, found %1")
                            .arg(quoteForMessage(t));
            if (!error.isEmpty())
                return fail(error);
        }
        if (!headerSeen)
            return Result<QList<RegFile::Section>>::fail(
                QStringLiteral("not a registry file: it has no header line"));
        return Result<QList<RegFile::Section>>::ok(std::move(m_sections));
    }

private:
    Result<QList<RegFile::Section>> fail(const QString& message) const
    {
        return Result<QList<RegFile::Section>>::fail(
            QStringLiteral("line %1: %2").arg(m_reader.lineNumber()).arg(message));
    }

    QString parseSection(QStringView t)
    {
        if (!t.endsWith(u']'))
            return QStringLiteral("a key line must end with ], found %1").arg(quoteForMessage(t));
        QStringView inner = t.sliced(1, t.size() - 2);
        RegFile::Section section;
        section.line = m_reader.lineNumber();
        if (inner.startsWith(u'-')) {
            section.deleted = true;
            inner = inner.sliced(1);
        }
        if (inner.count(u'\\') > RegFile::MaxKeyDepth)
            return QStringLiteral("the key path is more than %1 levels deep")
                .arg(RegFile::MaxKeyDepth);
        const auto parts = inner.split(u'\\');
        for (QStringView part : parts) {
            if (part.isEmpty())
                return QStringLiteral("empty key name in %1").arg(quoteForMessage(t));
            if (!RegFile::isValidKeyName(part))
                return QStringLiteral("invalid key name %1").arg(quoteForMessage(part));
        }
        section.path = inner.toString();
        m_sections.append(std::move(section));
        return {};
    }

    QString parseValue(QStringView t)
    {
        if (m_sections.isEmpty())
            return QStringLiteral("a value before the first [key]");
        if (m_sections.last().deleted)
            return QStringLiteral("a value under a deleted [-key]");

        RegFile::Value value;
        qsizetype pos = 0;
        QString error;
        if (t[0] == u'@') {
            pos = 1;
        } else {
            value.name = decodeRegistryString(t, pos, error);
            if (!error.isEmpty())
                return error + QStringLiteral(" in the value name");
            if (!RegFile::isValidValueName(value.name))
                return QStringLiteral("invalid value name %1").arg(quoteForMessage(value.name));
        }
        while (pos < t.size() && t[pos].isSpace())
            ++pos;
        if (pos >= t.size() || t[pos] != u'=')
            return QStringLiteral("expected = after the value name");
        ++pos;
        while (pos < t.size() && t[pos].isSpace())
            ++pos;
        const QStringView data = t.sliced(pos);

        if (data == u"-") {
            value.deleted = true;
        } else if (data.startsWith(u'"')) {
            qsizetype end = 0;
            const QString text = decodeRegistryString(data, end, error);
            if (!error.isEmpty())
                return error;
            if (!data.sliced(end).trimmed().isEmpty())
                return QStringLiteral("unexpected text after the closing quote");
            value.value = RegValue::fromString(text);
        } else if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
            const auto number = parseHex32(data.sliced(6));
            if (!number)
                return QStringLiteral("dword: needs 1 to 8 hex digits, found %1")
                    .arg(quoteForMessage(data.sliced(6)));
            value.value = RegValue::fromDWord(*number);
        } else if (data.startsWith(u"hex", Qt::CaseInsensitive)) {
            error = parseHex(data, value.value);
            if (!error.isEmpty())
                return error;
        } else {
            return QStringLiteral("unknown value data %1").arg(quoteForMessage(data));
        }
        m_sections.last().values.append(std::move(value));
        return {};
    }

    QString parseHex(QStringView data, RegValue& out)
    {
        qsizetype colon = data.indexOf(u':');
        if (colon < 0)
            return QStringLiteral("expected hex: or hex(N): found %1").arg(quoteForMessage(data));
        const QStringView kind = data.first(colon);
        quint32 type = RegValue::Binary;
        if (kind.size() != 3) {
            if (!kind.sliced(3).startsWith(u'(') || !kind.endsWith(u')'))
                return QStringLiteral("expected hex: or hex(N): found %1")
                    .arg(quoteForMessage(data));
            const auto number = parseHex32(kind.sliced(4, kind.size() - 5));
            if (!number)
                return QStringLiteral("the type in hex(N) must be 1 to 8 hex digits");
            type = *number;
        }

        // A trailing backslash continues the byte list on the next line.
        QString bytesText = data.sliced(colon + 1).trimmed().toString();
        while (bytesText.endsWith(u'\\')) {
            bytesText.chop(1);
            QStringView next;
            if (!m_reader.next(next))
                return QStringLiteral("the file ends inside a continued hex value");
            bytesText.append(next.trimmed());
        }

        QByteArray bytes;
        if (!QStringView(bytesText).trimmed().isEmpty()) {
            bytes.reserve(bytesText.size() / 3 + 1);
            for (QStringView token : QStringView(bytesText).split(u',')) {
                token = token.trimmed();
                const auto byte = token.size() <= 2 ? parseHex32(token) : std::nullopt;
                if (!byte)
                    return QStringLiteral("%1 is not a hex byte").arg(quoteForMessage(token));
                bytes.append(static_cast<char>(*byte));
            }
        }
        if (m_ansi && (type == RegValue::String || type == RegValue::ExpandString ||
                       type == RegValue::MultiString))
            bytes = stringBytesFromAnsi(bytes);
        out = RegValue{type, bytes};
        return {};
    }

    LineReader m_reader;
    QList<RegFile::Section> m_sections;
    bool m_ansi = false;
};

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out.append(u'"');
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            out.append(u'\\');
        out.append(c);
    }
    out.append(u'"');
    return out;
}

// Whether string data can be written as "text" and read back byte for byte:
// exactly one NUL at the end, no control characters, valid UTF-16.
bool isPlainString(const RegValue& value)
{
    const QByteArray& data = value.data;
    if (data.size() < 2 || data.size() % 2 != 0 || !data.endsWith(QByteArrayView("\0\0", 2)))
        return false;
    const QString text = RegValue::fromUtf16le(data.first(data.size() - 2), false);
    if (!QStringView(text).isValidUtf16())
        return false;
    for (QChar c : text) {
        if (isControl(c))
            return false;
    }
    return true;
}

void appendHexBytes(QString& out, const QByteArray& bytes)
{
    // Wrapped like regedit does, so long binary values stay readable.
    constexpr qsizetype kWidth = 78;
    qsizetype column = out.size() - (out.lastIndexOf(u'\n') + 1);
    static constexpr char kDigits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0 && column + 3 > kWidth) {
            out.append(u"\\\n  ");
            column = 2;
        }
        const auto byte = static_cast<uchar>(bytes[i]);
        out.append(QLatin1Char(kDigits[byte >> 4]));
        out.append(QLatin1Char(kDigits[byte & 0xF]));
        column += 2;
        if (i + 1 < bytes.size()) {
            out.append(u',');
            ++column;
        }
    }
}

void appendValue(QString& out, const RegFile::Value& v)
{
    out.append(v.name.isEmpty() ? QStringLiteral("@") : escaped(v.name));
    out.append(u'=');
    const RegValue& value = v.value;
    if (v.deleted) {
        out.append(u'-');
    } else if (value.type == RegValue::String && isPlainString(value)) {
        out.append(escaped(value.text()));
    } else if (const auto number = value.type == RegValue::DWord ? value.toDWord() : std::nullopt) {
        out.append(QStringLiteral("dword:%1").arg(*number, 8, 16, QLatin1Char('0')));
    } else {
        out.append(value.type == RegValue::Binary
                       ? QStringLiteral("hex:")
                       : QStringLiteral("hex(%1):").arg(value.type, 0, 16));
        appendHexBytes(out, value.data);
    }
    out.append(u'\n');
}

bool isValidPath(const QString& path)
{
    if (QStringView(path).count(u'\\') > RegFile::MaxKeyDepth)
        return false;
    for (QStringView part : QStringView(path).split(u'\\')) {
        if (!RegFile::isValidKeyName(part))
            return false;
    }
    return true;
}

} // namespace

Result<QList<RegFile::Section>> RegFile::parse(const QByteArray& bytes)
{
    if (bytes.size() > MaxFileSize)
        return Result<QList<Section>>::fail(
            QStringLiteral("the file is larger than %1 MiB").arg(MaxFileSize / (1024 * 1024)));
    const Result<QString> text = decode(bytes);
    if (!text)
        return Result<QList<Section>>::fail(text.error());
    return Parser(text.value()).run();
}

QByteArray RegFile::write(const QList<Section>& sections)
{
    QString out = kHeader5.toString() + QStringLiteral("\n\n");
    for (const Section& section : sections) {
        if (!isValidPath(section.path))
            continue;
        out.append(section.deleted ? QStringLiteral("[-") : QStringLiteral("["));
        out.append(section.path);
        out.append(QStringLiteral("]\n"));
        if (!section.deleted) {
            for (const Value& value : section.values) {
                if (isValidValueName(value.name))
                    appendValue(out, value);
            }
        }
        out.append(u'\n');
    }
    return out.toUtf8();
}

bool RegFile::isValidKeyName(QStringView name)
{
    if (name.isEmpty() || name.size() > MaxKeyNameLength || !name.isValidUtf16())
        return false;
    for (QChar c : name) {
        if (isControl(c) || c == u'\\')
            return false;
    }
    return true;
}

bool RegFile::isValidValueName(QStringView name)
{
    if (name.size() > MaxValueNameLength || !name.isValidUtf16())
        return false;
    for (QChar c : name) {
        if (isControl(c))
            return false;
    }
    return true;
}
