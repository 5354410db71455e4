#pragma once

#include "ConnectionPluginList.h"
#include "NotificationPluginList.h"
#include "PluginCatalog.h"
#include "ReversePluginList.h"
#include "core/pipeline/CallSeams.h"

#include <functional>

class MainForm;

// The plug-in host as the call handling sees it: the three plug-in lists, the
// catalog they are created from, and the events handed on to programs that
// use the automation object.
class PluginHostService : public PluginHost
{
public:
    // The automation object's call events (raised a moment later, from the loop).
    struct AutomationEvents
    {
        std::function<void(qint32)> incoming, outgoing, answered, disconnected;
    };

    PluginHostService(MainForm& form, QStringList pluginDirs, bool headless);
    ~PluginHostService() override;

    void setAutomationEvents(AutomationEvents events) { m_automation = std::move(events); }
    // The program is ending (its loop still runs): every loaded plug-in stops.
    void shutdown();

    PluginCatalog& catalog() { return m_catalog; }
    ConnectionPluginList& connections() { return *m_connections; }
    NotificationPluginList& notifications() { return *m_notifications; }
    ReversePluginList& reverse() { return *m_reverse; }

    // PluginHost.
    void raiseIncomingCall(qint32 dbCallId) override;
    void raiseOutgoingCall(qint32 dbCallId) override;
    void raiseCallAnswered(qint32 dbCallId) override;
    void raiseCallDisconnected(qint32 dbCallId) override;
    QString connectionPluginName(qint32 deviceId) const override;
    qint32 connectionPluginDeviceId(const QString& name) const override;
    bool canRejectCalls(qint32 deviceId) const override;
    QString callerExtra(qint32 deviceId) const override;
    bool rejectCall(qint32 deviceId, qint32 callId) override;
    bool anyConnectionPluginEnabled() const override;
    void startConnectionPlugins() override;
    void stopConnectionPlugins() override;
    QString notifyIncomingCall(const CCall& call) override;
    void notifyCallAnswered(const CCall& call) override;
    void notifyCallDisconnected(const CCall& call) override;
    void notifyActionChosen(const QString& caption) override;
    void notifyOutgoingCall(const CCall& call) override;
    QList<QPair<QString, qint32>> outgoingDevices() const override;
    bool startCall(qint32 deviceId, const QString& number) override;
    QList<QStringList> pluginDevices() override;

private:
    MainForm& m_form;
    PluginCatalog m_catalog;
    std::unique_ptr<ConnectionPluginList> m_connections;
    std::unique_ptr<NotificationPluginList> m_notifications;
    std::unique_ptr<ReversePluginList> m_reverse;
    AutomationEvents m_automation;
};
