#pragma once

#include "ConnectionString.h"

class QSqlError;

// What kind of failure a database reported, as far as the program acts on it:
// a busy database is waited for, a full or read-only one is told to the user,
// a file that is not a database (any more) can be replaced.
enum class SqlFailure
{
    Other,
    Busy,
    Full,
    ReadOnly,
    NotADatabase
};

// Only the embedded engine's codes are known; other engines give Other.
SqlFailure classifySqlError(const QSqlError& error, ConnectionString::Engine engine);
