#include "RouterCallMonitorProvider.h"

#include "ReconnectingTcpClient.h"

#include <algorithm>

namespace {

QString endpoint(const QString& host, quint16 port)
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? u'[' + host + u']' : host;
    return shownHost + u':' + QString::number(port);
}

} // namespace

RouterCallMonitorProvider::RouterCallMonitorProvider(QList<RouterConfig> routers, QObject* parent)
    : LineProvider(parent)
{
    for (RouterConfig& config : routers) {
        if (!config.enabled)
            continue;
        auto router = std::make_unique<Router>();
        router->config = std::move(config);
        const RouterConfig& c = router->config;
        ReconnectingTcpClient::Settings settings;
        settings.host = c.host;
        settings.port = c.port;
        settings.reconnectMinMs = c.reconnectMinMs;
        settings.reconnectMaxMs = c.reconnectMaxMs;
        settings.readTimeoutMs = c.readTimeoutMs;
        settings.connectTimeoutMs = c.connectTimeoutMs;
        settings.keepAliveIdleSeconds = c.keepAliveIdleSeconds;
        const QString name =
            QStringLiteral("Router %1 (%2)")
                .arg(c.label.isEmpty() ? c.host : c.label, endpoint(c.host, c.port));
        router->client = new ReconnectingTcpClient(name, settings, this);
        router->client->setLogger([this](const QString& text) {
            if (m_logger)
                m_logger(text);
        });
        const int device = int(m_routers.size());
        connect(router->client, &ReconnectingTcpClient::connected, this, [this, device] {
            Router& r = *m_routers[size_t(device)];
            r.parser.reset();
            r.problemsLogged = 0;
            r.client->resetBackoff();
        });
        connect(router->client, &ReconnectingTcpClient::dataReceived, this,
                [this, device](const QByteArray& data) { onData(device, data); });
        connect(router->client, &ReconnectingTcpClient::connectionLost, this,
                [this, device] { onConnectionLost(device); });
        m_routers.push_back(std::move(router));
    }
}

RouterCallMonitorProvider::~RouterCallMonitorProvider()
{
    stop();
}

void RouterCallMonitorProvider::start(NotifyFn notify, CallIdFn newCallId)
{
    m_calls.setNotify(std::move(notify));
    m_newCallId = std::move(newCallId);
    m_started = true;
}

void RouterCallMonitorProvider::stop()
{
    m_started = false;
    m_calls.setNotify(nullptr);
    m_newCallId = nullptr;
    for (auto& router : m_routers) {
        router->client->stop();
        router->parser.reset();
        router->callByConnection.clear();
    }
    m_calls.clear();
}

QString RouterCallMonitorProvider::deviceName(int device) const
{
    if (!isDevice(device))
        return QString();
    const RouterConfig& c = m_routers[size_t(device)]->config;
    return c.label.isEmpty() ? c.host : c.label;
}

qint32 RouterCallMonitorProvider::mediaModes(int device) const
{
    return isDevice(device) ? qint32(LineMediaMode::InteractiveVoice) : 0;
}

qint32 RouterCallMonitorProvider::open(int device, qint32 mediaMode, qint32 privileges)
{
    Q_UNUSED(mediaMode);
    Q_UNUSED(privileges);
    if (!isDevice(device))
        return LineResult::BadDeviceId;
    if (!m_started)
        return LineResult::NotInitialised;
    m_routers[size_t(device)]->client->start();
    return LineResult::Ok;
}

void RouterCallMonitorProvider::close(int device)
{
    if (!isDevice(device))
        return;
    Router& router = *m_routers[size_t(device)];
    router.client->stop();
    router.parser.reset();
    endAllCalls(device);
}

QString RouterCallMonitorProvider::callInfo(int device, qint32 callHandle, int field) const
{
    return m_calls.field(device, callHandle, field);
}

qint32 RouterCallMonitorProvider::answer(int device, qint32 callId)
{
    Q_UNUSED(callId);
    return isDevice(device) ? LineResult::OperationUnavailable : LineResult::BadDeviceId;
}

qint32 RouterCallMonitorProvider::drop(int device, qint32 callId)
{
    Q_UNUSED(callId);
    return isDevice(device) ? LineResult::OperationUnavailable : LineResult::BadDeviceId;
}

qint32 RouterCallMonitorProvider::dial(int device, const QString& number)
{
    Q_UNUSED(number);
    return isDevice(device) ? LineResult::OperationUnavailable : LineResult::BadDeviceId;
}

qint32 RouterCallMonitorProvider::activeCallFeatures(int device, qint32 callId) const
{
    // The call monitor only watches; it offers no way to act on a call.
    Q_UNUSED(device);
    Q_UNUSED(callId);
    return 0;
}

qint32 RouterCallMonitorProvider::advancedFeatures(int device) const
{
    Q_UNUSED(device);
    return 0;
}

