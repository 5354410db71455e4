// The old-call replay of "listen" on a real SQLite call database.

#include "ServerRig.h"

#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "platform/AppPaths.h"
#include "server/connections/OldCallReplay.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QTimer>

namespace {

struct StoredCall
{
    int id;
    const char* date;
    const char* end; // nullptr: no end
    bool incoming;
    const char* caller;
    const char* callerName;
    const char* called;
};

// n incoming calls to 301 a second apart from 2026-12-03 10:00, ids 1 to n;
// dates holds their texts.
QList<StoredCall> manyCalls(int n, std::vector<QByteArray>& dates)
{
    dates.clear();
    for (int i = 0; i < n; ++i)
        dates.push_back(QDateTime(QDate(2026, 12, 3), QTime(10, 0))
                            .addSecs(i)
                            .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
                            .toLatin1());
    QList<StoredCall> calls;
    for (int i = 1; i <= n; ++i)
        calls.append(
            {i, dates[std::size_t(i - 1)].constData(), nullptr, true, "0302222", "Anna", "301"});
    return calls;
}

const QString kBeforeAll = QStringLiteral("20260101000000");

} // namespace

class TestServerReplay : public QObject
{
    Q_OBJECT

    std::unique_ptr<CallDatabase> openDatabase(const TestHome& home, const QList<StoredCall>& calls)
    {
        const QString file = home.file(QStringLiteral("data.db"));
        QString error;
        if (!CallDatabase::createSQLiteDatabase(
                file, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error))
            return nullptr;
        auto db = std::make_unique<CallDatabase>([](const QString& e) { qWarning() << e; });
        QString cs = ConnectionString::forSQLite(file);
        if (!db->OpenCallDatabase(cs, QString()))
            return nullptr;
        QSqlQuery q(db->database());
        q.prepare(QStringLiteral(
            "INSERT INTO Calls (CallID, CallDate, CallEnd, Incoming, Answered, CallerID, "
            "CallerName, CallerGUID, CalledID, CalledName, CalledGUID, CalledDevice, CallerExtra, "
            "CalledExtra) VALUES (?, ?, ?, ?, 1, ?, ?, 'cg', ?, 'Office', 'dg', 'Virtual line 1', "
            "'ce', 'de')"));
        db->database().transaction();
        for (const StoredCall& c : calls) {
            q.addBindValue(c.id);
            q.addBindValue(QString::fromLatin1(c.date));
            q.addBindValue(c.end ? QVariant(QString::fromLatin1(c.end)) : QVariant());
            q.addBindValue(c.incoming ? 1 : 0);
            q.addBindValue(QString::fromLatin1(c.caller));
            q.addBindValue(QString::fromLatin1(c.callerName));
            q.addBindValue(QString::fromLatin1(c.called));
            if (!q.exec())
                return nullptr;
        }
        db->database().commit();
        return db;
    }

private slots:
    // Rows since the stamp whose own number the client may hear about; the
    // listen list plays no part; CR LF in a name arrives as a blank.
    void replaySelection()
    {
        TestHome dbHome;
        auto db = openDatabase(
            dbHome, {
                        {1, "2026-12-01T10:00:00.000", nullptr, true, "0301111", "Old", "301"},
                        {2, "2026-12-03T08:00:00.000", "2026-12-03T08:01:30.000", true, "0302222",
                         "Anna\r\nBerlin", "301"},
                        {3, "2026-12-03T09:00:00.000", nullptr, true, "0303333", "Hidden", "999"},
                        {4, "2026-12-03T10:00:00.000", nullptr, false, "301", "Me", "0304444"},
                    });
        QVERIFY(db);
        ServerRig rig(db.get());
        rig.form->colMSNs().Clear();
        MSNPtr mine = rig.form->colMSNs().Add(QStringLiteral("Mine"));
        mine->MSN = QStringLiteral("301");
        mine->Clients = QStringLiteral("*");
        MSNPtr other = rig.form->colMSNs().Add(QStringLiteral("Other"));
        other->MSN = QStringLiteral("999");
        other->Clients = QStringLiteral("10.9.9.9");
        QVERIFY(rig.start());

        TestClient client;
        QVERIFY(client.connectTo(rig.port()));
        client.listen(QStringLiteral("555"), QStringLiteral("20261202000000"));
        QVERIFY(client.waitFor(QStringLiteral("accepted")));
        QCOMPARE(client.last().size(), 2);
        QStringList records = client.last()[1].split(QChar(0xFF));
        QCOMPARE(records.takeLast(), QString()); // the last record ends with 0xFF too
        records.sort();
        QCOMPARE(records,
                 (QStringList{
                     QStringLiteral("20261203080000|20261203080130|Virtual line 1|0302222|Anna "
                                    "Berlin|cg|301|Office|dg|1|1|ce|de"),
                     QStringLiteral("20261203100000||Virtual line 1|301|Me|cg|0304444|Office|dg|"
                                    "0|1|ce|de")}));
        QVERIFY(rig.anyMessage([](const QString& l) {
            return l.startsWith(QLatin1String("[2] Sending old call: on ")) &&
                   l.endsWith(QLatin1String("(answered: yes)"));
        }));
        QVERIFY(
            !rig.anyMessage([](const QString& l) { return l.startsWith(QLatin1String("[3]")); }));
        QVERIFY(rig.server->connections().Item(client.ip())->Verified);
    }

