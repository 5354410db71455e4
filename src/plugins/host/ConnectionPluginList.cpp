#include "ConnectionPluginList.h"

#include "PluginCall.h"
#include "PluginCatalog.h"
#include "PluginRegistration.h"
#include "core/controller/MainForm.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QHostInfo>
#include <QNetworkInterface>

namespace {
QString registrationKey(const QString& progId)
{
    return PluginRegistration::kConnectionKey + QLatin1Char('\\') + progId;
}
} // namespace

ConnectionPluginList::ConnectionPluginList(MainForm& form, PluginCatalog& catalog, bool headless,
                                           QObject* parent)
    : QObject(parent), m_form(form), m_catalog(catalog), m_headless(headless)
{
    m_reconnect.setInterval(kReconnectMs);
    connect(&m_reconnect, &QTimer::timeout, this, &ConnectionPluginList::tmrReconnect_Timer);
}

ConnectionPluginList::~ConnectionPluginList() = default;

bool ConnectionPluginList::guarded(const CConnectionPlugin& plugin, const char* operation,
                                   const std::function<void()>& call) const
{
    return guardedPluginCall(m_form, plugin.ComKey, operation, call);
}

void ConnectionPluginList::load()
{
    m_form.LogStr(QStringLiteral("LoadConnectionPluginList"));
    disconnectAll();
    m_plugins.clear();
    SettingsStore& settings = m_form.settings();
    for (const QString& progId :
         PluginRegistration::usableProgIds(settings, PluginRegistration::kConnectionKey)) {
        const QString key = registrationKey(progId);
        m_form.LogStr(m_form.GetS(QStringLiteral("Loading %s"), progId));
        const auto fail = [&](const QString& error) {
            m_form.LogStr(m_form.GetS(QStringLiteral("Unable to load plugin \"%s\"."), progId) +
                          QStringLiteral(": ") + error);
        };
        const Result<QObject*> created = m_catalog.create(progId, PHONAVO_CONNECTION_PLUGIN_IID);
        if (!created) {
            fail(created.error());
            continue;
        }
        auto holder = std::make_unique<CConnectionPlugin>();
        holder->object = created.value();
        holder->objConnection = qobject_cast<phonavo::ConnectionPlugin*>(holder->object);
        holder->ComKey = progId;
        if (!holder->objConnection) {
            fail(QStringLiteral("not a connection plug-in"));
            continue;
        }
        const int position = int(m_plugins.size()) + 1;
        holder->context = &HostContext::forPlugin(progId);
        holder->contextBinding = holder->context->bind(m_form, key, m_headless);
        holder->events = &PhonavoConnEventObject::forPlugin(progId);
        holder->eventsBinding =
            holder->events->bind(position, [form = &m_form] { return form->newCallId(); });
        PhonavoConnEventObject* events = holder->events;
        connect(events, &PhonavoConnEventObject::incomingCall, this,
                [this](int pos, qint32 callId, const QString& device, const QString& callerId,
                       const QString& callerName, const QString& calledId,
                       const QString& calledName, const QString& extra, const QString& picture) {
                    const int before = std::exchange(m_reporting, pos);
                    m_form.evtIncomingCall(callId, device, callerId, callerName, calledId,
                                           calledName, extra, picture);
                    m_reporting = before;
                });
        connect(events, &PhonavoConnEventObject::outgoingCall, this,
                [this](int pos, qint32 callId, const QString& device, const QString& callerId,
                       const QString& callerName, const QString& calledId,
                       const QString& calledName, const QString& extra, const QString& calledExtra,
                       const QString& picture) {
                    const int before = std::exchange(m_reporting, pos);
                    m_form.evtOutgoingCall(callId, device, callerId, callerName, calledId,
                                           calledName, extra, calledExtra, picture);
                    m_reporting = before;
                });
        connect(events, &PhonavoConnEventObject::callAnswered, this,
                [this, position](qint32 callId) {
                    if (ownsCall(position, callId, "evtCallAnswered"))
                        m_form.evtCallAnswered(callId);
                });
        connect(events, &PhonavoConnEventObject::callDisconnected, this,
                [this, position](qint32 callId) {
                    if (ownsCall(position, callId, "evtCallDisconnected"))
                        m_form.evtCallDisconnected(callId);
                });
        // Queued: the plug-in reports these from inside its own socket
        // handling, and the monitor's stop calls back into it.
        connect(events, &PhonavoConnEventObject::connected, this,
                &ConnectionPluginList::onConnected, Qt::QueuedConnection);
        connect(events, &PhonavoConnEventObject::disconnected, this,
                &ConnectionPluginList::onDisconnected, Qt::QueuedConnection);

        bool initialised = false;
        const bool ran = guarded(*holder, "Init", [&] {
            holder->objConnection->SetContext(holder->context);
            initialised = holder->objConnection->Init(events);
        });
        if (!ran || !initialised) {
            fail(ran ? QStringLiteral("Init returned False") : QStringLiteral("Init failed"));
            continue;
        }
        holder->Name = m_form.getTranslation(
            settings.GetSettingHKCU(key, QStringLiteral("Name"), progId).toString());
        holder->enabled = SettingToBool(
            settings.GetSettingHKCU(key, QStringLiteral("Enabled"), QStringLiteral("1")));
        m_plugins.push_back(std::move(holder));
    }
    emit listChanged();
}

