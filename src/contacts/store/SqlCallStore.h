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
// busy, read-only, gone) is kept in memory and written, in order, once it
// takes writes again: tried on a timer and before the next save.
class SqlCallStore : public CallStore
{
public:
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
        // Opens the call database again; `replaced`: the one that was open is
        // gone, whatever opens now is another database.
        std::function<bool(bool replaced)> reopenDatabase;
    };

    // Calls kept at most: the history of a long outage of a busy line, in a
    // few megabytes.
    static constexpr int kHeldLimit = 5000;
    static constexpr int kRetryMs = 5000;
    // Kept saves written in one turn of the event loop.
    static constexpr int kBatch = 200;
    // A database busy for this long is told to the user; shorter is only logged.
    static constexpr int kBusyTellSeconds = 60;

    SqlCallStore(CallDatabase& database, Hooks hooks);

    bool SaveCall(CCall& call) override;
    bool LoadCall(CCall& call, qint32 dbCallId) override;
    bool deleteCall(qint32 dbCallId);
    bool deleteAll();

    int heldCount() const { return m_held.size(); }
    void setHeldLimit(int limit) { m_held.setLimit(limit); }
    void setRetryInterval(int ms) { m_retryMs = ms; }
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
    static QDateTime readDate(const QVariant& v);
    QString cut(const QString& column, const QString& text) const;

    void keep(const CCall& call, const QDateTime& at);
    // Writes kept saves, oldest first; true when the database refused one.
    bool writeHeld(int most);
    void retry();
    void noteRefusal(const CCall* call);
    void checkDatabaseFile();
    bool reopenBrokenFile();
    bool reopen(bool replaced);
    void log(const QString& line) const;
    void report(const QString& text) const;
    QString GetS(const QString& text, const QStringList& params = {}) const;

    CallDatabase& m_db;
    Hooks m_hooks;
    HeldSaves m_held{kHeldLimit};
    QTimer m_retry;
    int m_retryMs = kRetryMs;
    CallDatabase::Failure m_failure; // why the last write failed

    // From the first refused save until every kept save is written.
    struct Outage
    {
        bool active = false;
        bool told = false;        // the user saw a box about it
        bool toldDropped = false; // ... and one about dropped calls
        bool reopened = false;    // a broken file was opened again once
        QDateTime since;
        int written = 0;
    } m_outage;
};
