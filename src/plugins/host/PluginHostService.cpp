#include "PluginHostService.h"

#include "core/controller/MainForm.h"

PluginHostService::PluginHostService(MainForm& form, QStringList pluginDirs, bool headless)
    : m_form(form), m_catalog(std::move(pluginDirs)),
      m_connections(std::make_unique<ConnectionPluginList>(form, m_catalog, headless)),
      m_notifications(std::make_unique<NotificationPluginList>(form, m_catalog, headless)),
      m_reverse(std::make_unique<ReversePluginList>(form, m_catalog, headless))
{}

PluginHostService::~PluginHostService() = default;

void PluginHostService::shutdown()
{
    m_connections->shutdown();
    m_notifications->shutdown();
    m_reverse->shutdown();
    m_automation = {};
}

namespace {
void raise(const std::function<void(qint32)>& event, qint32 dbCallId)
{
    if (event)
        event(dbCallId);
}
} // namespace

void PluginHostService::raiseIncomingCall(qint32 dbCallId)
{
    raise(m_automation.incoming, dbCallId);
}

void PluginHostService::raiseOutgoingCall(qint32 dbCallId)
{
    raise(m_automation.outgoing, dbCallId);
}

void PluginHostService::raiseCallAnswered(qint32 dbCallId)
{
    raise(m_automation.answered, dbCallId);
}

void PluginHostService::raiseCallDisconnected(qint32 dbCallId)
{
    raise(m_automation.disconnected, dbCallId);
}

QString PluginHostService::connectionPluginName(qint32 deviceId) const
{
    const CConnectionPlugin* plugin = m_connections->byDeviceId(deviceId);
    return plugin ? plugin->Name : QString();
}

qint32 PluginHostService::connectionPluginDeviceId(const QString& name) const
{
    return MainForm::kFirstPluginDeviceId + m_connections->positionFor(name);
}

bool PluginHostService::canRejectCalls(qint32 deviceId) const
{
    CConnectionPlugin* plugin = m_connections->byDeviceId(deviceId);
    bool can = false;
    if (plugin)
        m_connections->guarded(*plugin, "CanRejectCall",
                               [&] { can = plugin->objConnection->CanRejectCall(); });
    return can;
}

QString PluginHostService::callerExtra(qint32 deviceId) const
{
    CConnectionPlugin* plugin = m_connections->byDeviceId(deviceId);
    QString extra;
    if (plugin)
        m_connections->guarded(*plugin, "CallerExtra",
                               [&] { extra = plugin->objConnection->CallerExtra(); });
    return extra;
}

bool PluginHostService::rejectCall(qint32 deviceId, qint32 callId)
{
    CConnectionPlugin* plugin = m_connections->byDeviceId(deviceId);
    return plugin && m_connections->guarded(*plugin, "RejectCall",
                                            [&] { plugin->objConnection->RejectCall(callId); });
}

bool PluginHostService::anyConnectionPluginEnabled() const
{
    return m_connections->anyEnabled();
}

void PluginHostService::startConnectionPlugins()
{
    m_connections->connectAll();
}

void PluginHostService::stopConnectionPlugins()
{
    m_connections->disconnectAll();
}

QString PluginHostService::notifyIncomingCall(const CCall& call)
{
    return m_notifications->notifyIncomingCall(call.CallID.toInt());
}

void PluginHostService::notifyCallAnswered(const CCall& call)
{
    m_notifications->notifyCallAnswered(call.CallID.toInt());
}

void PluginHostService::notifyCallDisconnected(const CCall& call)
{
    m_notifications->notifyCallDisconnected(call.CallID.toInt());
}

void PluginHostService::notifyActionChosen(const QString& caption)
{
    m_notifications->notifyActionChosen(caption);
}

void PluginHostService::notifyOutgoingCall(const CCall& call)
{
    m_notifications->notifyOutgoingCall(call.CallID.toInt());
}

QList<QPair<QString, qint32>> PluginHostService::outgoingDevices() const
{
    QList<QPair<QString, qint32>> devices;
    for (int p = 1; p <= m_connections->count(); ++p)
        devices.append({m_connections->item(p)->Name, MainForm::kFirstPluginDeviceId + p});
    return devices;
}

bool PluginHostService::startCall(qint32 deviceId, const QString& number)
{
    CConnectionPlugin* plugin = m_connections->byDeviceId(deviceId);
    return plugin && m_connections->guarded(*plugin, "StartCall",
                                            [&] { plugin->objConnection->StartCall(number); });
}

QList<QStringList> PluginHostService::pluginDevices()
{
    QList<QStringList> devices;
    for (int p = 1; p <= m_connections->count(); ++p) {
        CConnectionPlugin* plugin = m_connections->item(p);
        QStringList names;
        m_connections->guarded(*plugin, "GetDevices",
                               [&] { names = plugin->objConnection->GetDevices(); });
        devices << names;
    }
    return devices;
}
