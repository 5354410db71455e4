#pragma once

#include "platform/Result.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

class QSqlDatabase;

// Database connections in the familiar "Key=Value;" form:
//   Provider=SQLite;Data Source=/path/data.db[;Mode=Read]
//   Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=...
//   Provider=MySQL;Host=...;Port=...;Database=...;User ID=...;Password=...
//   Provider=ODBC;Data Source=<DSN or ODBC connection string>
// A value may be put in double or single quotes, a quote inside it written
// twice, so that it can hold ';' or begin or end with blanks.
class ConnectionString
{
public:
    enum class Engine
    {
        Unknown,
        SQLite,
        PostgreSQL,
        MySQL,
        ODBC
    };

    // How long opening a database server may take.
    static constexpr int kConnectTimeoutSeconds = 5;
    // How long a statement waits for an embedded database that another program
    // writes to. Everything runs on the event loop's thread, so it is short: a
    // save that still finds the database busy is kept and written later.
    static constexpr int kSqliteBusyTimeoutMs = 250;

    // "Mode=Read": the connection is opened for reading only.
    bool readOnly() const;

    static ConnectionString parse(const QString& text);
    static QString forSQLite(const QString& filePath);

    using Pairs = QList<QPair<QString, QString>>;
    // The Key=Value pairs as written (keys and unquoted values trimmed, quotes
    // removed); parts without a key are left out.
    static Pairs splitPairs(const QString& text);
    // The value as it must be written to come back unchanged from splitPairs.
    static QString quoteValue(const QString& value);
    static QString compose(const Pairs& pairs);

    Engine engine() const { return m_engine; }
    QString value(const QString& key) const; // keys are case-insensitive
    QString text() const { return m_text; }

    // Adds a connection under the given name, configured but not opened.
    Result<bool> configure(const QString& connectionName) const;

private:
    Engine m_engine = Engine::Unknown;
    QMap<QString, QString> m_values; // lower-cased keys
    QString m_text;
};
