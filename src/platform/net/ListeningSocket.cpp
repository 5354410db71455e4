#include "ListeningSocket.h"

#include "ClientSocket.h"
#include "platform/FileHandleLimit.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>

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
    m_recheckTimer.stop();
    m_estimate = -1;
    return m_server->listen(QHostAddress::Any, port);
}

void ListeningSocket::close()
{
    m_server->close();
    m_paused = false;
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
    return used < 0 || limit - used < m_reserve;
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
    if (m_paused)
        return;
    m_paused = true;
    m_server->pauseAccepting();
    m_recheckTimer.start();
    emit acceptingPaused(FileHandleLimit::inUse(), FileHandleLimit::softLimit());
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
    if (free < m_reserve + kResumeMargin) // also when they cannot be counted
        return;
    m_paused = false;
    m_recheckTimer.stop();
    m_estimate = -1;
    m_server->resumeAccepting();
    emit acceptingResumed();
    // Connections that waited during the pause; announced from the loop, as
    // recheck may run inside a close.
    QTimer::singleShot(0, this, [this] {
        if (hasPendingRequest())
            emit connectionRequest();
    });
}

void ListeningSocket::onAcceptError(int socketError)
{
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
