#include "ServerLink.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

ServerLink::ServerLink(QObject* parent) : QObject(parent)
{
    m_answerTimer.setSingleShot(true);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] { onGone(Loss::Silent, QString()); });
    connect(&m_pingTimer, &QTimer::timeout, this, &ServerLink::onPingTimer);
}

ServerLink::~ServerLink()
{
    close();
}

void ServerLink::open(const QString& host, quint16 port, const QByteArray& greeting, int timeoutMs)
{
    close();
    m_greeting = greeting;
    m_timeoutMs = std::max(timeoutMs, 4);
    m_peer = host + QLatin1Char(':') + QString::number(port);
    m_stalledMs = 0;
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &ServerLink::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &ServerLink::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { onGone(Loss::Closed, QString()); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        const QString text = m_socket ? m_socket->errorString() : QString();
        onGone(e == QAbstractSocket::RemoteHostClosedError ? Loss::Closed : Loss::Refused, text);
    });
    // Connecting and the answer to the greeting share one deadline.
    m_answerTimer.start(m_timeoutMs);
    m_socket->connectToHost(host, port);
}

void ServerLink::close()
{
    m_answerTimer.stop();
    m_pingTimer.stop();
    m_reader.clear();
    if (QTcpSocket* socket = m_socket.data()) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void ServerLink::answered()
{
    m_answerTimer.stop();
    m_pingTimer.start(m_timeoutMs / 4);
}

void ServerLink::send(const QByteArray& message)
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(message);
}

void ServerLink::onConnected()
{
    tuneKeepAlive();
    send(m_greeting);
}

void ServerLink::tuneKeepAlive()
{
    // A server that vanished without closing (power cut, cable) is noticed by
    // the kernel: data of ours unacknowledged past the deadline, or an idle
    // connection whose probes go unanswered, ends the connection.
    const int fd = int(m_socket->socketDescriptor());
    if (fd < 0)
        return;
    const int on = 1;
    const int idle = std::max(1, m_timeoutMs / 2000);
    const int interval = std::max(1, m_timeoutMs / 8000);
    const int count = 4;
    const unsigned userTimeout = unsigned(m_timeoutMs);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
}

void ServerLink::onReadyRead()
{
    QPointer<QTcpSocket> socket = m_socket;
    if (!socket)
        return;
    QList<QByteArray> messages;
    const bool fits = m_reader.append(socket->readAll(), messages);
    for (const QByteArray& m : messages) {
        emit message(ClientWire::fields(m));
        // The handler may have closed the link, or opened a new one.
        if (m_socket != socket || !socket)
            return;
    }
    if (!fits)
        onGone(Loss::Overflow, QString());
}

void ServerLink::onPingTimer()
{
    if (!m_socket)
        return;
    // The server answers no ping; one that takes none of our data is gone.
    if (m_socket->bytesToWrite() > 0) {
        m_stalledMs += m_pingTimer.interval();
        if (m_stalledMs >= m_timeoutMs) {
            onGone(Loss::Silent, QString());
            return;
        }
    } else {
        m_stalledMs = 0;
    }
    send(ClientWire::encode(QStringLiteral("ping")));
}

void ServerLink::onGone(Loss loss, const QString& detail)
{
    if (!m_socket)
        return;
    close();
    emit lost(loss, detail);
}
