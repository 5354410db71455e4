#pragma once

#include "NotificationContent.h"
#include "PhonavoPlugin.h"

#include <QHash>
#include <QObject>

class NotificationsClient;

// Shows each incoming call as a desktop notification (freedesktop.org
// Notifications over D-Bus), with the call's popup actions as notification
// actions; replaces it when the call is answered and closes it when it ends.
class DesktopNotifyPlugin : public QObject, public phonavo::NotificationPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PHONAVO_NOTIFICATION_PLUGIN_IID FILE "DesktopNotifyPlugin.json")
    Q_INTERFACES(phonavo::NotificationPlugin)

public:
    DesktopNotifyPlugin();
    ~DesktopNotifyPlugin() override;

    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool Init(phonavo::PluginContext* host) override;
    bool HasSettings() override { return true; }
    void ShowInfo() override;
    QString NotifyIncomingCall(qint32 callId) override;
    void NotifyCallAnswered(qint32 callId) override;
    void ShowSettings() override;
    void SetValue(const QString&, const QVariant&) override {}
    void NotifyActionChosen(const QString&) override {}
    void NotifyCallDisconnected(qint32 callId) override;
    void Shutdown() override;

private:
    bool m_shutDown = false;
    // One call's notification. id stays 0 until the server named it.
    struct Shown
    {
        quint64 serial = 0;
        quint32 id = 0;
        bool waiting = false; // a Notify is on its way
        bool answered = false;
        bool answeredShown = false;
        QStringList actionCaptions;
    };

    void readSettings();
    void show(qint32 callId, quint64 serial);
    void send(qint32 callId, const phonavo::CallInfo& call);
    void onNotified(qint32 callId, quint64 serial, quint32 id, const QString& error);
    void showAnswered(qint32 callId);
    void closeAndForget(qint32 callId);
    void onActionInvoked(quint32 id, const QString& key);
    void onNotificationClosed(quint32 id);
    Shown* find(qint32 callId, quint64 serial);
    void log(const QString& text, const QStringList& args = {});

    phonavo::PluginContext* m_context = nullptr;
    NotificationsClient* m_client = nullptr;
    NotificationOptions m_options;
    QHash<qint32, Shown> m_calls;
    QHash<quint32, qint32> m_callById;
    quint64 m_nextSerial = 1;
    bool m_serverMissingLogged = false;
};
