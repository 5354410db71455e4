#pragma once

#include "HostContext.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class MainForm;
class PluginCatalog;

// One loaded notification plug-in.
struct CNotificationPlugin
{
    QObject* object = nullptr;
    phonavo::NotificationPlugin* objPlugin = nullptr;
    QString Name;
    QString key; // ProgID; its Enabled is saved under it
    bool enabled = true;
    // The captions the plug-in offered for the current incoming call.
    QString actions;
    HostContext* context = nullptr; // bound while this holder lives
    quint64 contextBinding = 0;

    CNotificationPlugin() = default;
    CNotificationPlugin(const CNotificationPlugin&) = delete;
    CNotificationPlugin& operator=(const CNotificationPlugin&) = delete;
    ~CNotificationPlugin()
    {
        if (context)
            context->unbind(contextBinding);
    }
};

// ColNotificationPlugins: the plug-ins told about calls, in settings order.
class NotificationPluginList : public QObject
{
    Q_OBJECT
public:
    // Reports "Unable to init plugin %s" the way the program reports errors.
    NotificationPluginList(MainForm& form, PluginCatalog& catalog, bool headless,
                           QObject* parent = nullptr);
    ~NotificationPluginList() override;

    // LoadNotificationPluginList; dataConnection is handed to each plug-in
    // as "DataConnection".
    void load(const QString& dataConnection);
    int count() const { return int(m_plugins.size()); }
    CNotificationPlugin* item(int position) const; // from 1
    bool setEnabled(int position, bool on);
    bool hasSettings(int position);
    void showSettings(int position);
    void showInfo(int position);

    // The call handlers: only enabled plug-ins, in order; one failing plug-in
    // does not stop the others. Returns the captions, each preceded by "|".
    QString notifyIncomingCall(qint32 callId);
    void notifyOutgoingCall(qint32 callId);
    void notifyCallAnswered(qint32 callId);
    void notifyCallDisconnected(qint32 callId);
    // A popup caption: told to the plug-in that offered it.
    void notifyActionChosen(const QString& caption);
    void setDataConnection(const QString& dataConnection);
    // The program is ending: every plug-in stops its work while the loop runs.
    void shutdown();

signals:
    void listChanged();

private:
    bool guarded(const CNotificationPlugin& plugin, const char* operation,
                 const std::function<void()>& call) const;

    MainForm& m_form;
    PluginCatalog& m_catalog;
    bool m_headless;
    std::vector<std::unique_ptr<CNotificationPlugin>> m_plugins;
};
