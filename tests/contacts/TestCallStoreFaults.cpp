// The call history when its database fails: full, busy, read-only, deleted,
// replaced, damaged, not a database, not there at all, or a server that ended
// the session. The store and the switch are wired as the program wires them
// (CallStorage) around a whole controller on virtual lines.

#include "contacts/store/CallStorage.h"
#include "loc/LanguageSource.h"
#include "platform/AppPaths.h"

#include "ControllerRig.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const QString kSchema = QStringLiteral("/schema/sqlite.sql");

struct StorageRig
{
    ControllerRig rig;
    std::unique_ptr<CallStorage> calls;

    explicit StorageRig(const QString& callsConnection = QString())
    {
        rig.settings.SaveSettingHKLM(QString(), QStringLiteral("InstallDir"),
                                     rig.home.file(QStringLiteral("install")));
        if (!callsConnection.isEmpty())
            rig.settings.SaveSettingHKCU(QStringLiteral("Options"),
                                         QStringLiteral("CallsConnection"), callsConnection);
        MainForm* form = rig.form.get();
        CallStorage::Hooks hooks;
        hooks.log = [form](const QString& line) { form->LogStr(line); };
        hooks.reportError = [form](const QString& e) { form->RaiseError(e); };
        hooks.translate = [form](const QString& text, const QStringList& params) {
            return form->GetS(text, params);
        };
        hooks.store.deviceName = [this](qint32 id) { return rig.hub.getDeviceName(id); };
        calls = std::make_unique<CallStorage>(rig.settings, hooks);
        calls->store().setRetryInterval(20);
        rig.form->setCallStore(&calls->store());
    }

    SqlCallStore& store() { return calls->store(); }
    QSqlDatabase db() { return calls->database().database(); }
    QString dataFile() const { return rig.home.file(QStringLiteral("install/data.db")); }

    // The texts of the boxes RaiseError showed.
    QStringList boxes() const
    {
        QStringList shown;
        for (const ScriptedDialogs::Shown& box : rig.dialogs.history())
            if (box.kind == ScriptedDialogs::Kind::Timed)
                shown << box.prompt;
        return shown;
    }
    bool loggedPart(const QString& part) const { return loggedParts(part) > 0; }
    qsizetype loggedParts(const QString& part) const
    {
        const QStringList all = rig.messages();
        return std::count_if(all.cbegin(), all.cend(),
                             [&](const QString& m) { return m.contains(part); });
    }

    bool save(CCall& call, const QString& caller)
    {
        call = CCall(&store());
        call.CallID = caller;
        call.setCallerID(caller);
        call.setCalledID(QStringLiteral("5551"));
        return call.SaveCall();
    }
};

bool makeDatabase(const QString& file)
{
    QString error;
    const bool made =
        CallDatabase::createSQLiteDatabase(file, AppPaths::dataDir() + kSchema, &error);
    if (!made)
        qWarning() << error;
    return made;
}

// Rows of a database file as another program sees it, by CallerID.
QMultiMap<QString, QVariantMap> rowsInFile(const QString& file)
{
    QMultiMap<QString, QVariantMap> rows;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db.open() ? db : QSqlDatabase());
        if (q.exec(QStringLiteral("SELECT * FROM Calls WHERE CallerID <> 'filler'")))
            while (q.next()) {
                QVariantMap row;
                for (int i = 0; i < q.record().count(); ++i)
                    row.insert(q.record().fieldName(i), q.value(i));
                rows.insert(q.value(QStringLiteral("CallerID")).toString(), row);
            }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return rows;
}

// Fills the database up to a page limit on this connection: nothing fits any more.
bool fillUp(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA page_count")) || !q.next())
        return false;
    const int pages = q.value(0).toInt();
    q.finish();
    q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 2));
    for (int size : {255, 64, 8, 1})
        while (q.exec(QStringLiteral("INSERT INTO Calls (CallerID, CallerExtra) "
                                     "VALUES ('filler', printf('%.%1c', 'x'))")
                          .arg(size))) {
        }
    return q.lastError().nativeErrorCode() == QLatin1String("13");
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

void freeSpace(QSqlDatabase db)
{
    QSqlQuery(db).exec(QStringLiteral("PRAGMA max_page_count = 1000000"));
}

// The callers of a database's calls in the order of their CallID.
QStringList callersByCallId(const QString& connection)
{
    QStringList callers;
    {
        if (!ConnectionString::parse(connection).configure(QStringLiteral("reader")))
            return {QStringLiteral("no reader")};
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("reader"));
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT CallerID FROM Calls WHERE CallerID <> 'filler' "
                                  "ORDER BY CallID")))
            while (q.next())
                callers << q.value(0).toString();
        else
            callers << q.lastError().text();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return callers;
}

