#include "LoginThrottle.h"

#include <algorithm>

bool LoginThrottle::mayCheck(const QString& ip) const
{
    const auto it = m_addresses.constFind(ip);
    return it == m_addresses.cend() || !it->busy;
}

void LoginThrottle::wait(const QString& ip, std::function<void()> run)
{
    m_addresses[ip].waiting.append(std::move(run));
}

int LoginThrottle::failed(const QString& ip, const QDateTime& now, int* delayMs)
{
    Address& a = m_addresses[ip];
    if (a.lastFailure.isValid() && a.lastFailure.secsTo(now) > kForgetAfterSeconds)
        a.failures = 0;
    a.failures = std::min(a.failures + 1, 1'000'000);
    a.lastFailure = now;
    a.busy = true;
    const int doublings = std::min(a.failures - 1, 20);
    *delayMs = int(std::min<qint64>(qint64(m_firstDelayMs) << doublings, qint64(m_maxDelayMs)));
    return a.failures;
}

void LoginThrottle::answered(const QString& ip)
{
    if (const auto it = m_addresses.find(ip); it != m_addresses.end())
        it->busy = false;
    // Waiting checks run until one of them fails again and makes the rest wait.
    // (A check may change the table: it is looked up anew each time.)
    for (;;) {
        const auto it = m_addresses.find(ip);
        if (it == m_addresses.end() || it->busy || it->waiting.isEmpty())
            return;
        const std::function<void()> next = it->waiting.takeFirst();
        next();
    }
}

void LoginThrottle::succeeded(const QString& ip)
{
    const auto it = m_addresses.find(ip);
    if (it == m_addresses.end())
        return;
    it->failures = 0;
    it->lastFailure = QDateTime();
}

void LoginThrottle::forgetOld(const QDateTime& now)
{
    m_addresses.removeIf([&now](const auto& entry) {
        const Address& a = entry.value();
        return !a.busy && a.waiting.isEmpty() &&
               (!a.lastFailure.isValid() || a.lastFailure.secsTo(now) > kForgetAfterSeconds);
    });
}
