#include "MainForm.h"

#include "Editors.h"
#include "core/devices/NumberRules.h"
#include "core/log/ProgramLog.h"
#include "core/monitor/LineMonitor.h"
#include "core/pipeline/CallPipeline.h"
#include "core/pipeline/CallSeams.h"
#include "core/pipeline/PartyName.h"
#include "platform/telephony/TelephonyWrapper.h"
#include "shell/dialogs/DialogService.h"
#include "shell/dialogs/Warnings.h"
#include "shell/settings/SettingsBackup.h"
#include "shell/settings/SettingsStore.h"

MainForm::MainForm(Services services, QObject* parent)
    : QObject(parent), m_s(services),
      m_warnings(std::make_unique<Warnings>(services.settings, services.dialogs, services.loc)),
      m_monitor(std::make_unique<LineMonitor>(*this)),
      m_pipeline(std::make_unique<CallPipeline>(*this))
{
    RefreshShowStatus();
}

MainForm::~MainForm() = default;

void MainForm::LogStr(const QString& text)
{
    m_s.log.LogStr(text);
}

void MainForm::DoLogStr(const QString& text) noexcept
{
    m_s.log.DoLogStr(text);
}

void MainForm::logCall(const QString& callId, const QString& text)
{
    LogStr(QLatin1Char('[') + callId + QStringLiteral("] ") + text);
}

QString MainForm::getTranslation(const QString& text, const QString& p1, const QString& p2,
                                 const QString& p3, const QString& p4) const
{
    // All four go in, empty ones too: a "%s" for an empty value is filled
    // with nothing instead of showing through.
    return m_s.loc.GetS(text, QStringList{p1, p2, p3, p4});
}

void MainForm::RaiseError(const QString& text, const std::optional<ErrorInfo>& error, bool apology)
{
    m_s.errors.RaiseError(text, error, apology);
}

bool MainForm::debugMode() const
{
    return m_s.log.debugFlag();
}

bool MainForm::logMode() const
{
    return m_s.log.logFlag();
}

void MainForm::setTapiLog(bool on)
{
    m_s.log.setLogFlag(on);
}

void MainForm::setCallStore(CallStore* store)
{
    m_store = store;
    m_calls.setCallStore(store);
}

void MainForm::setPopupFactory(CallPopupFactory* popups)
{
    m_popups = popups;
    m_calls.setPopupFactory(popups);
}

void MainForm::loadOptions()
{
    m_options.load(m_s.settings);
    selectOutgoingDevice();
}

void MainForm::SaveSettings()
{
    if (!m_loaded)
        return;
    m_options.save(m_s.settings, m_active);
    m_s.settings.SaveSettingHKLM(QString(), QStringLiteral("Log"),
                                 logMode() ? QStringLiteral("1") : QStringLiteral("0"));
    for (const DevicePtr& device : m_devices.NewEnum())
        device->Save(m_s.settings);
}

bool MainForm::backupSettingsTo(const QString& filePath)
{
    if (filePath.isEmpty())
        return false;
    m_s.settings.flush();
    const auto written = SettingsBackup::exportAll(m_s.settings, filePath);
    if (!written) {
        RaiseError(written.error());
        return false;
    }
    m_s.dialogs.messageBox(
        GetS(QStringLiteral("All Settings saved.{\\r}To restore the settings on this computer or "
                            "another{\\r}machine just double-click the saved file.")),
        MsgStyle::Information, QString());
    return true;
}

bool MainForm::mnuResetWarnings()
{
    const int answer = m_s.dialogs.messageBox(
        GetS(QStringLiteral(
            "This will reset all \"Do not ask again\" checkboxes from the warning dialogs in "
            "Phonavo so that all message boxes are shown again")),
        MsgStyle::YesNo | MsgStyle::Question, QString());
    if (answer != MsgResult::Yes)
        return false;
    m_s.settings.deleteKeyTree(SettingsStore::Hive::CurrentUser,
                               SettingsStore::rootKey() + QStringLiteral("\\Warnings"));
    return true;
}

void MainForm::initTelephony()
{
    m_monitor->initTelephony();
    selectOutgoingDevice();
}

void MainForm::openMonitoredLines()
{
    m_monitor->openMonitoredLines();
}

void MainForm::btnStartStop_Click()
{
    if (m_active)
        stopMonitoring();
    else
        startMonitoring();
}

bool MainForm::startMonitoring()
{
    bool started = false;
    trapErrors(m_s.errors, QStringLiteral("btnStartStop"), [&] { started = m_monitor->start(); });
    RefreshShowStatus();
    if (m_tray)
        m_tray->refresh();
    return started;
}

bool MainForm::stopMonitoring(bool askFirst)
{
    bool stopped = false;
    trapErrors(m_s.errors, QStringLiteral("btnStartStop"),
               [&] { stopped = m_monitor->stop(askFirst); });
    RefreshShowStatus();
    if (m_tray)
        m_tray->refresh();
    return stopped;
}

