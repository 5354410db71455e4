#pragma once

// The two floors the server's fan-out is measured against. Both accept the
// clients' "listen", answer "accepted" and, per call, write one message built
// beforehand to every client: nothing else.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <vector>

class QTcpSocket;

// The least a Qt program does: QTcpServer, a QTcpSocket per client, write and
// flush per client.
class QtFanoutServer : public QObject
{
public:
    QtFanoutServer();
    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    int clients() const { return int(m_accepted.size()); }
    void broadcast(const QByteArray& message);
    void closeClients();

private:
    void onNewConnection();

    QTcpServer m_server;
    QList<QTcpSocket*> m_accepted;
};

// The least a Linux program does: epoll to accept and read the listens, then
// write(2) per client. Blocking calls, no event loop.
class EpollFanoutServer
{
public:
    EpollFanoutServer() = default;
    ~EpollFanoutServer();
    EpollFanoutServer(const EpollFanoutServer&) = delete;
    EpollFanoutServer& operator=(const EpollFanoutServer&) = delete;

    bool listen();
    quint16 port() const { return m_port; }
    // Accepts connections and answers their listens until `clients` are in; false on a time-out.
    bool acceptClients(int clients, int timeoutMs);
    int clients() const { return int(m_accepted.size()); }
    // Writes that did not take the whole message (never expected: a full
    // socket buffer would mean the clients fall behind).
    int shortWrites() const { return m_shortWrites; }
    void broadcast(const QByteArray& message);
    void closeClients();

private:
    int m_listen = -1;
    int m_epoll = -1;
    quint16 m_port = 0;
    std::vector<int> m_accepted;
    int m_shortWrites = 0;
};
