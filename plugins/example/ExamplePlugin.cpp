#include "ExamplePlugin.h"

bool ExamplePlugin::Init(phonavo::PluginContext* host)
{
    m_context = host;
    return m_context != nullptr;
}

void ExamplePlugin::ShowInfo()
{
    m_context->log(QStringLiteral("Example plug-in: logs every call it is told about."));
}

QString ExamplePlugin::NotifyIncomingCall(qint32 callId)
{
    phonavo::CallInfo call;
    if (!m_context->activeCall(callId, call))
        return QString();
    m_lastCall = callId;
    m_context->log(QStringLiteral("Example plug-in: call %1 from %2 (%3) to %4")
                       .arg(callId)
                       .arg(call.callerId, call.callerName, call.calledId));
    return QStringLiteral("Note");
}

void ExamplePlugin::NotifyCallAnswered(qint32 callId)
{
    m_context->log(QStringLiteral("Example plug-in: call %1 answered").arg(callId));
}

void ExamplePlugin::NotifyActionChosen(const QString& caption)
{
    m_context->log(
        QStringLiteral("Example plug-in: \"%1\" chosen for call %2").arg(caption).arg(m_lastCall));
}
