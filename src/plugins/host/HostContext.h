#pragma once

#include "plugins/api/PhonavoPlugin.h"

class CCall;
class MainForm;

// What the program offers one plug-in: its own registration values, the log,
// translation, the calls and dialling.
//
// A plug-in's root object lives as long as its library stays loaded, which is
// until the process ends, and may still run (a timer, a late reply) after the
// program part that loaded it is gone. So there is one context per ProgID for
// the whole process, never freed, bound to the controller while a plug-in list
// holds the plug-in; unbound, it answers with nothing and logs nowhere.
class HostContext : public phonavo::PluginContext
{
public:
    static HostContext& forPlugin(const QString& progId);

    // registrationKey: the plug-in's sub-key of the user settings, e.g.
    // "ConnectionPlugins\\PhonavoMqtt.Notification". Returns the binding's
    // number, for unbind().
    quint64 bind(MainForm& form, const QString& registrationKey, bool headless);
    // Ends the binding `binding` (a later one stays).
    void unbind(quint64 binding);
    bool bound() const { return m_form != nullptr; }

    QString progId() const override { return m_progId; }
    QString setting(const QString& name, const QString& fallback) const override;
    void saveSetting(const QString& name, const QString& value) override;
    QString scramble(const QString& plain) const override;
    QString unscramble(const QString& stored) const override;
    void log(const QString& text) override;
    QString translate(const QString& text, const QStringList& args) const override;
    bool headless() const override { return m_headless; }
    bool activeCall(qint32 callId, phonavo::CallInfo& call) const override;
    bool storedCall(qint32 dbCallId, phonavo::CallInfo& call) const override;
    bool startCall(const QString& number) override;
    void chooseAction(qint32 callId, const QString& caption) override;

    static phonavo::CallInfo callInfo(const CCall& call, const QString& deviceName);

private:
    explicit HostContext(QString progId) : m_progId(std::move(progId)) {}

    MainForm* m_form = nullptr;
    QString m_progId;
    QString m_key;
    bool m_headless = true;
    quint64 m_binding = 0;
};
