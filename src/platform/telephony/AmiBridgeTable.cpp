#include "AmiBridgeTable.h"

bool AmiBridgeTable::enter(const QString& bridge, const QString& channel, const QString& uniqueId,
                           const QString& swapUniqueId, QString* swappedOut)
{
    if (swappedOut)
        swappedOut->clear();
    forget(channel);
    if (m_bridgeOf.size() >= kMaxChannels)
        return false;
    QList<Member>& members = m_bridges[bridge];
    if (!swapUniqueId.isEmpty()) {
        for (qsizetype i = 0; i < members.size(); ++i) {
            if (members[i].uniqueId != swapUniqueId)
                continue;
            if (swappedOut)
                *swappedOut = members[i].channel;
            m_bridgeOf.remove(members[i].channel);
            members.removeAt(i);
            break;
        }
    }
    members.append({channel, uniqueId});
    m_bridgeOf.insert(channel, bridge);
    return true;
}

void AmiBridgeTable::leave(const QString& bridge, const QString& channel)
{
    if (m_bridgeOf.value(channel) == bridge)
        forget(channel);
}

void AmiBridgeTable::forget(const QString& channel)
{
    const auto at = m_bridgeOf.constFind(channel);
    if (at == m_bridgeOf.constEnd())
        return;
    const auto bridge = m_bridges.find(*at);
    m_bridgeOf.erase(at);
    if (bridge == m_bridges.end())
        return;
    bridge->removeIf([&](const Member& m) { return m.channel == channel; });
    if (bridge->isEmpty())
        m_bridges.erase(bridge);
}

void AmiBridgeTable::clear()
{
    m_bridges.clear();
    m_bridgeOf.clear();
}

QStringList AmiBridgeTable::members(const QString& bridge) const
{
    QStringList names;
    for (const Member& m : m_bridges.value(bridge))
        names.append(m.channel);
    return names;
}
