#include "OldCallReplay.h"

#include "contacts/store/CallDatabase.h"
#include "server/protocol/WireProtocol.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

// Dates come back as date values (PostgreSQL, MySQL) or as the text SQLite keeps.
QDateTime readDate(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    const QString text = v.toString();
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return t;
}

bool readFlag(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString text = v.toString().trimmed().toLower();
    return text == QLatin1String("1") || text == QLatin1String("-1") ||
           text == QLatin1String("true") || text == QLatin1String("t");
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

enum Col
{
    CallID,
    CallDate,
    CallEnd,
    CalledDevice,
    CallerID,
    CallerName,
    CallerGUID,
    CalledID,
    CalledName,
    CalledGUID,
    Incoming,
    Answered,
    CallerExtra,
    CalledExtra
};

} // namespace

QString OldCallReplay::sqlDateLiteral(const QDateTime& t, ConnectionString::Engine engine)
{
    switch (engine) {
    case ConnectionString::Engine::SQLite:
        // SQLite keeps dates as ISO text; text order is date order.
        return QLatin1Char('\'') + t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
               QLatin1Char('\'');
    case ConnectionString::Engine::PostgreSQL:
        return QStringLiteral("TIMESTAMP '") + t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
               QLatin1Char('\'');
    case ConnectionString::Engine::MySQL:
        return QLatin1Char('\'') + t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
               QLatin1Char('\'');
    case ConnectionString::Engine::ODBC:
    case ConnectionString::Engine::Unknown:
        break;
    }
    return QStringLiteral("{ts '") + t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral("'}");
}

OldCallReplay::Result OldCallReplay::collect(CallDatabase& db, const QDateTime& since,
                                             const Admits& admits, const Sent& sent)
{
    Result result;
    if (!db.isOpen()) {
        result.error = QStringLiteral("the call database is not open");
        return result;
    }
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    const QString sql =
        QStringLiteral("SELECT CallID, CallDate, CallEnd, CalledDevice, CallerID, CallerName, "
                       "CallerGUID, CalledID, CalledName, CalledGUID, Incoming, Answered, "
                       "CallerExtra, CalledExtra FROM Calls WHERE CallDate>=") +
        sqlDateLiteral(since, db.engine());
    if (!q.exec(sql)) {
        result.error = q.lastError().text();
        return result;
    }
    QString list;
    while (q.next()) {
        ++result.rowsRead;
        Row row;
        row.incoming = readFlag(q.value(Incoming));
        row.callerId = q.value(CallerID).toString();
        row.calledId = q.value(CalledID).toString();
        if (!admits(row.incoming ? row.calledId : row.callerId))
            continue;
        row.callId = q.value(CallID).toString();
        row.callDate = readDate(q.value(CallDate));
        row.callerName = q.value(CallerName).toString();
        row.calledName = q.value(CalledName).toString();
        row.answered = readFlag(q.value(Answered));
        list += WireProtocol::record(
            {WireProtocol::FormatStamp(row.callDate),
             WireProtocol::FormatStamp(readDate(q.value(CallEnd))),
             q.value(CalledDevice).toString(), row.callerId, row.callerName,
             q.value(CallerGUID).toString(), row.calledId, row.calledName,
             q.value(CalledGUID).toString(), flagText(row.incoming), flagText(row.answered),
             q.value(CallerExtra).toString(), q.value(CalledExtra).toString()});
        ++result.rowsSent;
        sent(row);
    }
    if (q.lastError().isValid())
        result.error = q.lastError().text();
    result.list = list.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return result;
}
