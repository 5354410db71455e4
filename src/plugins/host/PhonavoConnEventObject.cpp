#include "PhonavoConnEventObject.h"

#include "core/calls/CallText.h"

#include <QHash>

namespace {
// A plug-in is outside our control, like a line source.
QString shortText(const QString& text)
{
    return cleanCallText(text, 128);
}
QString longText(const QString& text)
{
    return cleanCallText(text, 4096);
}
} // namespace

PhonavoConnEventObject& PhonavoConnEventObject::forPlugin(const QString& progId)
{
    static auto* sinks = new QHash<QString, PhonavoConnEventObject*>; // never freed, see above
    PhonavoConnEventObject*& sink = (*sinks)[progId.toLower()];
    if (!sink)
        sink = new PhonavoConnEventObject;
    return *sink;
}

quint64 PhonavoConnEventObject::bind(int position, CallIdSource newCallId)
{
    m_position = position;
    m_newCallId = std::move(newCallId);
    return ++m_binding;
}

void PhonavoConnEventObject::unbind(quint64 binding)
{
    if (binding != m_binding)
        return;
    m_newCallId = nullptr;
    disconnect(); // the list that listened is going
}

void PhonavoConnEventObject::evtCallAnswered(qint32 callId)
{
    if (m_newCallId)
        emit callAnswered(callId);
}

void PhonavoConnEventObject::evtCallDisconnected(qint32 callId)
{
    if (m_newCallId)
        emit callDisconnected(callId);
}

void PhonavoConnEventObject::evtConnected(const QString& progId)
{
    if (m_newCallId)
        emit connected(progId);
}

void PhonavoConnEventObject::evtDisconnected(const QString& progId)
{
    if (m_newCallId)
        emit disconnected(progId);
}

qint32 PhonavoConnEventObject::evtIncomingCall(const QString& deviceName, const QString& callerId,
                                               const QString& callerName, const QString& calledId,
                                               const QString& calledName, const QString& extra,
                                               const QString& pictureFile)
{
    if (!m_newCallId)
        return 0;
    const qint32 callId = m_newCallId();
    emit incomingCall(m_position, callId, shortText(deviceName), shortText(callerId),
                      shortText(callerName), shortText(calledId), shortText(calledName),
                      cleanCallText(extra, 255), longText(pictureFile));
    return callId;
}

qint32 PhonavoConnEventObject::evtOutgoingCall(const QString& deviceName, const QString& callerId,
                                               const QString& callerName, const QString& calledId,
                                               const QString& calledName, const QString& extra,
                                               const QString& calledExtra,
                                               const QString& pictureFile)
{
    if (!m_newCallId)
        return 0;
    const qint32 callId = m_newCallId();
    emit outgoingCall(m_position, callId, shortText(deviceName), shortText(callerId),
                      shortText(callerName), shortText(calledId), shortText(calledName),
                      cleanCallText(extra, 255), cleanCallText(calledExtra, 255),
                      longText(pictureFile));
    return callId;
}