// Another program's connection to a database, gone with the object.
class OtherProgram
{
public:
    explicit OtherProgram(const QString& connection,
                          const QString& name = QStringLiteral("other program"))
        : m_name(name)
    {
        const QString cs = connection.startsWith(QLatin1String("Provider="))
                               ? connection
                               : ConnectionString::forSQLite(connection);
        if (ConnectionString::parse(cs).configure(m_name))
            QSqlDatabase::database(m_name);
    }
    ~OtherProgram()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool exec(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        const bool ok = q.exec(sql);
        if (!ok)
            qWarning() << sql << q.lastError().text();
        return ok;
    }
    QVariant value(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }

private:
    QString m_name;
};

// Makes a file or folder unwritable, for root too (who ignores permissions:
// the immutable flag then), until lifted.
class WriteProtection
{
public:
    explicit WriteProtection(const QString& path) : m_path(path)
    {
        if (::geteuid() != 0) {
            m_on = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
            return;
        }
        m_on = setImmutable(true);
    }
    ~WriteProtection() { lift(); }
    bool active() const { return m_on; }
    void lift()
    {
        if (!m_on)
            return;
        m_on = false;
        if (::geteuid() == 0)
            setImmutable(false);
        else
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private:
    bool setImmutable(bool on)
    {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK);
        int flags = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return done;
    }

    QString m_path;
    bool m_on = false;
};

// German for two of the call history's texts.
class GermanTexts : public LanguageSource
{
public:
    std::optional<QString> lookup(const QString& native) const override
    {
        if (native == QLatin1String("No call database is open"))
            return QStringLiteral("Keine Anrufdatenbank ist offen");
        if (native == QLatin1String("The call database %s could not be created: %s"))
            return QStringLiteral("Die Anrufdatenbank %s kann nicht angelegt werden: %s");
        return std::nullopt;
    }
};

// Overwrites one page of a database file (counted from 1) with garbage.
bool damagePage(const QString& file, int page, int pageSize = 4096)
{
    QFile f(file);
    return f.open(QIODevice::ReadWrite) && f.seek(qint64(page - 1) * pageSize) &&
           f.write(QByteArray(pageSize, '\x5a')) == pageSize;
}

} // namespace

class TestCallStoreFaults : public QObject
{
    Q_OBJECT

private slots:
    void fullDatabaseKeepsCallsAndWritesThemLater()
    {
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        QVERIFY(s.rig.monitor({0}));
        QVERIFY(fillUp(s.db()));
        const QDateTime rang = s.rig.clock.now();

        const qint32 first = s.rig.lines()
                                 .ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"),
                                       QStringLiteral("Smith"))
                                 .value();
        s.rig.settle();
        s.rig.clock.advanceSeconds(10);
        s.rig.lines().answerCall(first);
        s.rig.settle();
        s.rig.clock.advanceSeconds(90);
        s.rig.lines().hangup(first);
        s.rig.settle();
        const qint32 second =
            s.rig.lines().ring(0, QStringLiteral("0309876543"), QStringLiteral("5551")).value();
        s.rig.settle();

        // Every save of the first call was refused; one box says so, the log the rest.
        QCOMPARE(s.store().heldCount(), 2);
        QVERIFY(rowsInFile(s.dataFile()).isEmpty());
        QCOMPARE(s.boxes().size(), 1);
        QVERIFY2(s.boxes().first().contains(QLatin1String("database or disk is full")),
                 qPrintable(s.boxes().first()));
        QVERIFY(s.loggedPart(QStringLiteral("[%1] Call kept until the call history can be "
                                            "written (2 waiting)")
                                 .arg(second)));
        QCOMPARE(s.rig.form->colCalls().Item(second)->DBCallID, 0);

