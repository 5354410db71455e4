#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// Slows down the guessing of the server password. A wrong password is
// answered only after a delay that doubles with every failure of its address,
// and while an answer is pending no other password from that address is
// checked: its listens wait their turn. So parallel connections do not help a
// guesser, and a client that mistyped once waits a second.
//
// Many addresses together are slowed down too: beyond a few wrong passwords a
// minute from all addresses, every wrong answer also waits a server-wide delay
// that grows with each further failure, until a quiet minute. IPv6 addresses
// count by their /64 (see addressKey), and the table of addresses is bounded.
class LoginThrottle
{
public:
    static constexpr int kDefaultFirstDelayMs = 1000;
    static constexpr int kDefaultMaxDelayMs = 30'000;
    // Failures are forgotten after this long without one.
    static constexpr qint64 kForgetAfterSeconds = 15 * 60;
    // Wrong passwords a minute, from all addresses, that wait for no one else.
    static constexpr int kGlobalFailuresPerMinute = 10;
    static constexpr int kDefaultGlobalFirstDelayMs = 2000;
    static constexpr int kDefaultGlobalMaxDelayMs = 5 * 60'000;
    // Addresses remembered at most; the one idle longest is forgotten first.
    static constexpr int kMaxAddresses = 4096;

    struct Failure
    {
        int failures = 0; // of this address so far, this one included
        int delayMs = 0;  // how long the answer waits
        // This failure made the server-wide limit start (it applies from now on).
        bool globalLimitEngaged = false;
    };

    void setDelays(int firstMs, int maxMs)
    {
        m_firstDelayMs = firstMs;
        m_maxDelayMs = maxMs;
    }
    void setGlobalDelays(int firstMs, int maxMs)
    {
        m_globalFirstDelayMs = firstMs;
        m_globalMaxDelayMs = maxMs;
    }
    int firstDelayMs() const { return m_firstDelayMs; }

    // Whether this address may have a password checked now.
    bool mayCheck(const QString& ip) const;
    // Queues a check for later; run() is called when it is the address's turn.
    void wait(const QString& ip, std::function<void()> run);
    // A wrong password. The address is busy until answered() is called.
    Failure failed(const QString& ip, const QDateTime& now);
    // The refusal went out: the next waiting check of this address runs.
    void answered(const QString& ip);
    // A right password: this address starts over.
    void succeeded(const QString& ip);
    int failures(const QString& ip) const;
    // Whether wrong answers wait the server-wide delay now.
    bool globalLimitEngaged() const { return m_overLimit > 0; }
    // Drops addresses that are idle and have not failed for a long time.
    void forgetOld(const QDateTime& now);
    int size() const { return int(m_addresses.size()); }
    void clear();

private:
    struct Address
    {
        int failures = 0;
        QDateTime lastFailure;
        bool busy = false;
        QList<std::function<void()>> waiting;
    };
    static bool idle(const Address& a) { return !a.busy && a.waiting.isEmpty(); }
    Address& entry(const QString& key);
    int globalDelayMs(const QDateTime& now, bool* engaged);

    int m_firstDelayMs = kDefaultFirstDelayMs;
    int m_maxDelayMs = kDefaultMaxDelayMs;
    int m_globalFirstDelayMs = kDefaultGlobalFirstDelayMs;
    int m_globalMaxDelayMs = kDefaultGlobalMaxDelayMs;
    QHash<QString, Address> m_addresses; // by addressKey
    // The server-wide bucket of wrong answers that wait for no one else.
    double m_tokens = kGlobalFailuresPerMinute;
    QDateTime m_tokensAt;
    int m_overLimit = 0; // failures beyond the bucket since it was last full
};
