#include "ControllerRig.h"
#include "core/monitor/LineMonitor.h"

#include <QTest>

namespace {

void addMsn(ControllerRig& rig, const QString& name, const QString& number)
{
    MSNPtr e = rig.form->colMSNs().Add(name);
    e->MSN = number;
    e->Clients = QStringLiteral("*");
}

QString idText(qint32 id)
{
    return QLatin1Char('[') + QString::number(id) + QStringLiteral("] ");
}

} // namespace

class TestLineMonitor : public QObject
{
    Q_OBJECT

private slots:
    void incomingCallFromOfferToEnd()
    {
        ControllerRig rig;
        addMsn(rig, QStringLiteral("Office"), QStringLiteral("5551"));
        QVERIFY(rig.monitor({0}));
        QVERIFY(rig.form->Active());
        const qint32 id = rig.lines()
                              .ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"),
                                    QStringLiteral("Smith"))
                              .value();
        rig.settle();
        QVERIFY2(rig.logged(idText(id) +
                            QStringLiteral(
                                "Incoming call from: Smith (0301234567). Callee: Office (5551)")),
                 qPrintable(rig.messages().join(QLatin1Char('\n'))));
        QCOMPARE(rig.form->colCalls().Count(), 1);
        QCOMPARE(rig.popups.shown,
                 (QStringList{QStringLiteral("0301234567/Office/Smith/|Reject")}));
        // A device without a sound of its own rings with the shipped one.
        QCOMPARE(rig.sound.played.size(), 1);
        QVERIFY(rig.sound.played.first().endsWith(QStringLiteral("/ring.wav")));
        QCOMPARE(rig.form->OriginalCallerID(), QStringLiteral("0301234567"));

        rig.lines().answerCall(id);
        rig.settle();
        QVERIFY(rig.store.saves.last().answered);
        QVERIFY(rig.store.saves.last().connected);

