#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "core/calls/CCall.h"
#include "platform/AppPaths.h"

#include "TestHome.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {

QString schema(const char* engine)
{
    return AppPaths::dataDir() + QStringLiteral("/schema/") + QLatin1String(engine) +
           QStringLiteral(".sql");
}

// Set for the second run of the same cases on a PostgreSQL server.
QString g_postgres;

} // namespace

class TestCallStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<CallDatabase> m_db;
    std::unique_ptr<SqlCallStore> m_store;
    QStringList m_errors;
    QStringList m_log;
    bool m_addToHistory = true;
    int m_refreshes = 0;

    QVariant column(qint32 id, const QString& name)
    {
        QSqlQuery q(m_db->database());
        q.exec(QStringLiteral("SELECT ") + name + QStringLiteral(" FROM Calls WHERE CallID = ") +
               QString::number(id));
        return q.next() ? q.value(0) : QVariant();
    }

    int rowCount()
    {
        QSqlQuery q(m_db->database());
        q.exec(QStringLiteral("SELECT COUNT(*) FROM Calls"));
        return q.next() ? q.value(0).toInt() : -1;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_errors.clear();
        m_log.clear();
        m_addToHistory = true;
        m_refreshes = 0;
        QString error;
        QVERIFY2(CallDatabase::createSQLiteDatabase(m_home->file(QStringLiteral("data.db")),
                                                    schema("sqlite"), &error),
                 qPrintable(error));
        m_db = std::make_unique<CallDatabase>([this](const QString& e) { m_errors << e; });
        QString cs;
        if (g_postgres.isEmpty()) {
            QVERIFY(m_db->OpenCallDatabase(
                cs, CallDatabase::defaultConnectionString(m_home->path() + QLatin1Char('/'))));
            QCOMPARE(cs, QStringLiteral("Provider=SQLite;Data Source=") +
                             m_home->file(QStringLiteral("data.db")));
        } else {
            {
                QVERIFY(ConnectionString::parse(g_postgres).configure(QStringLiteral("setup")));
                QSqlDatabase setup = QSqlDatabase::database(QStringLiteral("setup"));
                QVERIFY2(setup.isOpen(), qPrintable(setup.lastError().text()));
                QSqlQuery(setup).exec(QStringLiteral("DROP TABLE IF EXISTS Calls"));
                QVERIFY2(CallDatabase::runSchema(setup, schema("postgresql"), &error),
                         qPrintable(error));
                setup.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("setup"));
            cs = g_postgres;
            QVERIFY2(m_db->OpenCallDatabase(cs, QString()),
                     qPrintable(m_errors.join(QLatin1Char('\n'))));
        }
        SqlCallStore::Hooks hooks;
        hooks.addToCallHistory = [this] { return m_addToHistory; };
        hooks.deviceName = [](qint32 id) {
            return id >= 1000 ? QStringLiteral("Plugin %1").arg(id - 1000)
                              : QStringLiteral(" Virtual line 1 ");
        };
        hooks.deviceIdFromName = [](const QString& name) {
            return name == QLatin1String("Virtual line 1") ? 0 : -1;
        };
        hooks.log = [this](const QString& l) { m_log << l; };
        hooks.reportError = [this](const QString& e) { m_errors << e; };
        hooks.historyChanged = [this] { ++m_refreshes; };
        m_store = std::make_unique<SqlCallStore>(*m_db, hooks);
    }

    void cleanup()
    {
        m_store.reset();
        m_db.reset();
        m_home.reset();
    }

    void insertThenUpdateTheSameRow()
    {
        CCall call(m_store.get());
        call.setCallerID(QStringLiteral("0301234567"));
        call.setCalledID(QStringLiteral("5551"));
        call.CallerName = QStringLiteral("0");
        call.setIsConnected(true);
        QVERIFY(call.SaveCall());
        QCOMPARE(call.DBCallID, 1); // the first call in an empty table
        QVERIFY(call.isSaved());
        QCOMPARE(column(1, QStringLiteral("CallerName")).toString(),
                 QString()); // "0" is stored empty
        QCOMPARE(column(1, QStringLiteral("CalledDevice")).toString(),
                 QStringLiteral("Virtual line 1"));
        QVERIFY(column(1, QStringLiteral("New")).toBool());
        QVERIFY(column(1, QStringLiteral("Incoming")).toBool());
        QVERIFY(!column(1, QStringLiteral("CallDate")).toString().isEmpty());

        call.CallerName = QStringLiteral("Smith");
        QVERIFY(call.SaveCall());
        QCOMPARE(rowCount(), 1);
        QCOMPARE(column(1, QStringLiteral("CallerName")).toString(), QStringLiteral("Smith"));

        CCall second(m_store.get());
        second.lDeviceID = 1002;
        second.Outgoing = true;
        QVERIFY(second.SaveCall());
        QCOMPARE(second.DBCallID, 2);
        QCOMPARE(column(2, QStringLiteral("CalledDevice")).toString(), QStringLiteral("Plugin 2"));
        QVERIFY(!column(2, QStringLiteral("Incoming")).toBool());
        QCOMPARE(m_refreshes, 3);
    }

    void endIsWrittenOnceAndOnlyForAnsweredCalls()
    {
        CCall missed(m_store.get());
        missed.setIsConnected(true);
        missed.SaveCall();
        missed.setIsConnected(false);
        missed.SaveCall();
        missed.SaveCall();
        QVERIFY(column(missed.DBCallID, QStringLiteral("CallEnd")).isNull());
        QVERIFY(column(missed.DBCallID, QStringLiteral("CallDuration")).isNull());

        CCall answered(m_store.get());
        answered.setIsConnected(true);
        answered.SaveCall();
        answered.AnswerCall(); // saves while still connected: no end yet
        QVERIFY(column(answered.DBCallID, QStringLiteral("CallEnd")).isNull());
        QVERIFY(column(answered.DBCallID, QStringLiteral("Answered")).toBool());
        answered.setIsConnected(false);
        answered.SaveCall();
        const QString end = column(answered.DBCallID, QStringLiteral("CallEnd")).toString();
        QVERIFY(!end.isEmpty());
        QVERIFY(column(answered.DBCallID, QStringLiteral("CallDuration"))
                    .toString()
                    .startsWith(QLatin1String("1899-12-30T00:0")));
        QVERIFY(answered.CallEnd.isValid());
        QTest::qWait(5);
        answered.SaveCall();
        QCOMPARE(column(answered.DBCallID, QStringLiteral("CallEnd")).toString(), end);
    }

    void longTextsAreCutToTheColumn()
    {
        CCall call(m_store.get());
        call.CallerName = QString(500, QLatin1Char('n'));
        call.setCallerID(QString(100, QLatin1Char('1')));
        QVERIFY(call.SaveCall());
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(column(call.DBCallID, QStringLiteral("CallerName")).toString().size(), 128);
        QCOMPARE(column(call.DBCallID, QStringLiteral("CallerID")).toString().size(), 64);
        QCOMPARE(call.CallerName.size(), 500); // the record keeps what it holds
    }

    void switchedOffHistoryWritesNothing()
    {
        m_addToHistory = false;
        CCall call(m_store.get());
        QVERIFY(!call.SaveCall());
        QCOMPARE(rowCount(), 0);
        QCOMPARE(m_refreshes, 1); // an open history is refreshed all the same
    }

    void loadCallRoundTrip()
    {
        CCall call(m_store.get());
        call.setCallerID(QStringLiteral("0301234567"));
        call.setCalledID(QStringLiteral("5551"));
        call.CallerName = QStringLiteral("Smith");
        call.CalledName = QStringLiteral("Office");
        call.CallerGUID = QStringLiteral("g1");
        call.AnswerCall();
        call.setIsConnected(false);
        call.SaveCall();

        CCall loaded(m_store.get());
        QVERIFY(loaded.LoadCall(call.DBCallID));
        QCOMPARE(loaded.CallerID(), QStringLiteral("0301234567"));
        QCOMPARE(loaded.CalledName, QStringLiteral("Office"));
        QCOMPARE(loaded.CallerGUID, QStringLiteral("g1"));
        QCOMPARE(loaded.lDeviceID, 0);
        QVERIFY(loaded.Answered());
        QVERIFY(!loaded.Outgoing);
        QVERIFY(loaded.CallStart.isValid());
        QVERIFY(loaded.CallEnd.isValid());
        QVERIFY(loaded.isSaved());

        CCall missing(m_store.get());
        missing.CallerName = QStringLiteral("untouched");
        QVERIFY(!missing.LoadCall(999));
        QCOMPARE(missing.CallerName, QStringLiteral("untouched"));

        QSqlQuery q(m_db->database());
        q.exec(QStringLiteral("INSERT INTO Calls (CallID, CalledDevice) VALUES (50, '')"));
        CCall noDevice(m_store.get());
        QVERIFY(noDevice.LoadCall(50));
        QCOMPARE(noDevice.lDeviceID, -1);
    }

    void deletedRowIsReportedNotRecreated()
    {
        CCall call(m_store.get());
        call.SaveCall();
        QVERIFY(m_store->deleteCall(call.DBCallID));
        QVERIFY(!call.SaveCall());
        QCOMPARE(m_log, QStringList{QStringLiteral("Saved call not found: 1")});
        QCOMPARE(rowCount(), 0);
        CCall a(m_store.get()), b(m_store.get());
        a.SaveCall();
        b.SaveCall();
        QVERIFY(m_store->deleteAll());
        QCOMPARE(rowCount(), 0);
    }

    // The rows the main file holds without its write-ahead log: what a
    // checkpoint has copied so far.
    int checkpointedRows()
    {
        int rows = -1;
        {
            QSqlDatabase main =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("main-only"));
            main.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
            main.setDatabaseName(QStringLiteral("file:") + m_home->file(QStringLiteral("data.db")) +
                                 QStringLiteral("?immutable=1"));
            QSqlQuery q(main);
            if (main.open() && q.exec(QStringLiteral("SELECT COUNT(*) FROM Calls")) && q.next())
                rows = q.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("main-only"));
        return rows;
    }

    void checkpointsWaitForAPauseInWrites()
    {
        if (!g_postgres.isEmpty())
            QSKIP("the embedded database's own log");
        m_db->setCheckpointDelays(40, 300);
        // Far more log than the engine's own automatic checkpoint lets grow:
        // still nothing is copied while saves follow each other.
        for (int i = 0; i < 400; ++i) {
            CCall call(m_store.get());
            call.setCallerID(QStringLiteral("030%1").arg(1000000 + i));
            call.setIsConnected(true);
            call.SaveCall();
            call.AnswerCall();
            call.setIsConnected(false);
            call.SaveCall();
        }
        QCOMPARE(rowCount(), 400);
        QCOMPARE(checkpointedRows(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_db->checkpointPending(), 2000);
        QCOMPARE(checkpointedRows(), 400);

        // Saves that never pause are copied at the latest delay all the same.
        QElapsedTimer busy;
        busy.start();
        int copied = 400;
        while (copied == 400 && busy.elapsed() < 3000) {
            CCall call(m_store.get());
            call.SaveCall();
            QTest::qWait(10);
            copied = checkpointedRows();
        }
        QVERIFY2(copied > 400, "a steady stream of saves is never checkpointed");
    }

    void callDatesAreReadInEveryStoredForm_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime t(QDate(2024, 3, 2), QTime(20, 5, 9, 123));
        QTest::newRow("written by the program")
            << QVariant(QStringLiteral("2024-03-02T20:05:09.123")) << t;
        QTest::newRow("without milliseconds")
            << QVariant(QStringLiteral("2024-03-02T20:05:09")) << t.addMSecs(-123);
        QTest::newRow("with a blank")
            << QVariant(QStringLiteral("2024-03-02 20:05:09")) << t.addMSecs(-123);
        QTest::newRow("a date value") << QVariant(t) << t;
        QTest::newRow("no such day")
            << QVariant(QStringLiteral("2024-02-30T20:05:09.123")) << QDateTime();
        QTest::newRow("letters") << QVariant(QStringLiteral("2024-0x-02T20:05:09.123"))
                                 << QDateTime();
        QTest::newRow("without seconds")
            << QVariant(QStringLiteral("2024-03-02T20:05")) << QDateTime(t.date(), QTime(20, 5));
        QTest::newRow("null") << QVariant() << QDateTime();
    }

    void callDatesAreReadInEveryStoredForm()
    {
        QFETCH(QVariant, stored);
        QFETCH(QDateTime, expected);
        QCOMPARE(readCallDate(stored), expected);
    }

    void badDatabasesDoNotOpen()
    {
        QString cs = QStringLiteral("Provider=Nonsense;Data Source=x");
        QVERIFY(!m_db->OpenCallDatabase(cs, QString()));
        QVERIFY(m_errors.last().contains(QLatin1String("Unknown database provider")));

        cs = ConnectionString::forSQLite(m_home->file(QStringLiteral("missing.db")));
        QVERIFY(!m_db->OpenCallDatabase(cs, QString()));
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("missing.db"))));

        // A Calls table without CallDuration is not a call database; its data stays.
        const QString partial = m_home->file(QStringLiteral("partial.db"));
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("partial"));
            db.setDatabaseName(partial);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral(
                "CREATE TABLE Calls (CallID INTEGER, CallerID TEXT, CallerName TEXT, "
                "CallerGUID TEXT, CallerExtra TEXT, CalledID TEXT, CalledName TEXT, "
                "CalledGUID TEXT, CalledExtra TEXT, CalledDevice TEXT, Answered INT, "
                "Incoming INT, New INT, CallDate TEXT, CallEnd TEXT)")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO Calls (CallID) VALUES (7)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("partial"));
        cs = ConnectionString::forSQLite(partial);
        QVERIFY(!m_db->OpenCallDatabase(cs, QString()));
        QVERIFY(m_errors.last().contains(QLatin1String("CallDuration")));

        // An empty string falls back to the given default.
        cs.clear();
        QVERIFY(m_db->OpenCallDatabase(
            cs, CallDatabase::defaultConnectionString(m_home->path() + QLatin1Char('/'))));
    }
};

// The same cases run on SQLite and, when PHONAVO_TEST_PG_CONNECTION names a
// server (scripts/test starts one), on PostgreSQL.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestCallStore test;
    int failures = QTest::qExec(&test, argc, argv);
    g_postgres = qEnvironmentVariable("PHONAVO_TEST_PG_CONNECTION");
    if (!g_postgres.isEmpty()) {
        qInfo("Running again on PostgreSQL");
        failures += QTest::qExec(&test, argc, argv);
    } else if (qEnvironmentVariableIsSet("PHONAVO_REQUIRE_PG")) {
        qCritical("PHONAVO_REQUIRE_PG is set but PHONAVO_TEST_PG_CONNECTION is not");
        ++failures;
    }
    return failures;
}
#include "TestCallStore.moc"