void MainForm::RefreshShowStatus()
{
    m_statusText =
        GetS(m_active ? QStringLiteral("waiting for calls") : QStringLiteral("not listening"));
    m_startStopCaption = GetS(m_active ? QStringLiteral("&Stop") : QStringLiteral("&Start"));
    emit statusChanged();
}

bool MainForm::setDeviceMonitored(qint32 deviceId, bool checked)
{
    const DevicePtr device = m_devices.find(deviceId);
    if (!device || device->isPseudoDevice())
        return false;
    device->bMonitor = checked;
    if (checked && m_devices.monitoredCount() > ColDevices::kMaxMonitored) {
        RaiseError(GetS(QStringLiteral("Only %s TAPI devices can be monitored at once"),
                        QString::number(ColDevices::kMaxMonitored)));
        device->bMonitor = false;
        emit deviceListChanged();
        return false;
    }
    emit deviceListChanged();
    return checked;
}

bool MainForm::EditDevice(qint32 deviceId)
{
    const DevicePtr device = m_devices.find(deviceId);
    if (!device || !m_deviceEditor)
        return false;
    const bool confirmed = m_deviceEditor->EditDevice(*device);
    setDeviceMonitored(deviceId, device->bMonitor);
    return confirmed;
}

void MainForm::setOutgoingDevice(const QString& deviceName)
{
    m_options.setValue(QStringLiteral("cmbOutgoingDevice"), deviceName);
}

QStringList MainForm::outgoingDeviceNames() const
{
    QStringList names;
    for (qint32 id : m_listedDevices)
        names << deviceDisplayName(id);
    if (m_plugins)
        for (const auto& [name, id] : m_plugins->outgoingDevices())
            names << name;
    return names;
}

void MainForm::reselectOutgoingDevice()
{
    selectOutgoingDevice();
}

void MainForm::selectOutgoingDevice()
{
    // A stored device that is not listed (or none stored) selects the first
    // one, so dialling works in both front ends without a visit to the window.
    const QStringList names = outgoingDeviceNames();
    if (!names.contains(m_options.text(QStringLiteral("cmbOutgoingDevice"))))
        setOutgoingDevice(names.value(0));
}

void MainForm::shutdownTelephony()
{
    while (m_calls.Count() > 0) {
        const CallPtr call = m_calls.Item(0);
        call->HideNotification();
        m_calls.Remove(call->CallID.toInt());
    }
    for (const DevicePtr& device : m_devices.NewEnum())
        if (device->lDeviceID >= 0)
            m_s.telephony.TapiLineClose(device->lDeviceID);
    m_s.telephony.TapiLineShutDown();
}

QString MainForm::deviceDisplayName(qint32 deviceId) const
{
    const DevicePtr device = m_devices.find(deviceId);
    QString name = device ? device->DeviceName : QString();
    // Calls of connection plug-ins carry the plug-in's position, not a line.
    if (name.isEmpty() && deviceId >= kFirstPluginDeviceId && m_plugins)
        name = m_plugins->connectionPluginName(deviceId);
    return name.isEmpty() ? GetS(QStringLiteral("Device %s"), QString::number(deviceId)) : name;
}

QString MainForm::defaultMsnName() const
{
    return GetS(QStringLiteral("(default)"));
}

QString MainForm::getNameForMSN(const QString& number) const
{
    return m_msns.nameForMSN(number, defaultMsnName());
}

QString MainForm::getNameForMSN(const QString& number, const QString& defaultName) const
{
    return m_msns.nameForMSN(number, defaultMsnName(), &defaultName);
}

void MainForm::loadMSNs()
{
    m_msns.Load(m_s.settings);
    if (m_msns.Count() == 0) {
        MSNPtr entry = m_msns.Add(defaultMsnName());
        entry->MSN = QStringLiteral("*");
        entry->Clients = QStringLiteral("*");
    }
    emit msnsChanged();
}

void MainForm::saveAndReloadMSNs()
{
    // Loaded again after every change, so an emptied table gets its default
    // entry back at once instead of leaving every client without calls.
    m_msns.Save(m_s.settings);
    loadMSNs();
}

bool MainForm::newMSN()
{
    auto entry = std::make_shared<CMSN>();
    entry->Name = GetS(QStringLiteral("(new)"));
    entry->Clients = QStringLiteral("*");
    entry->MSN = QStringLiteral("*");
    if (!m_msnEditor ||
        !m_msnEditor->EditMSN(*entry, m_options.flag(QStringLiteral("cbPhonavoServer"))))
        return false;
    m_msns.AddItem(entry);
    saveAndReloadMSNs();
    return true;
}

bool MainForm::editMSN(int position)
{
    const MSNPtr entry = m_msns.Item(position);
    if (!entry || !m_msnEditor ||
        !m_msnEditor->EditMSN(*entry, m_options.flag(QStringLiteral("cbPhonavoServer"))))
        return false;
    saveAndReloadMSNs();
    return true;
}

bool MainForm::deleteMSN(int position)
{
    if (m_msns.Count() < 1 || !m_msns.Item(position))
        return false;
    const int answer =
        m_s.dialogs.messageBox(GetS(QStringLiteral("Really DELETE this MSN from your list?")),
                               MsgStyle::YesNo | MsgStyle::Question, QString());
    if (answer != MsgResult::Yes)
        return false;
    m_msns.Remove(position);
    saveAndReloadMSNs();
    return true;
}

