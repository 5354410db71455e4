#include "ClientSocket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>

QString plainAddressText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

ClientSocket::ClientSocket(QTcpSocket* socket, QObject* parent)
    : QObject(parent), m_socket(socket), m_remoteIP(plainAddressText(socket->peerAddress()))
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this,
            [this] { emit dataArrival(m_socket ? m_socket->bytesAvailable() : 0); });
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closedSignalled) {
            m_closedSignalled = true;
            emit closed();
        }
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        emit error(int(e), m_socket ? m_socket->errorString() : QString());
    });
}

ClientSocket::~ClientSocket()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

int ClientSocket::state() const
{
    if (!m_socket)
        return SocketState::Closed;
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState:
        return m_socket->error() == QAbstractSocket::UnknownSocketError ? SocketState::Closed
                                                                        : SocketState::Error;
    case QAbstractSocket::HostLookupState:
        return SocketState::ResolvingHost;
    case QAbstractSocket::ConnectingState:
        return SocketState::Connecting;
    case QAbstractSocket::ConnectedState:
        return SocketState::Connected;
    case QAbstractSocket::BoundState:
        return SocketState::Open;
    case QAbstractSocket::ListeningState:
        return SocketState::Listening;
    case QAbstractSocket::ClosingState:
        return SocketState::Closing;
    }
    return SocketState::Error;
}

QString ClientSocket::remoteHost() const
{
    const QString name = m_socket ? m_socket->peerName() : QString();
    return name.isEmpty() ? m_remoteIP : name;
}

QString ClientSocket::localHostName() const
{
    return QHostInfo::localHostName();
}

QString ClientSocket::localIP() const
{
    return m_socket ? plainAddressText(m_socket->localAddress()) : QString();
}

qint64 ClientSocket::bytesAvailable() const
{
    return m_socket ? m_socket->bytesAvailable() : 0;
}

QByteArray ClientSocket::getData(qint64 max)
{
    return m_socket ? m_socket->read(max) : QByteArray();
}

bool ClientSocket::sendData(const QByteArray& bytes)
{
    if (state() != SocketState::Connected)
        return false;
    const qint64 pending = m_socket->bytesToWrite();
    if (pending > m_maxPendingOutput) {
        emit outputOverflow(pending);
        abort();
        return false;
    }
    if (m_socket->write(bytes) != bytes.size())
        return false;
    // Hands the bytes to the kernel now, as far as it takes them without waiting.
    m_socket->flush();
    return true;
}

qint64 ClientSocket::pendingOutput() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void ClientSocket::setReadLimit(qint64 bytes)
{
    if (m_socket)
        m_socket->setReadBufferSize(bytes);
}

void ClientSocket::close()
{
    if (m_socket)
        m_socket->disconnectFromHost();
}

void ClientSocket::abort()
{
    if (!m_socket)
        return;
    m_socket->abort();
    // abort() does not report the end of a connection that was still open.
    if (!m_closedSignalled) {
        m_closedSignalled = true;
        emit closed();
    }
}

void ClientSocket::release(int graceMs)
{
    if (!m_socket || m_socket->state() == QAbstractSocket::UnconnectedState) {
        deleteLater();
        return;
    }
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
    else
        QTimer::singleShot(graceMs, this, &QObject::deleteLater);
}
