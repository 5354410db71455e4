#pragma once

#include "platform/FileIdentity.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/SqlFailure.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

// The one open call database: connection, the check of table Calls, id
// allocation and the sizes of its text columns.
class CallDatabase
{
public:
    using ErrorSink = std::function<void(const QString&)>;
    struct Failure
    {
        SqlFailure kind = SqlFailure::Other;
        QString text;
    };
    enum class FileState
    {
        Same,     // the path still names the file that is open (or there is no file)
        Gone,     // deleted since it was opened
        Replaced, // the path names another file now
        Unknown   // the path cannot be looked at now (no rights, a share that is away)
    };
    static constexpr const char* kConnectionName = "phonavo-calls";
    static const QStringList& columns();

    explicit CallDatabase(ErrorSink reportError);
    ~CallDatabase();

    // Opens the given connection (empty: storedOrDefault). The used string is
    // written back into connection. A failure is passed to the error sink unless
    // the caller wants to look at lastOpenFailure() first.
    bool OpenCallDatabase(QString& connection, const QString& storedOrDefault,
                          bool reportFailure = true);
    const Failure& lastOpenFailure() const { return m_openFailure; }
    void close();
    // Closes a file that failed. One that was deleted or replaced first gets
    // its last commits (wherever it is now); its journal files are removed from
    // the path only when asked (the program's own default file) and only while
    // they are still the ones found at opening, so the file that takes the name
    // does not read them as its own while another program's live ones stay. A
    // file still in place is only closed. After a loss in the same folder the
    // next open counts as another database.
    void closeLostFile(bool removeJournal);
    bool isOpen() const;
    QSqlDatabase database() const;
    ConnectionString::Engine engine() const { return m_engine; }
    QString connectionString() const { return m_connection; }
    SqlFailure classify(const QSqlError& error) const { return classifySqlError(error, m_engine); }

    // Why the open database takes no writes, found when it was opened by a
    // write that is rolled back; empty when it takes them (or was busy then).
    QString writeProblem() const { return m_writeProblem; }
    // "Mode=Read" in the connection string: the user wants no writes at all.
    bool readOnlyByRequest() const { return m_readOnlyByRequest; }
    // A database that took no writes when it was opened, whose file (and
    // folder) can be written now: opening it again lets it take writes.
    bool writableAgain() const;

    // The embedded database's file, as the program opened it; empty for servers.
    QString file() const { return m_file; }
    FileState fileState() const;
    // Numbers the databases opened in this run: a row id means something only
    // in the database of its number. Opening the same database again keeps the
    // number, also when its folder comes back (a share mounted again); after a
    // file was lost from its folder, the next open counts as another database
    // (a deleted file's inode may come back for the new file).
    quint32 generation() const { return m_generation; }
    // A cheap statement on the open connection: false when the connection is gone.
    bool answers();

    qint32 GetNextId(const QString& table, const QString& field, qint32 minimum);
    // Starts the transaction of one save. The embedded database takes its write
    // lock here, so a short lock of another program is waited for (up to the
    // busy time-out) before anything is read; false with the reason otherwise.
    bool beginWrite(QSqlError* error);
    // A statement prepared once per connection and kept: on a database server
    // every prepare and every discarded statement costs a round trip of its
    // own. Null (with the reason in lastError) when the statement cannot be
    // prepared. Valid until the connection closes.
    QSqlQuery* prepared(const QString& sql, QString* lastError = nullptr);
    // After a committed write. The embedded database copies its write-ahead log
    // into the main file (a checkpoint, with its disk flushes) on a timer once
    // writes pause, never inside a call's save: at most kCheckpointIdleMs
    // after the last write and kCheckpointLatestMs after the first one not yet
    // copied. Until then a commit is in the log file, which a killed process
    // does not lose.
    void wrote();
    static constexpr int kCheckpointIdleMs = 500;
    static constexpr int kCheckpointLatestMs = 2000;
    void setCheckpointDelays(int idleMs, int latestMs);
    bool checkpointPending() const { return m_checkpoint.isActive(); }
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
    bool fail(SqlFailure kind, const QString& text, bool report);
    void probeWrites();
    void rememberIdentity(const ConnectionString& cs);
    void checkpoint();

    ErrorSink m_reportError;
    Failure m_openFailure;
    QString m_writeProblem;
    bool m_readOnlyByRequest = false;
    QString m_file;
    std::optional<FileIdentity> m_fileIdentity;
    std::optional<FileIdentity> m_folderIdentity;
    std::optional<FileIdentity> m_walIdentity;
    std::optional<FileIdentity> m_shmIdentity;
    QString m_identityKey;
    quint32 m_generation = 0;
    ConnectionString::Engine m_engine = ConnectionString::Engine::Unknown;
    QString m_connection;
    QHash<QString, int> m_sizes;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
    QTimer m_checkpoint;
    QElapsedTimer m_unCheckpointedSince;
    int m_checkpointIdleMs = kCheckpointIdleMs;
    int m_checkpointLatestMs = kCheckpointLatestMs;
};