        rig.lines().hangup(id);
        rig.settle();
        QVERIFY(rig.logged(
            idText(id) +
            QStringLiteral("Disconnected call from Smith (0301234567). Callee: Office (5551)")));
        QVERIFY(!rig.store.saves.last().connected);
        QVERIFY(rig.store.saves.last().answered);
        QCOMPARE(rig.form->colCalls().Count(), 0);
        QCOMPARE(rig.popups.shown.last(),
                 QStringLiteral("closed")); // popup closed at the end of the call
    }

    void traceLinesWithTheLogFlag()
    {
        ControllerRig rig;
        rig.log.setLogFlag(true);
        QVERIFY(rig.monitor({1}));
        QVERIFY(rig.logged(QStringLiteral("Start listen to TAPI Device: Virtual line 2 (ID: 1)")));
        const qint32 id =
            rig.lines().ring(1, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(rig.logged(idText(id) + QStringLiteral("Virtual line 2 is now: OFFERING ")));
        QVERIFY(rig.logged(idText(id) +
                           QStringLiteral("Incoming call from: 0301234567. Callee: 5551")));
        QVERIFY(!rig.logged(QStringLiteral("  CallerId: 0301234567"))); // the dump needs debug mode
        QVERIFY(rig.form->stopMonitoring());
        QVERIFY(rig.logged(QStringLiteral("Stopping Phonavo monitor")));
        QVERIFY(rig.logged(QStringLiteral("stop listen to TAPI Device: Virtual line 2 (ID: 1)")));
        QVERIFY(!rig.form->Active());
        QCOMPARE(rig.form->statusText(), QStringLiteral("not listening"));
        QCOMPARE(rig.form->startStopCaption(), QStringLiteral("&Start"));
    }

    void debugDumpShowsCallInformation()
    {
        ControllerRig rig;
        rig.log.setDebugFlag(true);
        rig.monitor({0});
        rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"),
                         QStringLiteral("Smith"));
        rig.settle();
        const QStringList m = rig.messages();
        const int state = int(m.indexOf(QStringLiteral("  CallState: OFFERING")));
        QVERIFY(state >= 0);
        QCOMPARE(m.value(state + 1), QStringLiteral("  CallerId: 0301234567"));
        QCOMPARE(m.value(state + 2), QStringLiteral("  CallerIdName: Smith"));
        QVERIFY(m.contains(QStringLiteral("  CalledId: 5551")));
        QVERIFY(m.contains(QStringLiteral("  CallFeatures: ACCEPT|ANSWER|DROP")));
    }

    void secondReportWithinTenSecondsIsIgnored()
    {
        ControllerRig rig;
        rig.monitor({0, 1});
        const qint32 first =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        rig.clock.advanceSeconds(5);
        const qint32 second =
            rig.lines().ring(1, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        const QString expected =
            idText(second) + QStringLiteral("Ignoring call: already in queue ([") +
            QString::number(first) + QStringLiteral("]: 0301234567 -> 5551 on ");
        QVERIFY(rig.anyMessage([&](const QString& l) { return l.startsWith(expected); }));
        QCOMPARE(rig.form->colCalls().Count(), 1);
        QCOMPARE(rig.loggedCount(idText(first) +
                                 QStringLiteral("Incoming call from: 0301234567. Callee: 5551")),
                 1);

        // Eleven seconds later the same numbers are a new call.
        rig.clock.advanceSeconds(6);
        const qint32 third =
            rig.lines().ring(1, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(rig.logged(idText(third) +
                           QStringLiteral("Incoming call from: 0301234567. Callee: 5551")));
    }

    void connectedForAnUnknownCallCreatesAnAnsweredRecord()
    {
        ControllerRig rig;
        rig.monitor({0});
        rig.hub.TapiLineClose(0);
        const qint32 id = rig.lines().ring(0, QStringLiteral("1"), QStringLiteral("2")).value();
        rig.settle(); // not delivered: the line was closed
        QCOMPARE(rig.form->colCalls().Count(), 0);
        rig.hub.TapiLineOpen(0, LineMediaMode::InteractiveVoice, 6);
        rig.lines().answerCall(id);
        rig.settle();
        QCOMPARE(rig.form->colCalls().Count(), 1);
        const CallPtr call = rig.form->colCalls().Item(id);
        QVERIFY(call->Answered() && call->IsConnected());
        QCOMPARE(rig.store.saves.size(), 1);
    }

    void idleEndsCallsButOnlyConnectedOnesAreLogged()
    {
        ControllerRig rig;
        rig.monitor({0});
        const qint32 offered =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        const int savesBefore = int(rig.store.saves.size());
        rig.lines().setState(offered, LineCallState::Idle);
        rig.settle();
        // An offered call counts as connected on its line: its end is logged and saved.
        QVERIFY(rig.logged(idText(offered) +
                           QStringLiteral("Disconnected call from 0301234567. Callee: 5551")));
        QCOMPARE(rig.store.saves.size(), savesBefore + 1);
        QVERIFY(!rig.store.saves.last().answered);
        QCOMPARE(rig.form->colCalls().Count(), 0);

        // A record that never became connected leaves without a log line or a save.
        rig.hub.TapiLineClose(0);
        const qint32 quiet = rig.lines().ring(0, QStringLiteral("1"), QStringLiteral("2")).value();
        rig.settle();
        rig.hub.TapiLineOpen(0, LineMediaMode::InteractiveVoice, 6);
        rig.lines().setState(quiet, LineCallState::Dialing);
        rig.settle();
        QCOMPARE(rig.form->colCalls().Count(), 1);
        QVERIFY(!rig.form->colCalls().Item(quiet)->IsConnected());
        const int saves = int(rig.store.saves.size());
        rig.lines().hangup(quiet);
        rig.settle();
        QCOMPARE(rig.form->colCalls().Count(), 0);
        QCOMPARE(rig.store.saves.size(), saves);
        QVERIFY(!rig.anyMessage([&](const QString& l) {
            return l.startsWith(idText(quiet) + QStringLiteral("Disconnected"));
        }));
    }

    void ringbackThenBusyStartsAFreshRecord()
    {
        ControllerRig rig;
        rig.monitor({0});
        const qint32 id = rig.lines().dialOut(0, QStringLiteral("0301234567")).value();
        rig.settle();
        QVERIFY2(rig.logged(idText(id) +
                            QStringLiteral("Outgoing call: Virtual line 1 called: 0301234567")),
                 qPrintable(rig.messages().join(QLatin1Char('\n'))));
        const CallPtr first = rig.form->colCalls().Item(id);
        QVERIFY(first->Outgoing);
        rig.lines().setState(id, LineCallState::Busy);
        rig.settle();
        const CallPtr second = rig.form->colCalls().Item(id);
        QVERIFY(second != first);
        QVERIFY(!first->IsConnected());
        QVERIFY(second->IsConnected() && second->Outgoing);
        QCOMPARE(
            rig.loggedCount(idText(id) +
                            QStringLiteral("Outgoing call: Virtual line 1 called: 0301234567")),
            2);
    }

    void callerIdNotificationAnnouncesWhenTheDeviceWaitsForIt()
    {
        ControllerRig rig(QStringList{QStringLiteral("Virtual line 1")}, [](SettingsStore& s) {
            s.SaveSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 1"),
                              QStringLiteral("GetCallerIDInOnCallerID"), QStringLiteral("1"));
        });
        rig.monitor({0});
        const qint32 id = rig.lines().ring(0, QString(), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(!rig.anyMessage(
            [](const QString& l) { return l.contains(QLatin1String("Incoming call")); }));
        rig.lines().setCallerId(id, QStringLiteral("0301234567"), QStringLiteral("Smith"));
        rig.settle();
        QVERIFY(rig.logged(idText(id) + QStringLiteral("not found (0301234567 / )")));
        QVERIFY2(rig.logged(idText(id) +
                            QStringLiteral("Incoming call from: Smith (0301234567). Callee: 5551")),
                 qPrintable(rig.messages().join(QLatin1Char('\n'))));
    }

    void callerIdOnAnAnnouncedCallIsAlreadyInQueue()
    {
        ControllerRig rig;
        rig.monitor({0});
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        rig.lines().setCallerId(id, QStringLiteral("0301234567"), QStringLiteral("Smith"));
        rig.settle();
        const QString prefix = idText(id) + QStringLiteral("Ignoring call: already in queue ([") +
                               QString::number(id) + QStringLiteral("]: 0301234567 -> 5551 on ");
        QVERIFY(rig.anyMessage([&](const QString& l) { return l.startsWith(prefix); }));
        QVERIFY(rig.form->colCalls().Item(id)->CallerName.isEmpty());
    }

    // The same call reported on two lines, the second of which waits for its
    // caller id: whichever caller-id notification comes first, the call is
    // announced once, on its first line, and the first report's own events
    // are never taken for secondary ones.
    void secondReportNeverAnnouncesTheCallAgain_data()
    {
        QTest::addColumn<bool>("secondaryFirst");
        QTest::newRow("secondary caller id first") << true;
        QTest::newRow("own caller id first") << false;
    }

    void secondReportNeverAnnouncesTheCallAgain()
    {
        QFETCH(bool, secondaryFirst);
        ControllerRig rig({QStringLiteral("Virtual line 1"), QStringLiteral("Virtual line 2")},
                          [](SettingsStore& s) {
                              s.SaveSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 2"),
                                                QStringLiteral("GetCallerIDInOnCallerID"),
                                                QStringLiteral("1"));
                          });
        rig.monitor({0, 1});
        const qint32 first =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        const qint32 second =
            rig.lines().ring(1, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QCOMPARE(rig.form->colCalls().Count(), 1);
        for (const qint32 id :
             secondaryFirst ? QList<qint32>{second, first} : QList<qint32>{first, second}) {
            rig.lines().setCallerId(id, QStringLiteral("0301234567"), QStringLiteral("Smith"));
            rig.settle();
        }

        QCOMPARE(rig.loggedCount(idText(second) + QStringLiteral("is a secondary call")), 1);
        QCOMPARE(rig.loggedCount(idText(first) + QStringLiteral("is a secondary call")), 0);
        const QStringList announced = rig.messages().filter(QStringLiteral("Incoming call from"));
        QCOMPARE(announced.size(), 1);
        QVERIFY(announced.first().startsWith(idText(first)));
        QCOMPARE(rig.popups.shown.filter(QStringLiteral("0301234567/")).size(), 1);
        QCOMPARE(rig.sound.played.size(), 1);
        const CallPtr call = rig.form->colCalls().Item(first);
        QCOMPARE(call->lDeviceID, 0);
        QVERIFY(!call->Secondary);

        // The end of the second report ends the first call; its own end removes it.
        rig.lines().hangup(second);
        rig.settle();
        QVERIFY(rig.anyMessage([&](const QString& l) {
            return l.startsWith(idText(second) + QStringLiteral("Disconnected call from "));
        }));
        QVERIFY(!call->IsConnected());
        rig.lines().hangup(first);
        rig.settle();
        QCOMPARE(rig.form->colCalls().Count(), 0);
    }

    void callerIdAfterTheAnnouncementStoresTheNumber()
    {
        ControllerRig rig({QStringLiteral("Virtual line 1")}, [](SettingsStore& s) {
            s.SaveSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 1"),
                              QStringLiteral("PrependIncoming"), QStringLiteral("0"));
        });
        rig.monitor({0});
        const qint32 id = rig.lines().ring(0, QString(), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(rig.logged(idText(id) + QStringLiteral("Incoming call from: 0. Callee: 5551")));
        rig.lines().setCallerId(id, QStringLiteral("301234567"), QStringLiteral("Smith"));
        rig.settle();
        // Announced once; the history has the name and the number with the line's rules.
        QCOMPARE(rig.messages().filter(QStringLiteral("Incoming call from")).size(), 1);
        QCOMPARE(rig.store.saves.last().caller, QStringLiteral("0301234567"));
        QCOMPARE(rig.store.saves.last().callerName, QStringLiteral("Smith"));
    }

    void calledIdNotificationMergesNames()
    {
        ControllerRig rig;
        rig.log.setLogFlag(true);
        rig.monitor({0});
        const qint32 id = rig.lines().ring(0, QStringLiteral("0301234567"), QString()).value();
        rig.settle();
        const CallPtr call = rig.form->colCalls().Item(id);
        call->CalledName.clear();
        const int saves = int(rig.store.saves.size());
        rig.lines().setCalledId(id, QStringLiteral("5551"), QStringLiteral("Office"));
        rig.settle();
        QVERIFY(rig.logged(idText(id) + QStringLiteral("OnCalledID 5551 Office")));
        QCOMPARE(call->CalledID(), QStringLiteral("5551"));
        QCOMPARE(call->CalledName, QStringLiteral("Office"));
        rig.lines().setCalledId(id, QStringLiteral("5552"), QStringLiteral("Desk"));
        rig.settle();
        QCOMPARE(call->CalledID(), QStringLiteral("5551"));
        QCOMPARE(call->CalledName, QStringLiteral("Office(Desk)"));
        QCOMPARE(rig.store.saves.size(), saves + 2);
    }

    void startNeedsADeviceAndLocksSettings()
    {
        ControllerRig rig;
        QVERIFY(!rig.form->startMonitoring());
        QVERIFY(!rig.form->Active());
        QVERIFY(rig.logged(
            QStringLiteral("RaiseError: Please select at least one device to listen to | ")));
        // The settings-locked notice was shown and remembered.
        QCOMPARE(rig.settings
                     .GetSettingHKCU(QStringLiteral("Warnings"),
                                     QStringLiteral("WarnSettingsLocked"), QString())
                     .toString(),
                 QStringLiteral("0"));
        rig.settings.SaveSettingHKCU(QStringLiteral("Warnings"),
                                     QStringLiteral("WarnSettingsLocked"), QStringLiteral("1"));
        const int shown = int(rig.dialogs.shown().size());
        QVERIFY(rig.monitor({0}));
        QCOMPARE(rig.dialogs.shown().size(), shown); // not asked again
        QVERIFY(rig.form->optionsLocked());
        QCOMPARE(rig.form->statusText(), QStringLiteral("waiting for calls"));
        QCOMPARE(rig.form->startStopCaption(), QStringLiteral("&Stop"));
        // Starting saved the options, including the running state.
        QCOMPARE(
            rig.settings
                .GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("Enabled"), QString())
                .toString(),
            QStringLiteral("0"));
        rig.form->SaveSettings();
        QCOMPARE(
            rig.settings
                .GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("Enabled"), QString())
                .toString(),
            QStringLiteral("1"));
    }

    void absurdNumbersAreCutAndCleaned()
    {
        ControllerRig rig;
        rig.monitor({0});
        const QString huge(3000, QLatin1Char('7'));
        const qint32 id = rig.lines()
                              .ring(0, huge,
                                    QStringLiteral("55\x01"
                                                   "51\n"),
                                    QStringLiteral("Sm\x07ith"))
                              .value();
        rig.settle();
        const CallPtr call = rig.form->colCalls().Item(id);
        QCOMPARE(call->CallerID().size(), LineMonitor::kMaxNumberLength);
        QCOMPARE(call->CalledID(), QStringLiteral("5551"));
        QCOMPARE(call->CallerName, QStringLiteral("Smith"));
        QVERIFY(rig.logged(
            idText(id) + QStringLiteral("Line reported an overlong text, cut to 128 characters")));
        // Calls for unknown ids and empty numbers are handled without trouble.
        const qint32 empty = rig.lines().ring(0, QString(), QString()).value();
        rig.settle();
        QVERIFY(
            rig.logged(idText(empty) +
                       QStringLiteral("Incoming call from: (unknown). Callee: Virtual line 1")));
    }

    void shutdownClosesPopupsAndForgetsCalls()
    {
        ControllerRig rig;
        rig.monitor({0});
        rig.lines().ring(0, QStringLiteral("1234567"), QStringLiteral("5551"));
        rig.settle();
        QCOMPARE(rig.form->colCalls().Count(), 1);
        rig.form->shutdownTelephony();
        QCOMPARE(rig.form->colCalls().Count(), 0);
        QCOMPARE(rig.popups.shown.last(), QStringLiteral("closed"));
        QVERIFY(!rig.hub.isInitialised());
    }
};

QTEST_GUILESS_MAIN(TestLineMonitor)
#include "TestLineMonitor.moc"
