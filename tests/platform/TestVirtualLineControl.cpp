#include "platform/telephony/ControlChannelServer.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineCommands.h"
#include "platform/telephony/VirtualLineProvider.h"

#include "TestHome.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTest>

using ControlProtocol::Reply;

class TestVirtualLineControl : public QObject
{
    Q_OBJECT

    std::unique_ptr<TelephonyHub> m_hub;
    QList<LineNotification> m_seen;

    void initHub()
    {
        m_seen.clear();
        m_hub = std::make_unique<TelephonyHub>([] {
            std::vector<std::unique_ptr<LineProvider>> providers;
            providers.push_back(std::make_unique<VirtualLineProvider>(
                QStringList{QStringLiteral("Virtual line 1"), QStringLiteral("Virtual line 2")}));
            return providers;
        });
        qint32 count = 0;
        m_hub->TapiLineInitEx(
            QStringLiteral("Phonavo"), [this](const LineNotification& n) { m_seen.append(n); },
            count);
        m_hub->TapiLineOpen(0, LineMediaMode::InteractiveVoice, 6);
        m_hub->TapiLineOpen(1, LineMediaMode::InteractiveVoice, 6);
    }

    // Sends one raw request over a real local socket and returns the raw reply.
    static QByteArray roundTrip(const QString& path, const QByteArray& request)
    {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(2000))
            return "not connected";
        socket.write(request);
        QByteArray reply;
        QElapsedTimer timer;
        timer.start();
        while (!reply.endsWith('\n') && timer.elapsed() < 3000) {
            QCoreApplication::processEvents();
            socket.waitForReadyRead(10);
            reply += socket.readAll();
        }
        return reply;
    }

private slots:
    void init() { initHub(); }

    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        const auto a = [](const char* s) { return QString::fromUtf8(s).split(QLatin1Char('|')); };
        QTest::newRow("list") << a("list") << true
                              << QStringLiteral("0\tVirtual line 1\n1\tVirtual line 2");
        QTest::newRow("ring by name")
            << a("ring|Virtual line 2|0301234567|5551") << true << QString();
        QTest::newRow("ring by number")
            << a("ring|0|0301234567|5551|--name|Smith") << true << QString();
        QTest::newRow("ring unknown device")
            << a("ring|Nope|1|2") << false << QStringLiteral("no line device named \"Nope\"");
        QTest::newRow("ring device out of range")
            << a("ring|9|1|2") << false << QStringLiteral("no line device 9");
        QTest::newRow("ring missing args")
            << a("ring|0|1") << false
            << QStringLiteral("usage: ring DEVICE CALLER CALLED [--name NAME]");
        QTest::newRow("name without value")
            << a("ring|0|1|2|--name") << false << QStringLiteral("--name needs a value");
        QTest::newRow("answer unknown call")
            << a("answer|99999") << false << QStringLiteral("no call 99999");
        QTest::newRow("answer bad id")
            << a("answer|abc") << false << QStringLiteral("\"abc\" is not a call id");
        QTest::newRow("unknown command")
            << a("explode") << false << QStringLiteral("unknown command \"explode\"");
        QTest::newRow("dial") << a("dial|Virtual line 1|0301234567") << true << QString();
        QTest::newRow("dial empty")
            << a("dial|0| ") << false << QStringLiteral("no number to dial");
    }

    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        VirtualLineCommands commands(*m_hub);
        const Reply reply = commands.execute(args);
        QCOMPARE(reply.ok, ok);
        if (ok && !text.isEmpty())
            QCOMPARE(reply.output, text);
        if (!ok)
            QCOMPARE(reply.error, text);
        if (ok && (args[0] == QLatin1String("ring") || args[0] == QLatin1String("dial")))
            QVERIFY(reply.output.toInt() > 1);
    }

    void callLifeCycleThroughCommands()
    {
        VirtualLineCommands commands(*m_hub);
        const Reply rung =
            commands.execute({QStringLiteral("ring"), QStringLiteral("Virtual line 1"),
                              QStringLiteral("0301234567"), QStringLiteral("5551")});
        QVERIFY(rung.ok);
        const QString id = rung.output;
        QVERIFY(commands
                    .execute({QStringLiteral("callerid"), id, QStringLiteral("0301234567"),
                              QStringLiteral("Smith")})
                    .ok);
        QVERIFY(commands.execute({QStringLiteral("calledid"), id, QStringLiteral("5551")}).ok);
        QCOMPARE(commands.execute({QStringLiteral("calls")}).output,
                 id + QStringLiteral("\t0\tOFFERING"));
        QVERIFY(commands.execute({QStringLiteral("answer"), id}).ok);
        QVERIFY(!commands.execute({QStringLiteral("answer"), id}).ok); // already connected
        QVERIFY(commands.execute({QStringLiteral("state"), id, QStringLiteral("onhold")}).ok);
        QVERIFY(commands.execute({QStringLiteral("state"), id, QStringLiteral("0x100")}).ok);
        QVERIFY(!commands.execute({QStringLiteral("state"), id, QStringLiteral("sideways")}).ok);
        QVERIFY(commands.execute({QStringLiteral("hangup"), id}).ok);
        QVERIFY(!commands.execute({QStringLiteral("hangup"), id}).ok);
        QTRY_COMPARE(m_seen.size(), 7);
        QList<qint32> states;
        for (const auto& n : m_seen)
            if (n.kind == LineNotification::CallState)
                states << n.state;
        QCOMPARE(states, (QList<qint32>{LineCallState::Offering, LineCallState::Connected,
                                        LineCallState::OnHold, LineCallState::Connected,
                                        LineCallState::Idle}));
    }

    void socketRoundTripAndBadClients()
    {
        TestHome home;
        QStringList logged;
        VirtualLineCommands commands(*m_hub);
        ControlChannelServer server([&](const QStringList& args) { return commands.execute(args); },
                                    [&](const QString& line) { logged << line; });
        const QString path = home.file(QStringLiteral("control"));
        QVERIFY2(server.listen(path), qPrintable(server.errorString()));

        QByteArray reply =
            roundTrip(path, ControlProtocol::encodeRequest({QStringLiteral("list")}));
        auto decoded = ControlProtocol::decodeReply(reply, nullptr);
        QVERIFY(decoded && decoded->ok);
        QCOMPARE(decoded->output.split(QLatin1Char('\n')).size(), 2);

        reply = roundTrip(path, "this is not json\n");
        decoded = ControlProtocol::decodeReply(reply, nullptr);
        QVERIFY(decoded && !decoded->ok);
        QVERIFY(!logged.isEmpty());

        reply = roundTrip(path, "[1,2]\n");
        decoded = ControlProtocol::decodeReply(reply, nullptr);
        QVERIFY(decoded && !decoded->ok);

        // An endless line is cut off instead of being buffered forever.
        reply = roundTrip(path, QByteArray(ControlProtocol::kMaxLineLength + 10, 'x'));
        decoded = ControlProtocol::decodeReply(reply, nullptr);
        QVERIFY(decoded && !decoded->ok);
        QCOMPARE(decoded->error, QStringLiteral("request too long"));

        // The server still serves after all that.
        reply = roundTrip(
            path, ControlProtocol::encodeRequest({QStringLiteral("ring"), QStringLiteral("1"),
                                                  QStringLiteral("1"), QStringLiteral("2")}));
        decoded = ControlProtocol::decodeReply(reply, nullptr);
        QVERIFY(decoded && decoded->ok);
    }
};

QTEST_GUILESS_MAIN(TestVirtualLineControl)
#include "TestVirtualLineControl.moc"
