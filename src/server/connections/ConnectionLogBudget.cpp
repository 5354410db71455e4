#include "ConnectionLogBudget.h"

#include "AddressKey.h"

#include <algorithm>

void ConnectionLogBudget::refill(Address& a, const QDateTime& now)
{
    const qint64 elapsedMs = a.at.isValid() ? std::max<qint64>(0, a.at.msecsTo(now)) : 0;
    a.budget = std::min<double>(kBurst, a.budget + double(elapsedMs) * kRefillPerMinute / 60'000.0);
    a.at = now;
}

bool ConnectionLogBudget::admit(const QString& ip, const QDateTime& now)
{
    const QString key = addressKey(ip);
    auto it = m_addresses.find(key);
    if (it == m_addresses.end()) {
        if (m_addresses.size() >= kMaxAddresses) {
            const auto oldest =
                std::min_element(m_addresses.begin(), m_addresses.end(),
                                 [](const Address& a, const Address& b) { return a.at < b.at; });
            m_addresses.erase(oldest);
        }
        it = m_addresses.insert(key, Address{kBurst, now, 0});
    }
    refill(*it, now);
    if (it->budget >= 1.0) {
        it->budget -= 1.0;
        return true;
    }
    it->leftOut = std::min(it->leftOut + 1, 1'000'000'000);
    return false;
}

QList<std::pair<QString, int>> ConnectionLogBudget::takeLeftOut(const QDateTime& now)
{
    QList<std::pair<QString, int>> result;
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        if (it->leftOut > 0) {
            result.append({it.key(), it->leftOut});
            it->leftOut = 0;
        }
        refill(*it, now);
        if (it->budget >= kBurst)
            it = m_addresses.erase(it); // no different from an address never seen
        else
            ++it;
    }
    std::sort(result.begin(), result.end());
    return result;
}
