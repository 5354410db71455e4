#include "LineMonitor.h"

#include "core/calls/CallText.h"

#include "core/controller/MainForm.h"
#include "core/log/ProgramLog.h"
#include "core/pipeline/CallSeams.h"
#include "platform/telephony/TelephonyWrapper.h"
#include "shell/dialogs/Warnings.h"
#include "shell/settings/SettingsStore.h"

namespace {

const QString kWhere = QStringLiteral("LineMonitor");

struct DumpField
{
    int field;
    const char* label;
    int valueKind; // 0 = plain text
};

const DumpField kDumpFields[] = {
    {CallInfoField::CallState, "CallState: ", LineValueKind::CallState},
    {CallInfoField::CallerId, "CallerId: ", 0},
    {CallInfoField::CallerIdName, "CallerIdName: ", 0},
    {CallInfoField::ConnectedId, "ConnectedId: ", 0},
    {CallInfoField::ConnectedIdName, "ConnectedIdName: ", 0},
    {CallInfoField::RedirectionId, "RedirectionId: ", 0},
    {CallInfoField::RedirectingId, "RedirectingId: ", 0},
    {CallInfoField::CalledId, "CalledId: ", 0},
    {CallInfoField::Trunk, "Trunk: ", 0},
    {CallInfoField::CallOrigin, "CallOrigin: ", LineValueKind::CallOrigin},
    {CallInfoField::CallReason, "CallReason: ", LineValueKind::CallReason},
    {CallInfoField::CallId, "CallId: ", 0},
    {CallInfoField::RelatedCallId, "relatedCallId: ", 0},
    {CallInfoField::CallFeatures, "CallFeatures: ", LineValueKind::CallFeatures},
    {CallInfoField::CallFeatures2, "CallFeatures2: ", LineValueKind::CallFeatures},
    {CallInfoField::CallPrivilege, "CallPrivilege: ", LineValueKind::CallPrivilege},
    {CallInfoField::CallData, "CallData: ", 0},
    {CallInfoField::AddressId, "AddressId: ", 0},
    {CallInfoField::ChargeInfo, "ChargeInfo: ", 0},
    {CallInfoField::NumMonitors, "numMonitors: ", 0},
    {CallInfoField::NumOwners, "numOwners: ", 0},
    {CallInfoField::AppSpecific, "AppSpecific: ", 0},
};

// Line sources are outside our control.
QString sanitize(const QString& text, int maxLength, bool* cut)
{
    return cleanCallText(text, maxLength, cut);
}

} // namespace

void LineMonitor::initTelephony()
{
    trapErrors(m_form.errors(), kWhere + QStringLiteral(".initTelephony"), [&] {
        m_form.m_devices.Clear();
        m_form.m_listedDevices.clear();
        TelephonyWrapper& tapi = m_form.telephony();
        qint32 count = 0;
        const qint32 result = tapi.TapiLineInitEx(
            QString::fromLatin1(MainForm::kProductName),
            [this](const LineNotification& n) { onNotification(n); }, count);
        if (result != LineResult::Ok)
            PHONAVO_THROW(QStringLiteral("Telephony could not be initialised: %1")
                              .arg(lineResultText(result)));
        m_form.m_devices.Add(CDevice::kPseudoDeviceId,
                             QString::fromLatin1(CDevice::kPseudoDeviceName));
        for (qint32 n = 0; n < count; ++n) {
            if (!(tapi.getMediaModes(n) &
                  (LineMediaMode::InteractiveVoice | LineMediaMode::AutomatedVoice)))
                continue;
            const QString name = tapi.getDeviceName(n).trimmed();
            if (name.startsWith(QLatin1String("IPCONF")) || name.startsWith(QLatin1String("H323")))
                continue;
            m_form.m_listedDevices.append(n);
            DevicePtr device = m_form.m_devices.Add(n, name);
            device->Load(m_form.settings());
        }
    });
    emit m_form.deviceListChanged();
}

