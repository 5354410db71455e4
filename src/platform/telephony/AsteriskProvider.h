#pragma once

#include "AmiBridgeTable.h"
#include "AmiMessageParser.h"
#include "LineCallTable.h"
#include "LineProvider.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

class ReconnectingTcpClient;

struct AsteriskConfig
{
    QString label;
    QString host;
    quint16 port = 5038;
    QString user;
    QString secret;
    QStringList extensions; // channel prefixes of the phones to follow, e.g. PJSIP/100
    QString originateContext = QStringLiteral("from-internal");
    bool enabled = true;
    int reconnectMinMs = 1000;
    int reconnectMaxMs = 60000;
    // A refused login waits this long before the next try, twice as long after
    // each further refusal: an intrusion guard such as fail2ban on the PBX
    // must never see a login failing at network pace.
    int loginRetryMinMs = 60000;
    int loginRetryMaxMs = 600000;
    int connectTimeoutMs = 15000;
    int responseTimeoutMs = 10000; // for the greeting, the login and each ping
    int pingIntervalMs = 30000;    // 0 = keepalive only
    int keepAliveIdleSeconds = 60;
};

// The extensions of an Asterisk PBX as line devices, followed through the
// Asterisk Manager Interface (TCP 5038): one device per extension, named
// label + " " + extension. Calls are dialled with Originate and dropped or
// rejected with Hangup. Connects while at least one of its lines is open.
// A call keeps its id and line while its conversation moves to another
// channel: a phone that picks it up, or the target of a transfer that takes
// the transferring phone's place in the bridge.
class AsteriskProvider : public LineProvider
{
    Q_OBJECT
public:
    using Logger = std::function<void(const QString&)>;

    static constexpr int kMaxProblemsLogged = 20; // per connection
    static constexpr int kMaxTrackedChannels = 1024;
    static constexpr int kMaxPendingActions = 256;
    static constexpr qsizetype kMaxValueLength = 256; // of a channel name or number
    static constexpr qsizetype kMaxDialLength = 64;

    explicit AsteriskProvider(AsteriskConfig config, QObject* parent = nullptr);
    ~AsteriskProvider() override;

    void setLogger(Logger logger) { m_logger = std::move(logger); }

    QString providerName() const override { return QStringLiteral("asterisk"); }
    void start(NotifyFn notify, CallIdFn newCallId) override;
    void stop() override;

    int deviceCount() const override { return int(m_extensions.size()); }
    QString deviceName(int device) const override;
    qint32 mediaModes(int device) const override;
    qint32 open(int device, qint32 mediaMode, qint32 privileges) override;
    void close(int device) override;
    QString callInfo(int device, qint32 callHandle, int field) const override;
    qint32 answer(int device, qint32 callId) override;
    qint32 drop(int device, qint32 callId) override;
    qint32 dial(int device, const QString& number) override;
    qint32 activeCallFeatures(int device, qint32 callId) const override;
    qint32 advancedFeatures(int device) const override;

    bool isLoggedIn() const { return m_loggedIn; }

private:
    // A channel of one of our extensions that is not (yet) part of a call.
    struct ExtensionChannel
    {
        int device = 0;
        int state = -1;
        QString exten;
    };
    // What ties a call to the PBX: the extension's channel and the other side.
    struct CallLink
    {
        QString channel;
        QString peer;
        bool outgoing = false;
        bool originated = false; // its channel going up is the user lifting the handset
        bool connected = false;
    };
    struct PendingAction
    {
        enum class Kind
        {
            Login,
            Originate,
            Hangup
        };
        Kind kind = Kind::Login;
        int device = -1;
        QString detail; // the number dialled or the channel hung up
        QString channelId;
        QString actionId;
    };

    bool isDevice(int device) const { return device >= 0 && device < deviceCount(); }
    int deviceOfChannel(const QString& channel) const;
    QString extensionNumber(int device) const;

    void onConnected();
    void onData(const QByteArray& data);
    void onConnectionLost();
    void resetSession();
    void onGreeting(const QString& banner);
    void onMessage(const AmiMessage& message);
    void onResponse(const AmiMessage& message);
    void onEvent(const AmiMessage& message);
    void onNewChannel(const AmiMessage& message);
    void onNewState(const AmiMessage& message);
    void onNewCallerId(const AmiMessage& message);
    void onDialBegin(const AmiMessage& message, const QString& destination);
    void onDialEnd(const AmiMessage& message, const QString& destination);
    void onHangup(const AmiMessage& message);
    void onOriginateResponse(const AmiMessage& message);
    void onBridgeEnter(const AmiMessage& message);
    void onPickup(const AmiMessage& message);

    qint32 startIncoming(int device, const QString& channel, const QString& peer,
                         const QString& callerNumber, const QString& callerName,
                         const QString& calledNumber);
    qint32 startOutgoing(int device, const QString& channel, const QString& number,
                         const QString& ownNumber, bool originated);
    void connectCall(qint32 callId);
    void handOver(qint32 callId, const QString& channel);
    void settleBridge(const QString& bridge);
    void endCall(qint32 callId);
    void endAllCalls();
    void trackChannel(const QString& channel, const ExtensionChannel& info);
    static qint32 featuresFor(qint32 state);

    QString sendAction(const QString& action, const QList<std::pair<QString, QString>>& headers);
    void remember(PendingAction action);
    QString value(const AmiMessage& message, QStringView key);
    void logProblem(const QString& problem);
    void log(const QString& text) const;

    AsteriskConfig m_config;
    QStringList m_extensions;
    ReconnectingTcpClient* m_client = nullptr;
    AmiMessageParser m_parser;
    LineCallTable m_calls;
    CallIdFn m_newCallId;
    Logger m_logger;
    QSet<int> m_openDevices;
    QTimer m_pingTimer;
    bool m_started = false;
    bool m_greeted = false;
    bool m_loggedIn = false;
    int m_loginRetryMs = 0; // the wait after the next refused login
    quint64 m_lastActionNumber = 0;
    int m_problemsLogged = 0;
    QHash<QString, PendingAction> m_actions; // by ActionID
    QList<QString> m_actionOrder;
    QHash<QString, PendingAction> m_originates; // by the ChannelId we gave the new channel
    QHash<QString, ExtensionChannel> m_channels;
    QHash<QString, qint32> m_callByChannel;
    QHash<qint32, CallLink> m_links;
    AmiBridgeTable m_bridges;
};
