#pragma once

#include "CConnection.h"

#include <QList>

// The server's connections in the order they connected, one per client socket.
// Several may come from one address (a reconnect, or someone else on that
// host); at most one of them is verified, and only that one is the client of
// that address.
class ColConnections
{
public:
    ConnectionPtr Add(MainForm& form, const QString& ip, ClientSocket* socket);
    ConnectionPtr Item(const ClientSocket* socket) const;
    // The client of this address: its verified connection, else its newest one.
    ConnectionPtr Item(const QString& ip) const;
    ConnectionPtr Item(int position) const; // 1 to Count, else nullptr
    QList<ConnectionPtr> fromAddress(const QString& ip) const;
    int Count() const { return int(m_items.size()); }
    bool Remove(const ConnectionPtr& connection);
    void Clear() { m_items.clear(); }
    bool contains(const QString& ip) const { return Item(ip) != nullptr; }
    // A copy, so that handlers may remove connections while walking it.
    QList<ConnectionPtr> NewEnum() const { return m_items; }

private:
    QList<ConnectionPtr> m_items;
};
