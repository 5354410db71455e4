#include "ColConnections.h"

ConnectionPtr ColConnections::Add(MainForm& form, const QString& ip, ClientSocket* socket)
{
    Remove(ip);
    auto connection = std::make_shared<CConnection>(form, ip, socket);
    m_items.append(connection);
    return connection;
}

ConnectionPtr ColConnections::Item(const QString& ip) const
{
    for (const ConnectionPtr& c : m_items)
        if (c->IP == ip)
            return c;
    return nullptr;
}

ConnectionPtr ColConnections::Item(int position) const
{
    return position >= 1 && position <= m_items.size() ? m_items[position - 1] : nullptr;
}

bool ColConnections::Remove(const QString& ip)
{
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (m_items[i]->IP == ip) {
            m_items.removeAt(i);
            return true;
        }
    return false;
}
