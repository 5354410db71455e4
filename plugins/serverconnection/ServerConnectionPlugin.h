#pragma once

#include "CallTable.h"
#include "ServerLink.h"

#include "PhonavoPlugin.h"

// How a second Phonavo installation gets its calls: it logs in at another
// one's server, reports the calls the server sends it to the host, and asks
// the server to reject a call or to dial. Calls missed while away come with
// the login (from the stamp of the last call received).
class ServerConnectionPlugin : public QObject, public phonavo::ConnectionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PHONAVO_CONNECTION_PLUGIN_IID FILE "ServerConnectionPlugin.json")
    Q_INTERFACES(phonavo::ConnectionPlugin)

public:
    ServerConnectionPlugin();
    ~ServerConnectionPlugin() override;

    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool Init(phonavo::ConnectionEvents* events) override;
    bool HasSettings() override { return true; }
    bool CanRejectCall() override { return m_state == State::LoggedIn; }
    QStringList GetDevices() override;
    bool Connect() override;
    void Disconnect() override;
    void Shutdown() override;
    void ShowSettings() override;
    void ShowInfo() override;
    void RejectCall(qint32 callId) override;
    void StartCall(const QString& number) override;
    QString CallerExtra() override { return m_currentExtra; }

private:
    static constexpr qsizetype kMaxMissedCallsLogged = 100;
    bool m_shutDown = false;
    enum class State
    {
        Idle,
        LoggingIn,
        LoggedIn
    };
    struct Device
    {
        QString id;
        QString name;
    };

    void onMessage(const QStringList& fields);
    void onLost(ServerLink::Loss loss, const QString& detail);
    void onAccepted(const QStringList& fields);
    void onRefused(const QString& text);
    void onCall(const QStringList& fields, bool incoming);
    void onCallEvent(const QStringList& fields, bool ended);
    void onDevices(const QStringList& fields);
    // Ends the connection and tells the host it is gone.
    void drop();
    void reset();
    void malformed(const QStringList& fields, const QString& why);
    void saveStamp(const QDateTime& t);
    QString say(const QString& text, const QStringList& args = {}) const;

    phonavo::PluginContext* m_context = nullptr;
    phonavo::ConnectionEvents* m_events = nullptr;
    ServerLink m_link;
    CallTable m_calls;
    QList<Device> m_devices;
    QString m_currentExtra;
    QString m_currentCall; // the server id of the incoming call CallerExtra speaks of
    State m_state = State::Idle;
    int m_malformedLogged = 0;
};
