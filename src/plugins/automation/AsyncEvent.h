#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class Application;

// One call event on its way to the automation object's clients: it waits one
// timer tick, so the event never runs inside the call handler that caused it,
// raises the event and deletes itself. Events started in order fire in order.
class AsyncEvent : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDelayMs = 1; // tmrAsyncCall

    enum class Action
    {
        None = 0,
        IncomingCall = 1,
        OutgoingCall = 2,
        CallDisconnected = 3,
        CallAnswered = 4,
    };

    // Owned by the application, so pending events go with it.
    explicit AsyncEvent(Application& application);

    void RaiseIncomingCall(qint32 callId) { start(Action::IncomingCall, callId); }
    void RaiseOutgoingCall(qint32 callId) { start(Action::OutgoingCall, callId); }
    void RaiseCallDisconnected(qint32 callId) { start(Action::CallDisconnected, callId); }
    void RaiseCallAnswered(qint32 callId) { start(Action::CallAnswered, callId); }

private:
    void start(Action action, qint32 callId);
    void fire();

    QPointer<Application> m_application;
    QTimer m_tmrAsyncCall;
    Action m_action = Action::None;
    qint32 m_callId = 0;
};
