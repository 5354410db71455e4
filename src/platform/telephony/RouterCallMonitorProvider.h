#pragma once

#include "LineCallTable.h"
#include "LineProvider.h"
#include "RouterCallMonitorParser.h"

#include <QHash>
#include <QList>

#include <functional>
#include <memory>
#include <vector>

class ReconnectingTcpClient;

struct RouterConfig
{
    QString label;
    QString host;
    quint16 port = 1012;
    bool enabled = true;
    int reconnectMinMs = 1000;
    int reconnectMaxMs = 60000;
    int readTimeoutMs = 0; // 0 = keepalive only; the monitor is silent between calls
    int connectTimeoutMs = 15000;
    int keepAliveIdleSeconds = 60;
};

// Home routers' call monitors (TCP port 1012) as line devices, one per
// enabled router, named by its label. The router only reports: nothing can be
// answered, dropped or dialled here. Connects when the line is opened.
class RouterCallMonitorProvider : public LineProvider
{
    Q_OBJECT
public:
    using Logger = std::function<void(const QString&)>;

    // At most this many bad lines are logged per connection; a peer that
    // sends only garbage must not flood the program's log.
    static constexpr int kMaxProblemsLogged = 20;

    explicit RouterCallMonitorProvider(QList<RouterConfig> routers, QObject* parent = nullptr);
    ~RouterCallMonitorProvider() override;

    void setLogger(Logger logger) { m_logger = std::move(logger); }

    QString providerName() const override { return QStringLiteral("router"); }
    void start(NotifyFn notify, CallIdFn newCallId) override;
    void stop() override;

    int deviceCount() const override { return int(m_routers.size()); }
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

    bool isConnected(int device) const;

private:
    struct Router
    {
        RouterConfig config;
        ReconnectingTcpClient* client = nullptr;
        RouterCallMonitorParser parser;
        QHash<int, qint32> callByConnection; // the router's connection id -> call id
        int problemsLogged = 0;
    };

    bool isDevice(int device) const { return device >= 0 && device < deviceCount(); }
    void onData(int device, const QByteArray& data);
    void onConnectionLost(int device);
    void handle(int device, const RouterCallEvent& event);
    void startCall(int device, const RouterCallEvent& event);
    void endCall(int device, int connectionId);
    void endAllCalls(int device);
    void logProblem(int device, const QString& problem);
    void log(int device, const QString& text) const;

    std::vector<std::unique_ptr<Router>> m_routers;
    LineCallTable m_calls;
    CallIdFn m_newCallId;
    Logger m_logger;
    bool m_started = false;
};
