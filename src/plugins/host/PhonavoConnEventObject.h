#pragma once

#include "plugins/api/PhonavoPlugin.h"

#include <QObject>

#include <functional>

// The connection event sink a connection plug-in reports through. One per
// plug-in, so the host knows which plug-in (and so which device id) a call
// came from. Call ids are handed out by the host (unique among all calls the
// program follows), then the event is emitted. Like the plug-in context it
// lives as long as the process and is bound while a list holds the plug-in;
// unbound, it takes no calls (0) and emits nothing.
class PhonavoConnEventObject : public QObject, public phonavo::ConnectionEvents
{
    Q_OBJECT
public:
    using CallIdSource = std::function<qint32()>;
    static PhonavoConnEventObject& forPlugin(const QString& progId);

    // Binds the sink to a list position; the list connects to the signals.
    quint64 bind(int position, CallIdSource newCallId);
    void unbind(quint64 binding);

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
    void evtCallAnswered(qint32 callId) override;
    void evtCallDisconnected(qint32 callId) override;
    void evtConnected(const QString& progId) override;
    void evtDisconnected(const QString& progId) override;

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
    PhonavoConnEventObject() = default;

    int m_position = 0;
    CallIdSource m_newCallId;
    quint64 m_binding = 0;
};
