#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// Slows down the guessing of the server password, per remote address. A wrong
// password is answered only after a delay that doubles with every failure of
// that address, and while an answer is pending no other password from that
// address is checked: its listens wait their turn. So parallel connections do
// not help a guesser, and a client that mistyped once waits a second.
class LoginThrottle
{
public:
    static constexpr int kDefaultFirstDelayMs = 1000;
    static constexpr int kDefaultMaxDelayMs = 30'000;
    // Failures are forgotten after this long without one.
    static constexpr qint64 kForgetAfterSeconds = 15 * 60;

    void setDelays(int firstMs, int maxMs)
    {
        m_firstDelayMs = firstMs;
        m_maxDelayMs = maxMs;
    }
    int firstDelayMs() const { return m_firstDelayMs; }

    // Whether this address may have a password checked now.
    bool mayCheck(const QString& ip) const;
    // Queues a check for later; run() is called when it is the address's turn.
    void wait(const QString& ip, std::function<void()> run);
    // A wrong password: the failures of this address so far (this one
    // included); delayMs is how long the answer waits. The address is busy
    // until answered() is called.
    int failed(const QString& ip, const QDateTime& now, int* delayMs);
    // The refusal went out: the next waiting check of this address runs.
    void answered(const QString& ip);
    // A right password: this address starts over.
    void succeeded(const QString& ip);
    int failures(const QString& ip) const { return m_addresses.value(ip).failures; }
    // Drops addresses that are idle and have not failed for a long time.
    void forgetOld(const QDateTime& now);
    void clear() { m_addresses.clear(); }

private:
    struct Address
    {
        int failures = 0;
        QDateTime lastFailure;
        bool busy = false;
        QList<std::function<void()>> waiting;
    };
    int m_firstDelayMs = kDefaultFirstDelayMs;
    int m_maxDelayMs = kDefaultMaxDelayMs;
    QHash<QString, Address> m_addresses;
};
