#include "ControlChannelServer.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>

ControlChannelServer::ControlChannelServer(Handler handler, Logger logger, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_logger(std::move(logger))
{
    connect(&m_server, &QLocalServer::newConnection, this, &ControlChannelServer::onNewConnection);
}

ControlChannelServer::~ControlChannelServer()
{
    close();
}

bool ControlChannelServer::listen(const QString& socketPath)
{
    close();
    QDir().mkpath(QFileInfo(socketPath).absolutePath());
    // A socket file left behind by a crashed run would block listening; the
    // single-instance guard makes sure no live program owns it.
    QLocalServer::removeServer(socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socketPath))
        return false;
    m_path = socketPath;
    return true;
}

void ControlChannelServer::close()
{
    if (m_server.isListening()) {
        m_server.close();
        QLocalServer::removeServer(m_path);
    }
}

void ControlChannelServer::onNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // A client that connects and never finishes its line must not stay forever.
        QTimer::singleShot(kIdleTimeoutMs, socket, [socket] { socket->abort(); });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void ControlChannelServer::onReadyRead(QLocalSocket* socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > ControlProtocol::kMaxLineLength) {
            if (m_logger)
                m_logger(QStringLiteral("Control channel: request too long, connection dropped"));
            reply(socket, ControlProtocol::Reply::failure(QStringLiteral("request too long")));
        }
        return;
    }
    const QByteArray line = socket->readLine(ControlProtocol::kMaxLineLength + 1);
    QString error;
    const auto args = ControlProtocol::decodeRequest(line, &error);
    if (!args) {
        if (m_logger)
            m_logger(QStringLiteral("Control channel: bad request: %1").arg(error));
        reply(socket, ControlProtocol::Reply::failure(error));
        return;
    }
    const ControlProtocol::Reply result = m_handler(*args);
    if (!result.ok && m_logger)
        m_logger(QStringLiteral("Control channel: %1: %2")
                     .arg(args->join(QLatin1Char(' ')), result.error));
    reply(socket, result);
}

void ControlChannelServer::reply(QLocalSocket* socket, const ControlProtocol::Reply& reply)
{
    socket->setProperty("answered", true);
    socket->write(ControlProtocol::encodeReply(reply));
    socket->disconnectFromServer();
}
