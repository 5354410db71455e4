#pragma once

#include "ControlProtocol.h"

#include <QLocalServer>
#include <QObject>

#include <functional>

class QLocalSocket;

// The local socket through which phonavo-line and scripts drive a running
// program. Each connection carries one request line and gets one reply line.
class ControlChannelServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<ControlProtocol::Reply(const QStringList&)>;
    using Logger = std::function<void(const QString&)>;

    ControlChannelServer(Handler handler, Logger logger, QObject* parent = nullptr);
    ~ControlChannelServer() override;

    bool listen(const QString& socketPath);
    void close();
    QString socketPath() const { return m_path; }
    QString errorString() const { return m_server.errorString(); }

    static constexpr int kIdleTimeoutMs = 5000;

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    void reply(QLocalSocket* socket, const ControlProtocol::Reply& reply);

    Handler m_handler;
    Logger m_logger;
    QLocalServer m_server;
    QString m_path;
};
