// The server under attack, over loopback: peers that never log in, guess
// passwords, flood the log, share a verified client's address, hold sockets
// without a word, or use up the program's file handles.

#include "ServerRig.h"

#include "platform/FileHandleLimit.h"
#include "platform/net/ListeningSocket.h"
#include "platform/telephony/ControlChannelServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QScopeGuard>

#include <sys/resource.h>

namespace {

qsizetype logChars(const ServerRig& rig)
{
    qsizetype total = 0;
    for (const QString& line : rig.log.lines())
        total += line.size() + 1;
    return total;
}

} // namespace

class TestServerHostilePeers : public QObject
{
    Q_OBJECT

private slots:
    // Dialling out, rejecting and listing devices are for logged-in clients only.
    void requestsNeedALoggedInClient()
    {
        ServerRig rig;
        rig.form->setOutgoingDevice(QStringLiteral("Virtual line 2"));
        QVERIFY(rig.monitor({0, 1}));
        const qint32 ringing =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        TestClient intruder;
        QVERIFY(intruder.connectTo(rig.port()));
        intruder.send(WireProtocol::encode(QStringLiteral("startcall"),
                                           {QString(), QStringLiteral("0301999")}) +
                      WireProtocol::encode(QStringLiteral("rejectcall")) +
                      WireProtocol::encode(QStringLiteral("getoutgoingdevices")));
        intruder.send(QStringLiteral("startcall"), {QString(), QStringLiteral("0302")});
        // Logging in afterwards: whatever came before was handled by then.
        intruder.listen();
        QVERIFY(intruder.waitFor(QStringLiteral("accepted")));
        rig.settle();
        QCOMPARE(intruder.commands(),
                 (QStringList{QStringLiteral("connect"), QStringLiteral("accepted")}));
        QCOMPARE(rig.lines().callIds(), QList<qint32>{ringing});
        QCOMPARE(rig.messages().filter(QStringLiteral(": the client has not logged in")),
                 QStringList{QStringLiteral(
                     "Ignored \"startcall\" from 127.0.0.2: the client has not logged in")});
        // Logged in, the same request is obeyed.
        intruder.send(QStringLiteral("getoutgoingdevices"));
        QVERIFY(intruder.waitFor(QStringLiteral("outgoingdevices")));
    }

    // Without a server password anyone logs in: calls still go out, but nobody
    // dials or rejects (said once per connection), and the start says so.
    void noPasswordNoDiallingOrRejecting()
    {
        ServerRig rig;
        rig.form->options().setValue(QStringLiteral("txtPassword"), QString());
        rig.form->setOutgoingDevice(QStringLiteral("Virtual line 2"));
        QVERIFY(rig.monitor({0, 1}));
        TestClient client;
        QVERIFY(client.connectTo(rig.port()));
        client.listen(QString(), QString(), QString(), QString());
        QVERIFY(client.waitFor(QStringLiteral("accepted")));
        const qint32 ringing =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(client.waitFor(QStringLiteral("incomingcall")));
        client.send(WireProtocol::encode(QStringLiteral("startcall"),
                                         {QString(), QStringLiteral("0900123456")}) +
                    WireProtocol::encode(QStringLiteral("rejectcall")) +
                    WireProtocol::encode(QStringLiteral("startcall"),
                                         {QString(), QStringLiteral("0900654321")}) +
                    WireProtocol::encode(QStringLiteral("getoutgoingdevices")));
        QVERIFY(client.waitFor(QStringLiteral("outgoingdevices")));
        rig.settle();
        QCOMPARE(rig.lines().callIds(), QList<qint32>{ringing});
        QVERIFY(!rig.anyMessage([](const QString& l) { return l.contains("Rejecting call"); }));
        QCOMPARE(rig.messages().filter(QStringLiteral("has no password")),
                 (QStringList{QStringLiteral("The server has no password: clients get calls but "
                                             "cannot dial or reject calls"),
                              QStringLiteral("Ignored \"startcall\" from 127.0.0.2: the server "
                                             "has no password")}));
    }

