#include "core/monitor/LineSourceSettings.h"
#include "platform/AppPaths.h"
#include "platform/telephony/AsteriskProvider.h"
#include "platform/telephony/TelephonyHub.h"
#include "shell/settings/SettingsStore.h"

#include "LineSourceTestSupport.h"
#include "TestHome.h"

#include <QTest>

namespace {

using Action = QMap<QString, QString>;

// One manager message from "Key: Value" lines written with \n.
QByteArray msg(const QString& lines)
{
    QByteArray out = lines.toUtf8();
    out.replace("\n", "\r\n");
    return out + "\r\n\r\n";
}

// The actions the program sent, split the way the PBX reads them.
QList<Action> actionsIn(const QByteArray& received)
{
    QList<Action> actions;
    const QString text = QString::fromUtf8(received);
    for (const QString& message : text.split(QStringLiteral("\r\n\r\n"), Qt::SkipEmptyParts)) {
        Action action;
        for (const QString& line : message.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            action.insert(line.section(QStringLiteral(": "), 0, 0),
                          line.section(QStringLiteral(": "), 1));
        actions.append(action);
    }
    return actions;
}

QList<Action> actionsNamed(const QByteArray& received, const QString& name)
{
    QList<Action> found;
    for (const Action& action : actionsIn(received))
        if (action.value(QStringLiteral("Action")) == name)
            found.append(action);
    return found;
}

const QString kIncomingStart = QStringLiteral(
    "Event: Newchannel\nPrivilege: call,all\nChannel: PJSIP/trunk-00000029\nChannelState: 4\n"
    "ChannelStateDesc: Ring\nCallerIDNum: 0301234567\nCallerIDName: Smith\nContext: from-trunk\n"
    "Exten: 5551\nUniqueid: 1733337717.41\nLinkedid: 1733337717.41");
const QString kExtensionChannel = QStringLiteral(
    "Event: Newchannel\nPrivilege: call,all\nChannel: PJSIP/100-0000002a\nChannelState: 0\n"
    "ChannelStateDesc: Down\nCallerIDNum: 100\nCallerIDName: Office\nContext: from-internal\n"
    "Exten: s\nUniqueid: 1733337717.42\nLinkedid: 1733337717.41");
const QString kDialToExtension = QStringLiteral(
    "Event: DialBegin\nPrivilege: call,all\nChannel: PJSIP/trunk-00000029\nChannelState: 4\n"
    "ChannelStateDesc: Ring\nCallerIDNum: 0301234567\nCallerIDName: Smith\nContext: from-trunk\n"
    "Exten: 5551\nUniqueid: 1733337717.41\nDestChannel: PJSIP/100-0000002a\n"
    "DestChannelState: 0\nDestCallerIDNum: 100\nDestExten: 5551\nDialString: 100");

// Bridge events as Asterisk 12 and later send them, one message each.
QString bridgeEnter(const char* bridge, const char* channel, const char* uniqueId, int count,
                    const char* swapUniqueId = "")
{
    return QStringLiteral("Event: BridgeEnter\nPrivilege: call,all\nBridgeUniqueid: %1\n"
                          "BridgeType: basic\nBridgeTechnology: simple_bridge\n"
                          "BridgeNumChannels: %2\nChannel: %3\nChannelState: 6\n"
                          "ChannelStateDesc: Up\nUniqueid: %4\nLinkedid: 1733337717.41\n"
                          "SwapUniqueid: %5\n\n")
        .arg(QLatin1String(bridge))
        .arg(count)
        .arg(QLatin1String(channel), QLatin1String(uniqueId), QLatin1String(swapUniqueId));
}
QString bridgeLeave(const char* bridge, const char* channel)
{
    return QStringLiteral("Event: BridgeLeave\nBridgeUniqueid: %1\nBridgeType: basic\n"
                          "Channel: %2\n\n")
        .arg(QLatin1String(bridge), QLatin1String(channel));
}
QString hangup(const char* channel, int cause)
{
    return QStringLiteral("Event: Hangup\nChannel: %1\nCause: %2\n\n")
        .arg(QLatin1String(channel))
        .arg(cause);
}

// Several messages written as one text, each closed by an empty line.
QByteArray msgs(const QString& messages)
{
    return msg(messages.trimmed());
}

} // namespace

class TestAsteriskProvider : public QObject
{
    Q_OBJECT

    FakeLinePeer* m_peer = nullptr;
    std::unique_ptr<TelephonyHub> m_hub;
    std::unique_ptr<NotificationLog> m_seen;
    QStringList m_log;
    AsteriskConfig m_config;

    AsteriskProvider* provider() const { return m_hub->findProvider<AsteriskProvider>(); }
    QString prefix() const
    {
        return QStringLiteral("Asterisk Office PBX (127.0.0.1:%1): ").arg(m_peer->port());
    }

    void startPbx()
    {
        const AsteriskConfig config = m_config;
        m_hub = std::make_unique<TelephonyHub>([this, config] {
            auto pbx = std::make_unique<AsteriskProvider>(config);
            pbx->setLogger([this](const QString& line) { m_log.append(line); });
            std::vector<std::unique_ptr<LineProvider>> providers;
            providers.push_back(std::move(pbx));
            return providers;
        });
        m_seen = std::make_unique<NotificationLog>(m_hub.get());
        qint32 count = 0;
        m_hub->TapiLineInitEx(QStringLiteral("Phonavo"), m_seen->callback(), count);
        for (qint32 device = 0; device < count; ++device)
            QCOMPARE(m_hub->TapiLineOpen(device, LineMediaMode::InteractiveVoice, 6),
                     qint32(LineResult::Ok));
    }

    // Waits for the next action of that name on the current connection.
    Action awaitAction(const QString& name, int index = 0)
    {
        if (!QTest::qWaitFor([&] { return actionsNamed(m_peer->received(), name).size() > index; },
                             5000))
            return {};
        return actionsNamed(m_peer->received(), name).at(index);
    }

    void reply(const Action& action, const QString& response, const QString& message)
    {
        m_peer->send(msg(QStringLiteral("Response: %1\nActionID: %2\nMessage: %3")
                             .arg(response, action.value(QStringLiteral("ActionID")), message)));
    }

