#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QHostInfo;
class QSocketNotifier;
struct mosquitto;

namespace phonavo {
class PluginContext;
}

// One connection to an MQTT broker through libmosquitto, driven by the host's
// event loop instead of a libmosquitto thread: socket notifiers call the
// library's read and write steps, a one-second timer its keep-alive step. A
// lost or refused connection is retried on a timer whose delay doubles up to a
// limit; each outage is logged once (again only when its reason changes).
class MqttLink : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString host;
        int port = 1883;
        QString user;
        QString password;
        QString clientId;
        bool tls = false;
        QString caPath;
        QString willTopic;
        QByteArray willPayload;
        int keepAliveSeconds = 60;
        int retryFirstMs = 1000;
        int retryMaxMs = 60000;
    };

    explicit MqttLink(phonavo::PluginContext& context, QObject* parent = nullptr);
    ~MqttLink() override;

    // Starts connecting with these options (an open link is closed first).
    void open(const Options& options);
    // Says goodbye to the broker (no will) after sending what is already handed
    // over, as far as the socket takes it without waiting.
    void close();
    bool isConnected() const { return m_state == State::Connected; }
    QString brokerText() const;
    // QoS 1. False when the link is not connected or the library refused it.
    bool publish(const QString& topic, const QByteArray& payload, bool retain);

signals:
    void connected();

private slots:
    // A slot by name: the function-pointer form of QHostInfo::lookupHost
    // leaks its reply slot when the link goes before the answer comes.
    void onResolved(const QHostInfo& info);

private:
    enum class State
    {
        Closed,
        Resolving,
        Connecting,
        Connected,
        Waiting
    };

    void resolve();
    void connectTo(const QString& address);
    void onReadable();
    void onWritable();
    void onTick();
    void afterIo(int rc, int savedErrno);
    void onConnack(int rc);
    void watchSocket();
    void unwatchSocket();
    void failed(const QString& reason);
    void updateWriteInterest();
    QString tr(const QString& text, const QStringList& args = {}) const;

    phonavo::PluginContext& m_context;
    Options m_options;
    mosquitto* m_mosq = nullptr;
    State m_state = State::Closed;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QTimer m_tick;
    QTimer m_retry;
    QTimer m_connectTimeout;
    int m_lookupId = -1;
    QList<QHostAddress> m_addresses;
    int m_nextAddress = 0;
    int m_retryMs = 0;
    QString m_refusal;       // the broker's answer to the last CONNECT, when it refused
    QString m_loggedFailure; // the reason logged for the current outage
    bool m_inOutage = false;
    bool m_connackOk = false; // the broker accepted; acted on once the library call returned
};
