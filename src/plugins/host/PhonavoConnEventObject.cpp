#include "PhonavoConnEventObject.h"

qint32 PhonavoConnEventObject::evtIncomingCall(const QString& deviceName, const QString& callerId,
                                               const QString& callerName, const QString& calledId,
                                               const QString& calledName, const QString& extra,
                                               const QString& pictureFile)
{
    const qint32 callId = m_newCallId();
    emit incomingCall(m_position, callId, deviceName, callerId, callerName, calledId, calledName,
                      extra, pictureFile);
    return callId;
}

qint32 PhonavoConnEventObject::evtOutgoingCall(const QString& deviceName, const QString& callerId,
                                               const QString& callerName, const QString& calledId,
                                               const QString& calledName, const QString& extra,
                                               const QString& calledExtra,
                                               const QString& pictureFile)
{
    const qint32 callId = m_newCallId();
    emit outgoingCall(m_position, callId, deviceName, callerId, callerName, calledId, calledName,
                      extra, calledExtra, pictureFile);
    return callId;
}
