#pragma once

#include "platform/db/ConnectionString.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <limits>
#include <optional>

class CallDatabase;

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
        QString error; // what the database said when the query failed
    };
    // Whether a row goes to the client, given its deciding own number.
    using Admits = std::function<bool(const QString& decidingNumber)>;
    using Sent = std::function<void(const Row& row)>;

    // The date as a literal of the engine's SQL dialect. The text is built from
    // the numbers of a valid date only, so nothing from the client reaches SQL.
    static QString sqlDateLiteral(const QDateTime& t, ConnectionString::Engine engine);

    // The statement of one batch: the rows since the date after the call id
    // afterId, in id order. LIMIT only where the engine has it; ODBC back ends
    // (SQL Server among them) get the plain statement, read only as far as a
    // batch goes.
    static bool hasLimitClause(ConnectionString::Engine engine);
    static QString batchStatement(const QDateTime& since, qint64 afterId, int maxRows,
                                  ConnectionString::Engine engine, bool limitClause);

    static constexpr int kRowsPerQuery = 5000;
    static Result collect(CallDatabase& db, const QDateTime& since, const Admits& admits,
                          const Sent& sent);

    // The same read a batch at a time, in the order of the call ids, so a long
    // history does not hold up the event loop: start(), then step() until it
    // returns true.
    OldCallReplay(CallDatabase& db, QDateTime since, Admits admits, Sent sent);
    ~OldCallReplay();
    void start();
    bool step(int maxRows);
    Result takeResult();
    // The engine decides whether batches use LIMIT; this overrides it (to read
    // an engine that has it the way the others are read).
    void setLimitClause(bool on) { m_limitClause = on; }

private:
    CallDatabase& m_db;
    QDateTime m_since;
    Admits m_admits;
    Sent m_sent;
    qint64 m_lastId = std::numeric_limits<qint32>::min(); // CallID is a 32-bit column
    Result m_result;
    QString m_list;
    bool m_done = false;
    std::optional<bool> m_limitClause;
};
