#include "CallDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

const QStringList& CallDatabase::columns()
{
    static const QStringList names = {
        QStringLiteral("CallID"),      QStringLiteral("CallerID"),
        QStringLiteral("CallerName"),  QStringLiteral("CallerGUID"),
        QStringLiteral("CallerExtra"), QStringLiteral("CalledID"),
        QStringLiteral("CalledName"),  QStringLiteral("CalledGUID"),
        QStringLiteral("CalledExtra"), QStringLiteral("CalledDevice"),
        QStringLiteral("Answered"),    QStringLiteral("Incoming"),
        QStringLiteral("New"),         QStringLiteral("CallDate"),
        QStringLiteral("CallEnd"),     QStringLiteral("CallDuration")};
    return names;
}

CallDatabase::CallDatabase(ErrorSink reportError) : m_reportError(std::move(reportError))
{
    m_checkpoint.setSingleShot(true);
    QObject::connect(&m_checkpoint, &QTimer::timeout, [this] { checkpoint(); });
}

CallDatabase::~CallDatabase()
{
    close();
    QSqlDatabase::removeDatabase(QString::fromLatin1(kConnectionName));
}

QString CallDatabase::defaultConnectionString(const QString& installDir)
{
    return ConnectionString::forSQLite(installDir + QStringLiteral("data.db"));
}

bool CallDatabase::runSchema(QSqlDatabase& db, const QString& schemaFile, QString* error)
{
    QFile schema(schemaFile);
    if (!schema.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("The database schema %1 cannot be read").arg(schemaFile);
        return false;
    }
    QString statement;
    for (const QString& line : QString::fromUtf8(schema.readAll()).split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("--")))
            continue;
        statement += line + QLatin1Char('\n');
        if (!line.trimmed().endsWith(QLatin1Char(';')))
            continue;
        QSqlQuery q(db);
        if (!q.exec(statement)) {
            *error = q.lastError().text();
            return false;
        }
        statement.clear();
    }
    return true;
}