void LineMonitor::openMonitoredLines()
{
    TelephonyWrapper& tapi = m_form.telephony();
    for (const DevicePtr& device : m_form.m_devices.NewEnum())
        if (device->lDeviceID >= 0)
            tapi.TapiLineClose(device->lDeviceID);
    for (const DevicePtr& device : m_form.m_devices.NewEnum()) {
        if (!device->bMonitor || device->lDeviceID < 0)
            continue;
        trapErrors(m_form.errors(), kWhere + QStringLiteral(".openMonitoredLines"), [&] {
            if (m_form.logMode())
                m_form.LogStr(m_form.GetS(QStringLiteral("Start listen to TAPI Device: %s"),
                                          device->DeviceName) +
                              QStringLiteral(" (ID: %1)").arg(device->lDeviceID));
            const qint32 mediaMode =
                device->bIsDataModem ? LineMediaMode::DataModem : LineMediaMode::InteractiveVoice;
            const qint32 privileges = device->bOwner
                                          ? (LinePrivilege::Owner | LinePrivilege::Monitor)
                                          : LinePrivilege::Monitor;
            const qint32 result = tapi.TapiLineOpen(device->lDeviceID, mediaMode, privileges);
            if (result != LineResult::Ok)
                PHONAVO_THROW(QStringLiteral("Unable to open %1 (ID: %2): %3")
                                  .arg(device->DeviceName)
                                  .arg(device->lDeviceID)
                                  .arg(lineResultText(result)));
        });
    }
}

void LineMonitor::closeMonitoredLines()
{
    for (const DevicePtr& device : m_form.m_devices.NewEnum()) {
        if (!device->bMonitor || device->lDeviceID < 0)
            continue;
        m_form.telephony().TapiLineClose(device->lDeviceID);
        if (m_form.logMode())
            m_form.LogStr(QStringLiteral("stop listen to TAPI Device: ") + device->DeviceName +
                          QStringLiteral(" (ID: %1)").arg(device->lDeviceID));
    }
}

bool LineMonitor::stop(bool askFirst)
{
    ClientNotifier* clients = m_form.clientNotifier();
    if (askFirst && clients && clients->connectedClients() > 0 && !clients->confirmStop())
        return false;
    m_form.LogStr(m_form.GetS(QStringLiteral("Stopping Phonavo monitor")));
    closeMonitoredLines();
    if (PluginHost* plugins = m_form.pluginHost())
        trapErrors(m_form.errors(), kWhere + QStringLiteral(".stopPlugins"),
                   [&] { plugins->stopConnectionPlugins(); });
    if (clients)
        trapErrors(m_form.errors(), kWhere + QStringLiteral(".stopServer"),
                   [&] { clients->stopServer(); });
    m_form.m_active = false;
    return true;
}

bool LineMonitor::start()
{
    m_form.LogStr(m_form.GetS(QStringLiteral("Starting Phonavo monitor")));
    m_form.warnings().showNotice(
        QStringLiteral("WarnSettingsLocked"),
        QStringLiteral("Info: The settings are locked when Phonavo listens for calls.{\\r}You can "
                       "change the settings again when you stop Phonavo by hitting the "
                       "'Stop'-button."));
    ClientNotifier* clients = m_form.clientNotifier();
    if (clients && !clients->checkPasswordOnStart())
        return false;
    m_form.SaveSettings();
    PluginHost* plugins = m_form.pluginHost();
    const bool anyPlugin = plugins && plugins->anyConnectionPluginEnabled();
    if (m_form.m_devices.monitoredCount() == 0 && !anyPlugin) {
        m_form.RaiseError(
            m_form.GetS(QStringLiteral("Please select at least one device to listen to")));
        return false;
    }
    openMonitoredLines();
    if (plugins)
        trapErrors(m_form.errors(), kWhere + QStringLiteral(".startPlugins"),
                   [&] { plugins->startConnectionPlugins(); });
    if (clients && clients->serverEnabled())
        trapErrors(m_form.errors(), kWhere + QStringLiteral(".startServer"),
                   [&] { clients->startServer(); });
    if (AddressBook* book = m_form.addressBook())
        trapErrors(m_form.errors(), kWhere + QStringLiteral(".addressBook"),
                   [&] { book->monitoringStarted(); });
    m_form.m_active = true;
    return true;
}

