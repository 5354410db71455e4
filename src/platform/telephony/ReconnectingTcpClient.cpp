#include "ReconnectingTcpClient.h"

#include <QTcpSocket>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {
// A zero or negative delay would turn a refusing peer into a busy loop.
constexpr int kShortestDelayMs = 10;
} // namespace

ReconnectingTcpClient::ReconnectingTcpClient(QString logName, Settings settings, QObject* parent)
    : QObject(parent), m_logName(std::move(logName)), m_settings(std::move(settings))
{
    m_settings.reconnectMinMs = std::max(kShortestDelayMs, m_settings.reconnectMinMs);
    m_settings.reconnectMaxMs = std::max(m_settings.reconnectMinMs, m_settings.reconnectMaxMs);
    m_nextDelayMs = m_settings.reconnectMinMs;
    for (QTimer* timer : {&m_retryTimer, &m_connectTimer, &m_readTimer})
        timer->setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &ReconnectingTcpClient::connectNow);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("no answer within %1").arg(delayText(m_settings.connectTimeoutMs)));
    });
    connect(&m_readTimer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("no data for %1").arg(delayText(m_readTimer.interval())));
    });
}

ReconnectingTcpClient::~ReconnectingTcpClient()
{
    stop();
}

void ReconnectingTcpClient::start()
{
    if (m_state != State::Stopped)
        return;
    m_nextDelayMs = m_settings.reconnectMinMs;
    connectNow();
}

void ReconnectingTcpClient::stop()
{
    m_retryTimer.stop();
    m_connectTimer.stop();
    m_readTimer.stop();
    discardSocket();
    m_state = State::Stopped;
}

bool ReconnectingTcpClient::send(const QByteArray& data)
{
    if (m_state != State::Connected || !m_socket)
        return false;
    return m_socket->write(data) == data.size();
}

void ReconnectingTcpClient::dropConnection(const QString& reason)
{
    if (m_state == State::Connected || m_state == State::Connecting)
        fail(reason);
}

void ReconnectingTcpClient::dropConnection(const QString& reason, int retryInMs)
{
    if (m_state == State::Connected || m_state == State::Connecting)
        fail(reason, retryInMs);
}

void ReconnectingTcpClient::resetBackoff()
{
    m_nextDelayMs = m_settings.reconnectMinMs;
}

void ReconnectingTcpClient::setReadTimeout(int ms)
{
    m_settings.readTimeoutMs = std::max(0, ms);
    if (m_state == State::Connected)
        restartReadTimer();
}

QString ReconnectingTcpClient::delayText(int ms)
{
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms);
    if (ms % 60000 == 0)
        return QStringLiteral("%1 min").arg(ms / 60000);
    if (ms % 1000 == 0)
        return QStringLiteral("%1 s").arg(ms / 1000);
    return QStringLiteral("%1 s").arg(ms / 1000.0, 0, 'f', 1);
}

void ReconnectingTcpClient::connectNow()
{
    discardSocket();
    m_state = State::Connecting;
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &ReconnectingTcpClient::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &ReconnectingTcpClient::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ReconnectingTcpClient::onSocketProblem);
    connect(m_socket, &QTcpSocket::disconnected, this, &ReconnectingTcpClient::onSocketProblem);
    if (m_settings.connectTimeoutMs > 0)
        m_connectTimer.start(m_settings.connectTimeoutMs);
    m_socket->connectToHost(m_settings.host, m_settings.port);
}

void ReconnectingTcpClient::onConnected()
{
    m_connectTimer.stop();
    m_state = State::Connected;
    applyKeepAlive();
    restartReadTimer();
    log(QStringLiteral("connected"));
    emit connected();
}

void ReconnectingTcpClient::onReadyRead()
{
    if (m_state != State::Connected || !m_socket)
        return;
    restartReadTimer();
    const QByteArray data = m_socket->readAll();
    if (!data.isEmpty())
        emit dataReceived(data);
}

void ReconnectingTcpClient::onSocketProblem()
{
    if (!m_socket || (m_state != State::Connecting && m_state != State::Connected))
        return;
    const bool closedByPeer = m_socket->error() == QAbstractSocket::RemoteHostClosedError ||
                              m_socket->error() == QAbstractSocket::UnknownSocketError;
    fail(closedByPeer ? QStringLiteral("closed by the other side") : m_socket->errorString());
}

void ReconnectingTcpClient::fail(const QString& reason, std::optional<int> chosenDelayMs)
{
    const bool wasConnected = m_state == State::Connected;
    m_connectTimer.stop();
    m_readTimer.stop();
    discardSocket();
    int delay = m_nextDelayMs;
    if (chosenDelayMs)
        delay = std::max(kShortestDelayMs, *chosenDelayMs);
    else
        m_nextDelayMs = std::min(m_settings.reconnectMaxMs, delay * 2);
    m_state = State::Waiting;
    m_retryTimer.start(delay);
    const bool quiet = chosenDelayMs.has_value();
    if (wasConnected) {
        if (!quiet)
            log(QStringLiteral("connection lost (%1), retrying in %2")
                    .arg(reason, delayText(delay)));
        // Last, so that a receiver may stop us from inside.
        emit connectionLost(reason);
    } else if (!quiet) {
        log(QStringLiteral("could not connect (%1), retrying in %2").arg(reason, delayText(delay)));
    }
}

void ReconnectingTcpClient::discardSocket()
{
    if (!m_socket)
        return;
    // We may be inside one of the socket's own signals: cut it loose and let
    // the event loop delete it.
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
}

void ReconnectingTcpClient::applyKeepAlive()
{
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    // The kernel's default waits two hours before the first probe; a call
    // monitor must notice a router that vanished within minutes.
    const int fd = int(m_socket->socketDescriptor());
    const int idle = std::max(1, m_settings.keepAliveIdleSeconds);
    const int interval = std::max(1, idle / 4);
    const int probes = 4;
    if (fd >= 0) {
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    }
#endif
}

void ReconnectingTcpClient::restartReadTimer()
{
    if (m_settings.readTimeoutMs > 0)
        m_readTimer.start(m_settings.readTimeoutMs);
    else
        m_readTimer.stop();
}

void ReconnectingTcpClient::log(const QString& text) const
{
    if (m_logger)
        m_logger(m_logName + QStringLiteral(": ") + text);
}
