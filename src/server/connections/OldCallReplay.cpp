#include "OldCallReplay.h"

#include "contacts/store/CallDatabase.h"
#include "server/protocol/WireProtocol.h"

#include <QSqlError>
#include <QSqlQuery>

#include <limits>

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

bool OldCallReplay::hasLimitClause(ConnectionString::Engine engine)
{
    switch (engine) {
    case ConnectionString::Engine::SQLite:
    case ConnectionString::Engine::PostgreSQL:
    case ConnectionString::Engine::MySQL:
        return true;
    case ConnectionString::Engine::ODBC:
    case ConnectionString::Engine::Unknown:
        break;
    }
    return false;
}

QString OldCallReplay::batchStatement(const QDateTime& since, qint64 afterId, int maxRows,
                                      ConnectionString::Engine engine, bool limitClause)
{
    QString sql =
        QStringLiteral("SELECT CallID, CallDate, CallEnd, CalledDevice, CallerID, CallerName, "
                       "CallerGUID, CalledID, CalledName, CalledGUID, Incoming, Answered, "
                       "CallerExtra, CalledExtra FROM Calls WHERE CallDate>=") +
        sqlDateLiteral(since, engine) +
        QStringLiteral(" AND CallID>%1 ORDER BY CallID").arg(afterId);
    if (limitClause)
        sql += QStringLiteral(" LIMIT %1").arg(std::max(1, maxRows));
    return sql;
}

OldCallReplay::Result OldCallReplay::collect(CallDatabase& db, const QDateTime& since,
                                             const Admits& admits, const Sent& sent)
{
    OldCallReplay replay(db, since, admits, sent);
    replay.start();
    while (!replay.step(kRowsPerQuery)) {
    }
    return replay.takeResult();
}

OldCallReplay::OldCallReplay(CallDatabase& db, QDateTime since, Admits admits, Sent sent)
    : m_db(db), m_since(std::move(since)), m_admits(std::move(admits)), m_sent(std::move(sent))
{}

OldCallReplay::~OldCallReplay() = default;

void OldCallReplay::start()
{
    if (!m_db.isOpen()) {
        m_result.error = QStringLiteral("the call database is not open");
        m_done = true;
    }
}

bool OldCallReplay::step(int maxRows)
{
    if (m_done)
        return true;
    if (!m_db.isOpen()) {
        m_result.error = QStringLiteral("the call database was closed during the replay");
        m_done = true;
        return true;
    }
    // Each batch is a query of its own, finished after its rows: no cursor
    // stays open between turns, while the call store writes on the same
    // connection or the connection is switched.
    QSqlQuery q(m_db.database());
    q.setForwardOnly(true);
    maxRows = std::max(1, maxRows);
    const QString sql = batchStatement(m_since, m_lastId, maxRows, m_db.engine(),
                                       m_limitClause.value_or(hasLimitClause(m_db.engine())));
    if (!q.exec(sql)) {
        m_result.error = q.lastError().text();
        m_done = true;
        return true;
    }
    int read = 0;
    while (read < maxRows && q.next()) {
        ++read;
        ++m_result.rowsRead;
        m_lastId = std::max(m_lastId, q.value(CallID).toLongLong());
        Row row;
        row.incoming = readFlag(q.value(Incoming));
        row.callerId = q.value(CallerID).toString();
        row.calledId = q.value(CalledID).toString();
        if (!m_admits(row.incoming ? row.calledId : row.callerId))
            continue;
        row.callId = q.value(CallID).toString();
        row.callDate = readDate(q.value(CallDate));
        row.callerName = q.value(CallerName).toString();
        row.calledName = q.value(CalledName).toString();
        row.answered = readFlag(q.value(Answered));
        m_list += WireProtocol::record(
            {WireProtocol::FormatStamp(row.callDate),
             WireProtocol::FormatStamp(readDate(q.value(CallEnd))),
             q.value(CalledDevice).toString(), row.callerId, row.callerName,
             q.value(CallerGUID).toString(), row.calledId, row.calledName,
             q.value(CalledGUID).toString(), flagText(row.incoming), flagText(row.answered),
             q.value(CallerExtra).toString(), q.value(CalledExtra).toString()});
        ++m_result.rowsSent;
        m_sent(row);
    }
    if (q.lastError().isValid())
        m_result.error = q.lastError().text();
    q.finish();
    m_done = read < maxRows || !m_result.error.isEmpty();
    return m_done;
}

OldCallReplay::Result OldCallReplay::takeResult()
{
    m_result.list = m_list.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return std::move(m_result);
}
