#pragma once

#include "HostContext.h"
#include "PhonavoConnEventObject.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class MainForm;
class PluginCatalog;

// One loaded connection plug-in.
struct CConnectionPlugin
{
    QObject* object = nullptr;
    phonavo::ConnectionPlugin* objConnection = nullptr;
    QString Name;   // translated display name
    QString ComKey; // ProgID
    bool enabled = true;
    HostContext* context = nullptr; // bound while this holder lives
    quint64 contextBinding = 0;
    PhonavoConnEventObject* events = nullptr;
    quint64 eventsBinding = 0;

    CConnectionPlugin() = default;
    CConnectionPlugin(const CConnectionPlugin&) = delete;
    CConnectionPlugin& operator=(const CConnectionPlugin&) = delete;
    ~CConnectionPlugin()
    {
        if (context)
            context->unbind(contextBinding);
        if (events)
            events->unbind(eventsBinding);
    }
};

// colConnectionPlugins: the connection plug-ins, their start and stop with the
// monitor, the reconnection after a lost connection (tmrReconnect) and the
// guard that keeps the server-connection plug-in off its own server.
class ConnectionPluginList : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReconnectMs = 30'000;
    static constexpr const char* kServerPluginProgId = "PhonavoConnectionTapiServer.Connection";

    ConnectionPluginList(MainForm& form, PluginCatalog& catalog, bool headless,
                         QObject* parent = nullptr);
    ~ConnectionPluginList() override;

    // LoadConnectionPluginList.
    void load();
    int count() const { return int(m_plugins.size()); }
    // Positions start at 1; nullptr outside the list.
    CConnectionPlugin* item(int position) const;
    CConnectionPlugin* byProgId(const QString& progId) const;
    CConnectionPlugin* byDeviceId(qint32 deviceId) const;
    // The position of the plug-in reporting a call right now, else of the one
    // named `name` (its name or one of its devices); 0 when none.
    int positionFor(const QString& name) const;

    // The check mark of a line; returns the state it ends up with (the guard
    // may refuse). The state is saved as the registration's Enabled.
    bool setEnabled(int position, bool on);
    bool anyEnabled() const;
    // With the monitor: Connect / Disconnect each enabled plug-in.
    void connectAll();
    void disconnectAll();
    // The program is ending: no more reconnecting, every plug-in stops.
    void shutdown();

    // Settings and information buttons.
    bool hasSettings(int position);
    void showSettings(int position);
    void showInfo(int position);

    QTimer& tmrReconnect() { return m_reconnect; }
    void tmrReconnect_Timer();

    // Every call into a plug-in goes through here: what it throws is logged
    // and the program goes on.
    bool guarded(const CConnectionPlugin& plugin, const char* operation,
                 const std::function<void()>& call) const;

signals:
    void listChanged();

private:
    void onConnected(const QString& progId);
    void onDisconnected(const QString& progId);
    bool refusedByServerGuard(const CConnectionPlugin& plugin) const;
    bool ownsCall(int position, qint32 callId, const char* event) const;

    MainForm& m_form;
    PluginCatalog& m_catalog;
    bool m_headless;
    std::vector<std::unique_ptr<CConnectionPlugin>> m_plugins;
    QTimer m_reconnect;
    int m_reporting = 0;
};
