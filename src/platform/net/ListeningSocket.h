#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class ClientSocket;
class QTcpServer;

// The listening socket: binds a TCP port on every local address (IPv4 and
// IPv6) and announces each connection request; accept() hands it out.
//
// Every accepted connection costs a file handle. When only the reserve is left
// (or accepting fails for want of handles) the socket stops accepting, says so
// once, and goes on by itself when handles are free again, so the rest of the
// program (control channel, databases, files) always finds some. Where the
// handles cannot be counted (no /proc), only a failed accept stops it.
//
// A failed accept leaves the socket as it is unless the socket itself no
// longer listens; then failed() asks the owner to listen anew.
class ListeningSocket : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultHandleReserve = 32;
    // How often a paused socket looks whether handles were freed.
    static constexpr int kRecheckMs = 250;

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
    qintptr socketDescriptor() const;

    bool hasPendingRequest() const;
    // The next waiting connection, or nullptr (none waiting, or paused).
    std::unique_ptr<ClientSocket> accept();

    void setHandleReserve(int handles) { m_reserve = handles; }
    int handleReserve() const { return m_reserve; }
    bool isPaused() const { return m_paused; }
    // Looks at once whether a paused socket may accept again (after a close).
    void recheck();

signals:
    void connectionRequest();
    void error(const QString& description);
    // The socket no longer listens (it broke): close it and listen again.
    void failed(const QString& description);
    // Accepting stopped: handles in use and the limit (-1 when unknown).
    void acceptingPaused(int inUse, qint64 limit);
    void acceptingResumed();

private:
    bool handlesLow();
    void pause();
    void onAcceptError(int socketError);
    bool stillListening() const;

    std::unique_ptr<QTcpServer> m_server;
    QTimer m_recheckTimer;
    int m_reserve = kDefaultHandleReserve;
    bool m_paused = false;
    bool m_pauseAnnounced = false;
    // Accepting went on without a count of the handles: the next accept tells.
    bool m_tryingUncounted = false;
    qint64 m_estimate = -1; // handles in use as last counted, plus accepts since
};