void MainForm::IncomingCall(const CallPtr& call)
{
    m_pipeline->IncomingCall(call);
}

CallPtr MainForm::IncomingCallHandling(const QString& callerNumber, qint32 dbCallId, CallPtr call)
{
    return m_pipeline->IncomingCallHandling(callerNumber, dbCallId, std::move(call));
}

bool MainForm::OutgoingCall(const CallPtr& call)
{
    return m_pipeline->OutgoingCall(call);
}

CallPtr MainForm::OutgoingCallHandling(const QString& calledNumber, qint32 callId, CallPtr call)
{
    return m_pipeline->OutgoingCallHandling(calledNumber, callId, std::move(call));
}

void MainForm::evtIncomingCall(qint32 callId, const QString& deviceName, const QString& callerId,
                               const QString& callerName, const QString& calledId,
                               const QString& calledName, const QString& extra,
                               const QString& picture)
{
    trapErrors(m_s.errors, QStringLiteral("evtIncomingCall"), [&] {
        m_pipeline->pluginIncomingCall(callId, deviceName, callerId, callerName, calledId,
                                       calledName, extra, QString(), picture, false);
    });
}

void MainForm::evtOutgoingCall(qint32 callId, const QString& deviceName, const QString& callerId,
                               const QString& callerName, const QString& calledId,
                               const QString& calledName, const QString& extra,
                               const QString& calledExtra, const QString& picture)
{
    trapErrors(m_s.errors, QStringLiteral("evtOutgoingCall"), [&] {
        m_pipeline->pluginIncomingCall(callId, deviceName, callerId, callerName, calledId,
                                       calledName, extra, calledExtra, picture, true);
    });
}

qint32 MainForm::newCallId()
{
    if (m_newCallId)
        return m_newCallId();
    // Without lines (some tests) ids still must not clash with each other.
    return ++m_fallbackCallId;
}

void MainForm::evtCallAnswered(qint32 callId)
{
    trapErrors(m_s.errors, QStringLiteral("evtCallAnswered"),
               [&] { m_pipeline->pluginCallAnswered(callId); });
}

void MainForm::evtCallDisconnected(qint32 callId)
{
    trapErrors(m_s.errors, QStringLiteral("evtCallDisconnected"),
               [&] { m_pipeline->pluginCallDisconnected(callId); });
}

void MainForm::RaiseNotificationAction(const QString& caption)
{
    m_pipeline->RaiseNotificationAction(caption);
}

QString MainForm::FormatPartyName(const QString& number, const QString& name) const
{
    return ::FormatPartyName(m_s.loc, number, name);
}

CCall MainForm::GetCallByID(qint32 callId)
{
    return *m_calls.Item(callId);
}

qint32 MainForm::CurrentCallDBID() const
{
    return m_currentCall ? m_currentCall->DBCallID : 0;
}

QString MainForm::OriginalCallerID() const
{
    return m_currentCall ? m_currentCall->OriginalCallerID : QString();
}

QString MainForm::OriginalCalledID() const
{
    return m_currentCall ? m_currentCall->OriginalCalledID : QString();
}

void MainForm::setTrayToolTip(const QString& text)
{
    m_trayToolTip = text;
    if (m_tray)
        m_tray->setToolTip(text);
    emit trayToolTipChanged(text);
}

bool MainForm::StartCall(const QString& number, ReportTo reportTo)
{
    bool dialled = false;
    const auto fail = [&](const QString& text) {
        if (reportTo == ReportTo::User)
            RaiseError(text);
        else
            LogStr(text);
    };
    const auto dial = [&] {
        const QString deviceName = m_options.text(QStringLiteral("cmbOutgoingDevice"));
        if (m_plugins)
            for (const auto& [name, id] : m_plugins->outgoingDevices())
                if (name == deviceName) {
                    dialled = m_plugins->startCall(id, DigitsOnly(number));
                    return;
                }
        const qint32 device = m_s.telephony.getDeviceIdFromName(deviceName);
        if (device < 0 || device >= kFirstPluginDeviceId) {
            fail(GetS(QStringLiteral("No outgoing line device selected (%s)"), deviceName));
            return;
        }
        CDevice d;
        d.lDeviceID = device;
        d.DeviceName = m_s.telephony.getDeviceName(device);
        d.Load(m_s.settings);
        const QString digits = d.rewriteOutgoing(DigitsOnly(number));
        LogStr(GetS(QStringLiteral("Starting outgoing call on device %s: %s"),
                    QString::number(device) + QLatin1Char('=') + d.DeviceName, digits));
        dialled = m_s.telephony.TapiLineDial(device, digits) >= 0;
    };
    if (reportTo == ReportTo::User) {
        trapErrors(m_s.errors, QStringLiteral("StartCall"), dial);
        return dialled;
    }
    try {
        dial();
    } catch (const std::exception& e) {
        LogStr(QStringLiteral("StartCall: ") + QString::fromLocal8Bit(e.what()));
    }
    return dialled;
}
