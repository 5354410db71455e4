#include "LoginThrottle.h"

#include "AddressKey.h"

#include <algorithm>

bool LoginThrottle::mayCheck(const QString& ip) const
{
    const auto it = m_addresses.constFind(addressKey(ip));
    return it == m_addresses.cend() || !it->busy;
}

int LoginThrottle::failures(const QString& ip) const
{
    return m_addresses.value(addressKey(ip)).failures;
}

LoginThrottle::Address& LoginThrottle::entry(const QString& key)
{
    if (const auto it = m_addresses.find(key); it != m_addresses.end())
        return *it;
    if (m_addresses.size() >= kMaxAddresses) {
        // Idle entries only: a busy one holds listens that wait for their turn.
        auto oldest = m_addresses.end();
        for (auto it = m_addresses.begin(); it != m_addresses.end(); ++it)
            if (idle(*it) && (oldest == m_addresses.end() || it->lastFailure < oldest->lastFailure))
                oldest = it;
        if (oldest != m_addresses.end())
            m_addresses.erase(oldest);
    }
    return m_addresses[key];
}

void LoginThrottle::wait(const QString& ip, std::function<void()> run)
{
    entry(addressKey(ip)).waiting.append(std::move(run));
}

int LoginThrottle::globalDelayMs(const QDateTime& now, bool* engaged)
{
    if (!m_tokensAt.isValid())
        m_tokensAt = now;
    const qint64 elapsedMs = std::max<qint64>(0, m_tokensAt.msecsTo(now));
    m_tokensAt = now;
    m_tokens += double(elapsedMs) * kGlobalFailuresPerMinute / 60'000.0;
    if (m_tokens >= kGlobalFailuresPerMinute) {
        m_tokens = kGlobalFailuresPerMinute;
        m_overLimit = 0; // a quiet minute ends it
    }
    if (m_tokens >= 1.0) {
        m_tokens -= 1.0;
        return 0;
    }
    *engaged = m_overLimit == 0;
    m_overLimit = std::min(m_overLimit + 1, 1'000'000);
    const int doublings = std::min(m_overLimit - 1, 20);
    return int(
        std::min<qint64>(qint64(m_globalFirstDelayMs) << doublings, qint64(m_globalMaxDelayMs)));
}

LoginThrottle::Failure LoginThrottle::failed(const QString& ip, const QDateTime& now)
{
    Failure result;
    Address& a = entry(addressKey(ip));
    if (a.lastFailure.isValid() && a.lastFailure.secsTo(now) > kForgetAfterSeconds)
        a.failures = 0;
    a.failures = std::min(a.failures + 1, 1'000'000);
    a.lastFailure = now;
    a.busy = true;
    const int doublings = std::min(a.failures - 1, 20);
    const int own =
        int(std::min<qint64>(qint64(m_firstDelayMs) << doublings, qint64(m_maxDelayMs)));
    result.failures = a.failures;
    result.delayMs = std::max(own, globalDelayMs(now, &result.globalLimitEngaged));
    return result;
}

void LoginThrottle::answered(const QString& ip)
{
    const QString key = addressKey(ip);
    if (const auto it = m_addresses.find(key); it != m_addresses.end())
        it->busy = false;
    // Waiting checks run until one of them fails again and makes the rest wait.
    // (A check may change the table: it is looked up anew each time.)
    for (;;) {
        const auto it = m_addresses.find(key);
        if (it == m_addresses.end() || it->busy || it->waiting.isEmpty())
            return;
        const std::function<void()> next = it->waiting.takeFirst();
        next();
    }
}

void LoginThrottle::succeeded(const QString& ip)
{
    const auto it = m_addresses.find(addressKey(ip));
    if (it == m_addresses.end())
        return;
    it->failures = 0;
    it->lastFailure = QDateTime();
}

void LoginThrottle::forgetOld(const QDateTime& now)
{
    m_addresses.removeIf([&now](const auto& entry) {
        const Address& a = entry.value();
        return idle(a) &&
               (!a.lastFailure.isValid() || a.lastFailure.secsTo(now) > kForgetAfterSeconds);
    });
}

void LoginThrottle::clear()
{
    m_addresses.clear();
    m_tokens = kGlobalFailuresPerMinute;
    m_tokensAt = QDateTime();
    m_overLimit = 0;
}