    bool logIn(int connection = 1)
    {
        if (!m_peer->waitForConnections(connection))
            return false;
        const Action login = awaitAction(QStringLiteral("Login"));
        if (login.isEmpty())
            return false;
        reply(login, QStringLiteral("Success"), QStringLiteral("Authentication accepted"));
        return QTest::qWaitFor([&] { return provider()->isLoggedIn(); }, 5000);
    }

    void incomingOnFirstExtension()
    {
        m_peer->send(msg(kIncomingStart) + msg(kExtensionChannel) + msg(kDialToExtension) +
                     msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/100-0000002a\n"
                                        "ChannelState: 5\nChannelStateDesc: Ringing")));
    }

private slots:
    void init()
    {
        m_peer = new FakeLinePeer;
        m_peer->setGreeting("Asterisk Call Manager/5.0.1\r\n");
        m_log.clear();
        m_config = AsteriskConfig();
        m_config.label = QStringLiteral("Office PBX");
        m_config.host = QStringLiteral("127.0.0.1");
        m_config.port = m_peer->port();
        m_config.user = QStringLiteral("phonavo");
        m_config.secret = QStringLiteral("s3cret");
        m_config.extensions = {QStringLiteral("PJSIP/100"), QStringLiteral("PJSIP/101"),
                               QStringLiteral("SIP/200")};
        m_config.reconnectMinMs = 20;
        m_config.reconnectMaxMs = 100;
        m_config.pingIntervalMs = 0;
        m_config.responseTimeoutMs = 2000;
    }
    void cleanup()
    {
        m_hub.reset();
        m_seen.reset();
        delete m_peer;
    }

    void devicesAndLogin()
    {
        startPbx();
        QCOMPARE(m_hub->deviceCount(), 3);
        QCOMPARE(m_hub->getDeviceName(0), QStringLiteral("Office PBX PJSIP/100"));
        QCOMPARE(m_hub->getDeviceName(2), QStringLiteral("Office PBX SIP/200"));
        QCOMPARE(m_hub->getAdvancedFeatures(1) & LineDeviceFeature::CanDial,
                 qint32(LineDeviceFeature::CanDial));
        QVERIFY(m_peer->waitForConnections(1));
        const Action login = awaitAction(QStringLiteral("Login"));
        QCOMPARE(login.value(QStringLiteral("Username")), QStringLiteral("phonavo"));
        QCOMPARE(login.value(QStringLiteral("Secret")), QStringLiteral("s3cret"));
        QVERIFY(!login.value(QStringLiteral("ActionID")).isEmpty());
        QVERIFY(!provider()->isLoggedIn());
        // Nothing before a successful login is trusted.
        incomingOnFirstExtension();
        QTest::qWait(30);
        reply(login, QStringLiteral("Success"), QStringLiteral("Authentication accepted"));
        QTRY_VERIFY(m_log.contains(prefix() + QStringLiteral("logged in as phonavo")));
        QTest::qWait(30);
        QVERIFY(m_seen->lines.isEmpty());
    }

    void incomingAnswered()
    {
        startPbx();
        QVERIFY(logIn());
        incomingOnFirstExtension();
        m_peer->send(
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/100-0000002a\nChannelState: 6\n"
                               "ChannelStateDesc: Up")) +
            msg(QStringLiteral("Event: DialEnd\nChannel: PJSIP/trunk-00000029\n"
                               "DestChannel: PJSIP/100-0000002a\nDialStatus: ANSWER")) +
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/trunk-00000029\nChannelState: 6")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/100-0000002a\nCause: 16\n"
                               "Cause-txt: Normal Clearing")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/trunk-00000029\nCause: 16")));
        QTRY_COMPARE(m_seen->lines.size(), 3);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d0 #1 OFFERING from=0301234567 (Smith) to=5551"),
                              QStringLiteral("d0 #1 CONNECTED"), QStringLiteral("d0 #1 IDLE")}));
    }

    void incomingMissedOnARingGroup()
    {
        startPbx();
        QVERIFY(logIn());
        QString toBoth;
        // Channels the PBX opens towards phones start down, whatever their Exten says.
        for (const char* ext : {"100-00000031", "101-00000032"})
            toBoth += QStringLiteral("Event: Newchannel\nChannel: PJSIP/%1\nChannelState: 0\n"
                                     "ChannelStateDesc: Down\nExten: 5551\n\n")
                          .arg(QLatin1String(ext));
        for (const char* ext : {"100-00000031", "101-00000032"})
            toBoth += QStringLiteral("Event: DialBegin\nChannel: PJSIP/trunk-00000030\n"
                                     "CallerIDNum: <unknown>\nCallerIDName: <unknown>\n"
                                     "Exten: 5551\nDestChannel: PJSIP/%1\nDialString: x\n\n")
                          .arg(QLatin1String(ext));
        m_peer->send(msg(toBoth.trimmed()));
        QTRY_COMPARE(m_seen->lines.size(), 2);
        // The trunk learns the number late.
        m_peer->send(msg(QStringLiteral("Event: NewCallerid\nChannel: PJSIP/trunk-00000030\n"
                                        "CallerIDNum: 0407654321\nCallerIDName: Jones")));
        QString ends;
        for (const char* ext : {"100-00000031", "101-00000032"})
            ends += QStringLiteral("Event: DialEnd\nChannel: PJSIP/trunk-00000030\n"
                                   "DestChannel: PJSIP/%1\nDialStatus: CANCEL\n\n"
                                   "Event: Hangup\nChannel: PJSIP/%1\nCause: 16\n\n")
                        .arg(QLatin1String(ext));
        m_peer->send(msg(ends.trimmed()));
        QTRY_COMPARE(m_seen->lines.size(), 6);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d0 #1 OFFERING from= to=5551"),
                              QStringLiteral("d1 #2 OFFERING from= to=5551"),
                              QStringLiteral("d0 #1 CALLERID 0407654321 (Jones)"),
                              QStringLiteral("d1 #2 CALLERID 0407654321 (Jones)"),
                              QStringLiteral("d0 #1 IDLE"), QStringLiteral("d1 #2 IDLE")}));
        QCOMPARE(m_hub->getCallRelevantInfos(1, m_seen->callIdOf(2), CallInfoField::CallerId),
                 QStringLiteral("0407654321"));
    }

    void outgoingFromThePhone()
    {
        startPbx();
        QVERIFY(logIn());
        m_peer->send(
            msg(QStringLiteral("Event: Newchannel\nChannel: PJSIP/100-0000003b\nChannelState: 4\n"
                               "ChannelStateDesc: Ring\nCallerIDNum: 100\nCallerIDName: Office\n"
                               "Context: from-internal\nExten: 0301234567\nUniqueid: 17.59")) +
            msg(QStringLiteral("Event: Newchannel\nChannel: PJSIP/trunk-0000003c\nChannelState: 0\n"
                               "Exten: s\nUniqueid: 17.60")) +
            msg(QStringLiteral("Event: DialBegin\nChannel: PJSIP/100-0000003b\nCallerIDNum: 100\n"
                               "Exten: 0301234567\nDestChannel: PJSIP/trunk-0000003c\n"
                               "DialString: trunk/0301234567")) +
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/trunk-0000003c\nChannelState: 5")));
        QTRY_COMPARE(m_seen->lines.size(), 2);
        m_peer->send(
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/trunk-0000003c\nChannelState: 6")) +
            msg(QStringLiteral("Event: DialEnd\nChannel: PJSIP/100-0000003b\n"
                               "DestChannel: PJSIP/trunk-0000003c\nDialStatus: ANSWER")) +
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/100-0000003b\nChannelState: 6")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/trunk-0000003c")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/100-0000003b")));
        QTRY_COMPARE(m_seen->lines.size(), 4);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d0 #1 DIALING"),
                              QStringLiteral("d0 #1 RINGBACK from=100 to=0301234567"),
                              QStringLiteral("d0 #1 CONNECTED"), QStringLiteral("d0 #1 IDLE")}));
        QCOMPARE(m_hub->getCallRelevantInfos(0, m_seen->callIdOf(1), CallInfoField::CallOrigin),
                 QString::number(LineCallOrigin::Outbound));
    }

    void outgoingBusyOnAnOlderChannelDriver()
    {
        startPbx();
        QVERIFY(logIn());
        // chan_sip announces the phone's channel down and only then ringing.
        m_peer->send(
            msg(QStringLiteral("Event: Newchannel\nChannel: SIP/200-00000044\nState: Down\n"
                               "CallerIDNum: 200\nExten: 0891112223\nUniqueid: 18.1")) +
            msg(QStringLiteral("Event: Newstate\nChannel: SIP/200-00000044\nState: Ring")) +
            msg(QStringLiteral("Event: Dial\nSubEvent: Begin\nChannel: SIP/200-00000044\n"
                               "Destination: SIP/trunk-00000045\nCallerIDNum: 200\n"
                               "Dialstring: trunk/0891112223")) +
            msg(QStringLiteral("Event: Dial\nSubEvent: End\nChannel: SIP/200-00000044\n"
                               "DialStatus: BUSY")) +
            msg(QStringLiteral("Event: Hangup\nChannel: SIP/200-00000044\nCause: 17")));
        QTRY_COMPARE(m_seen->lines.size(), 3);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d2 #1 DIALING"),
                              QStringLiteral("d2 #1 RINGBACK from=200 to=0891112223"),
                              QStringLiteral("d2 #1 IDLE")}));
    }

    void internalCallBetweenOwnExtensions()
    {
        startPbx();
        QVERIFY(logIn());
        m_peer->send(
            msg(QStringLiteral("Event: Newchannel\nChannel: PJSIP/100-00000050\nChannelState: 4\n"
                               "CallerIDNum: 100\nCallerIDName: Office\nExten: 101")) +
            msg(QStringLiteral("Event: Newchannel\nChannel: PJSIP/101-00000051\nChannelState: 0\n"
                               "CallerIDNum: 101\nExten: s")) +
            msg(QStringLiteral("Event: DialBegin\nChannel: PJSIP/100-00000050\nCallerIDNum: 100\n"
                               "CallerIDName: Office\nExten: 101\n"
                               "DestChannel: PJSIP/101-00000051")) +
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/101-00000051\nChannelState: 6")) +
            msg(QStringLiteral("Event: DialEnd\nChannel: PJSIP/100-00000050\n"
                               "DestChannel: PJSIP/101-00000051\nDialStatus: ANSWER")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/101-00000051")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/100-00000050")));
        QTRY_COMPARE(m_seen->lines.size(), 7);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d0 #1 DIALING"),
                              QStringLiteral("d0 #1 RINGBACK from=100 to=101"),
                              QStringLiteral("d1 #2 OFFERING from=100 (Office) to=101"),
                              QStringLiteral("d1 #2 CONNECTED"), QStringLiteral("d0 #1 CONNECTED"),
                              QStringLiteral("d1 #2 IDLE"), QStringLiteral("d0 #1 IDLE")}));
    }

    void legacyDialEvents()
    {
        startPbx();
        QVERIFY(logIn());
        m_peer->send(
            msg(QStringLiteral("Event: Dial\nPrivilege: call,all\nSubEvent: Begin\n"
                               "Channel: SIP/trunk-00000010\nDestination: SIP/200-00000011\n"
                               "CallerIDNum: 0891112223\nCallerIDName: <unknown>\n"
                               "UniqueID: 1290000000.16\nDestUniqueID: 1290000000.17\n"
                               "Dialstring: 200")) +
            msg(QStringLiteral("Event: Newstate\nChannel: SIP/200-00000011\nState: Up")) +
            msg(QStringLiteral("Event: Dial\nSubEvent: End\nChannel: SIP/trunk-00000010\n"
                               "DialStatus: ANSWER")) +
            msg(QStringLiteral("Event: Hangup\nChannel: SIP/200-00000011\nCause: 16")));
        QTRY_COMPARE(m_seen->lines.size(), 3);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d2 #1 OFFERING from=0891112223 to=200"),
                              QStringLiteral("d2 #1 CONNECTED"), QStringLiteral("d2 #1 IDLE")}));
    }

    void callAnsweredByAnotherPhone_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QStringList>("seen");
        const QString pickerDials =
            QStringLiteral("Event: Newchannel\nChannel: PJSIP/101-00000033\nChannelState: 4\n"
                           "ChannelStateDesc: Ring\nCallerIDNum: 101\nCallerIDName: Desk\n"
                           "Context: from-internal\nExten: *8\nUniqueid: 1733337720.51\n"
                           "Linkedid: 1733337720.51\n\n"
                           "Event: Newstate\nChannel: PJSIP/101-00000033\nChannelState: 6\n"
                           "ChannelStateDesc: Up\nUniqueid: 1733337720.51\n\n");
        const auto pickup = [](const char* picker) {
            return QStringLiteral("Event: Pickup\nChannel: %1\nChannelState: 6\n"
                                  "TargetChannel: PJSIP/100-0000002a\nTargetChannelState: 5\n"
                                  "TargetChannelStateDesc: Ringing\n"
                                  "TargetUniqueid: 1733337717.42\n"
                                  "TargetLinkedid: 1733337717.41\n\n")
                .arg(QLatin1String(picker));
        };
        const char* b = "9f0c2d4e-5a61-4b7c-8d9e-0a1b2c3d4e5f";
        const QString picked = hangup("PJSIP/100-0000002a", 26); // answered elsewhere
        const QString bridged = bridgeEnter(b, "PJSIP/trunk-00000029", "1733337717.41", 1) +
                                bridgeEnter(b, "PJSIP/101-00000033", "1733337720.51", 2);
        const QString ended =
            bridgeLeave(b, "PJSIP/101-00000033") + hangup("PJSIP/101-00000033", 16) +
            bridgeLeave(b, "PJSIP/trunk-00000029") + hangup("PJSIP/trunk-00000029", 16);
        const QStringList codeCallThenPickedCall = {
            QStringLiteral("d1 #2 DIALING"),   QStringLiteral("d1 #2 RINGBACK from=101 to=*8"),
            QStringLiteral("d1 #2 CONNECTED"), QStringLiteral("d1 #2 IDLE"),
            QStringLiteral("d0 #1 CONNECTED"), QStringLiteral("d0 #1 IDLE")};
        QTest::newRow("a followed phone dials the pick-up code")
            << pickerDials + pickup("PJSIP/101-00000033") + picked + bridged + ended
            << codeCallThenPickedCall;
        QTest::newRow("the pick-up reported after the bridge")
            << pickerDials + bridged + pickup("PJSIP/101-00000033") + picked + ended
            << codeCallThenPickedCall;
        QTest::newRow("a phone that is not followed picks up")
            << QStringLiteral("Event: Newchannel\nChannel: PJSIP/102-00000035\nChannelState: 4\n"
                              "CallerIDNum: 102\nExten: *8\nUniqueid: 1733337720.53\n\n") +
                   pickup("PJSIP/102-00000035") +
                   QStringLiteral("Event: DialEnd\nChannel: PJSIP/trunk-00000029\n"
                                  "DestChannel: PJSIP/102-00000035\nDialStatus: ANSWER\n\n") +
                   picked + bridgeEnter(b, "PJSIP/trunk-00000029", "1733337717.41", 1) +
                   bridgeEnter(b, "PJSIP/102-00000035", "1733337720.53", 2) +
                   hangup("PJSIP/102-00000035", 16)
            << QStringList{QStringLiteral("d0 #1 CONNECTED"), QStringLiteral("d0 #1 IDLE")};
        // Without a pick-up, a call that another phone of a ring group took
        // was not answered here.
        QTest::newRow("a ring group answered by another phone")
            << QStringLiteral("Event: Newchannel\nChannel: PJSIP/101-00000032\nChannelState: 0\n"
                              "Exten: 5551\n\n"
                              "Event: DialBegin\nChannel: PJSIP/trunk-00000029\n"
                              "CallerIDNum: 0301234567\nCallerIDName: Smith\nExten: 5551\n"
                              "DestChannel: PJSIP/101-00000032\n\n"
                              "Event: DialEnd\nChannel: PJSIP/trunk-00000029\n"
                              "DestChannel: PJSIP/102-00000036\nDialStatus: ANSWER\n\n") +
                   picked + hangup("PJSIP/101-00000032", 26) +
                   bridgeEnter(b, "PJSIP/trunk-00000029", "1733337717.41", 1) +
                   bridgeEnter(b, "PJSIP/102-00000036", "1733337720.54", 2)
            << QStringList{QStringLiteral("d1 #2 OFFERING from=0301234567 (Smith) to=5551"),
                           QStringLiteral("d0 #1 IDLE"), QStringLiteral("d1 #2 IDLE")};
    }

    void callAnsweredByAnotherPhone()
    {
        QFETCH(QString, events);
        QFETCH(QStringList, seen);
        startPbx();
        QVERIFY(logIn());
        incomingOnFirstExtension();
        const QStringList expected =
            QStringList{QStringLiteral("d0 #1 OFFERING from=0301234567 (Smith) to=5551")} + seen;
        m_peer->send(msgs(events));
        QTRY_COMPARE(m_seen->lines, expected);
        QTest::qWait(30);
        QCOMPARE(m_seen->lines, expected);
    }

    void transferredCall_data()
    {
        QTest::addColumn<QString>("transfer");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("seen");
        const char* b1 = "3e9a0c1d-2b4f-4e6a-9c8d-7f6e5d4c3b2a";
        const char* b2 = "7c2b1a09-8e7d-4c6b-a5f4-3e2d1c0b9a88";
        // 100 holds the caller and calls 101, who answers; 100's phone then
        // joins the two (REFER with Replaces): 101 takes 100's place.
        QTest::newRow("attended")
            << QStringLiteral("Event: Newchannel\nChannel: PJSIP/100-0000002b\nChannelState: 4\n"
                              "CallerIDNum: 100\nCallerIDName: Office\nContext: from-internal\n"
                              "Exten: 101\nUniqueid: 1733337730.43\nLinkedid: 1733337730.43\n\n"
                              "Event: Newchannel\nChannel: PJSIP/101-0000002c\nChannelState: 0\n"
                              "CallerIDNum: 101\nExten: s\nUniqueid: 1733337730.44\n\n"
                              "Event: DialBegin\nChannel: PJSIP/100-0000002b\nCallerIDNum: 100\n"
                              "CallerIDName: Office\nExten: 101\nDestChannel: PJSIP/101-0000002c\n"
                              "DialString: 101\n\n"
                              "Event: Newstate\nChannel: PJSIP/101-0000002c\nChannelState: 6\n\n"
                              "Event: DialEnd\nChannel: PJSIP/100-0000002b\n"
                              "DestChannel: PJSIP/101-0000002c\nDialStatus: ANSWER\n\n") +
                   bridgeEnter(b2, "PJSIP/100-0000002b", "1733337730.43", 1) +
                   bridgeEnter(b2, "PJSIP/101-0000002c", "1733337730.44", 2) +
                   bridgeLeave(b2, "PJSIP/101-0000002c") +
                   bridgeEnter(b1, "PJSIP/101-0000002c", "1733337730.44", 2, "1733337717.42") +
                   bridgeLeave(b1, "PJSIP/100-0000002a") + bridgeLeave(b2, "PJSIP/100-0000002b") +
                   QStringLiteral("Event: AttendedTransfer\nResult: Success\n"
                                  "OrigTransfererChannel: PJSIP/100-0000002a\n"
                                  "SecondTransfererChannel: PJSIP/100-0000002b\n"
                                  "TransfereeChannel: PJSIP/trunk-00000029\n"
                                  "TransferTargetChannel: PJSIP/101-0000002c\n"
                                  "DestType: Bridge\nDestBridgeUniqueid: %1\n\n")
                       .arg(QLatin1String(b1)) +
                   hangup("PJSIP/100-0000002a", 16) + hangup("PJSIP/100-0000002b", 16)
            << bridgeLeave(b1, "PJSIP/101-0000002c") + hangup("PJSIP/101-0000002c", 16)
            << QStringList{QStringLiteral("d0 #2 DIALING"),
                           QStringLiteral("d0 #2 RINGBACK from=100 to=101"),
                           QStringLiteral("d1 #3 OFFERING from=100 (Office) to=101"),
                           QStringLiteral("d1 #3 CONNECTED"), QStringLiteral("d0 #2 CONNECTED"),
                           // The consultation is over; the caller's call goes on with 101.
                           QStringLiteral("d1 #3 IDLE"), QStringLiteral("d0 #2 IDLE"),
                           QStringLiteral("d0 #1 IDLE")};
        // The caller leaves the bridge and is dialled to 101 like a new call.
        QTest::newRow("blind")
            << QStringLiteral("Event: BlindTransfer\nResult: Success\n"
                              "TransfererChannel: PJSIP/100-0000002a\n"
                              "TransfereeChannel: PJSIP/trunk-00000029\nBridgeUniqueid: %1\n"
                              "IsExternal: Yes\nContext: from-internal\nExtension: 101\n\n")
                       .arg(QLatin1String(b1)) +
                   bridgeLeave(b1, "PJSIP/100-0000002a") + hangup("PJSIP/100-0000002a", 16) +
                   bridgeLeave(b1, "PJSIP/trunk-00000029") +
                   QStringLiteral(
                       "Event: Newchannel\nChannel: PJSIP/101-00000034\nChannelState: 0\n"
                       "Exten: s\nUniqueid: 1733337730.45\n\n"
                       "Event: DialBegin\nChannel: PJSIP/trunk-00000029\n"
                       "CallerIDNum: 0301234567\nCallerIDName: Smith\nExten: 101\n"
                       "DestChannel: PJSIP/101-00000034\nDialString: 101\n\n"
                       "Event: Newstate\nChannel: PJSIP/101-00000034\nChannelState: 6\n\n"
                       "Event: DialEnd\nChannel: PJSIP/trunk-00000029\n"
                       "DestChannel: PJSIP/101-00000034\nDialStatus: ANSWER\n\n") +
                   bridgeEnter(b2, "PJSIP/trunk-00000029", "1733337717.41", 1) +
                   bridgeEnter(b2, "PJSIP/101-00000034", "1733337730.45", 2)
            << bridgeLeave(b2, "PJSIP/101-00000034") + hangup("PJSIP/101-00000034", 16)
            << QStringList{QStringLiteral("d0 #1 IDLE"),
                           QStringLiteral("d1 #2 OFFERING from=0301234567 (Smith) to=101"),
                           QStringLiteral("d1 #2 CONNECTED"), QStringLiteral("d1 #2 IDLE")};
    }

    void transferredCall()
    {
        QFETCH(QString, transfer);
        QFETCH(QString, end);
        QFETCH(QStringList, seen);
        startPbx();
        QVERIFY(logIn());
        // The caller on 100, answered and bridged.
        const char* b1 = "3e9a0c1d-2b4f-4e6a-9c8d-7f6e5d4c3b2a";
        incomingOnFirstExtension();
        m_peer->send(msgs(
            QStringLiteral("Event: Newstate\nChannel: PJSIP/100-0000002a\nChannelState: 6\n\n") +
            bridgeEnter(b1, "PJSIP/trunk-00000029", "1733337717.41", 1) +
            bridgeEnter(b1, "PJSIP/100-0000002a", "1733337717.42", 2)));
        const QStringList answered = {
            QStringLiteral("d0 #1 OFFERING from=0301234567 (Smith) to=5551"),
            QStringLiteral("d0 #1 CONNECTED")};
        QTRY_COMPARE(m_seen->lines, answered);
        m_peer->send(msgs(transfer));
        QTRY_COMPARE(m_seen->lines, answered + seen.mid(0, seen.size() - 1));
        QTest::qWait(30); // the transferred call is still going on
        QCOMPARE(m_seen->lines.size(), answered.size() + seen.size() - 1);
        m_peer->send(msgs(end + bridgeLeave(b1, "PJSIP/trunk-00000029") +
                          hangup("PJSIP/trunk-00000029", 16)));
        QTRY_COMPARE(m_seen->lines, answered + seen);
    }

    void originateSuccess()
    {
        startPbx();
        QVERIFY(logIn());
        QCOMPARE(m_hub->TapiLineDial(0, QStringLiteral("030 1234-567")), qint32(LineResult::Ok));
        const Action originate = awaitAction(QStringLiteral("Originate"));
        QCOMPARE(originate.value(QStringLiteral("Channel")), QStringLiteral("PJSIP/100"));
        QCOMPARE(originate.value(QStringLiteral("Exten")), QStringLiteral("0301234567"));
        QCOMPARE(originate.value(QStringLiteral("Context")), QStringLiteral("from-internal"));
        QCOMPARE(originate.value(QStringLiteral("Priority")), QStringLiteral("1"));
        QCOMPARE(originate.value(QStringLiteral("Async")), QStringLiteral("true"));
        QCOMPARE(originate.value(QStringLiteral("CallerID")),
                 QStringLiteral("\"0301234567\" <100>"));
        const QString channelId = originate.value(QStringLiteral("ChannelId"));
        QVERIFY(!channelId.isEmpty());
        reply(originate, QStringLiteral("Success"),
              QStringLiteral("Originate successfully queued"));
        // The PBX rings the user's own phone first; lifting the handset is not the answer.
        m_peer->send(
            msg(QStringLiteral("Event: Newchannel\nChannel: PJSIP/100-00000060\nChannelState: 0\n"
                               "CallerIDNum: 100\nExten: \nUniqueid: %1")
                    .arg(channelId)) +
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/100-00000060\nChannelState: 5")) +
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/100-00000060\nChannelState: 6")) +
            msg(QStringLiteral("Event: DialBegin\nChannel: PJSIP/100-00000060\n"
                               "Exten: 0301234567\nDestChannel: PJSIP/trunk-00000061")) +
            msg(QStringLiteral("Event: OriginateResponse\nActionID: %1\nResponse: Success\n"
                               "Channel: PJSIP/100-00000060\nReason: 4")
                    .arg(originate.value(QStringLiteral("ActionID")))));
        QTRY_COMPARE(m_seen->lines.size(), 2);
        QTest::qWait(30);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d0 #1 DIALING"),
                              QStringLiteral("d0 #1 RINGBACK from=100 to=0301234567")}));
        m_peer->send(
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/trunk-00000061\nChannelState: 6")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/trunk-00000061")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/100-00000060")));
        QTRY_COMPARE(m_seen->lines.size(), 4);
        QCOMPARE(m_seen->lines.mid(2),
                 (QStringList{QStringLiteral("d0 #1 CONNECTED"), QStringLiteral("d0 #1 IDLE")}));
        QCOMPARE(countContaining(m_log, QStringLiteral("failed")), 0);
    }

    void originateOnAServerWithoutChannelIds()
    {
        startPbx();
        QVERIFY(logIn());
        QCOMPARE(m_hub->TapiLineDial(1, QStringLiteral("+49301234567")), qint32(LineResult::Ok));
        const Action originate = awaitAction(QStringLiteral("Originate"));
        reply(originate, QStringLiteral("Success"),
              QStringLiteral("Originate successfully queued"));
        m_peer->send(
            msg(QStringLiteral("Event: Newchannel\nChannel: PJSIP/101-00000070\nChannelState: 0\n"
                               "CallerIDNum: 101\nUniqueid: 1733337900.70")) +
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/101-00000070\nChannelState: 6")));
        QTest::qWait(30);
        QVERIFY(m_seen->lines.isEmpty());
        m_peer->send(msg(QStringLiteral("Event: DialBegin\nChannel: PJSIP/101-00000070\n"
                                        "CallerIDNum: 101\nExten: +49301234567\n"
                                        "DestChannel: PJSIP/trunk-00000071")) +
                     msg(QStringLiteral("Event: DialEnd\nChannel: PJSIP/101-00000070\n"
                                        "DestChannel: PJSIP/trunk-00000071\nDialStatus: ANSWER")));
        QTRY_COMPARE(m_seen->lines.size(), 3);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d1 #1 DIALING"),
                              QStringLiteral("d1 #1 RINGBACK from=101 to=+49301234567"),
                              QStringLiteral("d1 #1 CONNECTED")}));
    }

    void originateFailures()
    {
        startPbx();
        QVERIFY(m_peer->waitForConnections(1));
        QVERIFY(!awaitAction(QStringLiteral("Login")).isEmpty());
        // Not logged in yet: nothing can be dialled.
        QCOMPARE(m_hub->TapiLineDial(0, QStringLiteral("0301234567")),
                 qint32(LineResult::ResourceUnavailable));
        reply(awaitAction(QStringLiteral("Login")), QStringLiteral("Success"), QString());
        QTRY_VERIFY(provider()->isLoggedIn());

        QCOMPARE(m_hub->TapiLineDial(0, QStringLiteral("0301234567")), qint32(LineResult::Ok));
        reply(awaitAction(QStringLiteral("Originate")), QStringLiteral("Error"),
              QStringLiteral("Extension does not exist."));
        QTRY_VERIFY(
            m_log.contains(prefix() + QStringLiteral("dialling 0301234567 from PJSIP/100 "
                                                     "failed (Extension does not exist.)")));

        QCOMPARE(m_hub->TapiLineDial(1, QStringLiteral("0407654321")), qint32(LineResult::Ok));
        const Action second = awaitAction(QStringLiteral("Originate"), 1);
        reply(second, QStringLiteral("Success"), QStringLiteral("Originate successfully queued"));
        m_peer->send(msg(QStringLiteral("Event: OriginateResponse\nActionID: %1\n"
                                        "Response: Failure\nChannel: PJSIP/101\nReason: 5")
                             .arg(second.value(QStringLiteral("ActionID")))));
        QTRY_VERIFY(m_log.contains(
            prefix() + QStringLiteral("dialling 0407654321 from PJSIP/101 failed (busy)")));

        // Text that would smuggle a second action onto the wire is refused.
        const int sent = int(actionsIn(m_peer->received()).size());
        QCOMPARE(m_hub->TapiLineDial(0, QStringLiteral("123\r\nAction: Logoff")),
                 qint32(LineResult::OperationUnavailable));
        QCOMPARE(m_hub->TapiLineDial(0, QStringLiteral("  ")),
                 qint32(LineResult::OperationUnavailable));
        QCOMPARE(m_hub->TapiLineDial(0, QString(65, QLatin1Char('1'))),
                 qint32(LineResult::OperationUnavailable));
        QCOMPARE(m_hub->TapiLineDial(9, QStringLiteral("0301234567")),
                 qint32(LineResult::BadDeviceId));
        QTest::qWait(30);
        QCOMPARE(actionsIn(m_peer->received()).size(), sent);
        QVERIFY(m_seen->lines.isEmpty());
    }

    void rejectHangsTheExtensionUp()
    {
        startPbx();
        QVERIFY(logIn());
        incomingOnFirstExtension();
        QTRY_COMPARE(m_seen->lines.size(), 1);
        const qint32 callId = m_seen->callIdOf(1);
        QVERIFY(m_hub->getActiveCallFeatures(0, callId) & LineCallFeature::Answer);
        QCOMPARE(m_hub->getActiveCallFeatures(1, callId), 0);
        const qsizetype before = m_peer->received().size();
        QCOMPARE(m_hub->TapiLineAnswer(0, callId), qint32(LineResult::Ok));
        QCOMPARE(m_hub->TapiLineDrop(1, callId), qint32(LineResult::InvalidCallId));
        QCOMPARE(m_hub->TapiLineDrop(0, callId), qint32(LineResult::Ok));
        const Action hangup = awaitAction(QStringLiteral("Hangup"));
        QCOMPARE(hangup.value(QStringLiteral("Channel")), QStringLiteral("PJSIP/100-0000002a"));
        QCOMPARE(actionsIn(m_peer->received().mid(before)).size(), 1); // answering sent nothing
        reply(hangup, QStringLiteral("Success"), QStringLiteral("Channel Hungup"));
        m_peer->send(msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/100-0000002a\nCause: 21")));
        QTRY_COMPARE(m_seen->lines.size(), 2);
        QCOMPARE(m_seen->lines.last(), QStringLiteral("d0 #1 IDLE"));
        QCOMPARE(m_hub->TapiLineDrop(0, callId), qint32(LineResult::InvalidCallId));
    }

    void failedHangupIsLoggedAndTheCallStays()
    {
        startPbx();
        QVERIFY(logIn());
        incomingOnFirstExtension();
        m_peer->send(msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/100-0000002a\n"
                                        "ChannelState: 6")));
        QTRY_COMPARE(m_seen->lines.size(), 2);
        const qint32 callId = m_seen->callIdOf(1);
        QCOMPARE(m_hub->TapiLineAnswer(0, callId), qint32(LineResult::OperationUnavailable));
        QCOMPARE(m_hub->getActiveCallFeatures(0, callId),
                 qint32(LineCallFeature::Drop)); // connected: no longer rejectable
        QCOMPARE(m_hub->TapiLineDrop(0, callId), qint32(LineResult::Ok));
        reply(awaitAction(QStringLiteral("Hangup")), QStringLiteral("Error"),
              QStringLiteral("No such channel"));
        QTRY_VERIFY(m_log.contains(
            prefix() + QStringLiteral("hanging up PJSIP/100-0000002a failed (No such channel)")));
        QCOMPARE(m_seen->lines.size(), 2);
        QVERIFY(m_hub->getActiveCallFeatures(0, callId) & LineCallFeature::Drop);
    }

    void refusedLoginsBackOffUntilOneSucceeds()
    {
        m_config.loginRetryMinMs = 100;
        m_config.loginRetryMaxMs = 400;
        startPbx();
        for (int connection = 1; connection <= 6; ++connection) {
            if (connection == 5) {
                QVERIFY(logIn(5));
                m_peer->drop(); // a good login starts the pauses over
                continue;
            }
            QVERIFY(m_peer->waitForConnections(connection));
            reply(awaitAction(QStringLiteral("Login")), QStringLiteral("Error"),
                  QStringLiteral("Authentication failed"));
            QTRY_VERIFY(!m_peer->isConnected() || m_peer->connections() > connection);
            if (connection == 3) {
                // The pause is kept, not just logged: at network pace (at
                // most 100 ms here) the next attempt would have come by now.
                QTest::qWait(150);
                QCOMPARE(m_peer->connections(), 3);
            }
        }
        QTRY_COMPARE(countContaining(m_log, QStringLiteral("login refused")), 5);
        QStringList refusals;
        for (const QString& line : std::as_const(m_log))
            if (line.contains(QStringLiteral("login refused")))
                refusals << line.mid(prefix().size());
        const QString text =
            QStringLiteral("login refused (Authentication failed); next attempt in ");
        QCOMPARE(refusals,
                 (QStringList{text + QStringLiteral("100 ms"), text + QStringLiteral("200 ms"),
                              text + QStringLiteral("400 ms"), text + QStringLiteral("400 ms"),
                              text + QStringLiteral("100 ms")}));
        // One line per refusal, and never the secret.
        QCOMPARE(countContaining(m_log, QStringLiteral("login refused), retrying")), 0);
        QCOMPARE(countContaining(m_log, QStringLiteral("s3cret")), 0);
    }

    void secretFromTheSettings_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QString>("scrambled");
        QTest::addColumn<QString>("sent");
        QTest::newRow("SecretText, as documented")
            << QByteArray("\"SecretText\"=\"manager-password\"\r\n") << QString()
            << QStringLiteral("manager-password");
        QTest::newRow("Secret, scrambled by the program")
            << QByteArray() << QStringLiteral("s3cret") << QStringLiteral("s3cret");
        QTest::newRow("both: the hand-written one wins")
            << QByteArray("\"SecretText\"=\"manager-password\"\r\n") << QStringLiteral("old")
            << QStringLiteral("manager-password");
    }

    void secretFromTheSettings()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QString, scrambled);
        QFETCH(QString, sent);
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\LineSources"
                   "\\Asterisk\\Office]\r\n\"Label\"=\"Office PBX\"\r\n"
                   "\"Host\"=\"127.0.0.1\"\r\n\"Port\"=\"" +
                       QByteArray::number(m_peer->port()) + "\"\r\n\"User\"=\"phonavo\"\r\n" +
                       plain + "\"Extensions\"=\"PJSIP/100\"\r\n");
        SettingsStore settings(AppPaths::userHivePath(), AppPaths::machineHivePath());
        if (!scrambled.isEmpty())
            settings.SaveSettingHKCU(QStringLiteral("Options\\LineSources\\Asterisk\\Office"),
                                     QStringLiteral("Secret"), scrambled, true);
        m_hub = std::make_unique<TelephonyHub>(
            [&settings] { return LineSourceSettings::createProviders(settings); });
        m_seen = std::make_unique<NotificationLog>(m_hub.get());
        qint32 count = 0;
        m_hub->TapiLineInitEx(QStringLiteral("Phonavo"), m_seen->callback(), count);
        for (qint32 device = 0; device < count; ++device)
            if (m_hub->getDeviceName(device) == QStringLiteral("Office PBX PJSIP/100"))
                QCOMPARE(m_hub->TapiLineOpen(device, LineMediaMode::InteractiveVoice, 6),
                         qint32(LineResult::Ok));
        QVERIFY(m_peer->waitForConnections(1));
        const Action login = awaitAction(QStringLiteral("Login"));
        QCOMPARE(login.value(QStringLiteral("Username")), QStringLiteral("phonavo"));
        QCOMPARE(login.value(QStringLiteral("Secret")), sent);
        m_hub.reset();
    }

    void callsFromBeforeTheConnectionAreNotInvented()
    {
        startPbx();
        QVERIFY(logIn());
        m_peer->send(
            msg(QStringLiteral("Event: Newstate\nChannel: PJSIP/100-00000001\nChannelState: 6")) +
            msg(QStringLiteral("Event: NewCallerid\nChannel: PJSIP/trunk-00000002\n"
                               "CallerIDNum: 0301234567")) +
            msg(QStringLiteral("Event: DialEnd\nChannel: PJSIP/trunk-00000002\n"
                               "DestChannel: PJSIP/100-00000001\nDialStatus: ANSWER")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/100-00000001\nCause: 16")) +
            msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/trunk-00000002\nCause: 16")) +
            msg(QStringLiteral("Event: OriginateResponse\nActionID: x-1\nResponse: Failure")) +
            msg(QStringLiteral("Response: Success\nActionID: stranger-7\nMessage: Hello")));
        incomingOnFirstExtension();
        QTRY_COMPARE(m_seen->lines.size(), 1);
        QTest::qWait(30);
        QCOMPARE(m_seen->lines,
                 (QStringList{QStringLiteral("d0 #1 OFFERING from=0301234567 (Smith) to=5551")}));
        QCOMPARE(countContaining(m_log, QStringLiteral("skipped")), 0);
    }

    void droppedConnectionEndsLiveCallsAndLogsInAgain()
    {
        startPbx();
        QVERIFY(logIn());
        incomingOnFirstExtension();
        m_peer->send(msg(QStringLiteral("Event: Newchannel\nChannel: PJSIP/101-00000080\n"
                                        "ChannelState: 4\nCallerIDNum: 101\nExten: 0891112223")));
        QTRY_COMPARE(m_seen->lines.size(), 3);
        m_peer->drop();
        QTRY_COMPARE(m_seen->lines.size(), 5);
        QCOMPARE(m_seen->lines.mid(3),
                 (QStringList{QStringLiteral("d0 #1 IDLE"), QStringLiteral("d1 #2 IDLE")}));
        QVERIFY(logIn(2));
        // The same channel, reported again by the new session, is a new call.
        m_peer->send(msg(QStringLiteral("Event: Hangup\nChannel: PJSIP/100-0000002a")));
        incomingOnFirstExtension();
        QTRY_COMPARE(m_seen->lines.size(), 6);
        QCOMPARE(m_seen->lines.last(),
                 QStringLiteral("d0 #3 OFFERING from=0301234567 (Smith) to=5551"));
    }

    void secretIsOnlyGivenToAManagerInterface()
    {
        m_peer->setGreeting("SSH-2.0-OpenSSH_9.2p1\r\n");
        startPbx();
        QVERIFY(m_peer->waitForConnections(1));
        QTRY_VERIFY(m_log.contains(prefix() + QStringLiteral("unexpected greeting "
                                                             "\"SSH-2.0-OpenSSH_9.2p1\"; not an "
                                                             "Asterisk manager interface")));
        QVERIFY(m_peer->waitForConnections(2));
        QVERIFY(!m_peer->received().contains("s3cret"));
    }

    void silentServersAreDropped()
    {
        // No greeting at all.
        m_peer->setGreeting(QByteArray());
        m_config.responseTimeoutMs = 50;
        startPbx();
        QVERIFY(m_peer->waitForConnections(1));
        QTRY_VERIFY(m_log.contains(
            prefix() + QStringLiteral("connection lost (no data for 50 ms), retrying in 20 ms")));
        QVERIFY(m_peer->waitForConnections(2));
    }

    void unansweredPingsDropTheConnection()
    {
        m_config.pingIntervalMs = 30;
        m_config.responseTimeoutMs = 40;
        startPbx();
        QVERIFY(logIn());
        QVERIFY(!awaitAction(QStringLiteral("Ping")).isEmpty());
        QTRY_VERIFY(m_log.contains(
            prefix() + QStringLiteral("connection lost (no data for 70 ms), retrying in 20 ms")));
    }

    void badInputIsLoggedAndSkipped()
    {
        startPbx();
        QVERIFY(logIn());
        const QString longNumber(300, QLatin1Char('5'));
        const QByteArray huge(300 * 1024, 'v');
        m_peer->send("this line has no key\r\n\r\n" + msg(QStringLiteral("Foo: bar")) +
                     "Event: VarSet\r\nValue: " + huge + "\r\n\r\n" +
                     msg(QStringLiteral("Event: DialBegin\nChannel: PJSIP/trunk-00000090\n"
                                        "CallerIDNum: %1\nExten: 5551\n"
                                        "DestChannel: PJSIP/101-00000091")
                             .arg(longNumber)));
        incomingOnFirstExtension();
        QTRY_COMPARE(m_seen->lines.size(), 2);
        // The over-long number is dropped; the call itself is not.
        QCOMPARE(m_seen->lines, (QStringList{QStringLiteral("d1 #1 OFFERING from= to=5551"),
                                             QStringLiteral("d0 #2 OFFERING from=0301234567 "
                                                            "(Smith) to=5551")}));
        QCOMPARE(countContaining(m_log, QStringLiteral("skipped a line without a key")), 1);
        QCOMPARE(countContaining(m_log, QStringLiteral("neither event nor response")), 1);
        QCOMPARE(countContaining(m_log, QStringLiteral("line longer than 65536 bytes")), 1);
        QCOMPARE(countContaining(m_log, QStringLiteral("ignored a CallerIDNum of 300 characters")),
                 1);
    }
};

QTEST_GUILESS_MAIN(TestAsteriskProvider)
#include "TestAsteriskProvider.moc"
