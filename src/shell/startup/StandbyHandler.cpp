#include "StandbyHandler.h"

#include "contacts/store/CallDatabaseSwitch.h"
#include "core/controller/MainForm.h"
#include "platform/power/SleepWatcher.h"
#include "shell/settings/SettingsStore.h"

StandbyHandler::StandbyHandler(MainForm& form, CallDatabaseSwitch* callDatabase,
                               SettingsStore& settings, QObject* parent)
    : QObject(parent), m_form(form), m_callDatabase(callDatabase), m_settings(settings)
{
    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, &StandbyHandler::restart);
}

void StandbyHandler::watch(SleepWatcher& watcher)
{
    // Direct: monitoring must be stopped before the watcher lets the system sleep.
    connect(&watcher, &SleepWatcher::aboutToSleep, this, &StandbyHandler::suspend,
            Qt::DirectConnection);
    connect(&watcher, &SleepWatcher::resumed, this, &StandbyHandler::resume);
    connect(&watcher, &SleepWatcher::unavailable, &m_form,
            [this](const QString& error) { m_form.LogStr(error); });
    if (!watcher.available())
        m_form.LogStr(watcher.errorString());
}

int StandbyHandler::waitSeconds()
{
    const QVariant value = m_settings.GetSettingHKCU(
        QStringLiteral("Options"), QStringLiteral("SleepOnStartup"), kDefaultWaitSeconds);
    bool ok = false;
    const qlonglong seconds = value.toString().trimmed().toLongLong(&ok);
    if (ok && seconds >= 0 && seconds <= kMaxWaitSeconds)
        return int(seconds);
    m_form.LogStr(QStringLiteral("Options\\SleepOnStartup \"%1\" is not a number of seconds; "
                                 "waiting %2 seconds")
                      .arg(value.toString())
                      .arg(kDefaultWaitSeconds));
    return kDefaultWaitSeconds;
}

void StandbyHandler::cancel()
{
    m_restart.stop();
    m_stoppedForStandby = false;
    disconnect();
}

void StandbyHandler::suspend()
{
    m_form.LogStr(m_form.GetS(QStringLiteral("PC going to standby")));
    // A restart still waiting from the last resume would start monitoring on
    // the way into standby.
    m_restart.stop();
    // No question here: the machine goes to sleep whether anybody answers or not.
    if (m_form.Active() && m_form.stopMonitoring(false))
        m_stoppedForStandby = true;
}

void StandbyHandler::resume()
{
    m_form.LogStr(m_form.GetS(QStringLiteral("PC waking up from standby")));
    if (!m_stoppedForStandby)
        return;
    m_restart.start(waitSeconds() * 1000);
}

void StandbyHandler::restart()
{
    if (m_callDatabase)
        m_callDatabase->reopen();
    if (!m_form.Active())
        m_form.startMonitoring();
    m_stoppedForStandby = false;
    emit restarted();
}
