#pragma once

#include "plugins/api/PhonavoPlugin.h"

#include <QObject>

#include <functional>

// The connection event sink a connection plug-in reports through. One per
// loaded plug-in, so the host knows which plug-in (and so which device id) a
// call came from. Call ids are handed out by the host (unique among all
// calls the program follows), then the event is emitted.
class PhonavoConnEventObject : public QObject, public phonavo::ConnectionEvents
{
    Q_OBJECT
public:
    using CallIdSource = std::function<qint32()>;
    PhonavoConnEventObject(int position, CallIdSource newCallId, QObject* parent = nullptr)
        : QObject(parent), m_position(position), m_newCallId(std::move(newCallId))
    {}

    // The plug-in's position in the connection plug-in list (from 1).
    int position() const { return m_position; }

    qint32 evtIncomingCall(const QString& deviceName, const QString& callerId,
                           const QString& callerName, const QString& calledId,
                           const QString& calledName, const QString& extra,
                           const QString& pictureFile) override;
    qint32 evtOutgoingCall(const QString& deviceName, const QString& callerId,
                           const QString& callerName, const QString& calledId,
                           const QString& calledName, const QString& extra,
                           const QString& calledExtra, const QString& pictureFile) override;
    void evtCallAnswered(qint32 callId) override { emit callAnswered(callId); }
    void evtCallDisconnected(qint32 callId) override { emit callDisconnected(callId); }
    void evtConnected(const QString& progId) override { emit connected(progId); }
    void evtDisconnected(const QString& progId) override { emit disconnected(progId); }

signals:
    void incomingCall(int position, qint32 callId, const QString& deviceName,
                      const QString& callerId, const QString& callerName, const QString& calledId,
                      const QString& calledName, const QString& extra, const QString& pictureFile);
    void outgoingCall(int position, qint32 callId, const QString& deviceName,
                      const QString& callerId, const QString& callerName, const QString& calledId,
                      const QString& calledName, const QString& extra, const QString& calledExtra,
                      const QString& pictureFile);
    void callAnswered(qint32 callId);
    void callDisconnected(qint32 callId);
    void connected(const QString& progId);
    void disconnected(const QString& progId);

private:
    int m_position;
    CallIdSource m_newCallId;
};