        freeSpace(s.db());
        QTRY_COMPARE(s.store().heldCount(), 0);
        QVERIFY(s.rig.logged(QStringLiteral("2 kept calls were written to the call history")));
        auto rows = rowsInFile(s.dataFile());
        const QVariantMap smith = rows.value(QStringLiteral("0301234567"));
        QCOMPARE(smith.value(QStringLiteral("CallerName")).toString(), QStringLiteral("Smith"));
        QVERIFY(smith.value(QStringLiteral("Answered")).toBool());
        // The row tells the call's own times, not when it was written.
        const QString format = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
        QCOMPARE(smith.value(QStringLiteral("CallDate")).toString(), rang.toString(format));
        QCOMPARE(smith.value(QStringLiteral("CallEnd")).toString(),
                 rang.addSecs(100).toString(format));
        QCOMPARE(smith.value(QStringLiteral("CallDuration")).toString(),
                 QStringLiteral("1899-12-30T00:01:40.000"));
        const int secondRow =
            rows.value(QStringLiteral("0309876543")).value(QStringLiteral("CallID")).toInt();
        QVERIFY(smith.value(QStringLiteral("CallID")).toInt() < secondRow);
        // The waiting call learns its row as soon as it is written ...
        QCOMPARE(s.rig.form->colCalls().Item(second)->DBCallID, secondRow);

