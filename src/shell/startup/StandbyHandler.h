#pragma once

#include <QObject>
#include <QTimer>

class CallDatabaseSwitch;
class MainForm;
class SettingsStore;
class SleepWatcher;

// Stops monitoring when the computer goes to standby and brings it back after
// resume: it waits Options\SleepOnStartup seconds (the lines and the network
// need a moment), reopens the call database and starts monitoring again. Only
// monitoring that standby stopped is restarted.
class StandbyHandler : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultWaitSeconds = 10;
    static constexpr int kMaxWaitSeconds = 24 * 60 * 60;

    StandbyHandler(MainForm& form, CallDatabaseSwitch* callDatabase, SettingsStore& settings,
                   QObject* parent = nullptr);

    // Follows the watcher's events; logs why there will be none when it is not available.
    void watch(SleepWatcher& watcher);

    // Unloading: no pending restart, no further events.
    void cancel();

    bool stoppedForStandby() const { return m_stoppedForStandby; }
    bool restartPending() const { return m_restart.isActive(); }
    // Options\SleepOnStartup in seconds; a value that is no sensible number gives the default.
    int waitSeconds();

public slots:
    void suspend();
    void resume();

signals:
    // After resume, once the database was reopened and monitoring restarted.
    void restarted();

private:
    void restart();

    MainForm& m_form;
    CallDatabaseSwitch* m_callDatabase;
    SettingsStore& m_settings;
    QTimer m_restart;
    bool m_stoppedForStandby = false;
};
