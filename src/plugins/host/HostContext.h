#pragma once

#include "plugins/api/PhonavoPlugin.h"

class CCall;
class MainForm;

// What the program offers one plug-in: its own registration values, the log,
// translation, the calls and dialling. One per loaded plug-in.
class HostContext : public phonavo::PluginContext
{
public:
    // registrationKey: the plug-in's sub-key of the user settings, e.g.
    // "ConnectionPlugins\\PhonavoMqtt.Notification".
    HostContext(MainForm& form, QString progId, QString registrationKey, bool headless);

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
    MainForm& m_form;
    QString m_progId;
    QString m_key;
    bool m_headless;
};
