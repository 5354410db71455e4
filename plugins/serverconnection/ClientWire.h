#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The client's end of the Phonavo server protocol: a message is the command
// word, then CR LF and each parameter, then one NUL; the text is 8-bit
// (Latin-1). The server is untrusted: what it sends is bounded and cleaned
// here before the plug-in uses it. No sockets here.
namespace ClientWire {

QByteArray encode(const QString& command, const QStringList& parameters = {});
// The fields of one message: field 0 is the command.
QStringList fields(const QByteArray& message);

// A parameter taken from the server as the host may show it: control
// characters dropped, at most maxLength characters.
QString cleanText(const QString& text, qsizetype maxLength = 255);
// A parameter the plug-in sends: a line break or a NUL would start a new field
// or message.
QString sendableText(const QString& text);

// Record lists: records end with 0xFF, their fields are joined with "|".
QList<QStringList> records(const QString& list);

// The picture that ends a call message: its Base64 text runs from field
// `first` to the end, in lines. Empty when it is not Base64 or too large.
QByteArray pictureBytes(const QStringList& fields, int first, qsizetype maxBytes);

// Time stamps "yyyyMMddHHmmss" in local time; a stamp that is not one gives
// an invalid date.
QString stamp(const QDateTime& t);
QDateTime parseStamp(const QString& text);

// Collects the messages of a connection's arrivals. Unlike the server, a
// client keeps the unfinished end of an arrival for the next one. A message
// that grows past its bound without its NUL ends the reading.
class MessageReader
{
public:
    // Bounds by command: call messages carry pictures, "accepted" the calls
    // missed while away; anything else is short.
    static constexpr qsizetype kDefaultLimit = 1024 * 1024;
    static constexpr qsizetype kCallLimit = 8 * 1024 * 1024;
    static constexpr qsizetype kAcceptedLimit = 64 * 1024 * 1024;

    // Appends the finished messages (empty ones skipped); false when the
    // unfinished rest is over its bound (the reader is then of no further use).
    bool append(const QByteArray& chunk, QList<QByteArray>& messages);
    void clear() { m_buffer.clear(); }
    qsizetype pending() const { return m_buffer.size(); }

    // The bound of a message that starts with these bytes.
    static qsizetype limitFor(const QByteArray& start);

private:
    QByteArray m_buffer;
};

} // namespace ClientWire
