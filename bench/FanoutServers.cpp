#include "FanoutServers.h"

#include "server/protocol/WireProtocol.h"

#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <unordered_map>

namespace {

const QByteArray& acceptedMessage()
{
    static const QByteArray bytes = WireProtocol::encode(QStringLiteral("accepted"), {QString()});
    return bytes;
}

bool isListen(const QByteArray& buffer)
{
    return buffer.startsWith("listen\r\n") && buffer.contains('\0');
}

} // namespace

QtFanoutServer::QtFanoutServer()
{
    connect(&m_server, &QTcpServer::newConnection, this, &QtFanoutServer::onNewConnection);
}

bool QtFanoutServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void QtFanoutServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* buffer = new QByteArray;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            const QByteArray data = socket->readAll();
            if (m_accepted.contains(socket))
                return; // pings
            *buffer += data;
            if (!isListen(*buffer))
                return;
            socket->write(acceptedMessage());
            socket->flush();
            m_accepted.append(socket);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, buffer] {
            m_accepted.removeOne(socket);
            delete buffer;
            socket->deleteLater();
        });
    }
}

void QtFanoutServer::broadcast(const QByteArray& message)
{
    for (QTcpSocket* socket : std::as_const(m_accepted)) {
        socket->write(message);
        socket->flush();
    }
}

void QtFanoutServer::closeClients()
{
    for (QTcpSocket* socket : std::as_const(m_accepted))
        socket->abort();
}

EpollFanoutServer::~EpollFanoutServer()
{
    closeClients();
    if (m_listen >= 0)
        ::close(m_listen);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

bool EpollFanoutServer::listen()
{
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(m_listen, SOMAXCONN) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = m_listen;
    return epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &ev) == 0;
}

bool EpollFanoutServer::acceptClients(int clients, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unordered_map<int, QByteArray> pending; // listens not complete yet
    epoll_event events[256];
    while (int(m_accepted.size()) < clients && Clock::now() < end) {
        const int n = epoll_wait(m_epoll, events, 256, 100);
        for (int e = 0; e < n; ++e) {
            const int fd = events[e].data.fd;
            if (fd == m_listen) {
                int client;
                while ((client = accept4(m_listen, nullptr, nullptr,
                                         SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                    epoll_event ev{};
                    ev.events = EPOLLIN;
                    ev.data.fd = client;
                    epoll_ctl(m_epoll, EPOLL_CTL_ADD, client, &ev);
                    pending[client];
                }
                continue;
            }
            char buf[4096];
            const ssize_t got = ::read(fd, buf, sizeof buf);
            if (got <= 0) {
                if (got < 0 && errno == EAGAIN)
                    continue;
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
                ::close(fd);
                pending.erase(fd);
                continue;
            }
            QByteArray& buffer = pending[fd];
            buffer.append(buf, got);
            if (!isListen(buffer))
                continue;
            // Logged in: from now on it is only written to (its pings stay unread).
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
            pending.erase(fd);
            const QByteArray& accepted = acceptedMessage();
            if (::write(fd, accepted.constData(), size_t(accepted.size())) != accepted.size())
                ++m_shortWrites;
            m_accepted.push_back(fd);
        }
    }
    for (const auto& entry : pending) {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, entry.first, nullptr);
        ::close(entry.first);
    }
    return int(m_accepted.size()) >= clients;
}

void EpollFanoutServer::broadcast(const QByteArray& message)
{
    for (const int fd : m_accepted)
        if (::write(fd, message.constData(), size_t(message.size())) != message.size())
            ++m_shortWrites;
}

void EpollFanoutServer::closeClients()
{
    for (const int fd : m_accepted)
        ::close(fd);
    m_accepted.clear();
}
