#include "LineCallTable.h"

const LineCallTable::Call* LineCallTable::live(qint32 callId) const
{
    const auto it = m_live.constFind(callId);
    return it == m_live.constEnd() ? nullptr : &*it;
}

QList<qint32> LineCallTable::liveCallIds(int device) const
{
    QList<qint32> ids;
    for (auto it = m_live.constBegin(); it != m_live.constEnd(); ++it)
        if (it->device == device)
            ids.append(it.key());
    return ids;
}

void LineCallTable::add(qint32 callId, int device, QMap<int, QString> fields)
{
    Call call;
    call.device = device;
    call.fields = std::move(fields);
    call.fields[CallInfoField::CallId] = QString::number(callId);
    m_live.insert(callId, std::move(call));
}

void LineCallTable::setField(qint32 callId, int field, const QString& value)
{
    const auto it = m_live.find(callId);
    if (it != m_live.end())
        it->fields[field] = value;
}

void LineCallTable::changeState(qint32 callId, qint32 state, qint32 features)
{
    auto it = m_live.find(callId);
    if (it == m_live.end())
        return;
    it->state = state;
    it->fields[CallInfoField::CallState] = QString::number(state);
    it->fields[CallInfoField::CallFeatures] = QString::number(features);
    LineNotification n;
    n.kind = LineNotification::CallState;
    n.device = it->device;
    n.callHandle = callId;
    n.state = state;
    n.callId = callId;
    if (state == LineCallState::Idle) {
        m_ended.insert(callId, *it);
        m_endedOrder.append(callId);
        if (m_endedOrder.size() > kKeptEndedCalls)
            m_ended.remove(m_endedOrder.takeFirst());
        m_live.erase(it);
    }
    if (m_notify)
        m_notify(n);
}

void LineCallTable::notifyIdentity(qint32 callId, int kind, const QString& number,
                                   const QString& name)
{
    const auto it = m_live.constFind(callId);
    if (it == m_live.constEnd() || !m_notify)
        return;
    LineNotification n;
    n.kind = kind;
    n.device = it->device;
    n.callHandle = callId;
    n.callId = callId;
    n.number = number;
    n.name = name;
    m_notify(n);
}

QString LineCallTable::field(int device, qint32 callId, int field) const
{
    auto it = m_live.constFind(callId);
    if (it == m_live.constEnd()) {
        it = m_ended.constFind(callId);
        if (it == m_ended.constEnd())
            return QString();
    }
    return it->device == device ? it->fields.value(field) : QString();
}

void LineCallTable::clear()
{
    m_live.clear();
    m_ended.clear();
    m_endedOrder.clear();
}
