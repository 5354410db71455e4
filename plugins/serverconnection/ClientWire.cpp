#include "ClientWire.h"

#include <QDateTime>

namespace ClientWire {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

} // namespace

QByteArray encode(const QString& command, const QStringList& parameters)
{
    QString text = command;
    for (const QString& p : parameters)
        text += kCrLf + p;
    return text.toLatin1() + '\0';
}

QStringList fields(const QByteArray& message)
{
    return QString::fromLatin1(message).split(kCrLf);
}

QString cleanText(const QString& text, qsizetype maxLength)
{
    QString out;
    out.reserve(std::min(text.size(), maxLength));
    for (const QChar c : text) {
        if (out.size() >= maxLength)
            break;
        if (!isControl(c))
            out += c;
    }
    return out;
}

QString sendableText(const QString& text)
{
    return cleanText(text, text.size());
}

QList<QStringList> records(const QString& list)
{
    QList<QStringList> result;
    const QStringList parts = list.split(QChar(0xFF));
    // The last record ends with 0xFF too: what follows it is not a record.
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        result << parts[i].split(QLatin1Char('|'));
    return result;
}

QByteArray pictureBytes(const QStringList& fields, int first, qsizetype maxBytes)
{
    QByteArray text;
    for (qsizetype i = first; i < fields.size(); ++i) {
        text += fields[i].toLatin1();
        if (text.size() > maxBytes / 3 * 4 + 4)
            return {};
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() > maxBytes)
        return {};
    return decoded.decoded;
}

QString stamp(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyyMMddHHmmss")) : QString();
}

QDateTime parseStamp(const QString& text)
{
    if (text.size() != 14)
        return {};
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    return QDateTime::fromString(text, QStringLiteral("yyyyMMddHHmmss"));
}

qsizetype MessageReader::limitFor(const QByteArray& start)
{
    const auto is = [&start](const char* command) {
        const QByteArray word(command);
        return start.startsWith(QByteArray(word + "\r\n")) || start == word;
    };
    if (is("accepted"))
        return kAcceptedLimit;
    if (is("incomingcall") || is("outgoingcall"))
        return kCallLimit;
    return kDefaultLimit;
}

bool MessageReader::append(const QByteArray& chunk, QList<QByteArray>& messages)
{
    qsizetype from = m_buffer.size();
    m_buffer += chunk;
    qsizetype begin = 0;
    for (qsizetype end; (end = m_buffer.indexOf('\0', from)) >= 0; from = begin = end + 1)
        if (end > begin)
            messages << m_buffer.mid(begin, end - begin);
    m_buffer.remove(0, begin);
    return m_buffer.size() <= limitFor(m_buffer.left(16));
}

} // namespace ClientWire
