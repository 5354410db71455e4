#pragma once

#include "platform/Result.h"

#include <QMap>
#include <QString>

class QSqlDatabase;

// Database connections in the familiar "Key=Value;" form:
//   Provider=SQLite;Data Source=/path/data.db[;Mode=Read]
//   Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=...
//   Provider=MySQL;Host=...;Port=...;Database=...;User ID=...;Password=...
//   Provider=ODBC;Data Source=<DSN or ODBC connection string>
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
