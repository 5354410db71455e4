#pragma once

#include "PeerLog.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

// The log budgets of the remote addresses the server hears from, held by the
// server so that they outlive the connections. Addresses count by addressKey
// (IPv6 by /64), and the table is bounded: the address used longest ago goes
// first (its connections keep their budget).
class PeerLogs
{
public:
    static constexpr int kMaxAddresses = 4096;

    std::shared_ptr<PeerLog> forAddress(const QString& ip);
    // The addresses with connections left out since the last call, and how
    // many; their counts start over. Addresses no connection uses any more,
    // whose budgets have grown back, are forgotten.
    QList<std::pair<QString, int>> takeLeftOut(const QDateTime& now);
    int size() const { return int(m_addresses.size()); }
    void clear() { m_addresses.clear(); }

private:
    QHash<QString, std::shared_ptr<PeerLog>> m_addresses; // by addressKey
};