void LineMonitor::onNotification(const LineNotification& n)
{
    trapErrors(m_form.errors(), kWhere + QStringLiteral(".onNotification"), [&] {
        switch (n.kind) {
        case LineNotification::CallState:
            onCallState(n.device, n.callHandle, n.state, n.callId);
            break;
        case LineNotification::CallerId:
            onCallerId(n.device, n.callHandle, n.callId, n.number, n.name);
            break;
        case LineNotification::CalledId:
            onCalledId(n.callId, n.number, n.name);
            break;
        default:
            break;
        }
    });
}

QString LineMonitor::lineText(qint32 device, qint32 callHandle, int field, qint32 callId)
{
    bool cut = false;
    const QString text = sanitize(
        m_form.telephony().getCallRelevantInfos(device, callHandle, field), kMaxNumberLength, &cut);
    if (cut)
        m_form.logCall(QString::number(callId),
                       QStringLiteral("Line reported an overlong text, cut to %1 characters")
                           .arg(kMaxNumberLength));
    return text;
}

std::shared_ptr<CDevice> LineMonitor::deviceFor(qint32 deviceId)
{
    DevicePtr device;
    if (deviceId >= MainForm::kFirstPluginDeviceId) {
        device = std::make_shared<CDevice>();
        device->lDeviceID = deviceId;
        if (PluginHost* plugins = m_form.pluginHost())
            device->DeviceName = plugins->connectionPluginName(deviceId);
    } else {
        device = m_form.m_devices.find(deviceId);
        if (!device) {
            // A line that is not (or no longer) in the list: its rules are the defaults.
            device = std::make_shared<CDevice>();
            device->lDeviceID = deviceId;
            device->DeviceName = m_form.deviceDisplayName(deviceId);
            return device;
        }
    }
    device->Load(m_form.settings());
    return device;
}

void LineMonitor::logAlreadyInQueue(qint32 callId, const CCall& found)
{
    m_form.logCall(
        QString::number(callId),
        m_form.GetS(QStringLiteral("Ignoring call: already in queue (%s -> %s on %s)"),
                    QLatin1Char('[') + found.CallID + QStringLiteral("]: ") + found.CallerID(),
                    found.CalledID(), ProgramLog::formatGeneralDate(found.CallStart)));
}

