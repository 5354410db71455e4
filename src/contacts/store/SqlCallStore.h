#pragma once

#include "CallDatabase.h"
#include "HeldSaves.h"
#include "core/calls/CallStore.h"

#include <QDateTime>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <functional>

class QSqlQuery;

// Keeps every call in table Calls: inserted on its first save, updated after,
// its end and duration written once. A save the database does not take (full,
// busy, read-only, damaged, gone, no database open) is kept in memory; while
// anything is kept, later saves queue behind it, and the queue is written
// oldest first on the event loop, a few milliseconds a turn. After a refusal it
// waits, longer after each further one, and opens the database again when
// none is open or the connection was lost.
// A date read from the Calls table: a date value (PostgreSQL, MySQL) or the
// text SQLite keeps; invalid for null.
QDateTime readCallDate(const QVariant& v);

class SqlCallStore : public CallStore
{
public:
    enum class Reopen
    {
        AfterLoss,      // the file that was open is gone or no database: whatever opens is another
        Same,           // the connection that was open (quietly)
        StoredOrDefault // the stored connection, else the default one, as after standby (quietly)
    };
    struct Hooks
    {
        std::function<bool()> addToCallHistory;    // cbAddToCallHist
        std::function<QString(qint32)> deviceName; // CalledDevice for a device id
        std::function<qint32(const QString&)> deviceIdFromName;
        std::function<void(const QString&)> log;         // LogStr
        std::function<void(const QString&)> reportError; // RaiseError
        std::function<void()> historyChanged;            // refresh an open history window
        // GetS with its parameters; the text with its %s filled in when empty.
        std::function<QString(const QString&, const QStringList&)> translate;
        std::function<bool(Reopen)> reopenDatabase;
    };

    // Calls kept at most: the history of a long outage of a busy line, in a
    // few megabytes.
    static constexpr int kHeldLimit = 5000;
    // The first wait after a refusal; every further refusal doubles it, up to
    // kLongestWaitFactor times this.
    static constexpr int kRetryMs = 5000;
    static constexpr int kLongestWaitFactor = 12;
    // How long one turn of writing kept calls may hold the event loop.
    static constexpr int kTurnMs = 30;
    // A database busy for this long is told to the user; shorter is only logged.
    static constexpr int kBusyTellSeconds = 60;

    SqlCallStore(CallDatabase& database, Hooks hooks);

    bool SaveCall(CCall& call) override;
    bool LoadCall(CCall& call, qint32 dbCallId) override;
    bool deleteCall(qint32 dbCallId);
    bool deleteAll();

    int heldCount() const { return m_held.size(); }
    void setHeldLimit(int limit) { m_held.setLimit(limit); }
    // The first wait after a refusal (the longest is kLongestWaitFactor times it).
    void setRetryInterval(int ms) { m_retryMs = ms; }
    void setTurnMs(int ms) { m_turnMs = ms; }
    // The wait before the next try after refusals in a row; 0 when the last try wrote.
    int retryWaitMs() const { return m_wait; }
    // At exit: a last try; what is still kept is listed in the log and reported lost.
    void writeHeldBeforeExit();

    // The time of day of this value is a call's duration.
    static QDateTime durationValue(qint64 seconds);

private:
    enum class Outcome
    {
        Written,
        NotFound, // the row of a saved call was deleted: logged, nothing written
        Failed    // m_failure says why
    };
    struct Times
    {
        QDateTime now;      // the save: start of a new row unless firstDue is set
        QDateTime firstDue; // a kept save: the time its row should have been made
        QDateTime endAt;    // when an ended answered call ended
    };

    Outcome writeInTransaction(CCall& call, const Times& times);
    Outcome writeCall(CCall& call, const Times& times);
    // Runs a kept statement with these values; null (m_failure set) when it fails.
    QSqlQuery* run(const QString& sql, const QVariantList& values);
    QVariant dateValue(const QDateTime& t) const;
    QString cut(const QString& column, const QString& text) const;

    // Keeps this save behind the ones already kept.
    void keep(CCall& call, const QDateTime& at);
    // One turn of writing kept saves (the timer's), then the next turn or a wait.
    void drain();
    // Writes kept saves, oldest first, until none is left, turnMs are over
    // (never when negative), or the database refuses one (false).
    bool writeKept(int turnMs);
    void allWritten();
    // Makes sure a database is open that may take the kept saves.
    bool readyToWrite();
    // After a refused write: what the failure says about the database, told
    // once; true when the database was opened anew and may take it now.
    bool refused(const CCall* call);
    void beginOutage();
    // Waits before the next try, longer after every refusal in a row.
    void waitAfterRefusal();
    void noteRefusal(const CCall* call);
    void logKept(const CCall& call);
    // "Mode=Read": the user switched saving off for this database.
    bool notStoredByRequest();
    // Lists what is kept in the log as not written and forgets it.
    void dropKept();
    void checkDatabaseFile();
    bool reopenBrokenFile();
    bool reopen(Reopen how);
    void log(const QString& line) const;
    void report(const QString& text) const;
    QString GetS(const QString& text, const QStringList& params = {}) const;

    CallDatabase& m_db;
    Hooks m_hooks;
    HeldSaves m_held{kHeldLimit};
    // The next turn of writing, or the wait after a refusal.
    QTimer m_retry;
    int m_retryMs = kRetryMs;
    int m_turnMs = kTurnMs;
    int m_wait = 0;                  // the wait after refusals in a row; 0 after progress
    bool m_draining = false;         // a turn is writing (a box in it lets events run)
    bool m_lostConnection = false;   // the connection failed: the same one is opened again
    QString m_toldNotStored;         // the read-only connection already told about
    CallDatabase::Failure m_failure; // why the last write failed
    bool m_noDatabase = false;       // ... because none was open when it began

    // From the first refused save until every kept save is written.
    struct Outage
    {
        bool active = false;
        bool told = false;        // the user saw a box about it
        bool toldDropped = false; // ... and one about dropped calls
        bool toldClosed = false;  // the log says the database is opened again
        bool reopened = false;    // a broken file was opened again once
        QDateTime since;
        int written = 0;
    } m_outage;
};
