#include "OldCallReplay.h"

#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "server/protocol/WireProtocol.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace {

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

OldCallReplay::BatchClause OldCallReplay::batchClauseFor(QSqlDriver::DbmsType type)
{
    switch (type) {
    case QSqlDriver::SQLite:
    case QSqlDriver::PostgreSQL:
    case QSqlDriver::MySqlServer:
        return BatchClause::Limit;
    case QSqlDriver::MSSqlServer:
    case QSqlDriver::Sybase:
        return BatchClause::Top;
    case QSqlDriver::Oracle:
    case QSqlDriver::DB2:
        return BatchClause::FetchFirst;
    default:
        return BatchClause::OnePass;
    }
}

QString OldCallReplay::batchStatement(const QDateTime& since, qint64 afterId, qint64 upToId,
                                      int maxRows, ConnectionString::Engine engine,
                                      BatchClause clause)
{
    const QString rows = QString::number(std::max(1, maxRows));
    QString sql = QStringLiteral("SELECT ");
    if (clause == BatchClause::Top)
        sql += QStringLiteral("TOP ") + rows + QLatin1Char(' ');
    sql += QStringLiteral("CallID, CallDate, CallEnd, CalledDevice, CallerID, CallerName, "
                          "CallerGUID, CalledID, CalledName, CalledGUID, Incoming, Answered, "
                          "CallerExtra, CalledExtra FROM Calls WHERE CallDate>=") +
           sqlDateLiteral(since, engine) +
           QStringLiteral(" AND CallID>%1 AND CallID<=%2 ORDER BY CallID").arg(afterId).arg(upToId);
    if (clause == BatchClause::Limit)
        sql += QStringLiteral(" LIMIT ") + rows;
    else if (clause == BatchClause::FetchFirst)
        sql += QStringLiteral(" FETCH FIRST ") + rows + QStringLiteral(" ROWS ONLY");
    return sql;
}

QString OldCallReplay::firstSinceStatement(const QDateTime& since, ConnectionString::Engine engine)
{
    return QStringLiteral("SELECT MIN(CallID + 0) FROM Calls WHERE CallDate>=") +
           sqlDateLiteral(since, engine);
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

bool OldCallReplay::fail(const QString& error)
{
    m_result.error = error;
    m_done = true;
    m_onePass.reset();
    return true;
}

void OldCallReplay::start()
{
    if (!m_db.isOpen()) {
        fail(QStringLiteral("the call database is not open"));
        return;
    }
    m_generation = m_db.generation();
    if (!m_clause) {
        const QSqlDriver* driver = m_db.database().driver();
        m_clause = batchClauseFor(driver ? driver->dbmsType() : QSqlDriver::UnknownDbms);
    }
    // The newest call now is the last one replayed: one that is stored while
    // the old calls go out reaches the client live, and only so.
    QSqlQuery q(m_db.database());
    q.setForwardOnly(true);
    ++m_result.queries;
    if (!q.exec(QStringLiteral("SELECT MAX(CallID) FROM Calls")) || !q.next()) {
        fail(q.lastError().text());
        return;
    }
    if (q.value(0).isNull()) {
        m_done = true; // no calls at all
        return;
    }
    m_upToId = q.value(0).toLongLong();
    q.finish();
    // Where the calls since the date begin, through the date index: the
    // batches then walk the key from there instead of from the oldest call,
    // so a replay costs what it sends, not what the table holds. ("+ 0" keeps
    // SQLite from answering MIN by walking the key from its start.)
    ++m_result.queries;
    if (!q.exec(firstSinceStatement(m_since, m_db.engine())) || !q.next()) {
        fail(q.lastError().text());
        return;
    }
    if (q.value(0).isNull())
        m_done = true; // nothing since the date
    else
        m_lastId = std::max(m_lastId, q.value(0).toLongLong() - 1);
    q.finish();
}

void OldCallReplay::readRow(const QSqlQuery& q)
{
    ++m_result.rowsRead;
    m_lastId = std::max(m_lastId, q.value(CallID).toLongLong());
    Row row;
    row.incoming = readFlag(q.value(Incoming));
    row.callerId = q.value(CallerID).toString();
    row.calledId = q.value(CalledID).toString();
    if (!m_admits(row.incoming ? row.calledId : row.callerId))
        return;
    row.callId = q.value(CallID).toString();
    row.callDate = readCallDate(q.value(CallDate));
    row.callerName = q.value(CallerName).toString();
    row.calledName = q.value(CalledName).toString();
    row.answered = readFlag(q.value(Answered));
    m_list += WireProtocol::record({WireProtocol::FormatStamp(row.callDate),
                                    WireProtocol::FormatStamp(readCallDate(q.value(CallEnd))),
                                    q.value(CalledDevice).toString(), row.callerId, row.callerName,
                                    q.value(CallerGUID).toString(), row.calledId, row.calledName,
                                    q.value(CalledGUID).toString(), flagText(row.incoming),
                                    flagText(row.answered), q.value(CallerExtra).toString(),
                                    q.value(CalledExtra).toString()});
    ++m_result.rowsSent;
    m_sent(row);
}

bool OldCallReplay::step(int maxRows)
{
    if (m_done)
        return true;
    if (!m_db.isOpen() || m_db.generation() != m_generation)
        return fail(QStringLiteral("the call database was closed during the replay"));
    maxRows = std::max(1, maxRows);
    const BatchClause clause = m_clause.value_or(BatchClause::OnePass);
    if (clause == BatchClause::OnePass) {
        // One statement for the whole replay; its rows are read a batch per turn.
        if (!m_onePass) {
            m_onePass = std::make_unique<QSqlQuery>(m_db.database());
            m_onePass->setForwardOnly(true);
            ++m_result.queries;
            if (!m_onePass->exec(
                    batchStatement(m_since, m_lastId, m_upToId, maxRows, m_db.engine(), clause)))
                return fail(m_onePass->lastError().text());
        }
        for (int read = 0; read < maxRows; ++read) {
            if (!m_onePass->next()) {
                // The end, or a cursor the closing of its connection took away.
                if (m_onePass->lastError().isValid())
                    return fail(m_onePass->lastError().text());
                m_onePass.reset();
                m_done = true;
                return true;
            }
            readRow(*m_onePass);
        }
        return false;
    }
    // Each batch is a query of its own, finished after its rows: no cursor
    // stays open between turns, while the call store writes on the same
    // connection or the connection is switched.
    QSqlQuery q(m_db.database());
    q.setForwardOnly(true);
    ++m_result.queries;
    if (!q.exec(batchStatement(m_since, m_lastId, m_upToId, maxRows, m_db.engine(), clause)))
        return fail(q.lastError().text());
    int read = 0;
    while (read < maxRows && q.next()) {
        ++read;
        readRow(q);
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
