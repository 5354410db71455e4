#pragma once

#include "core/calls/CallStore.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>

class CallDatabase;
class QSqlQuery;

// Keeps every call in table Calls: inserted on its first save, updated after,
// its end and duration written once.
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
    };

    SqlCallStore(CallDatabase& database, Hooks hooks);

    bool SaveCall(CCall& call) override;
    bool LoadCall(CCall& call, qint32 dbCallId) override;
    bool deleteCall(qint32 dbCallId);
    bool deleteAll();

    // The time of day of this value is a call's duration.
    static QDateTime durationValue(qint64 seconds);

private:
    bool writeCall(CCall& call);
    // Runs a kept statement with these values; null after reporting a failure.
    QSqlQuery* run(const QString& sql, const QVariantList& values);
    QVariant dateValue(const QDateTime& t) const;
    static QDateTime readDate(const QVariant& v);
    QString cut(const QString& column, const QString& text) const;

    CallDatabase& m_db;
    Hooks m_hooks;
};