    // With file logging on, no password of a listen reaches the log, wherever
    // the listen stands and whether the password is right or not.
    void passwordsNeverReachTheLog_data()
    {
        QTest::addColumn<QList<QByteArray>>("arrivals");
        QTest::addColumn<QString>("password");
        const QByteArray wrong = WireProtocol::encode(
            QStringLiteral("listen"),
            {QString(), QStringLiteral("Zq7Xw9"), QStringLiteral("PC"), QString(), kVersion});
        QTest::newRow("right password")
            << QList<QByteArray>{WireProtocol::encode(
                   QStringLiteral("listen"),
                   {QString(), kPassword, QStringLiteral("PC"), QString(), kVersion})}
            << kPassword;
        QTest::newRow("after a ping")
            << QList<QByteArray>{QByteArray("ping\0", 5) + "listen\r\n\r\nsecret\r\nPC\r\n\r\n" +
                                 kVersion.toLatin1()}
            << kPassword;
        QTest::newRow("wrong password") << QList<QByteArray>{wrong} << QStringLiteral("Zq7Xw9");
        QTest::newRow("two listens")
            << QList<QByteArray>{WireProtocol::encode(QStringLiteral("listen"),
                                                      {QString(), QStringLiteral("Ab1Cd2")}) +
                                 wrong}
            << QStringLiteral("Zq7Xw9");
        QTest::newRow("cut by the network")
            << QList<QByteArray>{"lis", "ten\r\n301\r\nZq7Xw9\r\nPC\r\n\r\n2.0"}
            << QStringLiteral("Zq7Xw9");
    }

    void passwordsNeverReachTheLog()
    {
        QFETCH(QList<QByteArray>, arrivals);
        QFETCH(QString, password);
        ServerRig rig;
        rig.form->setTapiLog(true);
        QVERIFY(rig.start());
        TestClient client;
        QVERIFY(client.connectTo(rig.port()));
        const auto dataLines = [&rig] {
            return rig.messages().filter(QStringLiteral("Data from 127.0.0.2")).size();
        };
        for (const QByteArray& arrival : arrivals) {
            const auto before = dataLines();
            client.send(arrival);
            QTRY_VERIFY_WITH_TIMEOUT(dataLines() > before, 2000);
        }
        rig.spin(100);
        rig.log.flush();
        const QString file = QString::fromUtf8(rig.home.read(QStringLiteral("protocol.log")));
        QVERIFY2(file.contains(QStringLiteral("*****")), qPrintable(file));
        QVERIFY2(!file.contains(password), qPrintable(file));
        QVERIFY(!rig.anyMessage([&](const QString& l) { return l.contains(password); }));
        if (arrivals.size() > 1) // neither half of a password cut in two
            QVERIFY2(!file.contains(password.left(3)) && !file.contains(password.mid(3)),
                     qPrintable(file));
    }

