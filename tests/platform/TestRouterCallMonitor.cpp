#include "platform/telephony/RouterCallMonitorProvider.h"
#include "platform/telephony/TelephonyHub.h"

#include "LineSourceTestSupport.h"

#include <QTest>

namespace {

// A recorded evening: two calls at once, a withheld number, a missed call, a
// line without its closing ";", a bare LF, and a connection id used again.
const QByteArray kSession = "04.12.26 19:41:57;RING;0;0301234567;5551;SIP0;\r\n"
                            "04.12.26 19:42:01;CALL;1;10;5552;0407654321;SIP1;\r\n"
                            "04.12.26 19:42:03;CONNECT;0;11;0301234567;\r\n"
                            "04.12.26 19:42:05;RING;2;;5551;SIP0;\r\n"
                            "04.12.26 19:42:09;CONNECT;1;10;0407654321;\r\n"
                            "04.12.26 19:42:20;DISCONNECT;2;0;\r\n"
                            "04.12.26 19:43:00;DISCONNECT;0;57\n"
                            "04.12.26 19:43:30;DISCONNECT;1;81;\r\n"
                            "04.12.26 19:44:00;RING;0;0891112223;5552;SIP2\r\n"
                            "04.12.26 19:44:10;DISCONNECT;0;0;\r\n";

const QStringList kSessionNotifications = {
    QStringLiteral("d0 #1 OFFERING from=0301234567 to=5551"),
    QStringLiteral("d0 #2 DIALING"),
    QStringLiteral("d0 #2 RINGBACK from=5552 to=0407654321"),
    QStringLiteral("d0 #1 CONNECTED"),
    QStringLiteral("d0 #3 OFFERING from= to=5551"),
    QStringLiteral("d0 #2 CONNECTED"),
    QStringLiteral("d0 #3 IDLE"),
    QStringLiteral("d0 #1 IDLE"),
    QStringLiteral("d0 #2 IDLE"),
    QStringLiteral("d0 #4 OFFERING from=0891112223 to=5552"),
    QStringLiteral("d0 #4 IDLE"),
};

QByteArray ring(int connection, const char* caller)
{
    return "04.12.26 20:00:00;RING;" + QByteArray::number(connection) + ';' + caller +
           ";5551;SIP0;\r\n";
}

} // namespace

class TestRouterCallMonitor : public QObject
{
    Q_OBJECT

    FakeLinePeer* m_peer = nullptr;
    std::unique_ptr<TelephonyHub> m_hub;
    std::unique_ptr<NotificationLog> m_seen;
    QStringList m_log;

    // One router on the fake peer, its line opened, with intervals for tests.
    void startRouter(int readTimeoutMs = 0, quint16 port = 0)
    {
        RouterConfig config;
        config.label = QStringLiteral("Fritz");
        config.host = QStringLiteral("127.0.0.1");
        config.port = port ? port : m_peer->port();
        config.reconnectMinMs = 20;
        config.reconnectMaxMs = 100;
        config.readTimeoutMs = readTimeoutMs;
        m_hub = std::make_unique<TelephonyHub>([this, config] {
            auto provider =
                std::make_unique<RouterCallMonitorProvider>(QList<RouterConfig>{config});
            provider->setLogger([this](const QString& line) { m_log.append(line); });
            std::vector<std::unique_ptr<LineProvider>> providers;
            providers.push_back(std::move(provider));
            return providers;
        });
        m_seen = std::make_unique<NotificationLog>(m_hub.get());
        qint32 count = 0;
        m_hub->TapiLineInitEx(QStringLiteral("Phonavo"), m_seen->callback(), count);
        QCOMPARE(m_hub->TapiLineOpen(0, LineMediaMode::InteractiveVoice, LinePrivilege::Monitor),
                 qint32(LineResult::Ok));
    }