    // A long history goes out over several event-loop turns: another client is
    // served meanwhile, and a client that leaves mid-way ends its replay.
    void longReplayKeepsTheServerResponsive()
    {
        TestHome dbHome;
        std::vector<QByteArray> dates;
        constexpr int kRows = 12000; // two full replays stay below the log's 32001 lines
        auto db = openDatabase(dbHome, manyCalls(kRows, dates));
        QVERIFY(db);
        ServerRig rig(db.get());
        QVERIFY(rig.start());

        TestClient leaving(2);
        TestClient patient(3);
        TestClient quick(4);
        QVERIFY(leaving.connectTo(rig.port()) && patient.connectTo(rig.port()) &&
                quick.connectTo(rig.port()));
        leaving.listen(QString(), QStringLiteral("20260101000000"));
        patient.listen(QString(), QStringLiteral("20260101000000"));
        QTRY_VERIFY(rig.anyMessage(
            [](const QString& l) { return l.contains(QLatin1String("Sending old call")); }));
        leaving.socket.abort();
        quick.listen();
        QVERIFY(quick.waitFor(QStringLiteral("accepted")));
        // The quick client was accepted while the long replay was still going out.
        QVERIFY(!patient.commands().contains(QStringLiteral("accepted")));
        QVERIFY(patient.waitFor(QStringLiteral("accepted"), 30000));
        QCOMPARE(patient.last()[1].count(QChar(0xFF)), kRows);
        // The leaving client's replay stopped with it: fewer rows went out than two full replays.
        const auto sentRows = rig.messages().filter(QStringLiteral("Sending old call")).size();
        QVERIFY2(sentRows < 2 * kRows, qPrintable(QString::number(sentRows)));
        QVERIFY(!rig.anyMessage([&leaving](const QString& l) {
            return l.contains(QStringLiteral("Client connected: ") + leaving.ip());
        }));
    }