void LineMonitor::onCallState(qint32 device, qint32 callHandle, qint32 state, qint32 callId)
{
    m_form.m_lastNotifiedCallId = callId;
    const QString id = QString::number(callId);
    const QString deviceName = m_form.deviceDisplayName(device);
    if (m_form.traceOn())
        m_form.logCall(
            id, m_form.GetS(QStringLiteral("%s is now: %s "), deviceName,
                            m_form.telephony().getStrFromValue(LineValueKind::CallState, state)));
    ColCalls& calls = m_form.m_calls;
    switch (state) {
    case LineCallState::Offering: {
        if (m_form.debugMode())
            dumpCallInfo(device, callHandle);
        const QString caller = lineText(device, callHandle, CallInfoField::CallerId, callId);
        const QString called = lineText(device, callHandle, CallInfoField::CalledId, callId);
        if (const CallPtr found = calls.Find(caller, called, callId)) {
            logAlreadyInQueue(callId, *found);
            return;
        }
        CallPtr c = calls.ItemForNewCall(callId);
        c->Outgoing = false;
        c->setIsConnected(true);
        c->setCalledID(called);
        c->CalledName = m_form.getNameForMSN(called, QString());
        c->setCallerID(caller);
        c->CallerName = lineText(device, callHandle, CallInfoField::CallerIdName, callId);
        c->lDeviceID = device;
        c->SaveCall();
        const DevicePtr dev = deviceFor(c->lDeviceID);
        if (!dev->GetCallerIDInOnCallerID)
            m_form.IncomingCall(c);
        break;
    }
    case LineCallState::Dialing:
        calls.Item(callId)->Outgoing = true;
        break;
    case LineCallState::Ringback:
    case LineCallState::Busy: {
        if (m_form.debugMode())
            dumpCallInfo(device, callHandle);
        CallPtr c = calls.ItemForNewCall(callId);
        c->Outgoing = true;
        c->setIsConnected(true);
        c->setCalledID(lineText(device, callHandle, CallInfoField::CalledId, callId));
        c->setCallerID(lineText(device, callHandle, CallInfoField::CallerId, callId));
        c->lDeviceID = device;
        c->SaveCall();
        m_form.OutgoingCall(c);
        break;
    }
    case LineCallState::Connected: {
        CallPtr c = calls.Item(callId);
        c->AnswerCall();
        if (PluginHost* plugins = m_form.pluginHost())
            trapErrors(m_form.errors(), kWhere + QStringLiteral(".answered"),
                       [&] { plugins->raiseCallAnswered(c->DBCallID); });
        if (ClientNotifier* clients = m_form.clientNotifier())
            trapErrors(m_form.errors(), kWhere + QStringLiteral(".answered"),
                       [&] { clients->callAnswered(*c); });
        if (PluginHost* plugins = m_form.pluginHost())
            trapErrors(m_form.errors(), kWhere + QStringLiteral(".answered"),
                       [&] { plugins->notifyCallAnswered(*c); });
        break;
    }
    case LineCallState::Idle: {
        CallPtr c = calls.Item(callId);
        if (c->IsConnected()) {
            m_form.logCall(id, m_form.GetS(QStringLiteral("Disconnected call from %s. Callee: %s"),
                                           m_form.FormatPartyName(c->CallerID(), c->CallerName),
                                           m_form.FormatPartyName(c->CalledID(), c->CalledName)));
            c->setIsConnected(false);
            c->SaveCall();
            if (AddressBook* book = m_form.addressBook())
                trapErrors(m_form.errors(), kWhere + QStringLiteral(".journal"),
                           [&] { book->journalCall(*c); });
            if (PluginHost* plugins = m_form.pluginHost())
                trapErrors(m_form.errors(), kWhere + QStringLiteral(".disconnected"),
                           [&] { plugins->raiseCallDisconnected(c->DBCallID); });
            if (m_form.options().flag(QStringLiteral("cbHideNotificationOnEndOfCall")))
                c->HideNotification();
            if (ClientNotifier* clients = m_form.clientNotifier())
                trapErrors(m_form.errors(), kWhere + QStringLiteral(".disconnected"),
                           [&] { clients->callDisconnected(*c); });
            if (PluginHost* plugins = m_form.pluginHost())
                trapErrors(m_form.errors(), kWhere + QStringLiteral(".disconnected"),
                           [&] { plugins->notifyCallDisconnected(*c); });
        }
        calls.Remove(callId);
        break;
    }
    default:
        break;
    }
}

