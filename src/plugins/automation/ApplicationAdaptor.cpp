#include "ApplicationAdaptor.h"

#include "Application.h"

#include <QDBusError>
#include <QDBusMessage>

ApplicationAdaptor::ApplicationAdaptor(Application& application, BusCallContext* exported)
    : QDBusAbstractAdaptor(exported), m_app(application)
{
    qRegisterMetaType<QDBusVariant>();
    connect(&m_app, &Application::evtIncomingCall, this, &ApplicationAdaptor::evtIncomingCall);
    connect(&m_app, &Application::evtOutgoingCall, this, &ApplicationAdaptor::evtOutgoingCall);
    connect(&m_app, &Application::evtCallDisconnected, this,
            &ApplicationAdaptor::evtCallDisconnected);
    connect(&m_app, &Application::evtCallAnswered, this, &ApplicationAdaptor::evtCallAnswered);
    connect(&m_app, &Application::evtUniversal, this,
            [this](const QString& key, const QVariant& data) {
                // A variant must hold something on the bus; nothing becomes "".
                emit evtUniversal(key, QDBusVariant(data.isValid() ? data : QVariant(QString())));
            });
    connect(&m_app, &Application::evtLog, this, &ApplicationAdaptor::evtLog);
    connect(&m_app, &Application::evtExit, this, &ApplicationAdaptor::evtExit);
}

int ApplicationAdaptor::APIVersion() const
{
    return m_app.APIVersion();
}

bool ApplicationAdaptor::Connect(const QString& AppName)
{
    return m_app.Connect(AppName);
}

QVariantMap ApplicationAdaptor::GetCallByID(int CallID)
{
    return m_app.GetCallByID(CallID);
}

bool ApplicationAdaptor::StartCall(const QString& NumberToDial)
{
    return m_app.StartCall(NumberToDial, Application::ReportTo::Log);
}

QString ApplicationAdaptor::Version() const
{
    return m_app.Version();
}

void ApplicationAdaptor::Log(const QString& Text)
{
    m_app.Log(Text);
}

void ApplicationAdaptor::vntUniversal(const QString& sKey, const QDBusVariant& Params)
{
    m_app.vntUniversal(sKey, Params.variant(), Application::ReportTo::Log);
}

int ApplicationAdaptor::takenCall(int callId)
{
    if (callId == 0)
        replyError(kNotTaken, QStringLiteral("The program did not take the call"));
    return callId;
}

int ApplicationAdaptor::ShowIncomingCall(const QString& DeviceName, const QString& CallerID,
                                         const QString& CallerName, const QString& CalledID,
                                         const QString& CalledName)
{
    return takenCall(
        m_app.ShowIncomingCall(DeviceName, CallerID, CallerName, CalledID, CalledName));
}

int ApplicationAdaptor::ShowOutgoingCall(const QString& DeviceName, const QString& CallerID,
                                         const QString& CallerName, const QString& CalledID,
                                         const QString& CalledName)
{
    return takenCall(
        m_app.ShowOutgoingCall(DeviceName, CallerID, CallerName, CalledID, CalledName));
}

bool ApplicationAdaptor::known(bool done, int callId)
{
    if (!done)
        replyError(kUnknownCall, QStringLiteral("There is no active call %1").arg(callId));
    return done;
}

bool ApplicationAdaptor::SetCallAnswered(int CallID)
{
    return known(m_app.SetCallAnswered(CallID), CallID);
}

bool ApplicationAdaptor::SetCallDisconnected(int CallID)
{
    return known(m_app.SetCallDisconnected(CallID), CallID);
}

void ApplicationAdaptor::replyError(const char* name, const QString& message)
{
    const auto* context = static_cast<BusCallContext*>(parent());
    if (context->calledFromDBus())
        context->sendErrorReply(QString::fromLatin1(name), message);
}
