#include "shell/dialling/CallSimulator.h"
#include "shell/dialling/DialNumber.h"
#include "shell/dialling/SimulationSettings.h"

#include "../server/ServerRig.h"

#include <QTest>
#include <QTimer>

class TestDialling : public QObject
{
    Q_OBJECT

private slots:
    void pureTelNumber2_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pure");
        QTest::addRow("plus, blanks, brackets, dashes") << "+49 (30) 123-45 67"
                                                        << "+49301234567";
        QTest::addRow("star and hash stay in place") << "*31#0301 2"
                                                     << "*31#03012";
        QTest::addRow("plus only at the start") << "0049+30"
                                                << "004930";
        QTest::addRow("letters only") << "Hello"
                                      << "";
        QTest::addRow("letters between digits") << "0800 FLOWERS 1"
                                                << "08001";
        QTest::addRow("leading blank before the plus") << " +1 555"
                                                       << "+1555";
        QTest::addRow("empty") << ""
                               << "";
    }
    void pureTelNumber2()
    {
        QFETCH(QString, text);
        QFETCH(QString, pure);
        QCOMPARE(::pureTelNumber2(text), pure);
    }

    void dialDialogStartsWithTheGivenNumberOrTheLastOne_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("lastCalled");
        QTest::addColumn<QString>("expected");
        QTest::addRow("given digits win") << "030 1234"
                                          << "0401"
                                          << "0301234";
        QTest::addRow("plus kept") << "+49 30 1"
                                   << "0401"
                                   << "+49301";
        QTest::addRow("no digits: last called") << "abc"
                                                << "0401"
                                                << "0401";
        QTest::addRow("empty: last called") << ""
                                            << "*21#"
                                            << "*21#";
        QTest::addRow("hand-edited setting cleaned") << ""
                                                     << "04-01 x"
                                                     << "0401";
    }
    void dialDialogStartsWithTheGivenNumberOrTheLastOne()
    {
        QFETCH(QString, given);
        QFETCH(QString, lastCalled);
        QFETCH(QString, expected);
        QCOMPARE(initialDialNumber(given, lastCalled), expected);
    }

    void simulationSettingsRoundTripWithDefaults()
    {
        ControllerRig rig;
        const SimulationSettings fresh = SimulationSettings::load(rig.settings);
        QVERIFY(fresh.incoming);
        QVERIFY(fresh.callerId.isEmpty() && fresh.device.isEmpty());
        SimulationSettings s{false, QStringLiteral("0301"), QStringLiteral("555"),
                             QStringLiteral("Virtual line 2")};
        s.save(rig.settings);
        QCOMPARE(
            rig.settings
                .GetSettingHKCU(QStringLiteral("Simulate"), QStringLiteral("Incoming"), QString())
                .toString(),
            QStringLiteral("0"));
        const SimulationSettings back = SimulationSettings::load(rig.settings);
        QCOMPARE(back.incoming, false);
        QCOMPARE(back.callerId, s.callerId);
        QCOMPARE(back.calledId, s.calledId);
        QCOMPARE(back.device, s.device);
    }

    // The simulated call runs the real call handling: the popup, the store
    // and a connected client see it announced, answered and ended.
    void simulatedCallIsAnnouncedAnsweredAndEnded_data()
    {
        QTest::addColumn<bool>("incoming");
        QTest::addColumn<QString>("announcement");
        QTest::addRow("incoming") << true << "incomingcall";
        QTest::addRow("outgoing") << false << "outgoingcall";
    }
    void simulatedCallIsAnnouncedAnsweredAndEnded()
    {
        QFETCH(bool, incoming);
        QFETCH(QString, announcement);
        ServerRig rig;
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        CallSimulator simulator(*rig.form);
        auto* answer = simulator.findChild<QTimer*>(QStringLiteral("tmrAnswerSimulCall"));
        auto* close = simulator.findChild<QTimer*>(QStringLiteral("tmrCloseSimulCall"));
        QVERIFY(answer && close);
        QCOMPARE(answer->interval(), 3000);
        QCOMPARE(close->interval(), 10000);
        QVERIFY(!answer->isActive() && !close->isActive());
        answer->setInterval(30);
        close->setInterval(30);

        const QList<QPair<QString, qint32>> devices = simulator.devices();
        QVERIFY(!devices.isEmpty());
        QCOMPARE(devices.first().first, QStringLiteral("Virtual line 1"));
        const QString own = incoming ? QStringLiteral("555") : QStringLiteral("0301234");
        const QString other = incoming ? QStringLiteral("0301234") : QStringLiteral("555");
        simulator.simulate(
            {incoming, incoming ? other : own, incoming ? own : other, devices.first().second});
        QVERIFY(answer->isActive());
        QVERIFY(rig.form->colCalls().contains(CallSimulator::kSimulatedCallId));
        QVERIFY(
            rig.logged(QStringLiteral("[1] Simulating %1 call from: %2 to %3")
                           .arg(incoming ? QStringLiteral("incoming") : QStringLiteral("outgoing"),
                                incoming ? other : own, incoming ? own : other)));
        QVERIFY(client->waitFor(announcement));
        QVERIFY(client->waitFor(QStringLiteral("answered")));
        QVERIFY(client->waitFor(QStringLiteral("disconnect")));
        QCOMPARE(client->last().value(1), QStringLiteral("1"));
        QVERIFY(!rig.form->colCalls().contains(CallSimulator::kSimulatedCallId));
        QVERIFY(!simulator.running());
        if (incoming)
            QVERIFY(rig.popups.shown.value(0).startsWith(other + QLatin1Char('/')));
        const SavedCall last = rig.store.saves.last();
        QVERIFY(last.answered);
        QVERIFY(!last.connected);
        QCOMPARE(last.outgoing, !incoming);
    }

    void simulatingAgainEndsTheRunningSimulationFirst()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        CallSimulator simulator(*rig.form);
        const qint32 device = simulator.devices().first().second;
        simulator.simulate({true, QStringLiteral("0301"), QStringLiteral("555"), device});
        QVERIFY(client->waitFor(QStringLiteral("incomingcall")));
        // Not answered yet (3 s): the second press ends it at once.
        simulator.simulate({true, QStringLiteral("0302"), QStringLiteral("555"), device});
        QVERIFY(client->waitFor(QStringLiteral("disconnect")));
        QVERIFY(client->waitFor(QStringLiteral("incomingcall")));
        QCOMPARE(client->last().value(2), QStringLiteral("0302"));
        QCOMPARE(rig.messages()
                     .filter(QRegularExpression(
                         QStringLiteral("^\\[1\\] Disconnected call from 0301\\.")))
                     .size(),
                 1);
        QCOMPARE(rig.form->colCalls().Count(), 1);
        QCOMPARE(rig.form->colCalls().Item(1)->CallerID(), QStringLiteral("0302"));
        QVERIFY(simulator.answerTimer()->isActive());
    }
};

QTEST_GUILESS_MAIN(TestDialling)
#include "TestDialling.moc"
