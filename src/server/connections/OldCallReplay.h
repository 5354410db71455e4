#pragma once

#include "platform/db/ConnectionString.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QString>

#include <functional>
#include <limits>
#include <memory>
#include <optional>

class CallDatabase;
class QSqlQuery;

// The calls a client missed, read from table Calls as the old-call list of
// "accepted": one record per admitted row.
class OldCallReplay
{
public:
    struct Row
    {
        QString callId;
        QDateTime callDate;
        QString callerId;
        QString callerName;
        QString calledId;
        QString calledName;
        bool incoming = true;
        bool answered = false;
    };
    struct Result
    {
        QString list;     // the records, CR LF already replaced by blanks
        int rowsRead = 0; // every row read, sent or not
        int rowsSent = 0;
        QString error;   // what the database said when the query failed
        int queries = 0; // statements run to read the rows
    };
    // Whether a row goes to the client, given its deciding own number.
    using Admits = std::function<bool(const QString& decidingNumber)>;
    using Sent = std::function<void(const Row& row)>;

    // The date as a literal of the engine's SQL dialect. The text is built from
    // the numbers of a valid date only, so nothing from the client reaches SQL.
    static QString sqlDateLiteral(const QDateTime& t, ConnectionString::Engine engine);

    // How a batch of rows is cut off in the back end's dialect. Back ends
    // without a known way are read in one pass of one forward-only query,
    // a batch per turn (a statement per batch would read the rest anew each
    // time).
    enum class BatchClause
    {
        Limit,      // ... LIMIT n
        Top,        // SELECT TOP n ...
        FetchFirst, // ... FETCH FIRST n ROWS ONLY
        OnePass
    };
    static BatchClause batchClauseFor(QSqlDriver::DbmsType type);

    // The statement of one batch: the rows since the date with a call id above
    // afterId and up to upToId, in id order, at most maxRows of them (OnePass:
    // all of them).
    // The first call since the date: its id, found through the date index.
    static QString firstSinceStatement(const QDateTime& since, ConnectionString::Engine engine);
    static QString batchStatement(const QDateTime& since, qint64 afterId, qint64 upToId,
                                  int maxRows, ConnectionString::Engine engine, BatchClause clause);

    static constexpr int kRowsPerQuery = 5000;
    static Result collect(CallDatabase& db, const QDateTime& since, const Admits& admits,
                          const Sent& sent);

    // The same read a batch at a time, in the order of the call ids, so a long
    // history does not hold up the event loop: start(), then step() until it
    // returns true. Only the calls that were stored when start() ran are read:
    // a call that comes during the replay goes to the client live.
    OldCallReplay(CallDatabase& db, QDateTime since, Admits admits, Sent sent);
    ~OldCallReplay();
    void start();
    bool step(int maxRows);
    Result takeResult();
    // The back end decides how batches are cut off; this overrides it (to read
    // a back end the way another one is read).
    void setBatchClause(BatchClause clause) { m_clause = clause; }

private:
    bool fail(const QString& error);
    void readRow(const QSqlQuery& q);

    CallDatabase& m_db;
    QDateTime m_since;
    Admits m_admits;
    Sent m_sent;
    qint64 m_lastId = std::numeric_limits<qint32>::min(); // CallID is a 32-bit column
    qint64 m_upToId = 0;
    quint32 m_generation = 0;
    Result m_result;
    QString m_list;
    bool m_done = false;
    std::optional<BatchClause> m_clause;
    std::unique_ptr<QSqlQuery> m_onePass; // the query a one-pass read goes on with
};