    // Each wrong password of an address waits twice as long for its answer as
    // the one before, and parallel sockets from that address wait their turn.
    void wrongPasswordsAreAnsweredLater()
    {
        ServerRig rig; // first delay 20 ms
        QVERIFY(rig.start());
        const QString guess = QStringLiteral("guess");
        for (int attempt = 1; attempt <= 5; ++attempt) {
            TestClient guesser;
            QVERIFY(guesser.connectTo(rig.port()));
            QElapsedTimer t;
            t.start();
            guesser.listen(QString(), QString(), QString(), guess);
            QVERIFY(guesser.waitFor(QStringLiteral("wrongpass")));
            const qint64 expected = 20LL << (attempt - 1);
            QVERIFY2(t.elapsed() >= expected,
                     qPrintable(QStringLiteral("attempt %1 answered after %2 ms")
                                    .arg(attempt)
                                    .arg(t.elapsed())));
            QVERIFY(guesser.waitForClose());
        }
        QCOMPARE(rig.loggedCount(QStringLiteral("Wrong password from: 127.0.0.2")), 5);
        QVERIFY(rig.logged(QStringLiteral(
            "5 wrong passwords from 127.0.0.2: each answer waits 0.32 seconds now")));

        // Three guesses at once from another address: answered one after another
        // (20 + 40 + 80 ms); the right password sent meanwhile waits its turn too.
        std::vector<std::unique_ptr<TestClient>> parallel;
        for (int i = 0; i < 3; ++i) {
            parallel.push_back(std::make_unique<TestClient>(3));
            QVERIFY(parallel.back()->connectTo(rig.port()));
        }
        TestClient owner(3);
        QVERIFY(owner.connectTo(rig.port()));
        QElapsedTimer t;
        t.start();
        for (auto& p : parallel)
            p->listen(QString(), QString(), QString(), guess);
        rig.spin(5);
        owner.listen();
        for (auto& p : parallel)
            QVERIFY(p->waitFor(QStringLiteral("wrongpass")));
        // Its own count: far below what the other address's delays (320 ms on) would add up to.
        QVERIFY2(t.elapsed() >= 140 && t.elapsed() < 1500,
                 qPrintable(QString::number(t.elapsed())));
        QVERIFY(owner.waitFor(QStringLiteral("accepted")));
    }

    // One peer cannot make the log grow with what it sends: an arrival is one
    // line, long texts are cut, control characters are written out, and past
    // its budget a peer's data is not logged until the budget has grown back.
    void aPeerCannotFloodTheLog()
    {
        ServerRig rig;
        rig.form->setTapiLog(true);
        QVERIFY(rig.start());
        TestClient flooder;
        QVERIFY(flooder.connectTo(rig.port()));

        QByteArray tiny;
        for (int i = 0; i < 1000; ++i)
            tiny.append("x\0", 2);
        qsizetype before = logChars(rig);
        flooder.send(tiny);
        QTRY_VERIFY_WITH_TIMEOUT(rig.loggedCount(QStringLiteral(
                                     "Phonavo Server 127.0.0.2 sent an unknown command: x")) == 20,
                                 2000);
        rig.spin(50);
        // One line per arrival (the kernel may cut the send in two).
        QVERIFY(rig.messages().filter(QStringLiteral("Data from 127.0.0.2")).size() <= 2);
        QVERIFY2(logChars(rig) - before < 2 * tiny.size(),
                 qPrintable(QString::number(logChars(rig) - before)));

        static const char escapes[] = "\x1b[2J\x1b]0;owned\x07\x9b"
                                      "31m";
        flooder.send(QByteArray(escapes, sizeof escapes)); // with its NUL
        QTRY_VERIFY_WITH_TIMEOUT(rig.anyMessage([](const QString& l) {
            return l.contains(QLatin1String("\\x1B[2J\\x1B]0;owned\\x07\\x9B31m"));
        }),
                                 2000);
        rig.log.flush();
        const QString file = QString::fromUtf8(rig.home.read(QStringLiteral("protocol.log")));
        QVERIFY(!file.contains(QChar(0x1b)) && !file.contains(QChar(0x07)) &&
                !file.contains(QChar(0x9b)));

        before = logChars(rig);
        const QByteArray line = QByteArray(1000, 'y') + '\0';
        for (int i = 0; i < 200; ++i) {
            flooder.send(line);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(flooder.socket.bytesToWrite(), 0, 5000);
        rig.spin(200);
        const qsizetype added = logChars(rig) - before;
        QVERIFY2(added < PeerLog::kBurstChars + 1000, qPrintable(QString::number(added)));
        QVERIFY(!rig.anyMessage([](const QString& l) { return l.size() > 600; }));
        QCOMPARE(
            rig.loggedCount(QStringLiteral("Further data from 127.0.0.2 is not logged for now")),
            1);

        // A new connection from there refills nothing.
        TestClient again(2);
        QVERIFY(again.connectTo(rig.port()));
        again.send(QByteArray("fresh\0getoutgoingdevices\0", 25));
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.logged(QStringLiteral("Ignored \"getoutgoingdevices\" from "
                                      "127.0.0.2: the client has not logged in")),
            2000);
        QVERIFY(
            !rig.anyMessage([](const QString& l) { return l.contains(QLatin1String("fresh")); }));

        // Ten minutes later the budget has grown back.
        rig.clock.advanceSeconds(600);
        flooder.send(QByteArray("again\0", 6));
        QTRY_VERIFY_WITH_TIMEOUT(rig.logged(QStringLiteral("Data from 127.0.0.2: again\\0")), 2000);
        QVERIFY(rig.anyMessage([](const QString& l) {
            return l.startsWith(QLatin1String("Data from 127.0.0.2 is logged again ("));
        }));
    }

