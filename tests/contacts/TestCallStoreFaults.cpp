// The call history when its database fails: full, busy, read-only, deleted,
// replaced or not a database. The store and the switch are wired as the
// program wires them (CallStorage) around a whole controller on virtual lines.

#include "contacts/store/CallStorage.h"
#include "platform/AppPaths.h"

#include "ControllerRig.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

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
    bool loggedPart(const QString& part) const
    {
        return rig.anyMessage([&](const QString& m) { return m.contains(part); });
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
        QVERIFY(smith.value(QStringLiteral("CallID")).toInt() <
                rows.value(QStringLiteral("0309876543")).value(QStringLiteral("CallID")).toInt());

        // The waiting call learns its row: its next saves update it.
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
        s.store().setRetryInterval(3600 * 1000); // only the next save tries again
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other program"));
        other.setDatabaseName(s.dataFile());
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));

        CCall a, b, c, d;
        for (auto [call, caller] : {std::pair{&a, "111"}, std::pair{&b, "222"}}) {
            QElapsedTimer waited;
            waited.start();
            QVERIFY(!s.save(*call, QLatin1String(caller)));
            QVERIFY2(waited.elapsed() < 1000, qPrintable(QString::number(waited.elapsed())));
        }
        QCOMPARE(s.store().heldCount(), 2);
        QVERIFY(s.boxes().isEmpty()); // a busy database is normal for a while
        QVERIFY(s.loggedPart(QStringLiteral("[111] Call kept until the call history can be "
                                            "written (1 waiting): database is locked")));
        s.rig.clock.advanceSeconds(SqlCallStore::kBusyTellSeconds);
        QVERIFY(!s.save(c, QStringLiteral("333")));
        QCOMPARE(s.boxes().size(), 1);

        QVERIFY(QSqlQuery(other).exec(QStringLiteral("COMMIT")));
        other.close();
        other = {};
        // The next save writes the kept ones first, in their order.
        QVERIFY(s.save(d, QStringLiteral("444")));
        QCOMPARE(s.store().heldCount(), 0);
        const auto rows = rowsInFile(s.dataFile());
        QCOMPARE(rows.keys(), (QStringList{QStringLiteral("111"), QStringLiteral("222"),
                                           QStringLiteral("333"), QStringLiteral("444")}));
        QList<int> ids;
        for (const QVariantMap& row : rows)
            ids << row.value(QStringLiteral("CallID")).toInt();
        QCOMPARE(ids, (QList<int>{1, 2, 3, 4}));
        QVERIFY(s.rig.logged(QStringLiteral("3 kept calls were written to the call history")));
        QSqlDatabase::removeDatabase(QStringLiteral("other program"));
    }

    void lostDatabaseFileIsOpenedAgain_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<QString>("logged");
        QTest::newRow("deleted") << false << "was deleted while the program ran";
        QTest::newRow("replaced") << true << "was replaced while the program ran";
    }

    void lostDatabaseFileIsOpenedAgain()
    {
        QFETCH(bool, replace);
        QFETCH(QString, logged);
        StorageRig s;
        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        QVERIFY(s.rig.monitor({0}));
        const qint32 first =
            s.rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        s.rig.settle();
        QCOMPARE(rowsInFile(s.dataFile()).size(), 1);

        if (replace) {
            // A restored backup over the open file: its row 1 is another call.
            const QString backup = s.rig.home.file(QStringLiteral("backup.db"));
            QVERIFY(makeDatabase(backup));
            {
                QSqlDatabase db =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("backup"));
                db.setDatabaseName(backup);
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(QStringLiteral(
                    "INSERT INTO Calls (CallID, CallerID, CallerName) VALUES (1, '040', 'Kept')")));
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("backup"));
            std::filesystem::rename(backup.toStdString(), s.dataFile().toStdString());
        } else {
            QVERIFY(QFile::remove(s.dataFile()));
        }

        s.rig.lines().answerCall(first);
        s.rig.settle();
        s.rig.lines().hangup(first);
        s.rig.settle();
        s.rig.lines().ring(0, QStringLiteral("0309876543"), QStringLiteral("5551"));
        s.rig.settle();

        const auto rows = rowsInFile(s.dataFile());
        QCOMPARE(rows.size(), replace ? 3 : 2);
        QVERIFY(
            rows.value(QStringLiteral("0301234567")).value(QStringLiteral("Answered")).toBool());
        QVERIFY(
            !rows.value(QStringLiteral("0301234567")).value(QStringLiteral("CallEnd")).isNull());
        QVERIFY(rows.contains(QStringLiteral("0309876543")));
        if (replace)
            QCOMPARE(rows.value(QStringLiteral("040")).value(QStringLiteral("CallerName")),
                     QVariant(QStringLiteral("Kept")));
        QVERIFY(s.loggedPart(logged));
        QVERIFY(s.boxes().isEmpty());
        QCOMPARE(s.store().heldCount(), 0);
    }

    void readOnlyDatabaseIsToldAtOpening_data()
    {
        QTest::addColumn<bool>("writeProtectFile");
        QTest::newRow("write-protected data.db") << true;
        QTest::newRow("connection for reading only") << false;
    }

    void readOnlyDatabaseIsToldAtOpening()
    {
        QFETCH(bool, writeProtectFile);
        if (writeProtectFile && ::geteuid() == 0)
            QSKIP("root writes to write-protected files");
        QTemporaryDir files;
        const QString chosen = files.filePath(QStringLiteral("calls.db"));
        QVERIFY(makeDatabase(chosen));
        StorageRig s(writeProtectFile
                         ? QString()
                         : ConnectionString::forSQLite(chosen) + QStringLiteral(";Mode=Read"));
        const QString file = writeProtectFile ? s.dataFile() : chosen;
        if (writeProtectFile) {
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            QVERIFY(makeDatabase(file));
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
        }

        QVERIFY(s.calls->databaseSwitch().openAtStartUp());
        QCOMPARE(s.boxes().size(), 1);
        QVERIFY2(s.boxes().first().contains(QLatin1String("can be read but not written")),
                 qPrintable(s.boxes().first()));

        CCall a, b;
        QVERIFY(!s.save(a, QStringLiteral("111")));
        QVERIFY(!s.save(b, QStringLiteral("222")));
        QCOMPARE(s.store().heldCount(), 2);
        QCOMPARE(s.boxes().size(), 1); // told once, not once per call
        QVERIFY(s.loggedPart(QStringLiteral("[222] Call kept until the call history")));

        if (writeProtectFile) {
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
            QTRY_COMPARE(s.store().heldCount(), 0);
            QCOMPARE(rowsInFile(file).size(), 2);
            QVERIFY(s.loggedPart(QStringLiteral("can be written again")));
        }
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
        } else {
            QVERIFY(makeDatabase(file));
            if (fault == QLatin1String("unreadable default"))
                QVERIFY(QFile::setPermissions(file, {}));
        }
        QSqlDatabase locker =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        if (fault == QLatin1String("locked default")) {
            locker.setDatabaseName(file);
            QVERIFY(locker.open());
            // It holds the file for itself: nobody else can even read it.
            QVERIFY(QSqlQuery(locker).exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
            QVERIFY(QSqlQuery(locker).exec(QStringLiteral("BEGIN EXCLUSIVE")));
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
            CCall call;
            QVERIFY(s.save(call, QStringLiteral("111")));
            QCOMPARE(rowsInFile(file).size(), 1);
        }
        locker.close();
        locker = {};
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }
};

QTEST_GUILESS_MAIN(TestCallStoreFaults)
#include "TestCallStoreFaults.moc"