    QString prefix() const
    {
        return QStringLiteral("Router Fritz (127.0.0.1:%1): ").arg(m_peer->port());
    }

private slots:
    void init()
    {
        m_peer = new FakeLinePeer;
        m_log.clear();
    }
    void cleanup()
    {
        m_hub.reset();
        m_seen.reset();
        delete m_peer;
    }

    void devicesOnlyWatch()
    {
        RouterConfig home{QStringLiteral("Fritz"), QStringLiteral("127.0.0.1"), m_peer->port()};
        RouterConfig off{QStringLiteral("Old box"), QStringLiteral("127.0.0.1"), 1};
        off.enabled = false;
        RouterConfig office{QStringLiteral("Office"), QStringLiteral("127.0.0.1"), 1};
        TelephonyHub hub([&] {
            std::vector<std::unique_ptr<LineProvider>> providers;
            providers.push_back(std::make_unique<RouterCallMonitorProvider>(
                QList<RouterConfig>{home, off, office}));
            return providers;
        });
        NotificationLog seen(&hub);
        qint32 count = 0;
        hub.TapiLineInitEx(QStringLiteral("Phonavo"), seen.callback(), count);
        QCOMPARE(count, 2);
        QCOMPARE(hub.getDeviceName(0), QStringLiteral("Fritz"));
        QCOMPARE(hub.getDeviceName(1), QStringLiteral("Office"));
        QCOMPARE(hub.getMediaModes(1), qint32(LineMediaMode::InteractiveVoice));
        QCOMPARE(hub.getAdvancedFeatures(0) & LineDeviceFeature::CanDial, 0);
        QCOMPARE(hub.TapiLineOpen(0, LineMediaMode::InteractiveVoice, 2), qint32(LineResult::Ok));
        QVERIFY(m_peer->waitForConnections(1));
        m_peer->send(ring(0, "0301234567"));
        QTRY_COMPARE(seen.lines.size(), 1);
        const qint32 callId = seen.seen[0].callId;
        QCOMPARE(hub.getActiveCallFeatures(0, callId) & LineCallFeature::Answer, 0);
        QCOMPARE(hub.TapiLineAnswer(0, callId), qint32(LineResult::OperationUnavailable));
        QCOMPARE(hub.TapiLineDrop(0, callId), qint32(LineResult::OperationUnavailable));
        QCOMPARE(hub.TapiLineDial(0, QStringLiteral("0301234567")),
                 qint32(LineResult::OperationUnavailable));
        QCOMPARE(hub.getCallRelevantInfos(0, callId, CallInfoField::Trunk), QStringLiteral("SIP0"));
        QCOMPARE(hub.getCallRelevantInfos(0, callId, CallInfoField::CallOrigin),
                 QString::number(LineCallOrigin::Inbound));
        QCOMPARE(hub.getCallRelevantInfos(1, callId, CallInfoField::CallerId), QString());
    }

    void sessionInAnyChunking_data()
    {
        QTest::addColumn<int>("chunkSize");
        for (const int size : {1, 2, 20, 2048})
            QTest::addRow("%d-byte chunks", size) << size;
    }

    void sessionInAnyChunking()
    {
        QFETCH(int, chunkSize);
        startRouter();
        QVERIFY(m_peer->waitForConnections(1));
        m_peer->sendInChunks(kSession, chunkSize);
        QTRY_COMPARE(m_seen->lines, kSessionNotifications);
        QCOMPARE(m_hub->getCallRelevantInfos(0, m_seen->callIdOf(2), CallInfoField::Trunk),
                 QStringLiteral("SIP1"));
        QCOMPARE(m_hub->getCallRelevantInfos(0, m_seen->callIdOf(4), CallInfoField::Trunk),
                 QStringLiteral("SIP2"));
        QVERIFY(m_seen->callIdOf(1) != m_seen->callIdOf(4)); // same connection id, new call
        QCOMPARE(countContaining(m_log, QStringLiteral("skipped")), 0);
    }