CConnectionPlugin* ConnectionPluginList::item(int position) const
{
    if (position < 1 || position > count())
        return nullptr;
    return m_plugins[size_t(position - 1)].get();
}

CConnectionPlugin* ConnectionPluginList::byProgId(const QString& progId) const
{
    for (const auto& plugin : m_plugins)
        if (plugin->ComKey.compare(progId, Qt::CaseInsensitive) == 0)
            return plugin.get();
    return nullptr;
}

CConnectionPlugin* ConnectionPluginList::byDeviceId(qint32 deviceId) const
{
    return item(deviceId - MainForm::kFirstPluginDeviceId);
}

int ConnectionPluginList::positionFor(const QString& name) const
{
    if (m_reporting > 0)
        return m_reporting;
    for (int p = 1; p <= count(); ++p)
        if (item(p)->Name == name || item(p)->ComKey == name)
            return p;
    return 0;
}

bool ConnectionPluginList::ownsCall(int position, qint32 callId, const char* event) const
{
    // A plug-in may only touch the calls it reported: an unknown id would make
    // a record, and another source's call is not the plug-in's to end.
    if (callId != 0 && m_form.colCalls().contains(callId) &&
        m_form.colCalls().Item(callId)->lDeviceID == MainForm::kFirstPluginDeviceId + position)
        return true;
    const CConnectionPlugin* plugin = item(position);
    m_form.LogStr(QStringLiteral("%1: %2 for call %3, which it did not report, ignored")
                      .arg(plugin ? plugin->ComKey : QString::number(position),
                           QLatin1String(event), QString::number(callId)));
    return false;
}

bool ConnectionPluginList::refusedByServerGuard(const CConnectionPlugin& plugin) const
{
    if (!m_form.options().flag(QStringLiteral("cbPhonavoServer")) ||
        plugin.ComKey.compare(QLatin1String(kServerPluginProgId), Qt::CaseInsensitive) != 0)
        return false;
    const QString server =
        m_form.settings()
            .GetSettingHKCU(registrationKey(plugin.ComKey), QStringLiteral("server"), QString())
            .toString()
            .trimmed()
            .toLower();
    QString host = server;
    while (host.endsWith(QLatin1Char('.'))) // "localhost." is localhost
        host.chop(1);
    const QString ownName = QHostInfo::localHostName().toLower();
    if (host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost") ||
        host.endsWith(QLatin1String(".localhost")) || host == ownName ||
        host.startsWith(ownName + QLatin1Char('.')))
        return true;
    // Every address of this machine: all of 127/8 and ::1, the "any" addresses
    // (which reach this machine too) and the LAN addresses.
    QHostAddress address;
    if (!address.setAddress(host))
        return false;
    if (address.isLoopback() || address == QHostAddress(QHostAddress::AnyIPv4) ||
        address == QHostAddress(QHostAddress::AnyIPv6))
        return true;
    for (const QHostAddress& own : QNetworkInterface::allAddresses())
        if (own.isEqual(address, QHostAddress::TolerantConversion))
            return true;
    return false;
}

