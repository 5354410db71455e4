#pragma once

#include "platform/db/ConnectionString.h"

#include <QList>
#include <QString>
#include <QStringList>

// The columns of the call history grid grdCalls, in their order.
namespace HistoryColumns {

enum Column
{
    CallID,
    CallerImage,
    CallDate,
    CallTime,
    CallDuration,
    Caller,
    CallerNumber, // key "CallerID"
    CallerName,
    Called,
    CalledNumber, // key "CalledID"
    CalledName,
    Incoming,
    Answered,
    CallerGuid,
    Count
};

struct Info
{
    const char* key;
    const char* caption; // native text, translated where shown
    int widthTwips;
    bool hidden;
};

const Info& info(int column);
// -1 for an unknown key.
int byKey(const QString& key);
// Twips of the design table to device-independent pixels.
int twipsToPixels(int twips);

// The SQL a column is sorted by, and the values a group of it is made of
// (one or two expressions). Empty: the column cannot be sorted or grouped.
QStringList sortExpressions(int column, ConnectionString::Engine engine);
QStringList groupExpressions(int column, ConnectionString::Engine engine);

} // namespace HistoryColumns
