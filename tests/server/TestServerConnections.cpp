// The server's connections end to end over loopback: handshake outcomes,
// framing of arrivals, the ping time-out and the server's stop.

#include "ServerRig.h"

#include "platform/net/ListeningSocket.h"

#include <QTcpServer>

#include <sys/socket.h>

class TestServerConnections : public QObject
{
    Q_OBJECT

private slots:
    void handshakeOutcomes_data()
    {
        QTest::addColumn<QByteArray>("listen");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("wrong password")
            << WireProtocol::encode(QStringLiteral("listen"),
                                    {QString(), QStringLiteral("guess"),
                                     QStringLiteral("Office-PC"), QString(), kVersion})
            << "wrongpass"
            << "Wrong password from: 127.0.0.2";
        QTest::newRow("other version")
            << WireProtocol::encode(QStringLiteral("listen"),
                                    {QString(), kPassword, QStringLiteral("Office-PC"), QString(),
                                     QStringLiteral("1.9")})
            << "wrongprotocol"
            << "Client 127.0.0.2 rejected: Wrong protocol version (Client: 1.9 vs. Server: 2.0)";
        QTest::newRow("no version line")
            << WireProtocol::encode(QStringLiteral("listen"),
                                    {QString(), kPassword, QStringLiteral("Office-PC"), QString()})
            << "wrongprotocol"
            << "Client 127.0.0.2 rejected: Wrong protocol version (Client:  vs. Server: 2.0)";
    }

    void handshakeOutcomes()
    {
        QFETCH(QByteArray, listen);
        QFETCH(QString, reply);
        QFETCH(QString, logLine);
        ServerRig rig;
        QVERIFY(rig.start());
        TestClient client;
        QVERIFY(client.connectTo(rig.port()));
        client.send(listen);
        QVERIFY(client.waitFor(reply));
        QVERIFY(client.waitForClose());
        QVERIFY2(rig.logged(logLine), qPrintable(rig.messages().join(QLatin1Char('\n'))));
        QTRY_COMPARE_WITH_TIMEOUT(rig.server->connections().Count(), 0, 2000);
        QCOMPARE(rig.server->clientsModel().rowCount(), 0);
    }