bool ConnectionPluginList::setEnabled(int position, bool on)
{
    CConnectionPlugin* plugin = item(position);
    if (!plugin)
        return false;
    if (on && refusedByServerGuard(*plugin)) {
        const QString text = m_form.GetS(
            QStringLiteral("Phonavo Server plugin: Not allowed to connect to local machine"));
        m_form.dialogs().messageBox(text, MsgStyle::Exclamation, QString());
        on = false;
    }
    plugin->enabled = on;
    m_form.settings().SaveSettingHKCU(registrationKey(plugin->ComKey), QStringLiteral("Enabled"),
                                      on ? QStringLiteral("1") : QStringLiteral("0"));
    emit listChanged();
    return on;
}

bool ConnectionPluginList::anyEnabled() const
{
    for (const auto& plugin : m_plugins)
        if (plugin->enabled)
            return true;
    return false;
}

void ConnectionPluginList::connectAll()
{
    for (const auto& plugin : m_plugins) {
        if (!plugin->enabled)
            continue;
        m_form.LogStr(m_form.GetS(QStringLiteral("Initializing addon: %s (%s)"), plugin->Name,
                                  plugin->ComKey));
        bool connected = false;
        guarded(*plugin, "Connect", [&] { connected = plugin->objConnection->Connect(); });
        if (!connected)
            m_form.LogStr(m_form.GetS(QStringLiteral("Initializing failed")));
    }
}

void ConnectionPluginList::disconnectAll()
{
    for (const auto& plugin : m_plugins)
        if (plugin->enabled)
            guarded(*plugin, "Disconnect", [&] { plugin->objConnection->Disconnect(); });
}

void ConnectionPluginList::shutdown()
{
    m_reconnect.stop();
    for (const auto& plugin : m_plugins)
        guarded(*plugin, "Shutdown", [&] { plugin->objConnection->Shutdown(); });
}

bool ConnectionPluginList::hasSettings(int position)
{
    CConnectionPlugin* plugin = item(position);
    bool has = false;
    if (plugin)
        guarded(*plugin, "HasSettings", [&] { has = plugin->objConnection->HasSettings(); });
    return has;
}

void ConnectionPluginList::showSettings(int position)
{
    CConnectionPlugin* plugin = item(position);
    if (plugin && !guarded(*plugin, "ShowSettings", [&] { plugin->objConnection->ShowSettings(); }))
        m_form.RaiseError(
            m_form.GetS(QStringLiteral("Error while showing settings of %s."), plugin->Name));
}

void ConnectionPluginList::showInfo(int position)
{
    if (CConnectionPlugin* plugin = item(position))
        guarded(*plugin, "ShowInfo", [&] { plugin->objConnection->ShowInfo(); });
}

void ConnectionPluginList::onConnected(const QString&)
{
    m_form.RefreshShowStatus();
}

void ConnectionPluginList::onDisconnected(const QString& progId)
{
    if (m_form.Active())
        m_form.stopMonitoring(false);
    const CConnectionPlugin* plugin = byProgId(progId);
    if (!plugin || !plugin->enabled)
        return;
    const QString autoConnect =
        m_form.settings()
            .GetSettingHKCU(registrationKey(plugin->ComKey), QStringLiteral("AutoConnect"),
                            QStringLiteral("1"))
            .toString()
            .trimmed();
    if (PluginRegistration::versionNumber(autoConnect) != 1.0)
        return;
    m_form.LogStr(m_form.GetS(QStringLiteral(
        "Auto-Reconnect timer started. Trying to reconnect to server in 30 seconds.")));
    m_reconnect.start();
}

void ConnectionPluginList::tmrReconnect_Timer()
{
    m_reconnect.stop();
    m_form.LogStr(m_form.GetS(QStringLiteral("Trying to reconnect...")));
    if (!m_form.Active())
        m_form.startMonitoring();
    if (!m_form.Active())
        m_reconnect.start();
}
