#pragma once

#include "platform/db/ConnectionString.h"

#include <QString>
#include <QVariantList>

// What the filter box of the history searches for, and where.
struct HistoryFilter
{
    QString text;
    bool numbers = true; // cbFilterNumber
    bool names = true;   // cbFilterNames
    bool extra = true;   // cbFilterExtrainfo
};

struct SqlStatement
{
    QString sql;
    QVariantList values; // bound in order
};

// The statements the history reads table Calls with. The filter text only
// ever reaches the database as a bound LIKE pattern.
class HistoryQuery
{
public:
    HistoryQuery(ConnectionString::Engine engine, HistoryFilter filter, int sortColumn,
                 Qt::SortOrder order, int groupColumn);

    // The fields of a call row, in this order.
    enum Field
    {
        fCallID,
        fCallDate,
        fCallEnd,
        fCallDuration,
        fCallerID,
        fCallerName,
        fCallerGUID,
        fCallerExtra,
        fCalledID,
        fCalledName,
        fCalledExtra,
        fIncoming,
        fAnswered,
        FieldCount
    };

    bool grouped() const { return m_groupColumn >= 0; }
    int groupValueCount() const;
    // Every call that passes the filter, in the chosen order.
    SqlStatement calls() const;
    // One row per group: its values (groupValueCount of them) and its number of calls.
    SqlStatement groups() const;
    // The calls of one group, given its values as groups() returned them.
    SqlStatement callsOfGroup(const QVariantList& groupValues) const;

    // The LIKE pattern (escape character '!') that finds text anywhere.
    static QString containsPattern(const QString& text);

private:
    QString where(QVariantList& values) const;
    QString orderBy() const;

    ConnectionString::Engine m_engine;
    HistoryFilter m_filter;
    int m_sortColumn;
    Qt::SortOrder m_order;
    int m_groupColumn;
};