bool CallDatabase::createSQLiteDatabase(const QString& filePath, const QString& schemaFile,
                                        QString* error)
{
    const QString name = QStringLiteral("phonavo-create");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(filePath);
        if (!db.open())
            *error = db.lastError().text();
        else
            ok = runSchema(db, schemaFile, error);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

void CallDatabase::close()
{
    // Closing the last connection checkpoints the log itself.
    m_checkpoint.stop();
    m_unCheckpointedSince.invalidate();
    m_prepared.clear(); // statements go before their connection
    if (QSqlDatabase::contains(QString::fromLatin1(kConnectionName))) {
        QSqlDatabase db = QSqlDatabase::database(QString::fromLatin1(kConnectionName), false);
        db.close();
    }
    m_sizes.clear();
    m_writeProblem.clear();
}

void CallDatabase::closeLostFile(bool removeJournal)
{
    const FileState state = isOpen() ? fileState() : FileState::Same;
    const bool lost = state == FileState::Gone || state == FileState::Replaced;
    // The engine keeps the journal files of a moved file when it closes it.
    if (lost)
        QSqlQuery(database()).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    close();
    if (!lost)
        return;
    // A folder that is not the one found at opening (a share that is away)
    // may come back with the very file: nothing there is ours to touch.
    const bool sameFolder =
        m_folderIdentity && FileIdentity::of(QFileInfo(m_file).absolutePath()) == m_folderIdentity;
    if (!sameFolder)
        return;
    if (removeJournal) {
        const std::pair<QString, std::optional<FileIdentity>> journal[] = {
            {QStringLiteral("-wal"), m_walIdentity}, {QStringLiteral("-shm"), m_shmIdentity}};
        for (const auto& [suffix, identity] : journal)
            if (identity && FileIdentity::of(m_file + suffix) == identity)
                QFile::remove(m_file + suffix);
    }
    m_identityKey.clear();
}

bool CallDatabase::answers()
{
    if (!isOpen())
        return false;
    QSqlQuery ping(database());
    const bool answered = ping.exec(QStringLiteral("SELECT 1")) && ping.next();
    ping.finish();
    return answered;
}

bool CallDatabase::isOpen() const
{
    return QSqlDatabase::contains(QString::fromLatin1(kConnectionName)) && database().isOpen();
}

QSqlDatabase CallDatabase::database() const
{
    return QSqlDatabase::database(QString::fromLatin1(kConnectionName), false);
}

bool CallDatabase::fail(SqlFailure kind, const QString& text, bool report)
{
    m_openFailure = {kind, text};
    if (report)
        m_reportError(text);
    return false;
}

bool CallDatabase::OpenCallDatabase(QString& connection, const QString& storedOrDefault,
                                    bool reportFailure)
{
    close();
    m_openFailure = {};
    if (connection.isEmpty())
        connection = storedOrDefault;
    const ConnectionString cs = ConnectionString::parse(connection);
    const auto configured = cs.configure(QString::fromLatin1(kConnectionName));
    if (!configured)
        return fail(SqlFailure::Other, configured.error(), reportFailure);
    QSqlDatabase db = database();
    if (cs.engine() == ConnectionString::Engine::SQLite) {
        // Never create an empty file for a database that is not there.
        const QString file = cs.value(QStringLiteral("Data Source"));
        if (file != QLatin1String(":memory:") && !QFile::exists(file))
            return fail(SqlFailure::Other,
                        QStringLiteral("The database file %1 does not exist").arg(file),
                        reportFailure);
    }
    if (!db.open())
        return fail(classifySqlError(db.lastError(), cs.engine()), db.lastError().text(),
                    reportFailure);
    QSqlQuery check(db);
    if (!check.exec(
            QStringLiteral(
                "SELECT CallID,CallerID,CallerName,CallerGUID,CallerExtra,CalledID,CalledName,") +
            QStringLiteral("CalledGUID,CalledExtra,CalledDevice,Answered,Incoming,New,CallDate,"
                           "CallEnd,CallDuration FROM Calls"))) {
        const QSqlError error = check.lastError();
        check.finish();
        db.close();
        return fail(classifySqlError(error, cs.engine()), error.text(), reportFailure);
    }
    check.finish();
    if (cs.engine() == ConnectionString::Engine::SQLite) {
        // Readers (history window, other processes) go on while the program writes.
        QSqlQuery wal(db);
        wal.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        // With WAL this keeps the file consistent; only the last commits may be
        // lost on a power failure, and calls are saved many times anyway.
        wal.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        // Checkpoints run on a timer (wrote()), not in whichever commit fills
        // the log; a log that grew large is cut back after one.
        wal.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        wal.exec(QStringLiteral("PRAGMA journal_size_limit=4194304"));
    }
    m_engine = cs.engine();
    m_connection = connection;
    m_readOnlyByRequest = cs.readOnly();
    rememberIdentity(cs);
    probeWrites();
    // The journal files exist once a transaction ran (the probe's).
    m_walIdentity =
        FileIdentity::of(m_file.isEmpty() ? QString() : m_file + QStringLiteral("-wal"));
    m_shmIdentity =
        FileIdentity::of(m_file.isEmpty() ? QString() : m_file + QStringLiteral("-shm"));
    readColumnSizes();
    return true;
}

void CallDatabase::rememberIdentity(const ConnectionString& cs)
{
    m_file.clear();
    m_fileIdentity.reset();
    m_folderIdentity.reset();
    m_walIdentity.reset();
    m_shmIdentity.reset();
    const QString source = cs.value(QStringLiteral("Data Source"));
    if (cs.engine() == ConnectionString::Engine::SQLite && source != QLatin1String(":memory:")) {
        m_file = QFileInfo(source).absoluteFilePath();
        m_fileIdentity = FileIdentity::of(m_file);
        m_folderIdentity = FileIdentity::of(QFileInfo(m_file).absolutePath());
    }
    const QString key =
        m_fileIdentity
            ? QStringLiteral("file %1:%2").arg(m_fileIdentity->device).arg(m_fileIdentity->inode)
            : m_connection;
    if (key != m_identityKey)
        ++m_generation;
    m_identityKey = key;
}

void CallDatabase::probeWrites()
{
    // A write-protected file, a read-only connection or a user without rights
    // fails here, before the first call is lost to it. The embedded engine
    // needs a page changed to find a write-protected folder (no journal file can
    // be made there): the header's user version, set to what it is and rolled
    // back. Elsewhere an update of no row asks for the right to write.
    m_writeProblem.clear();
    const bool embedded = m_engine == ConnectionString::Engine::SQLite;
    QSqlQuery probe(database());
    bool ok = false;
    if (embedded && probe.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        const int version = probe.exec(QStringLiteral("PRAGMA user_version")) && probe.next()
                                ? probe.value(0).toInt()
                                : 0;
        ok = probe.exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
    } else if (!embedded) {
        ok = probe.exec(QStringLiteral("UPDATE Calls SET New = New WHERE 1 = 0"));
    }
    const QSqlError error = probe.lastError();
    probe.finish();
    if (embedded)
        QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
    if (!ok && classify(error) != SqlFailure::Busy)
        m_writeProblem = error.text();
}

bool CallDatabase::writableAgain() const
{
    if (m_writeProblem.isEmpty() || m_file.isEmpty() || m_readOnlyByRequest)
        return false;
    const QFileInfo file(m_file);
    return file.isWritable() && QFileInfo(file.absolutePath()).isWritable();
}

CallDatabase::FileState CallDatabase::fileState() const
{
    if (m_file.isEmpty() || !m_fileIdentity || !isOpen())
        return FileState::Same;
    FileIdentity now;
    switch (FileIdentity::look(m_file, &now)) {
    case FileIdentity::Lookup::Missing:
        return FileState::Gone;
    case FileIdentity::Lookup::Unknown:
        return FileState::Unknown;
    case FileIdentity::Lookup::Found:
        break;
    }
    return now == *m_fileIdentity ? FileState::Same : FileState::Replaced;
}

void CallDatabase::readColumnSizes()
{
    m_sizes.clear();
    QSqlDatabase db = database();
    if (m_engine == ConnectionString::Engine::SQLite) {
        // SQLite keeps declared sizes only in the table's definition.
        static const QRegularExpression size(QStringLiteral("\\((\\d+)\\)"));
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("PRAGMA table_info(Calls)")))
            while (q.next()) {
                const auto m = size.match(q.value(2).toString());
                if (m.hasMatch())
                    m_sizes.insert(q.value(1).toString().toLower(), m.captured(1).toInt());
            }
        return;
    }
    QSqlRecord record = db.record(QStringLiteral("Calls"));
    if (record.isEmpty()) // PostgreSQL folds unquoted names to lower case
        record = db.record(QStringLiteral("calls"));
    for (int i = 0; i < record.count(); ++i)
        if (record.field(i).length() > 0)
            m_sizes.insert(record.fieldName(i).toLower(), record.field(i).length());
}

