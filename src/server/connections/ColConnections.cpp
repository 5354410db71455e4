#include "ColConnections.h"

#include "platform/net/ClientSocket.h"

ConnectionPtr ColConnections::Add(MainForm& form, const QString& ip, ClientSocket* socket)
{
    auto connection = std::make_shared<CConnection>(form, ip, socket);
    m_items.append(connection);
    return connection;
}

ConnectionPtr ColConnections::Item(const ClientSocket* socket) const
{
    if (!socket)
        return nullptr;
    for (const ConnectionPtr& c : m_items)
        if (c->wsConnection == socket)
            return c;
    return nullptr;
}

ConnectionPtr ColConnections::Item(const QString& ip) const
{
    ConnectionPtr newest;
    for (const ConnectionPtr& c : m_items)
        if (c->IP == ip) {
            if (c->Verified)
                return c;
            newest = c;
        }
    return newest;
}

ConnectionPtr ColConnections::Item(int position) const
{
    return position >= 1 && position <= m_items.size() ? m_items[position - 1] : nullptr;
}

QList<ConnectionPtr> ColConnections::fromAddress(const QString& ip) const
{
    QList<ConnectionPtr> result;
    for (const ConnectionPtr& c : m_items)
        if (c->IP == ip)
            result << c;
    return result;
}

bool ColConnections::Remove(const ConnectionPtr& connection)
{
    return m_items.removeOne(connection);
}