    // A call that comes while the old calls go out is stored meanwhile, but
    // reaches the client once: live, after its "accepted", not in its list.
    void liveEventsWaitForTheReplay()
    {
        TestHome dbHome;
        std::vector<QByteArray> dates;
        constexpr int kRows = 10000;
        auto db = openDatabase(dbHome, manyCalls(kRows, dates));
        QVERIFY(db);
        ServerRig rig(db.get());
        SqlCallStore store(*db, {});
        rig.form->setCallStore(&store);
        QVERIFY(rig.start());
        bool rang = false;
        connect(&rig.log, &ProgramLog::lineLogged, this, [&](const QString& line) {
            if (rang || !line.contains(QLatin1String("Sending old call")))
                return;
            rang = true;
            QTimer::singleShot(0, this, [&rig] {
                rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"));
            });
        });
        TestClient client;
        QVERIFY(client.connectTo(rig.port()));
        client.listen(QString(), kBeforeAll);
        QVERIFY(client.waitFor(QStringLiteral("accepted"), 30000));
        QCOMPARE(client.last()[1].count(QChar(0xFF)), kRows);
        QVERIFY(client.waitFor(QStringLiteral("incomingcall")));
        // The call was handled and stored while the replay was under way.
        const QStringList log = rig.messages();
        const auto lineOf = [&log](const QString& text) {
            const auto it = std::find_if(log.cbegin(), log.cend(),
                                         [&text](const QString& l) { return l.contains(text); });
            return it == log.cend() ? -1 : it - log.cbegin();
        };
        const auto incoming = lineOf(QStringLiteral("Incoming call from: "));
        const auto connected = lineOf(QStringLiteral("Client connected: "));
        QVERIFY2(incoming >= 0 && incoming < connected,
                 qPrintable(QStringLiteral("%1 %2").arg(incoming).arg(connected)));
        QSqlQuery stored(db->database());
        QVERIFY(stored.exec(QStringLiteral("SELECT COUNT(*) FROM Calls WHERE "
                                           "CallerID='0301234567'")) &&
                stored.next());
        QCOMPARE(stored.value(0).toInt(), 1);
        rig.spin(100);
        QCOMPARE(client.commands(),
                 (QStringList{QStringLiteral("connect"), QStringLiteral("accepted"),
                              QStringLiteral("incomingcall")}));
    }

    // A database error during the replay sends no "accepted" with a part of the
    // list: it is reported, the client is not listed and stays connected, and
    // a listen again gets every old call.
    void replayErrorAcceptsNothing()
    {
        TestHome dbHome;
        std::vector<QByteArray> dates;
        constexpr int kRows = 5000;
        auto db = openDatabase(dbHome, manyCalls(kRows, dates));
        QVERIFY(db);
        ServerRig rig(db.get());
        QVERIFY(rig.start());
        bool broken = false;
        QSqlDatabase sql = db->database();
        connect(&rig.log, &ProgramLog::lineLogged, this, [&](const QString& line) {
            if (broken || !line.contains(QLatin1String("Sending old call")))
                return;
            broken = true;
            QTimer::singleShot(0, this, [sql] {
                QSqlQuery(sql).exec(QStringLiteral("ALTER TABLE Calls RENAME TO CallsAway"));
            });
        });
        TestClient client;
        QVERIFY(client.connectTo(rig.port()));
        client.listen(QString(), kBeforeAll);
        const auto failed = [](const QString& l) {
            return l.startsWith(QLatin1String("Error ocured: ")) &&
                   l.contains(QLatin1String("Calls")) && l.endsWith(QLatin1String("(line 15)"));
        };
        QTRY_VERIFY_WITH_TIMEOUT(rig.anyMessage(failed), 30000);
        rig.spin(100);
        QVERIFY(!client.commands().contains(QStringLiteral("accepted")));
        QCOMPARE(client.socket.state(), QAbstractSocket::ConnectedState);
        QVERIFY(!rig.server->connections().Item(client.ip())->Verified);
        QCOMPARE(rig.server->clientsModel().rowCount(), 0);
        QVERIFY(rig.dialogs.shown().last().contains(QStringLiteral("wsConnection_DataArrival")));

        QVERIFY(QSqlQuery(sql).exec(QStringLiteral("ALTER TABLE CallsAway RENAME TO Calls")));
        client.listen(QString(), kBeforeAll);
        QVERIFY(client.waitFor(QStringLiteral("accepted"), 30000));
        QCOMPARE(client.last()[1].count(QChar(0xFF)), kRows);
    }

