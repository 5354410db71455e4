#pragma once

#include "MqttSettings.h"
#include "PhonavoPlugin.h"

#include <memory>

class MqttLink;
class MqttOutbox;

// Publishes every call event as a small JSON document to an MQTT broker, for
// home-automation systems: <prefix>/call/incoming, .../outgoing, .../answered
// and .../disconnected (QoS 1), the last incoming call retained on
// <prefix>/lastcall, and "online"/"offline" retained on <prefix>/status (the
// broker publishes "offline" as the will when the program vanishes).
class MqttPlugin : public QObject, public phonavo::NotificationPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PHONAVO_NOTIFICATION_PLUGIN_IID FILE "MqttPlugin.json")
    Q_INTERFACES(phonavo::NotificationPlugin)

public:
    MqttPlugin();
    ~MqttPlugin() override;

    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool Init(phonavo::PluginContext* host) override;
    bool HasSettings() override { return true; }
    void ShowInfo() override;
    QString NotifyIncomingCall(qint32 callId) override;
    void NotifyCallAnswered(qint32 callId) override;
    void ShowSettings() override;
    // "Enabled": an unticked plug-in leaves the broker, a ticked one returns.
    void SetValue(const QString& key, const QVariant& value) override;
    void Shutdown() override;
    void NotifyActionChosen(const QString&) override {}
    void NotifyCallDisconnected(qint32 callId) override;
    void NotifyOutgoingCall(qint32 callId) override;

private:
    bool m_shutDown = false;
    void start();
    void stop();
    void onConnected();
    void publishEvent(const QString& event, qint32 callId, bool asLastCall = false);
    QString topic(const QString& suffix) const;

    phonavo::PluginContext* m_context = nullptr;
    MqttSettings m_settings;
    std::unique_ptr<MqttLink> m_link;
    std::unique_ptr<MqttOutbox> m_outbox;
};