bool RouterCallMonitorProvider::isConnected(int device) const
{
    return isDevice(device) && m_routers[size_t(device)]->client->isConnected();
}

void RouterCallMonitorProvider::onData(int device, const QByteArray& data)
{
    const RouterCallMonitorParser::Output out = m_routers[size_t(device)]->parser.feed(data);
    for (const QString& problem : out.problems)
        logProblem(device, QStringLiteral("skipped %1").arg(problem));
    for (const RouterCallEvent& event : out.events)
        handle(device, event);
}

void RouterCallMonitorProvider::onConnectionLost(int device)
{
    m_routers[size_t(device)]->parser.reset();
    // The router will not tell us how these calls ended; leaving them open
    // would keep them in the active-call list forever.
    endAllCalls(device);
}

void RouterCallMonitorProvider::handle(int device, const RouterCallEvent& event)
{
    Router& router = *m_routers[size_t(device)];
    const qint32 callId = router.callByConnection.value(event.connectionId, 0);
    switch (event.type) {
    case RouterCallEvent::Type::Ring:
    case RouterCallEvent::Type::Call:
        if (callId != 0) {
            logProblem(device, QStringLiteral("connection %1 started again before it ended; "
                                              "ending its previous call")
                                   .arg(event.connectionId));
            endCall(device, event.connectionId);
        }
        startCall(device, event);
        break;
    case RouterCallEvent::Type::Connect:
        if (callId == 0) {
            logProblem(
                device,
                QStringLiteral("skipped CONNECT of unknown connection %1").arg(event.connectionId));
        } else if (const auto* call = m_calls.live(callId);
                   call && call->state != LineCallState::Connected) {
            m_calls.setField(callId, CallInfoField::ConnectedId, event.remoteNumber);
            m_calls.changeState(callId, LineCallState::Connected, 0);
        }
        break;
    case RouterCallEvent::Type::Disconnect:
        if (callId == 0)
            logProblem(device, QStringLiteral("skipped DISCONNECT of unknown connection %1")
                                   .arg(event.connectionId));
        else
            endCall(device, event.connectionId);
        break;
    }
}

void RouterCallMonitorProvider::startCall(int device, const RouterCallEvent& event)
{
    if (!m_newCallId)
        return;
    if (m_calls.isFull()) {
        logProblem(device, QStringLiteral("too many calls at once; skipped connection %1")
                               .arg(event.connectionId));
        return;
    }
    const bool incoming = event.type == RouterCallEvent::Type::Ring;
    QMap<int, QString> fields;
    // A caller who withholds the number arrives as an empty field.
    fields[CallInfoField::CallerId] = incoming ? event.remoteNumber : event.ownNumber;
    fields[CallInfoField::CalledId] = incoming ? event.ownNumber : event.remoteNumber;
    fields[CallInfoField::Trunk] = event.trunk;
    fields[CallInfoField::CallOrigin] =
        QString::number(incoming ? LineCallOrigin::Inbound : LineCallOrigin::Outbound);
    fields[CallInfoField::CallPrivilege] = QString::number(LinePrivilege::Monitor);
    const qint32 callId = m_newCallId();
    m_calls.add(callId, device, std::move(fields));
    m_routers[size_t(device)]->callByConnection.insert(event.connectionId, callId);
    if (incoming) {
        m_calls.changeState(callId, LineCallState::Offering, 0);
    } else {
        m_calls.changeState(callId, LineCallState::Dialing, 0);
        m_calls.changeState(callId, LineCallState::Ringback, 0);
    }
}

void RouterCallMonitorProvider::endCall(int device, int connectionId)
{
    const qint32 callId = m_routers[size_t(device)]->callByConnection.take(connectionId);
    if (callId != 0)
        m_calls.changeState(callId, LineCallState::Idle, 0);
}

void RouterCallMonitorProvider::endAllCalls(int device)
{
    Router& router = *m_routers[size_t(device)];
    QList<qint32> callIds = router.callByConnection.values();
    router.callByConnection.clear();
    std::sort(callIds.begin(), callIds.end()); // in the order the calls began
    for (const qint32 callId : callIds)
        m_calls.changeState(callId, LineCallState::Idle, 0);
}

void RouterCallMonitorProvider::logProblem(int device, const QString& problem)
{
    Router& router = *m_routers[size_t(device)];
    if (router.problemsLogged > kMaxProblemsLogged)
        return;
    ++router.problemsLogged;
    if (router.problemsLogged > kMaxProblemsLogged)
        log(device, QStringLiteral("more bad input; not logged until the next connection"));
    else
        log(device, problem);
}

void RouterCallMonitorProvider::log(int device, const QString& text) const
{
    if (m_logger)
        m_logger(m_routers[size_t(device)]->client->logName() + QStringLiteral(": ") + text);
}