void LineMonitor::onCallerId(qint32 device, qint32 callHandle, qint32 callId,
                             const QString& rawNumber, const QString& rawName)
{
    const QString id = QString::number(callId);
    bool cut = false;
    const QString number = sanitize(rawNumber, kMaxNumberLength, &cut);
    const QString name = sanitize(rawName, kMaxNumberLength, &cut);
    ColCalls& calls = m_form.m_calls;
    CallPtr c = calls.Item(callId);
    if (c->Secondary) {
        // The first report's own notifications name and announce the call; a
        // second report's would announce it again and move it to its line.
        m_form.LogStr(QLatin1Char('[') + id + QStringLiteral("] is a secondary call"));
        return;
    }
    const QString first = c->OriginalCallerID.isEmpty() ? number : c->OriginalCallerID;
    const QString second = c->OriginalCalledID;
    if (const CallPtr found = calls.Find(first, second, callId)) {
        logAlreadyInQueue(callId, *found);
        return;
    }
    m_form.LogStr(QLatin1Char('[') + id + QStringLiteral("] not found (") + first +
                  QStringLiteral(" / ") + second + QLatin1Char(')'));
    if (m_form.traceOn())
        m_form.LogStr(QLatin1Char('[') + id + QStringLiteral("] OnCallerID ") +
                      m_form.FormatPartyName(number, name) + QLatin1Char(' ') +
                      (c->Outgoing ? QStringLiteral("(outgoing)") : QStringLiteral("(incoming)")));
    c->lDeviceID = device;
    if (!name.isEmpty() && name != c->CallerName && c->CallerName.isEmpty()) {
        c->CallerName = name.trimmed();
        if (c->IsConnected())
            c->SaveCall();
    }
    if (c->Outgoing)
        return;
    const bool waitsForCallerId = c->lDeviceID < MainForm::kFirstPluginDeviceId &&
                                  c->IsConnected() &&
                                  deviceFor(c->lDeviceID)->GetCallerIDInOnCallerID;
    if (!waitsForCallerId && c->OriginalCallerID.isEmpty() && !number.trimmed().isEmpty()) {
        // Announced before the line had its number: the announcement stands,
        // but the history gets the number, after the line's rules like any other.
        c->OriginalCallerID = number.trimmed();
        c->setCallerID(deviceFor(c->lDeviceID)->rewriteCaller(number.trimmed()));
        if (c->IsConnected())
            c->SaveCall();
    }
    if (c->Showing() && c->CallerName != name) {
        c->HideNotification();
        c->ShowCall(c->CallerID(), c->CalledID(), c->CallerName, QString(), c->CallerExtra,
                    c->PictureFilename);
    }
    if (waitsForCallerId) {
        if (m_form.debugMode())
            dumpCallInfo(device, callHandle);
        c->setCallerID(number.trimmed());
        m_form.IncomingCall(c);
    }
}

void LineMonitor::onCalledId(qint32 callId, const QString& rawNumber, const QString& rawName)
{
    bool cut = false;
    const QString number = sanitize(rawNumber, kMaxNumberLength, &cut);
    const QString name = sanitize(rawName, kMaxNumberLength, &cut);
    if (m_form.traceOn())
        m_form.LogStr(QLatin1Char('[') + QString::number(callId) + QStringLiteral("] OnCalledID ") +
                      number + QLatin1Char(' ') + name);
    CallPtr c = m_form.m_calls.Item(callId);
    bool changed = false;
    if (!name.isEmpty()) {
        c->CalledName = c->CalledName.isEmpty()
                            ? name
                            : c->CalledName + QLatin1Char('(') + name + QLatin1Char(')');
        changed = true;
    }
    if (number != c->CalledID() && c->CalledID().isEmpty()) {
        c->setCalledID(number);
        changed = true;
    }
    if (changed && c->IsConnected())
        c->SaveCall();
}

void LineMonitor::dumpCallInfo(qint32 device, qint32 callHandle)
{
    TelephonyWrapper& tapi = m_form.telephony();
    for (const DumpField& f : kDumpFields) {
        const QString text = tapi.getCallRelevantInfos(device, callHandle, f.field);
        if (text.isEmpty())
            continue;
        QString shown = text;
        if (f.valueKind != 0) {
            bool ok = false;
            const qint32 value = text.toInt(&ok);
            if (ok)
                shown = tapi.getStrFromValue(f.valueKind, value);
        }
        m_form.LogStr(QStringLiteral("  ") + QString::fromLatin1(f.label) + shown);
    }
}