    void acceptedClientIsListed()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        TestClient client(7);
        QVERIFY(client.connectTo(rig.port()));
        client.listen(QStringLiteral("301;302"), QString(), QStringLiteral("Office-PC"));
        QVERIFY(client.waitFor(QStringLiteral("accepted")));
        QCOMPARE(client.last(), (QStringList{QStringLiteral("accepted"), QString()}));
        const ConnectionPtr c = rig.server->connections().Item(QStringLiteral("127.0.0.7"));
        QVERIFY(c && c->Verified);
        QCOMPARE(c->HostName, QStringLiteral("Office-PC"));
        QCOMPARE(c->ListenNumber, QStringLiteral("301;302"));
        QCOMPARE(rig.server->clientsModel().row(0).mid(1),
                 (QStringList{QStringLiteral("Office-PC"), QStringLiteral("127.0.0.7")}));
        QVERIFY(rig.logged(QStringLiteral("Client connected: Office-PC (127.0.0.7)")));
    }

    // The limit counts grid rows; a client coming back from a listed address
    // gets its own row back instead of counting twice.
    void fullServerAndReconnect()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        for (int i = 0; i < PhonavoServer::kMaxClients - 1; ++i)
            rig.server->clientsModel().addRow(
                QString(), QStringLiteral("other"),
                QStringLiteral("10.0.%1.%2").arg(i / 200).arg(i % 200));
        auto first = rig.verifiedClient(2);
        QVERIFY(first);
        QCOMPARE(rig.server->clientsModel().rowCount(), PhonavoServer::kMaxClients);

        TestClient late(3);
        QVERIFY(late.connectTo(rig.port()));
        late.listen();
        QVERIFY(late.waitFor(QStringLiteral("maxreached")));
        QVERIFY(late.waitForClose());
        QVERIFY(rig.logged(
            QStringLiteral("Client 127.0.0.3 rejected: Maximum number of clients reached")));

        // Same address again, the first socket still open: it takes the row, not counted
        // twice, and the first socket is closed.
        TestClient again(2);
        QVERIFY(again.connectTo(rig.port()));
        again.listen();
        QVERIFY(again.waitFor(QStringLiteral("accepted")));
        QVERIFY(first->waitForClose());
        rig.spin(100);
        QCOMPARE(rig.server->clientsModel().rowCount(), PhonavoServer::kMaxClients);
        QCOMPARE(rig.server->clientsModel().rowsOf(QStringLiteral("127.0.0.2")), 1);
        QCOMPARE(rig.server->connections().Item(QStringLiteral("127.0.0.2"))->wsConnection->state(),
                 7);
        QCOMPARE(rig.server->connections().fromAddress(QStringLiteral("127.0.0.2")).size(), 1);
    }

    void framingOfArrivals()
    {
        ServerRig rig;
        rig.form->setTapiLog(true);
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        rig.clock.advanceSeconds(100);
        // Two messages in one arrival, the second without its NUL: both handled.
        client->send(QByteArray("bogus\0getoutgoingdevices", 24));
        QVERIFY(client->waitFor(QStringLiteral("outgoingdevices")));
        QVERIFY(
            rig.logged(QStringLiteral("Phonavo Server 127.0.0.2 sent an unknown command: bogus")));
        // The arrival is logged once, not once for each of its messages.
        QCOMPARE(rig.loggedCount(QStringLiteral("Data from 127.0.0.2: bogus\\0getoutgoingdevices")),
                 1);
        // Command words are case-sensitive.
        client->send(QStringLiteral("PING"));
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.logged(QStringLiteral("Phonavo Server 127.0.0.2 sent an unknown command: PING")),
            2000);
        client->send(QByteArray("\0\0ping\0", 7));
        const ConnectionPtr c = rig.server->connections().Item(client->ip());
        QTRY_COMPARE_WITH_TIMEOUT(c->dtLastPing, rig.clock.now(), 2000);
    }

    // How a flood is cut into arrivals is the kernel's business; whatever the
    // cut, a message past the limit is dropped (said once), no log line grows
    // with it and the connection is in step again after the flood's NUL.
    void oversizedMessageIsDropped_data()
    {
        QTest::addColumn<QList<int>>("pieces"); // KiB, the last one ends with NUL
        QTest::newRow("sent at once") << QList<int>{3 * 1024};
        QTest::newRow("in pieces below the limit") << QList<int>{700, 700};
    }

    void oversizedMessageIsDropped()
    {
        QFETCH(QList<int>, pieces);
        ServerRig rig;
        QVERIFY(rig.start());
        auto verified = rig.verifiedClient(2);
        QVERIFY(verified);
        TestClient& client = *verified;
        const auto handledPieces = [&rig] {
            return rig.loggedCount(QStringLiteral("Phonavo Server 127.0.0.2 sent an unknown "
                                                  "command: ") +
                                   QString(100, QLatin1Char('x')) + QStringLiteral("..."));
        };
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            QByteArray piece(pieces[i] * 1024, 'x');
            if (i + 1 == pieces.size())
                piece.append('\0');
            const int before = handledPieces();
            client.send(piece);
            QTRY_COMPARE_WITH_TIMEOUT(client.socket.bytesToWrite(), 0, 5000);
            // The server has read this piece before the next one goes.
            if (i + 1 < pieces.size())
                QTRY_VERIFY_WITH_TIMEOUT(handledPieces() > before, 5000);
        }
        const auto dropped = [&rig] {
            return rig.messages()
                .filter(QStringLiteral("Data from 127.0.0.2 dropped: a message longer than "
                                       "1048576 bytes"))
                .size();
        };
        QTRY_COMPARE_WITH_TIMEOUT(dropped(), 1, 5000);
        client.send(QStringLiteral("getoutgoingdevices"));
        QVERIFY(client.waitFor(QStringLiteral("outgoingdevices")));
        QCOMPARE(dropped(), 1);
        QVERIFY(!rig.anyMessage([](const QString& l) { return l.size() > 3000; }));
    }

    // Many tiny messages in one arrival are bounded: the server keeps serving,
    // and the log stays readable.
    void floodsFromOneClientAreBounded()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        TestClient flooder;
        QVERIFY(flooder.connectTo(rig.port()));
        QByteArray flood;
        for (int i = 0; i < 5000; ++i)
            flood.append("x\0", 2);
        flooder.send(flood);
        QTRY_VERIFY_WITH_TIMEOUT(rig.anyMessage([](const QString& l) {
            return l.contains(QLatin1String("only the first 1000 are handled"));
        }),
                                 5000);
        QCOMPARE(
            rig.loggedCount(QStringLiteral("Phonavo Server 127.0.0.2 sent an unknown command: x")),
            20);
        auto other = rig.verifiedClient(3);
        QVERIFY(other);
    }

    void pingTimeOut()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        auto silent = rig.verifiedClient(2);
        auto pinging = rig.verifiedClient(3);
        TestClient unverified(4); // pings, but never listens
        QVERIFY(silent && pinging && unverified.connectTo(rig.port()));
        for (int i = 0; i < 3; ++i) {
            rig.clock.advanceSeconds(50);
            pinging->send(QStringLiteral("ping"));
            unverified.send(QStringLiteral("ping"));
            rig.spin(50);
            rig.server->tmrCleanClients_Timer();
        }
        QVERIFY(silent->waitFor(QStringLiteral("timeout")));
        QVERIFY(silent->waitForClose());
        QVERIFY(rig.logged(QStringLiteral("Client 127.0.0.2 timed out, disconnecting")));
        QCOMPARE(rig.server->connections().Count(), 2);
        QCOMPARE(rig.server->clientsModel().rowCount(), 1);
        QVERIFY(!pinging->commands().contains(QStringLiteral("timeout")));
        QVERIFY(rig.verifiedClient(5));
    }

    // Dropping clients leaves the listening socket alone: a client that waits
    // in its queue at that moment is taken, on the same socket and port.
    void droppingClientsKeepsTheListeningSocket()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        const qintptr listener = rig.server->listener().socketDescriptor();
        const quint16 port = rig.port();
        TestClient silent(5);
        QVERIFY(silent.connectTo(port));
        rig.clock.advanceSeconds(PhonavoServer::kSilentGraceSeconds + 1);
        TestClient waiting(6);
        QVERIFY(waiting.socket.bind(QHostAddress(waiting.ip()), 0));
        waiting.socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(waiting.socket.waitForConnected(2000)); // in the kernel's queue only
        rig.server->tmrCleanClients_Timer();
        QVERIFY(silent.waitFor(QStringLiteral("timeout")));
        QVERIFY(waiting.waitFor(QStringLiteral("connect")));
        QCOMPARE(rig.server->listener().socketDescriptor(), listener);
        QCOMPARE(rig.port(), port);
    }

    // A listening socket that broke is made anew on its port; while another
    // program holds the port, that is said loudly once, tried again and again
    // (each try logged), and the server listens as soon as the port is free.
    void brokenListenerListensAgain()
    {
        ServerRig rig;
        rig.server->setRelistenInterval(50);
        QVERIFY(rig.start());
        const quint16 port = rig.port();
        // The socket stops listening, and another program takes the port meanwhile.
        QVERIFY(::shutdown(int(rig.server->listener().socketDescriptor()), SHUT_RD) == 0);
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::Any, port));
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.loggedCount(QStringLiteral("The server still cannot listen on port ") +
                            QString::number(port) + QStringLiteral(": ") +
                            rig.server->listener().errorString()) >= 2,
            5000);
        QCOMPARE(rig.dialogs.shown().filter(QStringLiteral("cannot listen on port")).size(), 1);
        QVERIFY(rig.anyMessage([](const QString& l) { return l.startsWith("socket-error: "); }));
        other.close();
        QTRY_VERIFY_WITH_TIMEOUT(rig.server->isListening(), 5000);
        QVERIFY(rig.logged(QStringLiteral("The server listens on port %1 again").arg(port)));
        QCOMPARE(rig.port(), port);
        QVERIFY(rig.verifiedClient(3));
        QCOMPARE(rig.dialogs.shown().filter(QStringLiteral("cannot listen on port")).size(), 1);
    }

    // tmrCleanClients runs while the monitor runs, with or without the server,
    // and re-registers the tray icon every twelfth tick.
    void cleanTimerFollowsTheMonitor_data()
    {
        QTest::addColumn<bool>("serverEnabled");
        QTest::newRow("server on") << true;
        QTest::newRow("server off") << false;
    }

    void cleanTimerFollowsTheMonitor()
    {
        QFETCH(bool, serverEnabled);
        struct Tray : TrayPresence
        {
            int refreshes = 0;
            void setToolTip(const QString&) override {}
            void refresh() override { ++refreshes; }
        } tray;
        ServerRig rig;
        rig.form->options().setValue(QStringLiteral("cbPhonavoServer"), serverEnabled);
        rig.form->setTrayPresence(&tray);
        QVERIFY(!rig.server->cleanTimerActive());
        QVERIFY(rig.monitor({0}));
        QCOMPARE(rig.server->isListening(), serverEnabled);
        QVERIFY(rig.server->cleanTimerActive());
        const int before = tray.refreshes; // starting the monitor refreshes once
        for (int i = 0; i < 24; ++i)
            rig.server->tmrCleanClients_Timer();
        QCOMPARE(tray.refreshes - before, 2);
        rig.settings.SaveSettingHKCU(QString(), QStringLiteral("HideTrayIcon"),
                                     QStringLiteral("1"));
        for (int i = 0; i < 12; ++i)
            rig.server->tmrCleanClients_Timer();
        QCOMPARE(tray.refreshes - before, 2);
        QVERIFY(rig.form->stopMonitoring());
        QVERIFY(!rig.server->cleanTimerActive());
        rig.form->setTrayPresence(nullptr);
    }

    // Only clients that logged in count as connected clients.
    void stopWithConnectedClients()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        TestClient notLoggedIn(9);
        QVERIFY(notLoggedIn.connectTo(rig.port()));
        QVERIFY(rig.form->stopMonitoring()); // nobody to ask about
        QVERIFY(rig.dialogs.shown().filter(QStringLiteral("clients connected")).isEmpty());
        QVERIFY(rig.start());
        auto a = rig.verifiedClient(2);
        QVERIFY(a);
        a->send(QStringLiteral("listen"),
                {QString(), kPassword, QStringLiteral("Alpha"), QString(), kVersion});
        QVERIFY(a->waitFor(QStringLiteral("accepted")));
        auto b = rig.verifiedClient(3);
        QVERIFY(b);
        TestClient stillNotLoggedIn(9);
        QVERIFY(stillNotLoggedIn.connectTo(rig.port()));

        rig.dialogs.queueAnswer(MsgResult::No);
        QVERIFY(!rig.form->stopMonitoring());
        QVERIFY(rig.form->Active() && rig.server->isListening());
        QVERIFY(
            rig.dialogs.shown().last().contains(QStringLiteral("There are 2 clients connected.")));

        rig.dialogs.queueAnswer(MsgResult::Yes, true);
        QVERIFY(rig.form->stopMonitoring());
        QVERIFY(!rig.server->isListening());
        QVERIFY(a->waitForClose() && b->waitForClose());
        const QStringList log = rig.messages();
        const qsizetype second = log.indexOf(QStringLiteral("Disconnected 127.0.0.3"));
        QVERIFY(second >= 0);
        QCOMPARE(log.indexOf(QStringLiteral("Disconnected Alpha")), second + 1);
        QVERIFY(rig.anyMessage([](const QString& l) { return l.startsWith("Stopped server"); }));
        QCOMPARE(rig.server->connections().Count(), 0);

        // The ticked box is remembered: the next stop does not ask.
        QVERIFY(rig.start());
        auto c = rig.verifiedClient(4);
        QVERIFY(c);
        const qsizetype asked = rig.dialogs.history().size();
        QVERIFY(rig.form->stopMonitoring());
        QCOMPARE(rig.dialogs.history().size(), asked);
    }

    void mistypedPasswordKeepsMonitorStopped()
    {
        ServerRig rig;
        int pageShown = 0;
        connect(rig.server.get(), &PhonavoServer::showServerPage, this, [&] { ++pageShown; });
        rig.server->setPasswordRetype(QStringLiteral("secreT"));
        QVERIFY(!rig.monitor({0}));
        QVERIFY(!rig.form->Active() && !rig.server->isListening());
        QCOMPARE(pageShown, 1);
        QVERIFY(rig.dialogs.shown().last().contains(QStringLiteral("enter the password twice")));
    }
};

QTEST_GUILESS_MAIN(TestServerConnections)
#include "TestServerConnections.moc"
