#pragma once

#include <QObject>
#include <QString>

#include <memory>

class ClientSocket;
class QTcpServer;

// The listening socket: binds a TCP port on every local address (IPv4 and
// IPv6) and announces each connection request; accept() hands it out.
class ListeningSocket : public QObject
{
    Q_OBJECT
public:
    explicit ListeningSocket(QObject* parent = nullptr);
    ~ListeningSocket() override;

    bool listen(quint16 port);
    void close();
    bool isListening() const;
    quint16 localPort() const;
    QString localHostName() const;
    // A readable local address for log lines: the first non-loopback IPv4
    // address of the machine, or the loopback address.
    QString localIP() const;
    QString errorString() const;

    bool hasPendingRequest() const;
    // The next waiting connection, or nullptr.
    std::unique_ptr<ClientSocket> accept();

signals:
    void connectionRequest();
    void error(const QString& description);

private:
    std::unique_ptr<QTcpServer> m_server;
};
