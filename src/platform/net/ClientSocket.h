#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;

// Socket states as the server's code and log lines count them (7 = connected).
namespace SocketState {
inline constexpr int Closed = 0;
inline constexpr int Open = 1;
inline constexpr int Listening = 2;
inline constexpr int ConnectionPending = 3;
inline constexpr int ResolvingHost = 4;
inline constexpr int HostResolved = 5;
inline constexpr int Connecting = 6;
inline constexpr int Connected = 7;
inline constexpr int Closing = 8;
inline constexpr int Error = 9;
} // namespace SocketState

// One accepted TCP connection. Data goes out as bytes (the caller encodes its
// text as Latin-1); writes are buffered and never block. The read buffer is
// bounded, so a peer that floods cannot make the program hold more than
// readLimit bytes of it at once.
class ClientSocket : public QObject
{
    Q_OBJECT
public:
    explicit ClientSocket(QTcpSocket* socket, QObject* parent = nullptr); // takes the socket
    ~ClientSocket() override;

    int state() const;
    // The peer's address; an IPv4 peer on a dual-stack socket reads as plain IPv4.
    QString remoteHostIP() const { return m_remoteIP; }
    // The peer's name as far as the system knows it without a lookup, else its address.
    QString remoteHost() const;
    QString localHostName() const;
    QString localIP() const;

    qint64 bytesAvailable() const;
    // Up to max bytes of what has arrived.
    QByteArray getData(qint64 max);

    // Hands the bytes to the socket. False when the socket is not connected or
    // when the peer left more than maxPendingOutput bytes unread; in that case
    // the connection is aborted and closed() follows.
    bool sendData(const QByteArray& bytes);
    qint64 pendingOutput() const;

    void setReadLimit(qint64 bytes);
    void setMaxPendingOutput(qint64 bytes) { m_maxPendingOutput = bytes; }
    qint64 maxPendingOutput() const { return m_maxPendingOutput; }

    // Orderly close: what was sent still goes out first.
    void close();
    void abort();
    // Orderly close, after which the object deletes itself: once the peer has
    // what was sent, or after graceMs at the latest.
    void release(int graceMs = 5000);

signals:
    void dataArrival(qint64 bytesTotal);
    // The connection ended: closed by the peer, lost, or aborted here.
    void closed();
    void error(int number, const QString& description);
    // sendData gave up on a peer that does not read.
    void outputOverflow(qint64 pending);

private:
    QPointer<QTcpSocket> m_socket;
    QString m_remoteIP;
    qint64 m_maxPendingOutput = 16 * 1024 * 1024;
    bool m_closedSignalled = false;
};

// The address as text; IPv4-mapped IPv6 addresses in their IPv4 form.
QString plainAddressText(const class QHostAddress& address);