    void droppedConnectionEndsLiveCallsAndReconnects()
    {
        startRouter();
        QVERIFY(m_peer->waitForConnections(1));
        QTRY_COMPARE(m_log.value(0), prefix() + QStringLiteral("connected"));
        m_peer->send(ring(0, "0301234567") + ring(1, "0407654321") +
                     "04.12.26 20:00:02;CONNECT;0;11;0301234567;\r\n");
        QTRY_COMPARE(m_seen->lines.size(), 3);
        m_peer->drop();
        QTRY_COMPARE(m_seen->lines.size(), 5);
        QCOMPARE(m_seen->lines.mid(3),
                 (QStringList{QStringLiteral("d0 #1 IDLE"), QStringLiteral("d0 #2 IDLE")}));
        QVERIFY(m_log.contains(prefix() + QStringLiteral("connection lost (closed by the other "
                                                         "side), retrying in 20 ms")));

        QVERIFY(m_peer->waitForConnections(2));
        // The old call's end arrives late; it must not end anything twice.
        m_peer->send("04.12.26 20:00:09;DISCONNECT;0;7;\r\n" + ring(0, ""));
        QTRY_COMPARE(m_seen->lines.size(), 6);
        QCOMPARE(m_seen->lines.last(), QStringLiteral("d0 #3 OFFERING from= to=5551"));
        QVERIFY(m_log.contains(prefix() +
                               QStringLiteral("skipped DISCONNECT of unknown connection 0")));
    }

    void silentPeerIsDroppedAfterReadTimeout()
    {
        startRouter(60);
        QVERIFY(m_peer->waitForConnections(1));
        m_peer->send(ring(3, "0301234567"));
        QTRY_COMPARE(m_seen->lines,
                     (QStringList{QStringLiteral("d0 #1 OFFERING from=0301234567 to=5551"),
                                  QStringLiteral("d0 #1 IDLE")}));
        QVERIFY(m_log.contains(prefix() + QStringLiteral("connection lost (no data for 60 ms), "
                                                         "retrying in 20 ms")));
        QVERIFY(m_peer->waitForConnections(2));
    }

    void retriesWithGrowingDelayUntilTheRouterAnswers()
    {
        const quint16 port = m_peer->port();
        m_peer->stopListening();
        startRouter(0, port);
        QTRY_VERIFY(countContaining(m_log, QStringLiteral("could not connect")) >= 5);
        QStringList delays;
        for (const QString& line : std::as_const(m_log).first(5))
            delays << line.section(QStringLiteral("retrying in "), 1);
        QCOMPARE(delays, (QStringList{QStringLiteral("20 ms"), QStringLiteral("40 ms"),
                                      QStringLiteral("80 ms"), QStringLiteral("100 ms"),
                                      QStringLiteral("100 ms")}));
        QVERIFY(m_log.first().startsWith(prefix() + QStringLiteral("could not connect (")));

        QVERIFY(m_peer->listen(port));
        QVERIFY(m_peer->waitForConnections(1));
        QTRY_VERIFY(m_log.contains(prefix() + QStringLiteral("connected")));
        // A good connection starts the delays over.
        m_peer->drop();
        QTRY_VERIFY(m_log.last().endsWith(QStringLiteral("retrying in 20 ms")));
    }

