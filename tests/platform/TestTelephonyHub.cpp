#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"

#include <QSignalSpy>
#include <QTest>

namespace {

std::unique_ptr<TelephonyHub> makeHub(QStringList first, QStringList second = {})
{
    return std::make_unique<TelephonyHub>([first, second] {
        std::vector<std::unique_ptr<LineProvider>> providers;
        providers.push_back(std::make_unique<VirtualLineProvider>(first));
        if (!second.isEmpty())
            providers.push_back(std::make_unique<VirtualLineProvider>(second));
        return providers;
    });
}

struct Recorder
{
    QList<LineNotification> seen;
    LineCallback callback()
    {
        return [this](const LineNotification& n) { seen.append(n); };
    }
};

} // namespace

class TestTelephonyHub : public QObject
{
    Q_OBJECT

private slots:
    void numbersDevicesAcrossProviders()
    {
        auto hub = makeHub({QStringLiteral("Virtual line 1"), QStringLiteral("Virtual line 2")},
                           {QStringLiteral("Other A")});
        Recorder rec;
        qint32 count = -1;
        QCOMPARE(hub->TapiLineInitEx(QStringLiteral("Phonavo"), rec.callback(), count),
                 LineResult::Ok);
        QCOMPARE(count, 3);
        QCOMPARE(hub->getDeviceName(0), QStringLiteral("Virtual line 1"));
        QCOMPARE(hub->getDeviceName(2), QStringLiteral("Other A"));
        QCOMPARE(hub->getDeviceName(3), QString());
        QCOMPARE(hub->getDeviceIdFromName(QStringLiteral(" Other A ")), 2);
        QCOMPARE(hub->getDeviceIdFromName(QStringLiteral("nope")), -1);
        QVERIFY(hub->getMediaModes(1) & LineMediaMode::InteractiveVoice);
        QCOMPARE(hub->getMediaModes(-1), 0);
        QCOMPARE(hub->TapiLineOpen(7, LineMediaMode::InteractiveVoice, 6),
                 qint32(LineResult::BadDeviceId));
        QCOMPARE(hub->getAdvancedFeatures(0) & LineDeviceFeature::CanDial,
                 qint32(LineDeviceFeature::CanDial));
    }

    void deliversOnlyOpenLinesInOrderAndLater()
    {
        auto hub = makeHub({QStringLiteral("L1"), QStringLiteral("L2")}, {QStringLiteral("L3")});
        Recorder rec;
        qint32 count = 0;
        hub->TapiLineInitEx(QStringLiteral("Phonavo"), rec.callback(), count);
        QCOMPARE(hub->TapiLineOpen(2, LineMediaMode::InteractiveVoice, 6), qint32(LineResult::Ok));

        auto* second = qobject_cast<VirtualLineProvider*>(hub->providerOf(2));
        auto* first = qobject_cast<VirtualLineProvider*>(hub->providerOf(0));
        QVERIFY(first && second && first != second);
        const qint32 closedCall =
            first->ring(0, QStringLiteral("111"), QStringLiteral("222")).value();
        const qint32 openCall = second
                                    ->ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"),
                                           QStringLiteral("Smith"))
                                    .value();
        QVERIFY(closedCall != openCall);
        QVERIFY(openCall > 1);
        QVERIFY(second->answerCall(openCall));
        // Nothing arrives from inside the call: delivery waits for the event loop.
        QVERIFY(rec.seen.isEmpty());
        QTRY_COMPARE(rec.seen.size(), 2);
        QCOMPARE(rec.seen[0].device, 2); // provider-local 0 mapped behind the first provider
        QCOMPARE(rec.seen[0].state, qint32(LineCallState::Offering));
        QCOMPARE(rec.seen[0].callId, openCall);
        QCOMPARE(rec.seen[1].state, qint32(LineCallState::Connected));
        QCOMPARE(hub->getCallRelevantInfos(2, openCall, CallInfoField::CallerId),
                 QStringLiteral("0301234567"));
        QCOMPARE(hub->getCallRelevantInfos(2, openCall, CallInfoField::CalledId),
                 QStringLiteral("5551"));
        QCOMPARE(hub->getCallRelevantInfos(2, openCall, CallInfoField::CallerIdName),
                 QStringLiteral("Smith"));

