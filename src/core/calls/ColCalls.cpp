#include "ColCalls.h"

#include "core/log/ErrorReport.h"
#include "platform/Clock.h"

#include <algorithm>

int ColCalls::indexOf(const QString& key) const
{
    for (int i = 0; i < m_calls.size(); ++i)
        if (QLatin1Char('K') + m_calls[i]->CallID == key)
            return i;
    return -1;
}

bool ColCalls::contains(qint32 callId) const
{
    return indexOf(key(callId)) >= 0;
}

CallPtr ColCalls::Add(qint32 callId)
{
    if (contains(callId))
        PHONAVO_THROW(QStringLiteral(
                          "This key is already associated with an element of this collection (K%1)")
                          .arg(callId));
    auto call = std::make_shared<CCall>(m_store, m_popups);
    call->CallID = QString::number(callId);
    call->CallStart = Clock::instance().now();
    m_calls.append(call);
    return call;
}

CallPtr ColCalls::ItemForNewCall(qint32 callId)
{
    CallPtr c = Item(callId);
    if (c->IsConnected()) {
        c->setIsConnected(false);
        c->SaveCall();
        Remove(callId);
        c = Item(callId);
    }
    return c;
}

CallPtr ColCalls::Item(qint32 callId)
{
    if (callId == 0 && !m_calls.isEmpty())
        return m_calls.first();
    const int index = indexOf(key(callId));
    if (index >= 0) {
        // The flag tells about the id looked up, so a first report looked up
        // by its own id is not secondary, whatever its second report saw.
        m_calls[index]->Secondary = false;
        return m_calls[index];
    }
    const QString wanted = key(callId);
    for (const auto& [firstKey, secondKey] : m_aliases) {
        if (secondKey != wanted)
            continue;
        const int first = indexOf(firstKey);
        if (first >= 0) {
            m_calls[first]->Secondary = true;
            return m_calls[first];
        }
        // The first report has ended already; the caller only looks at the flag.
        auto orphan = std::make_shared<CCall>(m_store, m_popups);
        orphan->CallID = QString::number(callId);
        orphan->CallStart = Clock::instance().now();
        orphan->Secondary = true;
        return orphan;
    }
    return Add(callId);
}

void ColCalls::Remove(qint32 callId)
{
    const int index = callId == 0 ? (m_calls.isEmpty() ? -1 : 0) : indexOf(key(callId));
    if (index >= 0)
        m_calls.removeAt(index);
    const QString removed = key(callId);
    for (int i = int(m_aliases.size()) - 1; i >= 0; --i)
        if (m_aliases[i].second == removed)
            m_aliases.removeAt(i);
}

CallPtr ColCalls::Find(const QString& callerNumber, const QString& calledNumber, qint32 newCallId)
{
    if (callerNumber.isEmpty() || calledNumber.isEmpty())
        return nullptr;
    const QDateTime windowStart = Clock::instance().now().addMSecs(-kRepeatWindowMs);
    for (const CallPtr& call : m_calls) {
        if (call->OriginalCallerID != callerNumber || call->OriginalCalledID != calledNumber ||
            call->CallStart <= windowStart)
            continue;
        const QString firstKey = QLatin1Char('K') + call->CallID;
        const bool exists = std::any_of(m_aliases.cbegin(), m_aliases.cend(),
                                        [&](const auto& a) { return a.first == firstKey; });
        if (!exists)
            m_aliases.append({firstKey, key(newCallId)});
        return call;
    }
    return nullptr;
}