    void badLinesAreLoggedAndSkipped()
    {
        startRouter();
        QVERIFY(m_peer->waitForConnections(1));
        const QByteArray absurd(300, '7');
        m_peer->send("hello router\r\n"
                     "\x01\x02\x03 noise\r\n"
                     "04.12.26 19:41:57;RING;x;123;456;SIP0;\r\n"
                     "04.12.26 19:41:57;FAX;3;123;456;\r\n"
                     "99.99.99 99:99:99;RING;3;123;456;SIP0;\r\n"
                     "04.12.26 19:41:57;RING;3;" +
                     absurd +
                     ";456;SIP0;\r\n"
                     "04.12.26 19:41:57;RING;3\r\n"
                     "04.12.26 19:41:58;CONNECT;7;10;123;\r\n"
                     ";;;;;;;;\r\n"
                     "\r\n" +
                     ring(4, "0301234567"));
        QTRY_COMPARE(m_seen->lines.size(), 1);
        QCOMPARE(m_seen->lines.first(), QStringLiteral("d0 #1 OFFERING from=0301234567 to=5551"));
        QCOMPARE(countContaining(m_log, QStringLiteral(": skipped")), 9);
        QVERIFY(countContaining(m_log, QStringLiteral("unknown event \"FAX\"")) == 1);
        QVERIFY(countContaining(m_log, QStringLiteral("field longer than 256 characters")) == 1);
        QVERIFY(countContaining(m_log, QStringLiteral("skipped CONNECT of unknown connection 7")) ==
                1);
        QCOMPARE(countContaining(m_log, QStringLiteral("\x01")), 0);

        // A peer that sends nothing but garbage cannot flood the log.
        QByteArray flood;
        for (int i = 0; i < 200; ++i)
            flood += "garbage " + QByteArray::number(i) + "\r\n";
        m_peer->send(flood + ring(5, "0407654321"));
        QTRY_COMPARE(m_seen->lines.size(), 2);
        QCOMPARE(countContaining(m_log, QStringLiteral(": skipped")),
                 RouterCallMonitorProvider::kMaxProblemsLogged);
        QCOMPARE(countContaining(m_log, QStringLiteral("more bad input")), 1);
    }

    void linesRunTogetherAreSkipped()
    {
        startRouter();
        QVERIFY(m_peer->waitForConnections(1));
        // The first RING lost its line end and ran into the next line.
        m_peer->send("06.12.26 10:13:58;RING;0;030987"
                     "06.12.26 10:14:00;RING;1;0301234567;5551;SIP0;\r\n" +
                     ring(2, "0407654321"));
        QTRY_COMPARE(m_seen->lines,
                     QStringList{QStringLiteral("d0 #1 OFFERING from=0407654321 to=5551")});
        QCOMPARE(countContaining(m_log, prefix() + QStringLiteral("skipped a RING whose caller "
                                                                  "number \"03098706.12.26 "
                                                                  "10:14:00\" is not a number: "
                                                                  "06.12.26 10:13:58;RING;0;")),
                 1);
    }

    void halfLineThatNeverEndsIsBounded()
    {
        startRouter();
        QVERIFY(m_peer->waitForConnections(1));
        const QByteArray endless(16 * 1024, '9');
        for (int i = 0; i < 16; ++i)
            m_peer->sendInChunks(endless, endless.size());
        m_peer->send("\r\n" + ring(0, "0301234567"));
        QTRY_COMPARE(m_seen->lines,
                     (QStringList{QStringLiteral("d0 #1 OFFERING from=0301234567 to=5551")}));
        QCOMPARE(countContaining(m_log, QStringLiteral("skipped a line longer than 65536 bytes")),
                 1);
    }

    void closingTheLineDisconnects()
    {
        startRouter();
        QVERIFY(m_peer->waitForConnections(1));
        m_peer->send(ring(0, "0301234567"));
        QTRY_COMPARE(m_seen->lines.size(), 1);
        m_hub->TapiLineClose(0);
        QTRY_VERIFY(!m_peer->isConnected());
        QTest::qWait(100); // several reconnect delays
        QCOMPARE(m_peer->connections(), 1);
        // Reopening connects again; the call of before is gone.
        QCOMPARE(m_hub->TapiLineOpen(0, LineMediaMode::InteractiveVoice, 2),
                 qint32(LineResult::Ok));
        QVERIFY(m_peer->waitForConnections(2));
        m_peer->send("04.12.26 20:01:00;DISCONNECT;0;60;\r\n" + ring(0, "0891112223"));
        QTRY_COMPARE(m_seen->lines.size(), 2);
        QCOMPARE(m_seen->lines.last(), QStringLiteral("d0 #2 OFFERING from=0891112223 to=5551"));
    }
};

QTEST_GUILESS_MAIN(TestRouterCallMonitor)
#include "TestRouterCallMonitor.moc"
