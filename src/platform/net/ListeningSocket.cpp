#include "ListeningSocket.h"

#include "ClientSocket.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

ListeningSocket::ListeningSocket(QObject* parent)
    : QObject(parent), m_server(std::make_unique<QTcpServer>())
{
    connect(m_server.get(), &QTcpServer::newConnection, this, &ListeningSocket::connectionRequest);
    connect(m_server.get(), &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        emit error(m_server->errorString());
        // Accepting pauses after an error such as running out of file handles;
        // try again a little later instead of going deaf.
        QTimer::singleShot(1000, m_server.get(), [server = m_server.get()] {
            if (server->isListening())
                server->resumeAccepting();
        });
    });
}

ListeningSocket::~ListeningSocket() = default;

bool ListeningSocket::listen(quint16 port)
{
    if (m_server->isListening())
        m_server->close();
    return m_server->listen(QHostAddress::Any, port);
}

void ListeningSocket::close()
{
    m_server->close();
}

bool ListeningSocket::isListening() const
{
    return m_server->isListening();
}

quint16 ListeningSocket::localPort() const
{
    return m_server->serverPort();
}

QString ListeningSocket::localHostName() const
{
    return QHostInfo::localHostName();
}

QString ListeningSocket::localIP() const
{
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    return QHostAddress(QHostAddress::LocalHost).toString();
}

QString ListeningSocket::errorString() const
{
    return m_server->errorString();
}

bool ListeningSocket::hasPendingRequest() const
{
    return m_server->hasPendingConnections();
}

std::unique_ptr<ClientSocket> ListeningSocket::accept()
{
    QTcpSocket* socket = m_server->nextPendingConnection();
    if (!socket)
        return nullptr;
    return std::make_unique<ClientSocket>(socket);
}