    // A replay of the newest calls must not walk the whole table: the first
    // call since the date comes from the date index, and the batches start
    // there on the key.
    void replayStartsAtTheFirstCallSinceTheDate()
    {
        TestHome dbHome;
        std::vector<QByteArray> dates;
        auto db = openDatabase(dbHome, manyCalls(25, dates));
        QVERIFY(db);
        const QDateTime since = QDateTime(QDate(2026, 12, 3), QTime(10, 0)).addSecs(20);
        QSqlQuery plan(db->database());
        QVERIFY(
            plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") +
                      OldCallReplay::firstSinceStatement(since, ConnectionString::Engine::SQLite)));
        QStringList steps;
        while (plan.next())
            steps << plan.value(3).toString();
        QVERIFY2(steps.join(' ').contains(QLatin1String("USING COVERING INDEX CallsByDate")),
                 qPrintable(steps.join(" / ")));
        plan.finish();
        const QString batch = OldCallReplay::batchStatement(
            since, 20, 25, 7, ConnectionString::Engine::SQLite, OldCallReplay::BatchClause::Limit);
        QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + batch));
        steps.clear();
        while (plan.next())
            steps << plan.value(3).toString();
        QVERIFY2(
            steps.join(' ').contains(QLatin1String("INTEGER PRIMARY KEY (rowid>? AND rowid<?)")),
            qPrintable(steps.join(" / ")));
        plan.finish();

        OldCallReplay replay(
            *db, since, [](const QString&) { return true; }, [](const OldCallReplay::Row&) {});
        replay.start();
        while (!replay.step(100)) {
        }
        const OldCallReplay::Result result = replay.takeResult();
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QCOMPARE(result.rowsRead, 5);
    }

    // Batches cut off by the back end's clause and a one-pass read of one
    // query (back ends without a known clause) give the same rows in id
    // order, none lost at the seams.
    void batchesAndOnePass_data()
    {
        QTest::addColumn<int>("clause");
        // with the two that find the newest call and the first since the date
        QTest::addColumn<int>("queries");
        QTest::newRow("LIMIT") << int(OldCallReplay::BatchClause::Limit) << 2 + 4;
        QTest::newRow("one pass") << int(OldCallReplay::BatchClause::OnePass) << 2 + 1;
    }

    void batchesAndOnePass()
    {
        QFETCH(int, clause);
        QFETCH(int, queries);
        TestHome dbHome;
        std::vector<QByteArray> dates;
        auto db = openDatabase(dbHome, manyCalls(25, dates));
        QVERIFY(db);
        OldCallReplay replay(
            *db, QDateTime(QDate(2026, 1, 1), QTime(0, 0)), [](const QString&) { return true; },
            [](const OldCallReplay::Row&) {});
        replay.setBatchClause(OldCallReplay::BatchClause(clause));
        replay.start();
        int turns = 1;
        while (!replay.step(7))
            ++turns;
        const OldCallReplay::Result result = replay.takeResult();
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QCOMPARE(turns, 4);
        QCOMPARE(result.queries, queries);
        QCOMPARE(result.rowsRead, 25);
        QStringList records = result.list.split(QChar(0xFF));
        QCOMPARE(records.takeLast(), QString());
        QCOMPARE(records.size(), 25);
        for (int i = 0; i < records.size(); ++i)
            QCOMPARE(records[i].section(QLatin1Char('|'), 0, 0),
                     QDateTime(QDate(2026, 12, 3), QTime(10, 0))
                         .addSecs(i)
                         .toString(QStringLiteral("yyyyMMddHHmmss")));
    }

    void stampsThatAskForNothing_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::newRow("empty") << QString();
        QTest::newRow("short") << QStringLiteral("2026");
        QTest::newRow("no date") << QStringLiteral("20261332000000");
        QTest::newRow("injection") << QStringLiteral("0' OR '1'='1--");
    }

    void stampsThatAskForNothing()
    {
        QFETCH(QString, stamp);
        TestHome dbHome;
        auto db = openDatabase(
            dbHome, {{1, "2026-12-03T08:00:00.000", nullptr, true, "0302222", "Anna", "301"}});
        QVERIFY(db);
        ServerRig rig(db.get());
        QVERIFY(rig.start());
        TestClient client;
        QVERIFY(client.connectTo(rig.port()));
        client.listen(QString(), stamp);
        QVERIFY(client.waitFor(QStringLiteral("accepted")));
        QCOMPARE(client.last(), (QStringList{QStringLiteral("accepted"), QString()}));
    }

    void dateLiteralFollowsTheEngine_data()
    {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QString>("literal");
        QTest::newRow("SQLite") << int(ConnectionString::Engine::SQLite) << "'2026-01-02T03:04:05'";
        QTest::newRow("PostgreSQL")
            << int(ConnectionString::Engine::PostgreSQL) << "TIMESTAMP '2026-01-02 03:04:05'";
        QTest::newRow("MySQL") << int(ConnectionString::Engine::MySQL) << "'2026-01-02 03:04:05'";
        QTest::newRow("ODBC") << int(ConnectionString::Engine::ODBC)
                              << "{ts '2026-01-02 03:04:05'}";
    }

    // The statement speaks the engine's dialect: its date literal.
    void dateLiteralFollowsTheEngine()
    {
        QFETCH(int, engine);
        QFETCH(QString, literal);
        const QDateTime t(QDate(2026, 1, 2), QTime(3, 4, 5));
        const auto e = ConnectionString::Engine(engine);
        QCOMPARE(OldCallReplay::sqlDateLiteral(t, e), literal);
        QVERIFY(OldCallReplay::batchStatement(t, 41, 900, 500, e, OldCallReplay::BatchClause::Limit)
                    .contains(QStringLiteral("CallDate>=") + literal +
                              QStringLiteral(" AND CallID>41 AND CallID<=900 ORDER BY CallID")));
    }

    // A batch is cut off the way the back end knows; one it does not know is
    // read in one pass.
    void batchClauseFollowsTheBackEnd_data()
    {
        QTest::addColumn<int>("dbms");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        const QString select = QStringLiteral("SELECT CallID, ");
        const QString order = QStringLiteral("ORDER BY CallID");
        QTest::newRow("SQLite") << int(QSqlDriver::SQLite) << select << order + " LIMIT 500";
        QTest::newRow("PostgreSQL")
            << int(QSqlDriver::PostgreSQL) << select << order + " LIMIT 500";
        QTest::newRow("MySQL") << int(QSqlDriver::MySqlServer) << select << order + " LIMIT 500";
        QTest::newRow("SQL Server")
            << int(QSqlDriver::MSSqlServer) << QStringLiteral("SELECT TOP 500 CallID, ") << order;
        QTest::newRow("Sybase") << int(QSqlDriver::Sybase)
                                << QStringLiteral("SELECT TOP 500 CallID, ") << order;
        QTest::newRow("Oracle") << int(QSqlDriver::Oracle) << select
                                << order + " FETCH FIRST 500 ROWS ONLY";
        QTest::newRow("DB2") << int(QSqlDriver::DB2) << select
                             << order + " FETCH FIRST 500 ROWS ONLY";
        QTest::newRow("unknown") << int(QSqlDriver::UnknownDbms) << select << order;
        QTest::newRow("Interbase") << int(QSqlDriver::Interbase) << select << order;
    }

    void batchClauseFollowsTheBackEnd()
    {
        QFETCH(int, dbms);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const QString sql = OldCallReplay::batchStatement(
            QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), 41, 900, 500,
            ConnectionString::Engine::ODBC,
            OldCallReplay::batchClauseFor(QSqlDriver::DbmsType(dbms)));
        QVERIFY2(sql.startsWith(start) && sql.endsWith(end), qPrintable(sql));
    }
};

QTEST_GUILESS_MAIN(TestServerReplay)
#include "TestServerReplay.moc"
