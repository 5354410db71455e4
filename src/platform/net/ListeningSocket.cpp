#include "ListeningSocket.h"

#include "ClientSocket.h"
#include "platform/FileHandleLimit.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>

namespace {

// Connections wait here while accepting is paused; few, so a pause stops the
// accepting loop at once instead of after the whole backlog.
constexpr int kMaxWaiting = 4;
// Accepting goes on only with a few handles more than the reserve, so it does
// not flip on and off with every handle.
constexpr int kResumeMargin = 4;

} // namespace

ListeningSocket::ListeningSocket(QObject* parent)
    : QObject(parent), m_server(std::make_unique<QTcpServer>())
{
    m_server->setMaxPendingConnections(kMaxWaiting);
    connect(m_server.get(), &QTcpServer::newConnection, this, [this] {
        if (m_tryingUncounted) {
            m_tryingUncounted = false;
            m_pauseAnnounced = false;
            emit acceptingResumed();
        }
        if (!m_paused)
            emit connectionRequest();
    });
    connect(m_server.get(), &QTcpServer::acceptError, this,
            [this](QAbstractSocket::SocketError e) { onAcceptError(int(e)); });
    m_recheckTimer.setInterval(kRecheckMs);
    connect(&m_recheckTimer, &QTimer::timeout, this, &ListeningSocket::recheck);
}

ListeningSocket::~ListeningSocket() = default;

bool ListeningSocket::listen(quint16 port)
{
    if (m_server->isListening())
        m_server->close();
    m_paused = false;
    m_pauseAnnounced = false;
    m_tryingUncounted = false;
    m_recheckTimer.stop();
    m_estimate = -1;
    return m_server->listen(QHostAddress::Any, port);
}

void ListeningSocket::close()
{
    m_server->close();
    m_paused = false;
    m_pauseAnnounced = false;
    m_tryingUncounted = false;
    m_recheckTimer.stop();
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

qintptr ListeningSocket::socketDescriptor() const
{
    return m_server->socketDescriptor();
}

bool ListeningSocket::hasPendingRequest() const
{
    return !m_paused && m_server->hasPendingConnections();
}

bool ListeningSocket::handlesLow()
{
    const qint64 limit = FileHandleLimit::softLimit();
    if (limit < 0)
        return false;
    // Counting the handles reads a directory; far from the limit an estimate
    // that only grows does, so a flood of connections stays cheap.
    if (m_estimate >= 0 && limit - m_estimate > 2 * qint64(m_reserve)) {
        ++m_estimate;
        return false;
    }
    const int used = FileHandleLimit::inUse();
    m_estimate = used;
    // Handles that cannot be counted are not taken for few: a failed accept
    // says when they are (onAcceptError).
    return used >= 0 && limit - used < m_reserve;
}

std::unique_ptr<ClientSocket> ListeningSocket::accept()
{
    if (m_paused)
        return nullptr;
    if (!m_server->hasPendingConnections())
        return nullptr;
    if (handlesLow()) {
        pause();
        return nullptr;
    }
    QTcpSocket* socket = m_server->nextPendingConnection();
    if (!socket)
        return nullptr;
    return std::make_unique<ClientSocket>(socket);
}

void ListeningSocket::pause()
{
    m_tryingUncounted = false;
    if (m_paused)
        return;
    m_paused = true;
    m_server->pauseAccepting();
    m_recheckTimer.start();
    // Said once, also when accepting without a count fails again and again.
    if (!m_pauseAnnounced) {
        m_pauseAnnounced = true;
        emit acceptingPaused(FileHandleLimit::inUse(), FileHandleLimit::softLimit());
    }
}

void ListeningSocket::recheck()
{
    if (!m_paused)
        return;
    if (!m_server->isListening()) {
        m_paused = false;
        m_recheckTimer.stop();
        return;
    }
    const qint64 free = FileHandleLimit::available();
    if (free >= 0 && free < m_reserve + kResumeMargin)
        return;
    m_paused = false;
    m_recheckTimer.stop();
    m_estimate = -1;
    m_server->resumeAccepting();
    if (free < 0) {
        // Uncounted: the next accept either works (and says so) or pauses again quietly.
        m_tryingUncounted = true;
    } else {
        m_pauseAnnounced = false;
        emit acceptingResumed();
    }
    // Connections that waited during the pause; announced from the loop, as
    // recheck may run inside a close.
    QTimer::singleShot(0, this, [this] {
        if (hasPendingRequest())
            emit connectionRequest();
    });
}

bool ListeningSocket::stillListening() const
{
    const qintptr fd = m_server->socketDescriptor();
    int accepting = 0;
    socklen_t size = sizeof accepting;
    return fd >= 0 && getsockopt(int(fd), SOL_SOCKET, SO_ACCEPTCONN, &accepting, &size) == 0 &&
           accepting != 0;
}

void ListeningSocket::onAcceptError(int socketError)
{
    // Only a socket that no longer listens is made anew: closing a good one
    // would reset the connections waiting in its queue and leave the port to
    // any other program for a moment.
    if (!stillListening()) {
        emit failed(m_server->errorString());
        return;
    }
    // Out of handles (EMFILE, ENFILE) or kernel memory: wait for them to come back.
    if (socketError == int(QAbstractSocket::SocketResourceError)) {
        pause();
        return;
    }
    emit error(m_server->errorString());
    // The server stops accepting after any failed accept; one connection that
    // its peer gave up early must not leave it deaf.
    QTimer::singleShot(0, this, [this] {
        if (m_server->isListening() && !m_paused)
            m_server->resumeAccepting();
    });
}