QSqlQuery* CallDatabase::prepared(const QString& sql, QString* lastError)
{
    if (const auto found = m_prepared.find(sql); found != m_prepared.end())
        return found->second.get();
    auto query = std::make_unique<QSqlQuery>(database());
    query->setForwardOnly(true); // read once, front to back: no rows kept for scrolling
    if (!query->prepare(sql)) {
        if (lastError)
            *lastError = query->lastError().text();
        return nullptr;
    }
    return m_prepared.emplace(sql, std::move(query)).first->second.get();
}

bool CallDatabase::beginWrite(QSqlError* error)
{
    QSqlDatabase db = database();
    if (m_engine != ConnectionString::Engine::SQLite) {
        if (db.transaction())
            return true;
        *error = db.lastError();
        return false;
    }
    // A deferred transaction that has read gets "busy" at its first write at
    // once, without waiting: another writer might be waiting for it.
    QString notPrepared;
    QSqlQuery* begin = prepared(QStringLiteral("BEGIN IMMEDIATE"), &notPrepared);
    if (!begin) {
        *error = QSqlError(notPrepared);
        return false;
    }
    const bool begun = begin->exec();
    if (!begun)
        *error = begin->lastError();
    begin->finish();
    return begun;
}

void CallDatabase::setCheckpointDelays(int idleMs, int latestMs)
{
    m_checkpointIdleMs = idleMs;
    m_checkpointLatestMs = latestMs;
}

void CallDatabase::wrote()
{
    if (m_engine != ConnectionString::Engine::SQLite || m_file.isEmpty() || !isOpen())
        return;
    if (!m_unCheckpointedSince.isValid())
        m_unCheckpointedSince.start();
    const qint64 left = m_checkpointLatestMs - m_unCheckpointedSince.elapsed();
    m_checkpoint.start(int(qMax<qint64>(0, qMin<qint64>(m_checkpointIdleMs, left))));
}

void CallDatabase::checkpoint()
{
    if (!isOpen())
        return;
    // Passive: never waits for readers (the history window, another program);
    // what they still need is copied at the next one.
    QSqlQuery q(database());
    const bool done = q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")) && q.next();
    const bool complete =
        done && q.value(0).toInt() == 0 && q.value(1).toInt() == q.value(2).toInt();
    q.finish();
    m_unCheckpointedSince.invalidate();
    if (!complete) {
        m_unCheckpointedSince.start();
        m_checkpoint.start(m_checkpointLatestMs);
    }
}

qint32 CallDatabase::GetNextId(const QString& table, const QString& field, qint32 minimum)
{
    // Asked with every new call: prepared once, not parsed again each time.
    QSqlQuery* q = prepared(QStringLiteral("SELECT MAX(") + field +
                            QStringLiteral(") + 1 as maxid FROM ") + table);
    if (!q || !q->exec() || !q->next()) {
        if (q)
            q->finish();
        return minimum;
    }
    const QVariant v = q->value(0);
    q->finish();
    if (v.isNull())
        return minimum;
    return qMax(minimum, v.toInt());
}
