#include "NotificationPluginList.h"

#include "PluginCall.h"
#include "PluginCatalog.h"
#include "PluginRegistration.h"
#include "core/controller/MainForm.h"
#include "shell/settings/SettingsStore.h"

namespace {
QString registrationKey(const QString& progId)
{
    return PluginRegistration::kNotificationKey + QLatin1Char('\\') + progId;
}
} // namespace

NotificationPluginList::NotificationPluginList(MainForm& form, PluginCatalog& catalog,
                                               bool headless, QObject* parent)
    : QObject(parent), m_form(form), m_catalog(catalog), m_headless(headless)
{}

NotificationPluginList::~NotificationPluginList() = default;

bool NotificationPluginList::guarded(const CNotificationPlugin& plugin, const char* operation,
                                     const std::function<void()>& call) const
{
    return guardedPluginCall(m_form, plugin.key, operation, call);
}

void NotificationPluginList::load(const QString& dataConnection)
{
    m_form.LogStr(QStringLiteral("LoadNotificationPluginList"));
    m_plugins.clear();
    SettingsStore& settings = m_form.settings();
    for (const QString& progId :
         PluginRegistration::usableProgIds(settings, PluginRegistration::kNotificationKey)) {
        const QString key = registrationKey(progId);
        m_form.LogStr(m_form.GetS(QStringLiteral("Initializing notification addon: %s"), progId));
        const auto loadFailed = [&](const QString& error) {
            m_form.LogStr(m_form.GetS(QStringLiteral("Unable to load plugin \"%s\"."), progId) +
                          QLatin1Char(' ') + error);
        };
        const Result<QObject*> created = m_catalog.create(progId, PHONAVO_NOTIFICATION_PLUGIN_IID);
        if (!created) {
            loadFailed(created.error());
            continue;
        }
        auto holder = std::make_unique<CNotificationPlugin>();
        holder->object = created.value();
        holder->objPlugin = qobject_cast<phonavo::NotificationPlugin*>(holder->object);
        holder->key = progId;
        if (!holder->objPlugin) {
            loadFailed(QStringLiteral("not a notification plug-in"));
            continue;
        }
        holder->context = &HostContext::forPlugin(progId);
        holder->contextBinding = holder->context->bind(m_form, key, m_headless);
        bool initialised = false;
        guarded(*holder, "Init", [&] {
            holder->objPlugin->SetContext(holder->context);
            initialised = holder->objPlugin->Init(holder->context);
        });
        if (!initialised) {
            m_form.RaiseError(m_form.GetS(QStringLiteral("Unable to init plugin %s"), progId));
            continue;
        }
        holder->Name = m_form.getTranslation(
            settings.GetSettingHKCU(key, QStringLiteral("Name"), progId).toString());
        holder->enabled = SettingToBool(
            settings.GetSettingHKCU(key, QStringLiteral("Enabled"), QStringLiteral("1")));
        guarded(*holder, "SetValue", [&] {
            holder->objPlugin->SetValue(QStringLiteral("DataConnection"), dataConnection);
        });
        m_plugins.push_back(std::move(holder));
    }
    emit listChanged();
}

CNotificationPlugin* NotificationPluginList::item(int position) const
{
    if (position < 1 || position > count())
        return nullptr;
    return m_plugins[size_t(position - 1)].get();
}

bool NotificationPluginList::setEnabled(int position, bool on)
{
    CNotificationPlugin* plugin = item(position);
    if (!plugin)
        return false;
    plugin->enabled = on;
    m_form.settings().SaveSettingHKCU(registrationKey(plugin->key), QStringLiteral("Enabled"),
                                      on ? QStringLiteral("1") : QStringLiteral("0"));
    guarded(*plugin, "SetValue",
            [&] { plugin->objPlugin->SetValue(QStringLiteral("Enabled"), on); });
    emit listChanged();
    return on;
}

bool NotificationPluginList::hasSettings(int position)
{
    CNotificationPlugin* plugin = item(position);
    bool has = false;
    if (plugin)
        guarded(*plugin, "HasSettings", [&] { has = plugin->objPlugin->HasSettings(); });
    return has;
}

void NotificationPluginList::showSettings(int position)
{
    if (CNotificationPlugin* plugin = item(position))
        if (!guarded(*plugin, "ShowSettings", [&] { plugin->objPlugin->ShowSettings(); }))
            m_form.RaiseError(
                m_form.GetS(QStringLiteral("Error while showing settings of %s."), plugin->Name));
}

void NotificationPluginList::showInfo(int position)
{
    if (CNotificationPlugin* plugin = item(position))
        guarded(*plugin, "ShowInfo", [&] { plugin->objPlugin->ShowInfo(); });
}

QString NotificationPluginList::notifyIncomingCall(qint32 callId)
{
    QString actions;
    for (const auto& plugin : m_plugins) {
        if (!plugin->enabled)
            continue;
        QString offered;
        guarded(*plugin, "NotifyIncomingCall",
                [&] { offered = plugin->objPlugin->NotifyIncomingCall(callId); });
        plugin->actions = offered;
        if (!offered.isEmpty())
            actions += QLatin1Char('|') + offered;
    }
    return actions;
}

void NotificationPluginList::notifyOutgoingCall(qint32 callId)
{
    for (const auto& plugin : m_plugins)
        if (plugin->enabled)
            guarded(*plugin, "NotifyOutgoingCall",
                    [&] { plugin->objPlugin->NotifyOutgoingCall(callId); });
}

void NotificationPluginList::notifyCallAnswered(qint32 callId)
{
    for (const auto& plugin : m_plugins)
        if (plugin->enabled)
            guarded(*plugin, "NotifyCallAnswered",
                    [&] { plugin->objPlugin->NotifyCallAnswered(callId); });
}

void NotificationPluginList::notifyCallDisconnected(qint32 callId)
{
    for (const auto& plugin : m_plugins)
        if (plugin->enabled)
            guarded(*plugin, "NotifyCallDisconnected",
                    [&] { plugin->objPlugin->NotifyCallDisconnected(callId); });
}

void NotificationPluginList::notifyActionChosen(const QString& caption)
{
    for (const auto& plugin : m_plugins)
        if (plugin->actions.split(QLatin1Char('|')).contains(caption))
            guarded(*plugin, "NotifyActionChosen",
                    [&] { plugin->objPlugin->NotifyActionChosen(caption); });
}

void NotificationPluginList::shutdown()
{
    for (const auto& plugin : m_plugins)
        guarded(*plugin, "Shutdown", [&] { plugin->objPlugin->Shutdown(); });
}

void NotificationPluginList::setDataConnection(const QString& dataConnection)
{
    for (const auto& plugin : m_plugins)
        guarded(*plugin, "SetValue", [&] {
            plugin->objPlugin->SetValue(QStringLiteral("DataConnection"), dataConnection);
        });
}
