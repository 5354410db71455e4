#pragma once

#include "CConnection.h"

#include <QList>

// The server's clients in the order they connected, keyed by remote address:
// at most one connection per address.
class ColConnections
{
public:
    // A new connection for this address; one listed under it before is replaced.
    ConnectionPtr Add(MainForm& form, const QString& ip, ClientSocket* socket);
    ConnectionPtr Item(const QString& ip) const;
    ConnectionPtr Item(int position) const; // 1 to Count, else nullptr
    int Count() const { return int(m_items.size()); }
    bool Remove(const QString& ip);
    void Clear() { m_items.clear(); }
    bool contains(const QString& ip) const { return Item(ip) != nullptr; }
    // A copy, so that handlers may remove connections while walking it.
    QList<ConnectionPtr> NewEnum() const { return m_items; }

private:
    QList<ConnectionPtr> m_items;
};
