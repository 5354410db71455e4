#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <utility>

// What the connections of one address may put into the log: the lines of a
// connection (its request, its refusal, its end) are written while the
// address has budget, which survives reconnects. Beyond it, connections are
// only counted, and the server logs the counts now and then. Deciding costs
// a hash look-up, so a flood of short connections writes nothing and opens no
// file. Addresses count by addressKey (IPv6 by /64).
class ConnectionLogBudget
{
public:
    static constexpr int kBurst = 20;          // connections logged in a row
    static constexpr int kRefillPerMinute = 6; // then one every ten seconds
    static constexpr int kMaxAddresses = 4096; // the one idle longest goes first

    // Whether the lines of a new connection from this address are logged;
    // false counts it among those left out.
    bool admit(const QString& ip, const QDateTime& now);
    // The addresses with connections left out since the last call, and how
    // many; their counts start over. Addresses whose budget has grown back
    // are forgotten.
    QList<std::pair<QString, int>> takeLeftOut(const QDateTime& now);
    int size() const { return int(m_addresses.size()); }
    void clear() { m_addresses.clear(); }

private:
    struct Address
    {
        double budget = kBurst;
        QDateTime at;
        int leftOut = 0;
    };
    static void refill(Address& a, const QDateTime& now);

    QHash<QString, Address> m_addresses;
};
