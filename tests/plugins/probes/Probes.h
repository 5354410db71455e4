#pragma once

// Plug-ins for the host's tests: real libraries loaded through the plug-in
// path, whose behaviour comes from their own registration values (read
// through the host) and which write what happens to them into the program log
// as "probe <ProgID>: ...".

#include "PhonavoPlugin.h"

class ConnectionProbe : public QObject, public phonavo::ConnectionPlugin
{
    Q_OBJECT
    Q_INTERFACES(phonavo::ConnectionPlugin)
public:
    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool Init(phonavo::ConnectionEvents* events) override
    {
        m_events = events;
        note(QStringLiteral("Init"));
        maybeThrow("Init");
        return flag("InitResult");
    }
    bool HasSettings() override { return flag("HasSettings"); }
    bool CanRejectCall() override { return flag("CanReject"); }
    QStringList GetDevices() override
    {
        return m_context->setting(QStringLiteral("Devices"))
            .split(QLatin1Char(','), Qt::SkipEmptyParts);
    }
    bool Connect() override
    {
        note(QStringLiteral("Connect"));
        maybeThrow("Connect");
        return flag("ConnectResult");
    }
    void Disconnect() override { note(QStringLiteral("Disconnect")); }
    void ShowSettings() override
    {
        note(QStringLiteral("ShowSettings"));
        maybeThrow("ShowSettings");
    }
    void ShowInfo() override { note(QStringLiteral("ShowInfo")); }
    void Shutdown() override { note(QStringLiteral("Shutdown")); }
    void RejectCall(qint32 callId) override { note(QStringLiteral("RejectCall %1").arg(callId)); }
    void StartCall(const QString& number) override { note(QStringLiteral("StartCall ") + number); }
    QString CallerExtra() override { return m_context->setting(QStringLiteral("CallerExtra")); }

    // What the test makes the plug-in report.
    Q_INVOKABLE int ringIn(const QString& caller, const QString& called)
    {
        return m_events->evtIncomingCall(QStringLiteral("probe line"), caller, QString(), called,
                                         QString(), QString(), QString());
    }
    Q_INVOKABLE void answer(int callId) { m_events->evtCallAnswered(callId); }
    Q_INVOKABLE void hangUp(int callId) { m_events->evtCallDisconnected(callId); }
    Q_INVOKABLE void up() { m_events->evtConnected(m_context->progId()); }
    Q_INVOKABLE void lose() { m_events->evtDisconnected(m_context->progId()); }

private:
    bool flag(const char* name) const
    {
        return m_context->setting(QLatin1String(name), QStringLiteral("1")) == QLatin1String("1");
    }
    void note(const QString& what)
    {
        m_context->log(QStringLiteral("probe %1: %2").arg(m_context->progId(), what));
    }
    void maybeThrow(const char* operation)
    {
        if (m_context->setting(QStringLiteral("Throw")) == QLatin1String(operation))
            throw std::runtime_error(std::string(operation) + " broke");
    }

    phonavo::PluginContext* m_context = nullptr;
    phonavo::ConnectionEvents* m_events = nullptr;
};

class NotificationProbe : public QObject, public phonavo::NotificationPlugin
{
    Q_OBJECT
    Q_INTERFACES(phonavo::NotificationPlugin)
public:
    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool Init(phonavo::PluginContext* host) override
    {
        note(QStringLiteral("Init"));
        return host == m_context && m_context->setting(QStringLiteral("InitResult"),
                                                       QStringLiteral("1")) == QLatin1String("1");
    }
    bool HasSettings() override { return true; }
    void ShowInfo() override {}
    QString NotifyIncomingCall(qint32 callId) override
    {
        phonavo::CallInfo call;
        m_context->activeCall(callId, call);
        note(QStringLiteral("incoming %1 from %2 on %3")
                 .arg(callId)
                 .arg(call.callerId, call.deviceName));
        return m_context->setting(QStringLiteral("Actions"));
    }
    void NotifyCallAnswered(qint32 callId) override
    {
        note(QStringLiteral("answered %1").arg(callId));
    }
    void NotifyCallDisconnected(qint32 callId) override
    {
        note(QStringLiteral("disconnected %1").arg(callId));
    }
    void ShowSettings() override {}
    void SetValue(const QString& key, const QVariant& value) override
    {
        note(QStringLiteral("SetValue %1=%2").arg(key, value.toString()));
    }
    void Shutdown() override { note(QStringLiteral("Shutdown")); }
    void NotifyActionChosen(const QString& caption) override
    {
        note(QStringLiteral("chosen ") + caption);
    }

private:
    void note(const QString& what)
    {
        m_context->log(QStringLiteral("probe %1: %2").arg(m_context->progId(), what));
    }
    phonavo::PluginContext* m_context = nullptr;
};

class ReverseProbe : public QObject, public phonavo::ReversePlugin
{
    Q_OBJECT
    Q_INTERFACES(phonavo::ReversePlugin)
public:
    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool HasSettings() override { return false; }
    bool Lookup(const QString& number, QString& name, QString&, QString& extra) override
    {
        m_context->log(QStringLiteral("probe %1: lookup %2").arg(m_context->progId(), number));
        if (!m_context->setting(QStringLiteral("Extra")).isEmpty())
            extra = m_context->setting(QStringLiteral("Extra"));
        name = m_context->setting(QStringLiteral("Name"));
        return !name.isEmpty();
    }
    void ShowSettings() override {}
    qint16 CountryCode() override
    {
        return qint16(m_context->setting(QStringLiteral("CountryCode")).toInt());
    }

private:
    phonavo::PluginContext* m_context = nullptr;
};
