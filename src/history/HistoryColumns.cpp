#include "HistoryColumns.h"

#include <array>

namespace HistoryColumns {

namespace {

const std::array<Info, Count> kColumns = {{
    {"CallID", "Field2", 1200, true},
    {"CallerImage", "Image", 300, true},
    {"CallDate", "Date/Time", 1800, false}, // a whole date and time in the desktop font
    {"CallTime", "Time", 1005, true},
    {"CallDuration", "CallDuration", 1200, false},
    {"Caller", "Caller", 3000, false},
    {"CallerID", "CallerID", 1200, true},
    {"CallerName", "Name of caller", 1200, true},
    {"Called", "Callee", 3000, false},
    {"CalledID", "CalledID", 1200, true},
    {"CalledName", "Called name", 1200, true},
    {"Incoming", "Incoming", 795, false},
    {"Answered", "Answered", 795, false},
    {"CallerGuid", "CallerGuid", 1200, true},
}};

using Engine = ConnectionString::Engine;

QString text(const char* column)
{
    // Texts that are null and empty belong to one group.
    return QStringLiteral("COALESCE(%1, '')").arg(QLatin1String(column));
}

QString datePart(Engine engine)
{
    // SQLite keeps the ISO text its column default writes.
    if (engine == Engine::SQLite)
        return QStringLiteral("substr(CallDate, 1, 10)");
    return QStringLiteral("CAST(CallDate AS DATE)");
}

QString timePart(Engine engine)
{
    if (engine == Engine::SQLite)
        return QStringLiteral("substr(CallDate, 12, 8)");
    return QStringLiteral("CAST(CallDate AS TIME)");
}

} // namespace

const Info& info(int column)
{
    return kColumns.at(size_t(column));
}

int byKey(const QString& key)
{
    for (int c = 0; c < Count; ++c)
        if (key.compare(QLatin1String(kColumns[size_t(c)].key), Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

int twipsToPixels(int twips)
{
    return twips / 15;
}

QStringList sortExpressions(int column, ConnectionString::Engine engine)
{
    switch (column) {
    case CallID:
        return {QStringLiteral("CallID")};
    case CallDate:
        return {QStringLiteral("CallDate")};
    case CallTime:
        return {timePart(engine)};
    case CallDuration:
        return {QStringLiteral("CallDuration")};
    case Caller:
        return {text("CallerName"), text("CallerID")};
    case CallerNumber:
        return {text("CallerID")};
    case CallerName:
        return {text("CallerName")};
    case Called:
        return {text("CalledName"), text("CalledID")};
    case CalledNumber:
        return {text("CalledID")};
    case CalledName:
        return {text("CalledName")};
    case Incoming:
        return {QStringLiteral("Incoming")};
    case Answered:
        return {QStringLiteral("Answered")};
    case CallerGuid:
        return {text("CallerGUID")};
    default:
        return {};
    }
}

QStringList groupExpressions(int column, ConnectionString::Engine engine)
{
    switch (column) {
    case CallDate:
        return {datePart(engine)};
    case Caller:
        return {text("CallerID"), text("CallerName")};
    case Called:
        return {text("CalledID"), text("CalledName")};
    default:
        return sortExpressions(column, engine);
    }
}

} // namespace HistoryColumns
