#pragma once

#include "LineProvider.h"

#include <QHash>
#include <QList>
#include <QMap>

// The calls of a line provider that follows a real line source: live calls
// by call id, and for a while the ended ones, because the hub delivers their
// notifications after the fact and the monitor then still reads their fields.
class LineCallTable
{
public:
    // More live calls than this means the source reports starts without ends.
    static constexpr int kMaxLiveCalls = 1024;
    static constexpr int kKeptEndedCalls = 256;

    struct Call
    {
        int device = 0;
        qint32 state = 0;
        QMap<int, QString> fields;
    };

    void setNotify(LineProvider::NotifyFn notify) { m_notify = std::move(notify); }

    bool isFull() const { return m_live.size() >= kMaxLiveCalls; }
    const Call* live(qint32 callId) const;
    QList<qint32> liveCallIds() const { return m_live.keys(); }
    QList<qint32> liveCallIds(int device) const;

    // A new call has no state until its first changeState().
    void add(qint32 callId, int device, QMap<int, QString> fields);
    void setField(qint32 callId, int field, const QString& value);
    // Notifies the new state; Idle ends the call.
    void changeState(qint32 callId, qint32 state, qint32 features);
    void notifyIdentity(qint32 callId, int kind, const QString& number, const QString& name);

    // A live or recently ended call's field; empty for another device's call.
    QString field(int device, qint32 callId, int field) const;

    // Forgets everything without notifying.
    void clear();

private:
    QHash<qint32, Call> m_live;
    QHash<qint32, Call> m_ended;
    QList<qint32> m_endedOrder;
    LineProvider::NotifyFn m_notify;
};
