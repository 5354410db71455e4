#include "WireProtocol.h"

#include <algorithm>

namespace WireProtocol {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

} // namespace

QList<QByteArray> splitArrival(const QByteArray& arrival)
{
    QList<QByteArray> pieces = QByteArray(arrival + '\0').split('\0');
    pieces.removeLast(); // what followed the appended NUL
    pieces.removeAll(QByteArray());
    return pieces;
}

QStringList fields(const QByteArray& message)
{
    return QString(QString::fromLatin1(message) + kCrLf + kCrLf + kCrLf + kCrLf).split(kCrLf);
}

QByteArray encode(const QString& command, const QStringList& parameters)
{
    QString text = command;
    for (const QString& p : parameters)
        text += kCrLf + p;
    return text.toLatin1() + '\0';
}

namespace {

const QByteArray kListen = QByteArrayLiteral("listen");
const QByteArray kListenBreak = QByteArrayLiteral("listen\r\n");
const QByteArray kMask = QByteArrayLiteral("*****");

// Whether a message is a listen (its field 0 is the word).
bool isListen(QByteArrayView piece)
{
    return piece == kListen || piece.startsWith(kListenBreak);
}

} // namespace

namespace {

using Range = std::pair<qsizetype, qsizetype>; // [first, second)

// The password fields of the listens among the messages of data, and the
// framing of a listen that data leaves unfinished before its password ends.
QByteArray findPasswords(const QByteArray& data, QList<Range>& ranges)
{
    QByteArray unfinished;
    for (qsizetype start = 0; start <= data.size();) {
        qsizetype end = data.indexOf('\0', start);
        const bool last = end < 0;
        if (last)
            end = data.size();
        const QByteArrayView piece = QByteArrayView(data).sliced(start, end - start);
        if (isListen(piece)) {
            // Field 2 runs from the second CR LF to the third, or to the end.
            const qsizetype first = piece.indexOf("\r\n");
            const qsizetype second = first < 0 ? -1 : piece.indexOf("\r\n", first + 2);
            const qsizetype third = second < 0 ? -1 : piece.indexOf("\r\n", second + 2);
            if (second >= 0)
                ranges.append({start + second + 2, third < 0 ? end : start + third});
            if (last && third < 0) {
                // Only the line breaks locate the rest of the password.
                unfinished = kListen;
                for (qsizetype i = piece.count("\r\n"); i > 0; --i)
                    unfinished += "\r\n";
                if (piece.endsWith('\r'))
                    unfinished += '\r';
            }
        } else if (last && !piece.isEmpty() && kListenBreak.startsWith(piece)) {
            unfinished = piece.toByteArray(); // "lis" may still become "listen"
        }
        start = end + 1;
    }
    return unfinished;
}

} // namespace

QByteArray maskPasswords(const QByteArray& arrival, QByteArray* carry)
{
    // The server handles each arrival on its own, but a client's listen may
    // have been cut in two by the network: both readings are masked.
    QList<Range> ranges;
    QByteArray unfinished = findPasswords(arrival, ranges);
    if (carry && !carry->isEmpty()) {
        QList<Range> joined;
        const QByteArray continued = findPasswords(*carry + arrival, joined);
        for (const auto& [from, to] : joined)
            if (to > carry->size())
                ranges.append({std::max(from - carry->size(), qsizetype(0)), to - carry->size()});
        if (!arrival.contains('\0'))
            unfinished = continued;
    }
    std::sort(ranges.begin(), ranges.end());
    QByteArray out;
    out.reserve(arrival.size());
    qsizetype copied = 0;
    for (const auto& [from, to] : ranges) {
        if (to <= copied || from == to)
            continue;
        if (from < copied) { // overlaps the mask written last: it grows
            copied = to;
            continue;
        }
        out.append(QByteArrayView(arrival).sliced(copied, from - copied));
        out.append(kMask);
        copied = to;
    }
    out.append(QByteArrayView(arrival).sliced(copied));
    if (carry)
        *carry = unfinished;
    return out;
}

QString displayText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes)
        .replace(kCrLf, QStringLiteral(" | "))
        .replace(QChar(0), QStringLiteral("\\0"));
}

QString logText(const QByteArray& arrival)
{
    return displayText(maskPasswords(arrival));
}

QString FormatStamp(const QDateTime& t)
{
    if (!t.isValid())
        return {};
    // Written by hand: a replay formats two stamps per call, and the general
    // date formatter costs many times this.
    const QDate d = t.date();
    const QTime time = t.time();
    const int year = d.year();
    if (year < 0 || year > 9999)
        return t.toString(QStringLiteral("yyyyMMddHHmmss"));
    char text[14];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, year, 4);
    put(4, d.month(), 2);
    put(6, d.day(), 2);
    put(8, time.hour(), 2);
    put(10, time.minute(), 2);
    put(12, time.second(), 2);
    return QString::fromLatin1(text, 14);
}

std::optional<QDateTime> parseStamp(const QString& stamp)
{
    if (stamp.size() != 14)
        return std::nullopt;
    for (const QChar c : stamp)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const QDate date(stamp.mid(0, 4).toInt(), stamp.mid(4, 2).toInt(), stamp.mid(6, 2).toInt());
    const QTime time(stamp.mid(8, 2).toInt(), stamp.mid(10, 2).toInt(), stamp.mid(12, 2).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

QString record(const QStringList& fields)
{
    return fields.join(QLatin1Char('|')) + QChar(0xFF);
}

QString deviceRecord(int id, const QString& displayName)
{
    return record({QString::number(id), displayName});
}

QString pictureText(const QByteArray& bytes)
{
    const QString base64 = QString::fromLatin1(bytes.toBase64());
    QStringList lines;
    for (qsizetype i = 0; i < base64.size(); i += 76)
        lines << base64.mid(i, 76);
    return lines.join(kCrLf);
}

QByteArray pictureBytes(const QStringList& fields, int pictureField)
{
    QString text;
    for (int i = pictureField; i < fields.size(); ++i)
        text += fields[i];
    return QByteArray::fromBase64(text.toLatin1());
}

bool listenAdmits(const QString& listenNumber, const QString& decidingNumber)
{
    return listenNumber.isEmpty() ||
           QString(QLatin1Char(';') + listenNumber + QLatin1Char(';'))
               .contains(QString(QLatin1Char(';') + decidingNumber + QLatin1Char(';')));
}

namespace {

void appendPicture(QStringList& params, const std::optional<CallPicture>& picture)
{
    if (!picture)
        return;
    for (int i = 0; i < 10; ++i)
        params << QString();
    params << picture->extension << picture->base64;
}

} // namespace

QStringList incomingCallParameters(const QString& callId, const QString& caller,
                                   const QString& called, const QString& calledName,
                                   const QString& callerName, bool canReject,
                                   const QString& callerExtra,
                                   const std::optional<CallPicture>& picture)
{
    QStringList params{callId,     caller,
                       called,     calledName,
                       callerName, canReject ? QStringLiteral("1") : QStringLiteral("0"),
                       callerExtra};
    appendPicture(params, picture);
    return params;
}

QStringList outgoingCallParameters(const QString& callId, const QString& caller,
                                   const QString& callerName, const QString& dialled,
                                   const QString& calledName,
                                   const std::optional<CallPicture>& picture)
{
    QStringList params{callId, caller, callerName, dialled, calledName};
    appendPicture(params, picture);
    return params;
}

} // namespace WireProtocol
