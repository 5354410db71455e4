#include "contacts/store/CallDatabase.h"
#include "contacts/store/CallDatabaseSwitch.h"
#include "platform/power/SleepWatcher.h"
#include "shell/startup/StandbyHandler.h"

#include "ControllerRig.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

namespace {

// A controller on virtual lines with the embedded call database behind the switch.
struct StandbyRig
{
    ControllerRig rig;
    CallDatabase db{[this](const QString& e) { rig.form->RaiseError(e); }};
    CallDatabaseSwitch calls{
        db, rig.settings,
        CallDatabaseSwitch::Hooks{[this](const QString& l) { rig.form->LogStr(l); },
                                  [this](const QString& e) { rig.form->RaiseError(e); },
                                  {}}};
    StandbyHandler handler{*rig.form, &calls, rig.settings};

    explicit StandbyRig(const QString& sleepOnStartup = QStringLiteral("0"))
    {
        rig.settings.SaveSettingHKLM(QString(), QStringLiteral("InstallDir"), rig.home.path());
        if (!sleepOnStartup.isNull())
            rig.settings.SaveSettingHKCU(QStringLiteral("Options"),
                                         QStringLiteral("SleepOnStartup"), sleepOnStartup);
        calls.openAtStartUp();
    }
};

} // namespace

class TestStandbyHandler : public QObject
{
    Q_OBJECT

private slots:
    void standbyWhileMonitoringRestartsAfterResume()
    {
        StandbyRig s;
        QVERIFY(s.rig.monitor({0}));
        QVERIFY(s.db.isOpen());

        s.handler.suspend();
        QVERIFY(!s.rig.form->Active());
        QVERIFY(s.handler.stoppedForStandby());
        QVERIFY(s.rig.logged(QStringLiteral("PC going to standby")));
        s.db.close(); // what a long sleep does to a server connection

        QSignalSpy restarted(&s.handler, &StandbyHandler::restarted);
        s.handler.resume();
        QVERIFY(s.rig.logged(QStringLiteral("PC waking up from standby")));
        // The wait goes through the event loop, even when it is zero seconds.
        QVERIFY(!s.rig.form->Active());
        QVERIFY(restarted.wait(2000));
        QVERIFY(s.rig.form->Active());
        QVERIFY(s.db.isOpen());
        QVERIFY(!s.handler.stoppedForStandby());
    }

    void standbyWhileStoppedStaysStopped()
    {
        StandbyRig s;
        QSignalSpy restarted(&s.handler, &StandbyHandler::restarted);
        s.handler.suspend();
        QVERIFY(!s.handler.stoppedForStandby());
        s.handler.resume();
        QVERIFY(!s.handler.restartPending());
        QVERIFY(!restarted.wait(100));
        QVERIFY(!s.rig.form->Active());
    }

    void secondStandbyDuringTheWaitCancelsTheRestart()
    {
        StandbyRig s(QStringLiteral("60"));
        QVERIFY(s.rig.monitor({0}));
        s.handler.suspend();
        s.handler.resume();
        QVERIFY(s.handler.restartPending());
        s.handler.suspend();
        QVERIFY(!s.handler.restartPending());
        QVERIFY(!s.rig.form->Active());
        // Still stopped by standby: the next resume brings monitoring back.
        QVERIFY(s.handler.stoppedForStandby());
        s.handler.resume();
        QVERIFY(s.handler.restartPending());
    }

    void waitSeconds_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("complaint");
        QTest::newRow("number") << "3" << 3 << false;
        QTest::newRow("missing") << QString() << 10 << false;
        QTest::newRow("text") << "soon" << 10 << true;
        QTest::newRow("negative") << "-5" << 10 << true;
        QTest::newRow("years") << "99999999999" << 10 << true;
    }

    void waitSeconds()
    {
        QFETCH(QString, stored);
        QFETCH(int, seconds);
        QFETCH(bool, complaint);
        StandbyRig s(stored);
        QCOMPARE(s.handler.waitSeconds(), seconds);
        QCOMPARE(s.rig.anyMessage([](const QString& line) {
            return line.startsWith(QLatin1String("Options\\SleepOnStartup"));
        }),
                 complaint);
    }

    void withoutSystemBusThereAreNoPowerEvents()
    {
        StandbyRig s;
        const QString name = QStringLiteral("phonavo-test-nobus");
        {
            SleepWatcher watcher(
                QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name));
            QVERIFY(!watcher.available());
            QVERIFY(!watcher.holdsInhibitor());
            QVERIFY(watcher.errorString().startsWith(
                QLatin1String("Power events are not available: ")));
            s.handler.watch(watcher);
            QVERIFY(s.rig.logged(watcher.errorString()));
        }
        QDBusConnection::disconnectFromBus(name);
    }
};

QTEST_GUILESS_MAIN(TestStandbyHandler)
#include "TestStandbyHandler.moc"
