#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class QTcpSocket;

// The TCP connection of a network line source. It keeps itself up: a failed
// attempt or a lost connection is retried after a delay that doubles up to a
// limit, TCP keepalive finds a peer that vanished without a word, and an
// optional read time-out drops a peer that stays silent for too long.
class ReconnectingTcpClient : public QObject
{
    Q_OBJECT
public:
    using Logger = std::function<void(const QString&)>;

    struct Settings
    {
        QString host;
        quint16 port = 0;
        int reconnectMinMs = 1000;
        int reconnectMaxMs = 60000;
        int connectTimeoutMs = 15000;
        int readTimeoutMs = 0; // 0 = keepalive only
        int keepAliveIdleSeconds = 60;
    };

    // logName starts every log line, e.g. "Router Fritz (192.168.178.1:1012)".
    ReconnectingTcpClient(QString logName, Settings settings, QObject* parent = nullptr);
    ~ReconnectingTcpClient() override;

    void setLogger(Logger logger) { m_logger = std::move(logger); }
    const QString& logName() const { return m_logName; }

    void start();
    void stop();
    bool isRunning() const { return m_state != State::Stopped; }
    bool isConnected() const { return m_state == State::Connected; }

    // False when there is no connection to write to.
    bool send(const QByteArray& data);
    // Ends the connection for a reason of the protocol on top (a peer that is
    // not what it should be); retried like any loss.
    void dropConnection(const QString& reason);
    // The same at a pace the caller chose (a refused login must not be
    // retried at network speed): the next attempt waits retryInMs, and since
    // the caller has said why, nothing is logged here.
    void dropConnection(const QString& reason, int retryInMs);
    // The connection proved good: the next loss retries after the shortest delay.
    void resetBackoff();
    // Applies from the next data received on; 0 switches the time-out off.
    void setReadTimeout(int ms);

    static QString delayText(int ms);

signals:
    void connected();
    // Only for a connection that was established; failed attempts are just logged.
    void connectionLost(const QString& reason);
    void dataReceived(const QByteArray& data);

private:
    enum class State
    {
        Stopped,
        Connecting,
        Connected,
        Waiting
    };

    void connectNow();
    void onConnected();
    void onReadyRead();
    void onSocketProblem();
    void fail(const QString& reason, std::optional<int> chosenDelayMs = std::nullopt);
    void discardSocket();
    void applyKeepAlive();
    void restartReadTimer();
    void log(const QString& text) const;

    QString m_logName;
    Settings m_settings;
    Logger m_logger;
    QTcpSocket* m_socket = nullptr;
    QTimer m_retryTimer;
    QTimer m_connectTimer;
    QTimer m_readTimer;
    State m_state = State::Stopped;
    int m_nextDelayMs = 0;
};
