// The old-call replay of "listen" on a real SQLite call database.

#include "ServerRig.h"

#include "contacts/store/CallDatabase.h"
#include "platform/AppPaths.h"
#include "server/connections/OldCallReplay.h"

#include <QSqlQuery>

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
        QList<StoredCall> calls;
        std::vector<QByteArray> dates;
        constexpr int kRows = 12000; // two full replays stay below the log's 32001 lines
        for (int i = 0; i < kRows; ++i)
            dates.push_back(QDateTime(QDate(2026, 12, 3), QTime(10, 0))
                                .addSecs(i)
                                .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
                                .toLatin1());
        for (int i = 1; i <= kRows; ++i)
            calls.append({i, dates[std::size_t(i - 1)].constData(), nullptr, true, "0302222",
                          "Anna", "301"});
        auto db = openDatabase(dbHome, calls);
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

    void dateLiteralFollowsTheEngine()
    {
        QFETCH(int, engine);
        QFETCH(QString, literal);
        QCOMPARE(OldCallReplay::sqlDateLiteral(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)),
                                               ConnectionString::Engine(engine)),
                 literal);
    }
};

QTEST_GUILESS_MAIN(TestServerReplay)
#include "TestServerReplay.moc"