        // After closing, the line goes quiet even for what was already queued.
        QVERIFY(second->hangup(openCall));
        hub->TapiLineClose(2);
        QTest::qWait(20);
        QCOMPARE(rec.seen.size(), 2);
    }

    void answerDropAndDialThroughTheWrapper()
    {
        auto hub = makeHub({QStringLiteral("L1")});
        Recorder rec;
        qint32 count = 0;
        hub->TapiLineInitEx(QStringLiteral("Phonavo"), rec.callback(), count);
        hub->TapiLineOpen(0, LineMediaMode::InteractiveVoice, 6);
        auto* lines = hub->findProvider<VirtualLineProvider>();
        const qint32 id = lines->ring(0, QStringLiteral("123"), QStringLiteral("456")).value();
        QVERIFY(hub->getActiveCallFeatures(0, id) & LineCallFeature::Answer);
        QCOMPARE(hub->TapiLineAnswer(0, id), qint32(LineResult::Ok));
        QCOMPARE(hub->getActiveCallFeatures(0, id) & LineCallFeature::Answer, 0);
        QCOMPARE(hub->TapiLineDrop(0, id), qint32(LineResult::Ok));
        QCOMPARE(hub->TapiLineDrop(0, id), qint32(LineResult::InvalidCallId));
        // The ended call stays readable for notifications still on their way.
        QCOMPARE(hub->getCallRelevantInfos(0, id, CallInfoField::CallerId), QStringLiteral("123"));

        QCOMPARE(hub->TapiLineDial(0, QStringLiteral("0301234567")), qint32(LineResult::Ok));
        QCOMPARE(hub->TapiLineDial(0, QStringLiteral("   ")),
                 qint32(LineResult::OperationUnavailable));
        QTRY_COMPARE(rec.seen.size(), 5);
        const QList<qint32> states = {rec.seen[0].state, rec.seen[1].state, rec.seen[2].state,
                                      rec.seen[3].state, rec.seen[4].state};
        QCOMPARE(states, (QList<qint32>{LineCallState::Offering, LineCallState::Connected,
                                        LineCallState::Idle, LineCallState::Dialing,
                                        LineCallState::Ringback}));
        const qint32 dialled = rec.seen[4].callId;
        QCOMPARE(rec.seen[3].callId, dialled);
        QCOMPARE(hub->getCallRelevantInfos(0, dialled, CallInfoField::CalledId),
                 QStringLiteral("0301234567"));
    }

    void identityNotificationsCarryNumberAndName()
    {
        auto hub = makeHub({QStringLiteral("L1")});
        Recorder rec;
        qint32 count = 0;
        hub->TapiLineInitEx(QStringLiteral("Phonavo"), rec.callback(), count);
        hub->TapiLineOpen(0, LineMediaMode::InteractiveVoice, 2);
        auto* lines = hub->findProvider<VirtualLineProvider>();
        const qint32 id = lines->ring(0, QString(), QStringLiteral("5551")).value();
        QVERIFY(lines->setCallerId(id, QStringLiteral("0301234567"), QStringLiteral("Smith")));
        QVERIFY(lines->setCalledId(id, QStringLiteral("5552"), QStringLiteral("Office")));
        QVERIFY(!lines->setCallerId(id + 100, QStringLiteral("1"), QString()));
        QTRY_COMPARE(rec.seen.size(), 3);
        QCOMPARE(rec.seen[1].kind, int(LineNotification::CallerId));
        QCOMPARE(rec.seen[1].number, QStringLiteral("0301234567"));
        QCOMPARE(rec.seen[1].name, QStringLiteral("Smith"));
        QCOMPARE(rec.seen[2].kind, int(LineNotification::CalledId));
        QCOMPARE(rec.seen[2].number, QStringLiteral("5552"));
        QCOMPARE(hub->getCallRelevantInfos(0, id, CallInfoField::CalledId), QStringLiteral("5552"));
    }

    void refusesAbsurdInput()
    {
        auto hub = makeHub({QStringLiteral("L1")});
        Recorder rec;
        qint32 count = 0;
        hub->TapiLineInitEx(QStringLiteral("Phonavo"), rec.callback(), count);
        auto* lines = hub->findProvider<VirtualLineProvider>();
        const QString huge(VirtualLineProvider::kMaxNumberLength + 1, QLatin1Char('1'));
        QVERIFY(!lines->ring(0, huge, QStringLiteral("1")));
        QVERIFY(!lines->ring(5, QStringLiteral("1"), QStringLiteral("1")));
        QVERIFY(!lines->setState(12345, LineCallState::Busy));
        // Control characters are passed on as they are; the monitor decides.
        QVERIFY(lines->ring(0, QStringLiteral("12\x01\n3"), QStringLiteral("1")));
    }

    void reinitialisingRebuildsDevicesAndForgetsOpenLines()
    {
        int builds = 0;
        TelephonyHub hub([&builds] {
            ++builds;
            std::vector<std::unique_ptr<LineProvider>> providers;
            providers.push_back(std::make_unique<VirtualLineProvider>(
                QStringList{QStringLiteral("L%1").arg(builds)}));
            return providers;
        });
        Recorder rec;
        qint32 count = 0;
        hub.TapiLineInitEx(QStringLiteral("Phonavo"), rec.callback(), count);
        hub.TapiLineOpen(0, LineMediaMode::InteractiveVoice, 2);
        QVERIFY(hub.isOpen(0));
        hub.TapiLineInitEx(QStringLiteral("Phonavo"), rec.callback(), count);
        QCOMPARE(hub.getDeviceName(0), QStringLiteral("L2"));
        QVERIFY(!hub.isOpen(0));
        hub.TapiLineShutDown();
        QVERIFY(!hub.isInitialised());
        QCOMPARE(hub.deviceCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTelephonyHub)
#include "TestTelephonyHub.moc"
