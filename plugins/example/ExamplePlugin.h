#pragma once

#include "PhonavoPlugin.h"

// The smallest useful notification plug-in: it writes a line to the program log
// for every call it is told about and offers one popup action, "Note".
// docs/plugins.md walks through it.
class ExamplePlugin : public QObject, public phonavo::NotificationPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PHONAVO_NOTIFICATION_PLUGIN_IID FILE "ExamplePlugin.json")
    Q_INTERFACES(phonavo::NotificationPlugin)

public:
    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool Init(phonavo::PluginContext* host) override;
    bool HasSettings() override { return false; }
    void ShowInfo() override;
    QString NotifyIncomingCall(qint32 callId) override;
    void NotifyCallAnswered(qint32 callId) override;
    void ShowSettings() override {}
    void SetValue(const QString&, const QVariant&) override {}
    void NotifyActionChosen(const QString& caption) override;

private:
    phonavo::PluginContext* m_context = nullptr;
    qint32 m_lastCall = 0;
};