    // A second socket from a verified client's address gets nothing and takes
    // nothing until it has logged in itself; then it is the client, and the
    // first socket is closed.
    void aSecondSocketDoesNotSilenceTheClient()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        TestClient intruder(2);
        QVERIFY(intruder.connectTo(rig.port()));
        intruder.listen(QString(), QString(), QStringLiteral("Intruder"), QStringLiteral("nope"));
        QVERIFY(intruder.waitFor(QStringLiteral("wrongpass")));

        const qint32 first =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(client->waitFor(QStringLiteral("incomingcall")));
        QCOMPARE(client->last().value(1), QString::number(first));
        QCOMPARE(rig.server->clientsModel().rowCount(), 1);

        TestClient reconnect(2);
        QVERIFY(reconnect.connectTo(rig.port()));
        rig.lines().hangup(first);
        rig.settle();
        QVERIFY(client->waitFor(QStringLiteral("disconnect")));
        QVERIFY(!reconnect.commands().contains(QStringLiteral("disconnect")));

        reconnect.listen(QString(), QString(), QStringLiteral("Office-PC"));
        QVERIFY(reconnect.waitFor(QStringLiteral("accepted")));
        QVERIFY(client->waitForClose());
        QCOMPARE(rig.server->clientsModel().rowCount(), 1);
        QCOMPARE(rig.server->clientsModel().row(0).mid(1),
                 (QStringList{QStringLiteral("Office-PC"), QStringLiteral("127.0.0.2")}));
        rig.lines().ring(0, QStringLiteral("0307654321"), QStringLiteral("5551"));
        rig.settle();
        QVERIFY(reconnect.waitFor(QStringLiteral("incomingcall")));
    }

    // A socket that says nothing at all goes after a short grace; one that
    // pings keeps the two-minute rule.
    void silentSocketsGoAfterAGrace_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("dropped");
        QTest::newRow("silent") << QByteArray() << 11 << true;
        QTest::newRow("empty messages only") << QByteArray("\0\0", 2) << 11 << true;
        QTest::newRow("pinged") << QByteArray("ping\0", 5) << 11 << false;
        QTest::newRow("still young") << QByteArray() << 9 << false;
        QTest::newRow("pinged long ago") << QByteArray("ping\0", 5) << 121 << true;
    }

    void silentSocketsGoAfterAGrace()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, seconds);
        QFETCH(bool, dropped);
        ServerRig rig;
        QVERIFY(rig.start());
        TestClient peer;
        QVERIFY(peer.connectTo(rig.port()));
        if (!sent.isEmpty())
            peer.send(sent);
        rig.spin(100);
        rig.clock.advanceSeconds(seconds);
        rig.server->tmrCleanClients_Timer();
        if (dropped) {
            QVERIFY(peer.waitFor(QStringLiteral("timeout")));
            QVERIFY(peer.waitForClose());
            QCOMPARE(rig.server->connections().Count(), 0);
        } else {
            rig.spin(100);
            QCOMPARE(peer.socket.state(), QAbstractSocket::ConnectedState);
            QCOMPARE(rig.server->connections().Count(), 1);
        }
        QCOMPARE(rig.logged(
                     QStringLiteral("Client 127.0.0.2 sent nothing for 10 seconds, disconnecting")),
                 dropped && seconds < PhonavoServer::kPingTimeoutSeconds);
        // The listening socket still takes clients.
        QVERIFY(rig.verifiedClient(3));
    }

    // Guesses from many addresses are slowed down together: past the
    // server-wide budget every wrong answer also waits a delay that grows
    // (said once), until a quiet minute.
    void guessesFromManyAddressesAreSlowedTogether()
    {
        ServerRig rig; // 20 ms for an address's first failure
        rig.server->loginThrottle().setGlobalDelays(300, 5000);
        QVERIFY(rig.start());
        const int kOverBudget = 3;
        std::vector<std::unique_ptr<TestClient>> guessers;
        for (int i = 0; i < LoginThrottle::kGlobalFailuresPerMinute + kOverBudget; ++i) {
            guessers.push_back(std::make_unique<TestClient>(10 + i));
            QVERIFY(guessers.back()->connectTo(rig.port()));
        }
        QElapsedTimer t;
        t.start();
        for (auto& g : guessers)
            g->listen(QString(), QString(), QString(), QStringLiteral("guess"));
        QList<qint64> answeredAt(qsizetype(guessers.size()), -1);
        while (answeredAt.contains(-1) && t.elapsed() < 10'000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            for (std::size_t i = 0; i < guessers.size(); ++i)
                if (answeredAt[qsizetype(i)] < 0 &&
                    guessers[i]->commands().contains(QStringLiteral("wrongpass")))
                    answeredAt[qsizetype(i)] = t.elapsed();
        }
        QVERIFY(!answeredAt.contains(-1));
        std::sort(answeredAt.begin(), answeredAt.end());
        const QList<qint64> late = answeredAt.mid(answeredAt.size() - kOverBudget);
        QVERIFY2(answeredAt[answeredAt.size() - kOverBudget - 1] < 300 && late[0] >= 300 &&
                     late[1] >= 600 && late[2] >= 1200,
                 qPrintable(QDebug::toString(answeredAt)));
        QCOMPARE(rig.messages().filter(QStringLiteral("wrong passwords a minute")),
                 QStringList{QStringLiteral(
                     "More than 10 wrong passwords a minute from all addresses: every wrong "
                     "password waits 0.3 seconds or more for its answer now")});
        QVERIFY(rig.server->loginThrottle().globalLimitEngaged());
        rig.clock.advanceSeconds(60);
        TestClient later(40);
        QVERIFY(later.connectTo(rig.port()));
        later.listen(QString(), QString(), QString(), QStringLiteral("guess"));
        QVERIFY(later.waitFor(QStringLiteral("wrongpass")));
        QVERIFY(!rig.server->loginThrottle().globalLimitEngaged());
    }

    // A listen that waits for its address's turn at the password check keeps
    // its connection going: its pings are handled, and the wait does not
    // count against its ping time-out.
    void aQueuedListenKeepsItsConnection()
    {
        ServerRig rig;
        rig.server->loginThrottle().setDelays(1000, 1000);
        QVERIFY(rig.start());
        TestClient guesser(2);
        TestClient owner(2);
        QVERIFY(guesser.connectTo(rig.port()) && owner.connectTo(rig.port()));
        guesser.listen(QString(), QString(), QString(), QStringLiteral("guess"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.logged(QStringLiteral("Wrong password from: 127.0.0.2")),
                                 2000);
        owner.listen(QString(), QString(), QStringLiteral("Office-PC"));
        rig.spin(50);
        rig.clock.advanceSeconds(PhonavoServer::kPingTimeoutSeconds + 10);
        rig.server->tmrCleanClients_Timer();
        const ConnectionPtr c = rig.server->connections().Item(owner.ip());
        QVERIFY(c && c->wsConnection);
        owner.send(QStringLiteral("ping"));
        QTRY_COMPARE_WITH_TIMEOUT(c->dtLastPing, rig.clock.now(), 500);
        QVERIFY(!owner.commands().contains(QStringLiteral("accepted"))); // still waiting then
        QVERIFY(owner.waitFor(QStringLiteral("accepted")));
        QVERIFY(!owner.commands().contains(QStringLiteral("timeout")));
    }

    // Sockets of one address that never log in cannot lock its client out:
    // at the limit the oldest of them makes room; the client that logged in
    // is never the one.
    void sameAddressSocketsMakeRoom()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        std::vector<std::unique_ptr<TestClient>> squatters;
        for (int i = 0; i < PhonavoServer::kMaxSocketsPerAddress; ++i) {
            squatters.push_back(std::make_unique<TestClient>(2));
            QVERIFY(squatters.back()->connectTo(rig.port()));
            squatters.back()->send(QStringLiteral("ping"));
        }
        rig.spin(50);
        TestClient owner(2);
        QVERIFY(owner.connectTo(rig.port()));
        QVERIFY(squatters.front()->waitForClose());
        QVERIFY(rig.logged(QStringLiteral("Closed the oldest connection from 127.0.0.2 that has "
                                          "not logged in, to make room for a new one")));
        owner.listen();
        QVERIFY(owner.waitFor(QStringLiteral("accepted")));
        for (int i = 0; i < PhonavoServer::kMaxSocketsPerAddress; ++i) {
            squatters.push_back(std::make_unique<TestClient>(2));
            QVERIFY(squatters.back()->connectTo(rig.port()));
        }
        rig.spin(50);
        QCOMPARE(owner.socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(rig.server->connections().fromAddress(owner.ip()).size(),
                 PhonavoServer::kMaxSocketsPerAddress);
        rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"));
        rig.settle();
        QVERIFY(owner.waitFor(QStringLiteral("incomingcall")));
    }

    // Short connections in a row from one address are logged (and traced) up
    // to a budget that survives the reconnects; the rest are counted in one
    // line, and the budget grows back.
    void connectionChurnHasALogBudget()
    {
        ServerRig rig;
        rig.form->setTapiLog(true);
        QVERIFY(rig.start());
        const qsizetype before = rig.log.lines().size();
        const int kChurn = 3 * PeerLog::kConnectionBurst;
        for (int i = 0; i < kChurn; ++i) {
            TestClient peer(2);
            QVERIFY(peer.connectTo(rig.port()));
            peer.socket.abort();
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.server->connections().Count(), 0, 5000);
        const auto lines = [&rig](const QString& text) {
            return rig.messages().filter(text).size();
        };
        QCOMPARE(lines(QStringLiteral("Connection request: ")), PeerLog::kConnectionBurst);
        QCOMPARE(lines(QStringLiteral("Sending \"connect\"")), PeerLog::kConnectionBurst);
        QCOMPARE(lines(QStringLiteral("Client disconnected: ")), PeerLog::kConnectionBurst);
        QCOMPARE(rig.log.lines().size() - before, 3 * PeerLog::kConnectionBurst);
        rig.server->tmrCleanClients_Timer();
        QVERIFY(rig.logged(QStringLiteral("%1 connections from 127.0.0.2 not logged")
                               .arg(kChurn - PeerLog::kConnectionBurst)));
        rig.server->tmrCleanClients_Timer(); // said once
        QCOMPARE(lines(QStringLiteral("connections from 127.0.0.2 not logged")), 1);

        rig.clock.advanceSeconds(60);
        TestClient back(2);
        QVERIFY(back.connectTo(rig.port()));
        QCOMPARE(lines(QStringLiteral("Connection request: ")), PeerLog::kConnectionBurst + 1);
    }

    // Near the file-handle limit the server stops accepting (and says so once)
    // instead of spinning, the control channel still works, and accepting goes
    // on when handles are free again. Without a count of the handles (no
    // /proc), it accepts until an accept fails for want of them.
    void runningOutOfFileHandles_data()
    {
        QTest::addColumn<bool>("counted");
        QTest::newRow("handles counted") << true;
        QTest::newRow("no count of the handles") << false;
    }

    void runningOutOfFileHandles()
    {
        QFETCH(bool, counted);
        ServerRig rig;
        QVERIFY(rig.start());
        ControlChannelServer control(
            [](const QStringList& args) {
                return ControlProtocol::Reply::success(args.join(QLatin1Char(' ')));
            },
            [](const QString&) {});
        QVERIFY(control.listen(rig.home.file(QStringLiteral("control.sock"))));

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        const auto restore = qScopeGuard([&saved] { setrlimit(RLIMIT_NOFILE, &saved); });
        // The peers' own handles first (both ends live in this process), then
        // room for a few connections beyond the reserve; more peers than that.
        const int reserve = rig.server->listener().handleReserve();
        const int kPeers = reserve + 12;
        std::vector<std::unique_ptr<TestClient>> peers;
        for (int i = 0; i < kPeers; ++i) {
            peers.push_back(std::make_unique<TestClient>(10 + i));
            QVERIFY(peers.back()->socket.bind(QHostAddress(peers.back()->ip()), 0));
        }
        rlimit low = saved;
        low.rlim_cur = rlim_t(FileHandleLimit::inUse() + reserve + 4);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        const auto countAgain =
            qScopeGuard([] { FileHandleLimit::setHandleFolder("/proc/self/fd"); });
        if (!counted) {
            FileHandleLimit::setHandleFolder("/nonexistent/fd");
            QCOMPARE(FileHandleLimit::inUse(), -1);
        }
        for (auto& p : peers)
            p->socket.connectToHost(QHostAddress::LocalHost, rig.port());
        const auto greeted = [&peers] {
            return std::count_if(peers.cbegin(), peers.cend(), [](const auto& p) {
                return p->commands().contains(QStringLiteral("connect"));
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(!rig.server->isAccepting(), 5000);
        rig.spin(300);
        const auto accepted = greeted();
        QVERIFY2(accepted >= 1 && accepted < kPeers, qPrintable(QString::number(accepted)));
        QCOMPARE(rig.messages().filter(QStringLiteral("Not accepting connections")).size(), 1);
        QCOMPARE(rig.logged(QStringLiteral("Not accepting connections for now: out of file "
                                           "handles (limit %1)")
                                .arg(low.rlim_cur)),
                 !counted);

        // The paused server does not burn the processor meanwhile.
        rusage start{};
        getrusage(RUSAGE_SELF, &start);
        QEventLoop idle;
        QTimer::singleShot(500, &idle, &QEventLoop::quit);
        idle.exec();
        rusage end{};
        getrusage(RUSAGE_SELF, &end);
        const auto cpuMs = [](const rusage& r) {
            return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 +
                   (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000;
        };
        QVERIFY2(cpuMs(end) - cpuMs(start) < 100,
                 qPrintable(QString::number(cpuMs(end) - cpuMs(start))));

        // The reserve keeps the control channel usable (where it can be kept).
        if (counted) {
            QLocalSocket local;
            local.connectToServer(control.socketPath());
            QVERIFY(local.waitForConnected(2000));
            local.write(ControlProtocol::encodeRequest({QStringLiteral("hello")}));
            QTRY_VERIFY_WITH_TIMEOUT(local.canReadLine(), 2000);
            QCOMPARE(ControlProtocol::decodeReply(local.readLine(), nullptr)->output,
                     QStringLiteral("hello"));
            local.disconnectFromServer();
        }

        // Handles come back: the waiting peers are taken.
        for (auto& p : peers)
            if (p->commands().contains(QStringLiteral("connect")))
                p->socket.abort();
        QTRY_VERIFY_WITH_TIMEOUT(rig.logged(QStringLiteral("Accepting connections again")), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(greeted() > accepted, 5000);
    }
};

QTEST_GUILESS_MAIN(TestServerHostilePeers)
#include "TestServerHostilePeers.moc"
