#include "AsyncEvent.h"

#include "Application.h"

AsyncEvent::AsyncEvent(Application& application)
    : QObject(&application), m_application(&application)
{
    m_tmrAsyncCall.setSingleShot(true);
    // Precise, so events started one after the other keep their order.
    m_tmrAsyncCall.setTimerType(Qt::PreciseTimer);
    m_tmrAsyncCall.setInterval(kDelayMs);
    connect(&m_tmrAsyncCall, &QTimer::timeout, this, &AsyncEvent::fire);
}

void AsyncEvent::start(Action action, qint32 callId)
{
    m_action = action;
    m_callId = callId;
    m_tmrAsyncCall.start();
}

void AsyncEvent::fire()
{
    m_tmrAsyncCall.stop();
    deleteLater();
    Application* app = m_application;
    if (!app || app->ended())
        return;
    switch (m_action) {
    case Action::IncomingCall:
        emit app->evtIncomingCall(m_callId);
        break;
    case Action::OutgoingCall:
        emit app->evtOutgoingCall(m_callId);
        break;
    case Action::CallDisconnected:
        emit app->evtCallDisconnected(m_callId);
        break;
    case Action::CallAnswered:
        emit app->evtCallAnswered(m_callId);
        break;
    case Action::None:
        break;
    }
}
