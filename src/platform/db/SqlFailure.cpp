#include "SqlFailure.h"

#include <QSqlError>

namespace {

// SQLite's primary result codes; the driver reports extended codes, whose low
// byte is the primary one.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteFull = 13;
constexpr int kSqliteNotADatabase = 26;

} // namespace

SqlFailure classifySqlError(const QSqlError& error, ConnectionString::Engine engine)
{
    if (engine != ConnectionString::Engine::SQLite)
        return SqlFailure::Other;
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    if (!numeric)
        return SqlFailure::Other;
    switch (code) {
    case kSqliteBusy:
    case kSqliteLocked:
        return SqlFailure::Busy;
    case kSqliteFull:
        return SqlFailure::Full;
    case kSqliteReadOnly:
        return SqlFailure::ReadOnly;
    case kSqliteCorrupt:
        return SqlFailure::Damaged;
    case kSqliteNotADatabase:
        return SqlFailure::NotADatabase;
    default:
        return SqlFailure::Other;
    }
}