        // ... and its next saves update it.
        s.rig.lines().answerCall(second);
        s.rig.settle();
        rows = rowsInFile(s.dataFile());
        QCOMPARE(rows.size(), 2);
        QVERIFY(
            rows.value(QStringLiteral("0309876543")).value(QStringLiteral("Answered")).toBool());
        QVERIFY(!s.loggedPart(QStringLiteral("Saved call not found")));
        QCOMPARE(s.boxes().size(), 1);
    }

    void fullQueueDropsTheOldestAndExitListsTheRest()
    {
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        QVERIFY(fillUp(s.db()));
        s.store().setHeldLimit(2);
        CCall a, b, c;
        QVERIFY(!s.save(a, QStringLiteral("111")));
        QVERIFY(!s.save(b, QStringLiteral("222")));
        QVERIFY(!s.save(c, QStringLiteral("333")));
        QCOMPARE(s.store().heldCount(), 2);
        QCOMPARE(s.boxes().size(), 2);
        QVERIFY2(s.boxes().last().contains(
                     QLatin1String("More than 2 calls wait for the call history: the oldest, "
                                   "from 111 to 5551")),
                 qPrintable(s.boxes().last()));

        s.store().writeHeldBeforeExit();
        QCOMPARE(s.store().heldCount(), 0);
        QVERIFY(s.boxes().last().startsWith(
            QLatin1String("2 calls could not be written to the call history and are lost")));
        QVERIFY(
            s.loggedPart(QStringLiteral("[222] Not written to the call history: call from 222")));
        QVERIFY(
            s.loggedPart(QStringLiteral("[333] Not written to the call history: call from 333")));
    }

    void busyDatabaseKeepsCallsWithoutBlocking()
    {
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        OtherProgram other(s.dataFile());
        QVERIFY(other.exec(QStringLiteral("BEGIN IMMEDIATE")));

        // Only the first save waits for the lock: a wait per save would take
        // at least nine busy time-outs more.
        std::vector<CCall> calls(10);
        QStringList callers;
        QElapsedTimer waited;
        waited.start();
        for (CCall& call : calls) {
            callers << QStringLiteral("10%1").arg(callers.size());
            QVERIFY(!s.save(call, callers.last()));
        }
        QVERIFY2(waited.elapsed() < 5 * ConnectionString::kSqliteBusyTimeoutMs,
                 qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(s.store().heldCount(), 10);
        QVERIFY(s.boxes().isEmpty()); // a busy database is normal for a while
        QVERIFY(s.loggedPart(QStringLiteral("[100] Call kept until the call history can be "
                                            "written (1 waiting): database is locked")));
        s.rig.clock.advanceSeconds(SqlCallStore::kBusyTellSeconds);
        QTRY_COMPARE(s.boxes().size(), 1);

        QVERIFY(other.exec(QStringLiteral("COMMIT")));
        QTRY_COMPARE(s.store().heldCount(), 0);
        QCOMPARE(callersByCallId(ConnectionString::forSQLite(s.dataFile())), callers);
        QVERIFY(s.rig.logged(QStringLiteral("10 kept calls were written to the call history")));
    }

    // While calls are kept, a new save queues behind them (a client's replay
    // goes by CallID), and they are written a turn at a time, with the event
    // loop running in between.
    void keptCallsAreWrittenInTurnsBeforeNewOnes()
    {
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        QVERIFY(fillUp(s.db()));
        constexpr int kKept = 250;
        std::vector<CCall> calls(kKept + 1);
        QStringList callers;
        for (int i = 0; i < kKept; ++i) {
            callers << QStringLiteral("k%1").arg(i);
            s.save(calls[i], callers.last());
        }
        QCOMPARE(s.store().heldCount(), kKept);
        freeSpace(s.db());
        s.store().setTurnMs(0); // a call a turn

        callers << QStringLiteral("live");
        QVERIFY(!s.save(calls[kKept], callers.last()));
        QCOMPARE(s.store().heldCount(), kKept + 1);
        QList<int> seen;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] { seen << s.store().heldCount(); });
        watcher.start(0);
        QTRY_COMPARE(s.store().heldCount(), 0);
        watcher.stop();
        QVERIFY(std::any_of(seen.cbegin(), seen.cend(),
                            [](int held) { return held > 1 && held < kKept; }));
        QCOMPARE(callersByCallId(ConnectionString::forSQLite(s.dataFile())), callers);
        QVERIFY(calls[kKept].SaveCall()); // it picks up its row and updates it
        OtherProgram reader(s.dataFile());
        QCOMPARE(QVariant(calls[kKept].DBCallID),
                 reader.value(QStringLiteral("SELECT MAX(CallID) FROM Calls")));
    }

    // No database open: at start-up, or after a lost file whose one reopening
    // failed. The store opens it again on its own, quietly after the first word.
    void keptCallsWaitForADatabaseToOpen_data()
    {
        QTest::addColumn<bool>("atStartUp");
        QTest::newRow("data.db locked at start-up") << true;
        QTest::newRow("data.db lost, reopening failed") << false;
    }

    void keptCallsWaitForADatabaseToOpen()
    {
        QFETCH(bool, atStartUp);
        StorageRig s;
        const QString file = s.dataFile();
        CCall a, b;
        QStringList written;
        {
            std::unique_ptr<OtherProgram> locker;
            if (atStartUp) {
                QVERIFY(QDir().mkpath(QFileInfo(file).path()));
                QVERIFY(makeDatabase(file));
                locker = std::make_unique<OtherProgram>(file);
                QVERIFY(locker->exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
                QVERIFY(locker->exec(QStringLiteral("BEGIN EXCLUSIVE")));
                QVERIFY(!s.calls->databaseSwitch().openAtStartUp());
            } else {
                QVERIFY(s.calls->databaseSwitch().openAtStartUp());
                QVERIFY(s.save(a, QStringLiteral("111")));
                QVERIFY(QFile::remove(file));
                QVERIFY(QDir().mkdir(file)); // in the way of the one reopening
            }
            QList<int> waits;
            QTimer watcher;
            QObject::connect(&watcher, &QTimer::timeout, [&] {
                if (waits.isEmpty() || s.store().retryWaitMs() != waits.last())
                    waits << s.store().retryWaitMs();
            });
            watcher.start(1);
            QVERIFY(!s.save(b, QStringLiteral("222")));
            QVERIFY(!s.calls->database().isOpen());
            QTRY_VERIFY(s.loggedPart(QStringLiteral("No call database is open: it is opened "
                                                    "again, every 0.02 to 0.24 seconds")));
            // Each failed try waits twice as long, up to twelve times the first wait.
            QTRY_COMPARE_WITH_TIMEOUT(waits.last(), 240, 10000);
            QCOMPARE(waits, (QList<int>{20, 40, 80, 160, 240}));
            if (!atStartUp)
                QVERIFY(QDir().rmdir(file));
        }
        const int told = int(s.boxes().size());
        QTRY_COMPARE(s.store().heldCount(), 0);
        QCOMPARE(callersByCallId(ConnectionString::forSQLite(file)),
                 QStringList{QStringLiteral("222")});
        QCOMPARE(s.boxes().size(), told); // the retries go quietly
        QCOMPARE(s.loggedParts(QStringLiteral("No call database is open: it is opened again")), 1);
        QCOMPARE(s.store().retryWaitMs(), 0);
        QVERIFY(s.loggedPart(QStringLiteral("is open again")));
    }

    // A server that ended the session (a restart, an administrator) is
    // connected to again and takes the kept call.
    void lostServerConnectionIsOpenedAgain()
    {
        const QString pg = qEnvironmentVariable("PHONAVO_TEST_PG_CONNECTION");
        if (pg.isEmpty()) {
            if (qEnvironmentVariableIsSet("PHONAVO_REQUIRE_PG"))
                QFAIL("PHONAVO_REQUIRE_PG is set but PHONAVO_TEST_PG_CONNECTION is not");
            QSKIP("no PostgreSQL server (PHONAVO_TEST_PG_CONNECTION)");
        }
        {
            OtherProgram admin(pg, QStringLiteral("admin"));
            admin.exec(QStringLiteral("DROP TABLE IF EXISTS Calls"));
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("admin"));
            QString error;
            QVERIFY2(
                CallDatabase::runSchema(
                    db, AppPaths::dataDir() + QStringLiteral("/schema/postgresql.sql"), &error),
                qPrintable(error));
        }
        StorageRig s(pg);
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        CCall a, b;
        QVERIFY(s.save(a, QStringLiteral("111")));
        {
            OtherProgram admin(pg, QStringLiteral("admin"));
            QVERIFY(admin.exec(
                QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                               "WHERE pid <> pg_backend_pid() AND datname = current_database()")));
        }
        QVERIFY(!s.save(b, QStringLiteral("222")));
        QTRY_COMPARE(s.store().heldCount(), 0);
        QVERIFY(s.loggedPart(QStringLiteral("was lost")));
        QCOMPARE(callersByCallId(pg), (QStringList{QStringLiteral("111"), QStringLiteral("222")}));
    }

    void lostDatabaseFileIsOpenedAgain_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("boxes");
        QTest::newRow("deleted") << "deleted"
                                 << "was deleted while the program ran" << 2 << 0;
        QTest::newRow("replaced") << "replaced"
                                  << "was replaced while the program ran" << 3 << 0;
        // Its new file has the first call's later saves in a row of their own.
        QTest::newRow("overwritten") << "overwritten"
                                     << "can no longer be read" << 2 << 1;
    }

    void lostDatabaseFileIsOpenedAgain()
    {
        QFETCH(QString, fault);
        QFETCH(QString, logged);
        QFETCH(int, rows);
        QFETCH(int, boxes);
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        QVERIFY(s.rig.monitor({0}));
        const qint32 first =
            s.rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        s.rig.settle();
        QCOMPARE(rowsInFile(s.dataFile()).size(), 1);
        std::unique_ptr<OtherProgram> writer;

        if (fault == QLatin1String("replaced")) {
            // A restored backup over the open file: its row 1 is another call.
            const QString backup = s.rig.home.file(QStringLiteral("backup.db"));
            QVERIFY(makeDatabase(backup));
            {
                OtherProgram restore(backup);
                QVERIFY(restore.exec(QStringLiteral(
                    "INSERT INTO Calls (CallID, CallerID, CallerName) VALUES (1, '040', 'Kept')")));
            }
            std::filesystem::rename(backup.toStdString(), s.dataFile().toStdString());
        } else if (fault == QLatin1String("overwritten")) {
            // Garbage over the file in place, while another program has a
            // commit of its own only in the journal.
            writer = std::make_unique<OtherProgram>(s.dataFile());
            QVERIFY(writer->exec(QStringLiteral("PRAGMA wal_autocheckpoint=0")));
            QVERIFY(writer->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
            QVERIFY(writer->exec(QStringLiteral("INSERT INTO Calls (CallerID) VALUES ('040')")));
            QVERIFY(writeFile(s.dataFile(), QByteArray("not a database ").repeated(600)));
        } else {
            QVERIFY(QFile::remove(s.dataFile()));
        }

        s.rig.lines().answerCall(first);
        s.rig.settle();
        s.rig.lines().hangup(first);
        s.rig.settle();
        s.rig.lines().ring(0, QStringLiteral("0309876543"), QStringLiteral("5551"));
        s.rig.settle();

        QTRY_COMPARE(s.store().heldCount(), 0);
        const auto found = rowsInFile(s.dataFile());
        QCOMPARE(found.size(), rows);
        QVERIFY(
            found.value(QStringLiteral("0301234567")).value(QStringLiteral("Answered")).toBool());
        QVERIFY(
            !found.value(QStringLiteral("0301234567")).value(QStringLiteral("CallEnd")).isNull());
        QVERIFY(found.contains(QStringLiteral("0309876543")));
        if (fault == QLatin1String("replaced"))
            QCOMPARE(found.value(QStringLiteral("040")).value(QStringLiteral("CallerName")),
                     QVariant(QStringLiteral("Kept")));
        QVERIFY(s.loggedPart(logged));
        QCOMPARE(s.boxes().size(), boxes);
        if (boxes > 0) {
            QVERIFY2(s.boxes().first().contains(QLatin1String("It was renamed to")),
                     qPrintable(s.boxes().first()));
            // The file in place was only closed: its journal, with the other
            // program's commit, went aside with it.
            const QFileInfoList aside = QDir(QFileInfo(s.dataFile()).path())
                                            .entryInfoList({QStringLiteral("*.broken-*-wal")});
            QVERIFY(!aside.isEmpty() && aside.first().size() > 0);
        }
    }

    // Journal files at the path of a lost file are removed only when they are
    // still the ones found at opening, and never those of a database the user
    // chose: another program's uncheckpointed commits live in them.
    void lostFileLeavesJournalsThatAreNotOurs_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("data.db replaced by another program's file") << false;
        QTest::newRow("chosen database deleted") << true;
    }

    void lostFileLeavesJournalsThatAreNotOurs()
    {
        QFETCH(bool, chosen);
        QTemporaryDir files;
        const QString chosenFile = files.filePath(QStringLiteral("calls.db"));
        if (chosen)
            QVERIFY(makeDatabase(chosenFile));
        StorageRig s(chosen ? ConnectionString::forSQLite(chosenFile) : QString());
        const QString file = chosen ? chosenFile : s.dataFile();
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        CCall a, b;
        QVERIFY(s.save(a, QStringLiteral("111")));
        std::unique_ptr<OtherProgram> other;
        if (chosen) {
            QVERIFY(QFile::remove(file));
        } else {
            // Removed with its journal files; another program makes a new one
            // and commits a call that so far is only in its journal.
            for (const QString& suffix :
                 {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                QVERIFY(QFile::remove(file + suffix));
            QVERIFY(makeDatabase(file));
            other = std::make_unique<OtherProgram>(file);
            QVERIFY(other->exec(QStringLiteral("PRAGMA journal_mode=WAL")));
            QVERIFY(other->exec(QStringLiteral("PRAGMA wal_autocheckpoint=0")));
            QVERIFY(other->exec(QStringLiteral("INSERT INTO Calls (CallerID) VALUES ('040')")));
        }

        QVERIFY(s.save(b, QStringLiteral("222")));
        QVERIFY(QFile::exists(file + QStringLiteral("-wal")));
        if (chosen) {
            QCOMPARE(callersByCallId(ConnectionString::forSQLite(s.dataFile())),
                     QStringList{QStringLiteral("222")});
            QVERIFY(s.loggedPart(QStringLiteral("calls are written to the default call database ") +
                                 ConnectionString::forSQLite(s.dataFile())));
        } else {
            QCOMPARE(callersByCallId(ConnectionString::forSQLite(file)),
                     (QStringList{QStringLiteral("040"), QStringLiteral("222")}));
        }
    }

    // Only a name that is not there means the file is gone: a folder that
    // cannot be looked into, or an empty one in its place (a share that is not
    // mounted), gets no new data.db and no second row for a call.
    void fileIsGoneOnlyWhenItsNameIsMissing_data()
    {
        QTest::addColumn<bool>("emptyFolder");
        QTest::newRow("folder name taken by a file") << false;
        QTest::newRow("empty folder in its place") << true;
    }

    void fileIsGoneOnlyWhenItsNameIsMissing()
    {
        QFETCH(bool, emptyFolder);
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        CCall a, b;
        QVERIFY(s.save(a, QStringLiteral("111")));
        const QString folder = QFileInfo(s.dataFile()).path();
        const QString away = folder + QStringLiteral(".away");
        QVERIFY(QDir().rename(folder, away));
        if (emptyFolder)
            QVERIFY(QDir().mkdir(folder));
        else
            QVERIFY(writeFile(folder, "a file"));

        a.CallerName = QStringLiteral("Smith");
        a.SaveCall();
        s.save(b, QStringLiteral("222"));
        QVERIFY(!QFile::exists(s.dataFile()));
        if (emptyFolder)
            QVERIFY(s.loggedPart(QStringLiteral("its folder is not the one it was opened in")));
        else
            QVERIFY(!s.loggedPart(QStringLiteral("was deleted while the program ran")));

        QVERIFY(emptyFolder ? QDir().rmdir(folder) : QFile::remove(folder));
        QVERIFY(QDir().rename(away, folder));
        QTRY_COMPARE(s.store().heldCount(), 0);
        const auto rows = rowsInFile(s.dataFile());
        QCOMPARE(rows.keys(), (QStringList{QStringLiteral("111"), QStringLiteral("222")}));
        QCOMPARE(rows.value(QStringLiteral("111")).value(QStringLiteral("CallerName")),
                 QVariant(QStringLiteral("Smith")));
    }

    // A damaged page is not a reason to move the history aside or to close
    // another program's files: it is told with the way to repair it, calls wait.
    void damagedFileStaysWithAnotherProgramsCommits()
    {
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        CCall a, b;
        QVERIFY(s.save(a, QStringLiteral("111")));
        const QString file = s.dataFile();
        OtherProgram writer(file);
        QVERIFY(writer.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0")));
        QVERIFY(writer.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
        QVERIFY(damagePage(file, 2, writer.value(QStringLiteral("PRAGMA page_size")).toInt()));
        QVERIFY(writer.exec(QStringLiteral("CREATE TABLE Notes (x)")));
        QVERIFY(writer.exec(QStringLiteral("INSERT INTO Notes VALUES ('only in the journal')")));

        QVERIFY(!s.save(b, QStringLiteral("222")));
        QCOMPARE(s.store().heldCount(), 1);
        QCOMPARE(s.boxes().size(), 1);
        QVERIFY2(s.boxes().first().contains(QLatin1String(".recover")),
                 qPrintable(s.boxes().first()));
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("data.db"), QStringLiteral("data.db-shm"),
                              QStringLiteral("data.db-wal")}));
        OtherProgram reader(file, QStringLiteral("reader"));
        QCOMPARE(reader.value(QStringLiteral("SELECT x FROM Notes")),
                 QVariant(QStringLiteral("only in the journal")));
    }

    // The call history's own words reach the user in the user's language.
    void textsAreTranslated_data()
    {
        QTest::addColumn<bool>("schemaMissing");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no database open") << false << "Keine Anrufdatenbank ist offen";
        QTest::newRow("data.db cannot be made") << true << "Die Anrufdatenbank ";
    }

    void textsAreTranslated()
    {
        QFETCH(bool, schemaMissing);
        QFETCH(QString, shown);
        StorageRig s;
        GermanTexts german;
        s.rig.loc.setLanguageSource(&german);
        s.rig.loc.setbDbIsOpen(true);
        if (schemaMissing) {
            s.calls->databaseSwitch().setSchemaFile(s.rig.home.file(QStringLiteral("none.sql")));
            QVERIFY(!s.calls->databaseSwitch().openAtStartUp());
        } else {
            CCall call;
            QVERIFY(!s.save(call, QStringLiteral("111")));
        }
        const QStringList boxes = s.boxes();
        QVERIFY2(std::any_of(boxes.cbegin(), boxes.cend(),
                             [&](const QString& box) { return box.contains(shown); }),
                 qPrintable(boxes.join(QLatin1Char('\n'))));
        s.rig.loc.setLanguageSource(nullptr);
    }

    void readOnlyDatabaseIsToldAtOpening_data()
    {
        QTest::addColumn<QString>("readOnly");
        QTest::newRow("write-protected data.db") << "file";
        QTest::newRow("write-protected folder") << "folder";
        QTest::newRow("connection for reading only") << "connection";
    }

    void readOnlyDatabaseIsToldAtOpening()
    {
        QFETCH(QString, readOnly);
        const bool byConnection = readOnly == QLatin1String("connection");
        QTemporaryDir files;
        const QString chosen = files.filePath(QStringLiteral("calls.db"));
        QVERIFY(makeDatabase(chosen));
        StorageRig s(byConnection
                         ? ConnectionString::forSQLite(chosen) + QStringLiteral(";Mode=Read")
                         : QString());
        const QString file = byConnection ? chosen : s.dataFile();
        std::optional<WriteProtection> protection;
        if (!byConnection) {
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            QVERIFY(makeDatabase(file));
            protection.emplace(readOnly == QLatin1String("file") ? file : QFileInfo(file).path());
            if (!protection->active())
                QSKIP("cannot write-protect here");
        }

        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        CCall a, b;
        QVERIFY(!s.save(a, QStringLiteral("111")));
        QVERIFY(!s.save(b, QStringLiteral("222")));
        if (byConnection) {
            // The user switched saving off for it: nothing is kept, and it is said once.
            QVERIFY(s.boxes().isEmpty());
            QCOMPARE(s.store().heldCount(), 0);
            QCOMPARE(s.loggedParts(QStringLiteral("Calls are not stored: the call database ") +
                                   ConnectionString::forSQLite(chosen) +
                                   QStringLiteral(";Mode=Read is read-only by its connection")),
                     1);
            return;
        }
        QCOMPARE(s.boxes().size(), 1); // told at opening, not once per call
        QVERIFY2(s.boxes().first().contains(QLatin1String("can be read but not written")),
                 qPrintable(s.boxes().first()));
        QCOMPARE(s.store().heldCount(), 2);
        QVERIFY(s.loggedPart(QStringLiteral("[222] Call kept until the call history")));

        protection->lift();
        QTRY_COMPARE(s.store().heldCount(), 0);
        QCOMPARE(rowsInFile(file).size(), 2);
        QVERIFY(s.loggedPart(QStringLiteral("can be written again")));
    }

    void brokenDefaultDatabaseIsMovedAside_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("movedAside");
        QTest::addColumn<bool>("opens");
        QTest::newRow("data.db is no database") << "garbage default" << true << true;
        QTest::newRow("chosen database is no database") << "garbage chosen" << false << true;
        QTest::newRow("data.db locked by another program") << "locked default" << false << false;
        QTest::newRow("data.db unreadable") << "unreadable default" << false << false;
        QTest::newRow("data.db empty") << "empty default" << false << true;
        QTest::newRow("data.db without tables") << "tableless default" << false << true;
        QTest::newRow("data.db with other tables") << "other tables" << false << false;
        QTest::newRow("data.db with a damaged page") << "damaged default" << false << false;
    }

    void brokenDefaultDatabaseIsMovedAside()
    {
        QFETCH(QString, fault);
        QFETCH(bool, movedAside);
        QFETCH(bool, opens);
        if (fault == QLatin1String("unreadable default") && ::geteuid() == 0)
            QSKIP("root reads unreadable files");
        const QByteArray garbage = QByteArray("not a database ").repeated(600);
        QTemporaryDir files;
        const QString chosen = files.filePath(QStringLiteral("calls.db"));
        const bool userChose = fault == QLatin1String("garbage chosen");
        if (userChose)
            QVERIFY(writeFile(chosen, garbage));
        StorageRig s(userChose ? ConnectionString::forSQLite(chosen) : QString());
        const QString file = s.dataFile();
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        if (fault == QLatin1String("garbage default")) {
            QVERIFY(writeFile(file, garbage));
        } else if (fault == QLatin1String("empty default")) {
            QVERIFY(writeFile(file, {}));
        } else if (fault == QLatin1String("tableless default") ||
                   fault == QLatin1String("other tables")) {
            OtherProgram maker(file);
            QVERIFY(maker.exec(QStringLiteral("PRAGMA user_version = 7")));
            if (fault == QLatin1String("other tables"))
                QVERIFY(maker.exec(QStringLiteral("CREATE TABLE Notes (x)")));
        } else {
            QVERIFY(makeDatabase(file));
            if (fault == QLatin1String("unreadable default"))
                QVERIFY(QFile::setPermissions(file, {}));
            if (fault == QLatin1String("damaged default"))
                QVERIFY(damagePage(file, 2));
        }
        std::unique_ptr<OtherProgram> locker;
        if (fault == QLatin1String("locked default")) {
            locker = std::make_unique<OtherProgram>(file, QStringLiteral("locker"));
            // It holds the file for itself: nobody else can even read it.
            QVERIFY(locker->exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
            QVERIFY(locker->exec(QStringLiteral("BEGIN EXCLUSIVE")));
        }
        const QByteArray before = readFile(file);

        QCOMPARE(s.calls->databaseSwitch().openAtStartUp(), opens);
        const QString aside = file + QStringLiteral(".broken-20261204-194157");
        QCOMPARE(QDir(QFileInfo(file).path())
                     .entryList({QStringLiteral("*.broken-*")}, QDir::Files)
                     .size(),
                 movedAside ? 1 : 0);
        if (userChose) { // the user's database is never touched
            QCOMPARE(QDir(files.path()).entryList(QDir::Files),
                     QStringList{QStringLiteral("calls.db")});
            QCOMPARE(readFile(chosen), garbage);
        }
        if (movedAside) {
            QCOMPARE(readFile(aside), before);
            QCOMPARE(s.boxes().size(), 1);
            QVERIFY2(s.boxes().first().contains(QLatin1String("It was renamed to ") + aside),
                     qPrintable(s.boxes().first()));
        }
        if (!opens && !fault.startsWith(QLatin1String("locked")))
            QCOMPARE(readFile(file), before);
        if (fault == QLatin1String("damaged default"))
            QVERIFY2(s.boxes().first().contains(QLatin1String(".recover")),
                     qPrintable(s.boxes().first()));
        if (opens) {
            CCall call;
            QVERIFY(s.save(call, QStringLiteral("111")));
            QCOMPARE(rowsInFile(file).size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestCallStoreFaults)
#include "TestCallStoreFaults.moc"
