#include "PeerLogs.h"

#include "AddressKey.h"

#include <algorithm>

std::shared_ptr<PeerLog> PeerLogs::forAddress(const QString& ip)
{
    const QString key = addressKey(ip);
    if (const auto it = m_addresses.constFind(key); it != m_addresses.cend())
        return *it;
    if (m_addresses.size() >= kMaxAddresses) {
        const auto oldest = std::min_element(
            m_addresses.begin(), m_addresses.end(),
            [](const auto& a, const auto& b) { return a->lastUse() < b->lastUse(); });
        m_addresses.erase(oldest);
    }
    return m_addresses.insert(key, std::make_shared<PeerLog>()).value();
}

QList<std::pair<QString, int>> PeerLogs::takeLeftOut(const QDateTime& now)
{
    QList<std::pair<QString, int>> result;
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        if (const int count = (*it)->takeLeftOut(); count > 0)
            result.append({it.key(), count});
        if (it->use_count() == 1 && (*it)->unused(now))
            it = m_addresses.erase(it);
        else
            ++it;
    }
    std::sort(result.begin(), result.end());
    return result;
}
