#pragma once

#include "platform/db/ConnectionString.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <functional>
#include <memory>
#include <unordered_map>

// The one open call database: connection, the check of table Calls, id
// allocation and the sizes of its text columns.
class CallDatabase
{
public:
    using ErrorSink = std::function<void(const QString&)>;
    static constexpr const char* kConnectionName = "phonavo-calls";
    static const QStringList& columns();

    explicit CallDatabase(ErrorSink reportError);
    ~CallDatabase();

    // Opens the given connection (empty: storedOrDefault). The used string is
    // written back into connection.
    bool OpenCallDatabase(QString& connection, const QString& storedOrDefault);
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    ConnectionString::Engine engine() const { return m_engine; }
    QString connectionString() const { return m_connection; }

    qint32 GetNextId(const QString& table, const QString& field, qint32 minimum);
    // A statement prepared once per connection and kept: on a database server
    // every prepare and every discarded statement costs a round trip of its
    // own. Null (with the reason in lastError) when the statement cannot be
    // prepared. Valid until the connection closes.
    QSqlQuery* prepared(const QString& sql, QString* lastError = nullptr);
    // Defined size of a text column, or -1 when the database does not say.
    int columnSize(const QString& column) const { return m_sizes.value(column.toLower(), -1); }

    static QString defaultConnectionString(const QString& installDir);
    // Runs the statements of a schema file on an open connection.
    static bool runSchema(QSqlDatabase& db, const QString& schemaFile, QString* error);
    // The embedded database of a fresh installation, made from the shipped schema.
    static bool createSQLiteDatabase(const QString& filePath, const QString& schemaFile,
                                     QString* error);

private:
    void readColumnSizes();

    ErrorSink m_reportError;
    ConnectionString::Engine m_engine = ConnectionString::Engine::Unknown;
    QString m_connection;
    QHash<QString, int> m_sizes;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
};
