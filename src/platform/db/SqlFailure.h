#pragma once

#include "ConnectionString.h"

class QSqlError;

// What kind of failure a database reported, as far as the program acts on it:
// a busy database is waited for, a full or read-only one is told to the user,
// a file that is not a database (any more) can be replaced, a damaged one can
// still be read and repaired, so it stays where it is.
enum class SqlFailure
{
    Other,
    Busy,
    Full,
    ReadOnly,
    Damaged,
    NotADatabase
};

// Only the embedded engine's codes are known; other engines give Other.
SqlFailure classifySqlError(const QSqlError& error, ConnectionString::Engine engine);
