#include "WireProtocol.h"

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

QString logText(const QByteArray& arrival, const QString& password)
{
    QString text = QString::fromLatin1(arrival);
    const QStringList f = fields(arrival);
    if (f.value(0) == QLatin1String("listen"))
        text.replace(kCrLf + password + kCrLf, kCrLf + QStringLiteral("*****") + kCrLf);
    return text.replace(kCrLf, QStringLiteral(" | "));
}

QString FormatStamp(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyyMMddHHmmss")) : QString();
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
