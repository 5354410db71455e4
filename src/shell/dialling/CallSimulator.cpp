#include "CallSimulator.h"

#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/pipeline/CallSeams.h"

#include <QTimer>

CallSimulator::CallSimulator(MainForm& form, QObject* parent)
    : QObject(parent), m_form(form), m_tmrAnswer(new QTimer(this)), m_tmrClose(new QTimer(this))
{
    m_tmrAnswer->setObjectName(QStringLiteral("tmrAnswerSimulCall"));
    m_tmrAnswer->setInterval(kAnswerAfterMs);
    m_tmrAnswer->setSingleShot(true);
    m_tmrClose->setObjectName(QStringLiteral("tmrCloseSimulCall"));
    m_tmrClose->setInterval(kEndAfterMs);
    m_tmrClose->setSingleShot(true);
    connect(m_tmrAnswer, &QTimer::timeout, this, [this] {
        trapErrors(m_form.errors(), QStringLiteral("tmrAnswerSimulCall"),
                   [this] { answerSimulatedCall(); });
    });
    connect(m_tmrClose, &QTimer::timeout, this, [this] {
        trapErrors(m_form.errors(), QStringLiteral("tmrCloseSimulCall"),
                   [this] { endSimulatedCall(); });
    });
}

bool CallSimulator::running() const
{
    return m_tmrAnswer->isActive() || m_tmrClose->isActive();
}

QList<QPair<QString, qint32>> CallSimulator::devices() const
{
    QList<QPair<QString, qint32>> result;
    for (const DevicePtr& device : m_form.colDevices().NewEnum())
        if (!device->isPseudoDevice())
            result.append({device->DeviceName, device->lDeviceID});
    if (PluginHost* plugins = m_form.pluginHost())
        result.append(plugins->outgoingDevices());
    return result;
}

qint32 CallSimulator::taggedCallId() const
{
    return m_tmrClose->property("Tag").toInt();
}

void CallSimulator::simulate(const Request& request)
{
    trapErrors(m_form.errors(), QStringLiteral("btnSimulate"), [&] {
        // A call not answered yet is ended as well, so two presses in a row
        // never leave the first call open on the clients.
        if (running()) {
            m_tmrAnswer->stop();
            endSimulatedCall();
        }
        ColCalls& calls = m_form.colCalls();
        calls.Remove(kSimulatedCallId);
        const CallPtr c = calls.Item(kSimulatedCallId);
        c->lDeviceID = request.deviceId;
        c->setCallerID(request.callerId);
        c->setCalledID(request.calledId);
        // Like a plug-in's call it is in progress from its first report on.
        c->setIsConnected(true);
        const bool pluginDevice = request.deviceId >= MainForm::kFirstPluginDeviceId;
        const auto nameOf = [&](const QString& number) {
            if (!pluginDevice)
                return m_form.getNameForMSN(number);
            PluginHost* plugins = m_form.pluginHost();
            return plugins ? plugins->connectionPluginName(request.deviceId) : QString();
        };
        if (request.incoming)
            c->CalledName = nameOf(request.calledId);
        else
            c->CallerName = nameOf(request.callerId);
        c->Outgoing = !request.incoming;
        c->SaveCall();
        const QString id = QString::number(kSimulatedCallId);
        m_tmrClose->setProperty("Tag", id);
        if (request.incoming) {
            m_form.logCall(id,
                           m_form.GetS(QStringLiteral("Simulating incoming call from: %s to %s"),
                                       c->CallerID(), c->CalledID()));
            m_form.IncomingCall(c);
        } else {
            m_form.logCall(id,
                           m_form.GetS(QStringLiteral("Simulating outgoing call from: %s to %s"),
                                       c->CallerID(), c->CalledID()));
            m_form.OutgoingCall(c);
        }
        m_tmrAnswer->start();
    });
}

void CallSimulator::answerSimulatedCall()
{
    m_tmrAnswer->stop();
    const qint32 id = taggedCallId();
    // The call may have gone meanwhile (the program stopped, a line reused the id).
    if (!m_form.colCalls().contains(id))
        return;
    m_form.evtCallAnswered(id);
    m_tmrClose->start();
}

void CallSimulator::endSimulatedCall()
{
    m_tmrClose->stop();
    const qint32 id = taggedCallId();
    const CallPtr c = m_form.colCalls().contains(id) ? m_form.colCalls().Item(id) : nullptr;
    if (!c)
        return;
    if (c->IsConnected())
        m_form.evtCallDisconnected(id);
    else
        m_form.colCalls().Remove(id);
}
