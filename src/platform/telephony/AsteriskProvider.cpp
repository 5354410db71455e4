#include "AsteriskProvider.h"

#include "ReconnectingTcpClient.h"

#include <QUuid>

#include <algorithm>
#include <optional>

namespace {

// Channel states as the manager interface numbers them.
constexpr int kStateDown = 0;
constexpr int kStateRing = 4; // the phone has asked for a call
constexpr int kStateUp = 6;

constexpr auto kGreeting = "Asterisk Call Manager/";

int channelState(const AmiMessage& m)
{
    bool ok = false;
    const int state = m.value(u"ChannelState").toInt(&ok);
    if (ok)
        return state;
    // Servers before 1.6 send only the name, as "State".
    QString name = m.value(u"ChannelStateDesc");
    if (name.isEmpty())
        name = m.value(u"State");
    static const QStringList names = {QStringLiteral("Down"),    QStringLiteral("Rsrvd"),
                                      QStringLiteral("OffHook"), QStringLiteral("Dialing"),
                                      QStringLiteral("Ring"),    QStringLiteral("Ringing"),
                                      QStringLiteral("Up"),      QStringLiteral("Busy")};
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool isDialled(const QString& exten)
{
    return !exten.isEmpty() && exten.compare(QLatin1String("s"), Qt::CaseInsensitive) != 0;
}

// "<unknown>" is how the PBX says it has no caller id.
QString cleanCallerId(const QString& text)
{
    return text.compare(QLatin1String("<unknown>"), Qt::CaseInsensitive) == 0 ? QString() : text;
}

// "Trunk/0301234567" or "0301234567@provider" -> "0301234567".
QString numberOfDialString(const QString& dialString)
{
    QString number = dialString.section(QLatin1Char('/'), -1);
    return number.section(QLatin1Char('@'), 0, 0).section(QLatin1Char(','), 0, 0).trimmed();
}

std::optional<QString> normalisedDialNumber(const QString& number, qsizetype maxLength)
{
    QString digits;
    for (const QChar c : number) {
        if (c == u' ' || c == u'-' || c == u'/' || c == u'(' || c == u')' || c == u'.')
            continue;
        const bool plus = c == u'+' && digits.isEmpty();
        if (!plus && !(c >= u'0' && c <= u'9') && c != u'*' && c != u'#')
            return std::nullopt;
        digits += c;
    }
    if (digits.isEmpty() || digits == QLatin1String("+") || digits.size() > maxLength)
        return std::nullopt;
    return digits;
}

// A value from the settings must not end its header line early.
QString headerSafe(QString value)
{
    for (QChar& c : value)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    return value;
}

QString printable(const QString& text)
{
    QString shown = text.left(60);
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    return shown;
}

QString originateFailure(const QString& reason)
{
    // Reasons are the control frame numbers of the first leg's outcome.
    switch (reason.toInt()) {
    case 1:
        return QStringLiteral("hung up");
    case 3:
        return QStringLiteral("not answered");
    case 5:
        return QStringLiteral("busy");
    case 8:
        return QStringLiteral("congested");
    default:
        return QStringLiteral("the extension could not be reached");
    }
}

} // namespace

AsteriskProvider::AsteriskProvider(AsteriskConfig config, QObject* parent)
    : LineProvider(parent), m_config(std::move(config))
{
    m_config.loginRetryMinMs = std::max(10, m_config.loginRetryMinMs);
    m_config.loginRetryMaxMs = std::max(m_config.loginRetryMinMs, m_config.loginRetryMaxMs);
    m_loginRetryMs = m_config.loginRetryMinMs;
    if (m_config.enabled) {
        for (const QString& extension : std::as_const(m_config.extensions)) {
            const QString trimmed = extension.trimmed();
            if (!trimmed.isEmpty() && !m_extensions.contains(trimmed, Qt::CaseInsensitive))
                m_extensions.append(trimmed);
        }
    }
    ReconnectingTcpClient::Settings settings;
    settings.host = m_config.host;
    settings.port = m_config.port;
    settings.reconnectMinMs = m_config.reconnectMinMs;
    settings.reconnectMaxMs = m_config.reconnectMaxMs;
    settings.connectTimeoutMs = m_config.connectTimeoutMs;
    settings.keepAliveIdleSeconds = m_config.keepAliveIdleSeconds;
    const QString host = m_config.host.contains(u':') ? u'[' + m_config.host + u']' : m_config.host;
    m_client = new ReconnectingTcpClient(
        QStringLiteral("Asterisk %1 (%2:%3)")
            .arg(m_config.label.isEmpty() ? m_config.host : m_config.label, host)
            .arg(m_config.port),
        settings, this);
    m_client->setLogger([this](const QString& text) {
        if (m_logger)
            m_logger(text);
    });
    connect(m_client, &ReconnectingTcpClient::connected, this, &AsteriskProvider::onConnected);
    connect(m_client, &ReconnectingTcpClient::dataReceived, this, &AsteriskProvider::onData);
    connect(m_client, &ReconnectingTcpClient::connectionLost, this,
            &AsteriskProvider::onConnectionLost);
    connect(&m_pingTimer, &QTimer::timeout, this,
            [this] { sendAction(QStringLiteral("Ping"), {}); });
}

AsteriskProvider::~AsteriskProvider()
{
    stop();
}

void AsteriskProvider::start(NotifyFn notify, CallIdFn newCallId)
{
    m_calls.setNotify(std::move(notify));
    m_newCallId = std::move(newCallId);
    m_started = true;
}

void AsteriskProvider::stop()
{
    m_started = false;
    m_loginRetryMs = m_config.loginRetryMinMs;
    m_calls.setNotify(nullptr);
    m_newCallId = nullptr;
    m_openDevices.clear();
    m_client->stop();
    resetSession();
    m_links.clear();
    m_callByChannel.clear();
    m_calls.clear();
}

QString AsteriskProvider::deviceName(int device) const
{
    if (!isDevice(device))
        return QString();
    return (m_config.label.isEmpty() ? m_config.host : m_config.label) + u' ' +
           m_extensions.at(device);
}

qint32 AsteriskProvider::mediaModes(int device) const
{
    return isDevice(device) ? qint32(LineMediaMode::InteractiveVoice) : 0;
}

qint32 AsteriskProvider::open(int device, qint32 mediaMode, qint32 privileges)
{
    Q_UNUSED(mediaMode);
    Q_UNUSED(privileges);
    if (!isDevice(device))
        return LineResult::BadDeviceId;
    if (!m_started)
        return LineResult::NotInitialised;
    m_openDevices.insert(device);
    m_client->start();
    return LineResult::Ok;
}

void AsteriskProvider::close(int device)
{
    if (!m_openDevices.remove(device) || !m_openDevices.isEmpty())
        return;
    m_loginRetryMs = m_config.loginRetryMinMs; // opening again starts afresh
    m_client->stop();
    resetSession();
    endAllCalls();
}

QString AsteriskProvider::callInfo(int device, qint32 callHandle, int field) const
{
    return m_calls.field(device, callHandle, field);
}

qint32 AsteriskProvider::answer(int device, qint32 callId)
{
    if (!isDevice(device))
        return LineResult::BadDeviceId;
    const LineCallTable::Call* call = m_calls.live(callId);
    if (!call || call->device != device)
        return LineResult::InvalidCallId;
    // The manager interface cannot lift a phone's handset. The program rejects
    // a call by answering it and then dropping it, so answering an offered
    // call succeeds without doing anything, and the drop that follows hangs
    // the ringing extension's channel up.
    return call->state == LineCallState::Offering ? LineResult::Ok
                                                  : LineResult::OperationUnavailable;
}

qint32 AsteriskProvider::drop(int device, qint32 callId)
{
    if (!isDevice(device))
        return LineResult::BadDeviceId;
    const LineCallTable::Call* call = m_calls.live(callId);
    if (!call || call->device != device)
        return LineResult::InvalidCallId;
    if (!m_loggedIn)
        return LineResult::ResourceUnavailable;
    const QString channel = m_links.value(callId).channel;
    QList<std::pair<QString, QString>> headers = {{QStringLiteral("Channel"), channel}};
    if (call->state == LineCallState::Offering)
        headers.append({QStringLiteral("Cause"), QStringLiteral("21")}); // call rejected
    const QString actionId = sendAction(QStringLiteral("Hangup"), headers);
    if (actionId.isEmpty())
        return LineResult::ResourceUnavailable;
    PendingAction action;
    action.kind = PendingAction::Kind::Hangup;
    action.detail = channel;
    action.actionId = actionId;
    remember(action);
    // The call ends when the PBX reports the channel's hang-up.
    return LineResult::Ok;
}

qint32 AsteriskProvider::dial(int device, const QString& number)
{
    if (!isDevice(device))
        return LineResult::BadDeviceId;
    const std::optional<QString> digits = normalisedDialNumber(number, kMaxDialLength);
    if (!digits) {
        log(QStringLiteral("refused to dial \"%1\": not a telephone number")
                .arg(printable(number)));
        return LineResult::OperationUnavailable;
    }
    if (!m_loggedIn) {
        log(QStringLiteral("cannot dial %1: not logged in").arg(*digits));
        return LineResult::ResourceUnavailable;
    }
    const QString extension = m_extensions.at(device);
    // Naming the new channel lets us recognise it the moment it appears.
    const QString channelId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    // The number part lets the PBX's dialplan know which extension calls out;
    // the name shows on the user's own ringing phone whom it is about to call.
    const QString callerId = QStringLiteral("\"%1\" <%2>").arg(*digits, extensionNumber(device));
    const QString actionId = sendAction(QStringLiteral("Originate"),
                                        {{QStringLiteral("Channel"), extension},
                                         {QStringLiteral("Exten"), *digits},
                                         {QStringLiteral("Context"), m_config.originateContext},
                                         {QStringLiteral("Priority"), QStringLiteral("1")},
                                         {QStringLiteral("Async"), QStringLiteral("true")},
                                         {QStringLiteral("CallerID"), callerId},
                                         {QStringLiteral("ChannelId"), channelId}});
    if (actionId.isEmpty())
        return LineResult::ResourceUnavailable;
    PendingAction action;
    action.kind = PendingAction::Kind::Originate;
    action.device = device;
    action.detail = *digits;
    action.channelId = channelId;
    action.actionId = actionId;
    remember(action);
    if (m_originates.size() >= kMaxPendingActions)
        m_originates.erase(m_originates.begin());
    m_originates.insert(channelId, action);
    log(QStringLiteral("dialling %1 from %2").arg(*digits, extension));
    return LineResult::Ok;
}

qint32 AsteriskProvider::activeCallFeatures(int device, qint32 callId) const
{
    const LineCallTable::Call* call = m_calls.live(callId);
    return call && call->device == device ? featuresFor(call->state) : 0;
}

qint32 AsteriskProvider::advancedFeatures(int device) const
{
    return isDevice(device) ? qint32(LineDeviceFeature::CanDial) : 0;
}

qint32 AsteriskProvider::featuresFor(qint32 state)
{
    switch (state) {
    case LineCallState::Offering:
        // Answer marks the call as one that can be rejected; see answer().
        return LineCallFeature::Answer | LineCallFeature::Drop;
    case LineCallState::Idle:
        return 0;
    default:
        return LineCallFeature::Drop;
    }
}

int AsteriskProvider::deviceOfChannel(const QString& channel) const
{
    // "PJSIP/100-0000002a" belongs to PJSIP/100; "PJSIP/1000-..." does not.
    for (int i = 0; i < m_extensions.size(); ++i)
        if (channel.size() > m_extensions[i].size() + 1 &&
            channel.startsWith(m_extensions[i], Qt::CaseInsensitive) &&
            channel.at(m_extensions[i].size()) == u'-')
            return i;
    return -1;
}

QString AsteriskProvider::extensionNumber(int device) const
{
    return m_extensions.at(device).section(u'/', -1);
}

void AsteriskProvider::onConnected()
{
    resetSession();
    // Until logged in, silence means the peer is not answering as it should.
    m_client->setReadTimeout(m_config.responseTimeoutMs);
}

void AsteriskProvider::onData(const QByteArray& data)
{
    const AmiMessageParser::Output out = m_parser.feed(data);
    for (const QString& problem : out.problems)
        logProblem(QStringLiteral("skipped %1").arg(problem));
    if (!out.banner.isEmpty())
        onGreeting(out.banner);
    for (const AmiMessage& message : out.messages) {
        if (!m_client->isConnected())
            return; // dropped while handling an earlier message
        onMessage(message);
    }
}

void AsteriskProvider::onConnectionLost()
{
    resetSession();
    // Nobody will report how these calls ended; they must not stay open.
    endAllCalls();
}

void AsteriskProvider::resetSession()
{
    m_parser.reset();
    m_pingTimer.stop();
    m_greeted = false;
    m_loggedIn = false;
    m_problemsLogged = 0;
    m_actions.clear();
    m_actionOrder.clear();
    m_originates.clear();
    m_channels.clear();
    m_bridges.clear();
}

void AsteriskProvider::onGreeting(const QString& banner)
{
    if (!banner.startsWith(QLatin1String(kGreeting))) {
        // Never hand the secret to something that is not a manager interface.
        log(QStringLiteral("unexpected greeting \"%1\"; not an Asterisk manager interface")
                .arg(printable(banner)));
        m_client->dropConnection(QStringLiteral("unexpected greeting"));
        return;
    }
    m_greeted = true;
    const QString actionId =
        sendAction(QStringLiteral("Login"), {{QStringLiteral("Username"), m_config.user},
                                             {QStringLiteral("Secret"), m_config.secret},
                                             {QStringLiteral("Events"), QStringLiteral("call")}});
    PendingAction action;
    action.kind = PendingAction::Kind::Login;
    action.actionId = actionId;
    remember(action);
}

void AsteriskProvider::onMessage(const AmiMessage& message)
{
    if (!m_greeted) {
        log(QStringLiteral("no greeting; not an Asterisk manager interface"));
        m_client->dropConnection(QStringLiteral("no greeting"));
        return;
    }
    // An OriginateResponse event carries a Response key as well.
    if (message.has(u"Event")) {
        if (m_loggedIn)
            onEvent(message);
    } else if (message.has(u"Response")) {
        onResponse(message);
    } else {
        logProblem(QStringLiteral("skipped a message that is neither event nor response"));
    }
}

void AsteriskProvider::onResponse(const AmiMessage& message)
{
    const QString actionId = message.value(u"ActionID");
    const auto it = m_actions.constFind(actionId);
    if (actionId.isEmpty() || it == m_actions.constEnd())
        return; // a ping's answer, or one we no longer wait for
    const PendingAction action = *it;
    m_actions.erase(it);
    m_actionOrder.removeOne(actionId);
    const bool success =
        message.value(u"Response").compare(QLatin1String("Success"), Qt::CaseInsensitive) == 0;
    QString why = message.value(u"Message");
    if (why.isEmpty())
        why = message.value(u"Response");
    why = printable(why);

    switch (action.kind) {
    case PendingAction::Kind::Login:
        if (!success) {
            const int delay = m_loginRetryMs;
            m_loginRetryMs = int(std::min<qint64>(m_config.loginRetryMaxMs, qint64(delay) * 2));
            log(QStringLiteral("login refused (%1); next attempt in %2")
                    .arg(why, ReconnectingTcpClient::delayText(delay)));
            m_client->dropConnection(QStringLiteral("login refused"), delay);
            return;
        }
        m_loggedIn = true;
        log(QStringLiteral("logged in as %1").arg(printable(m_config.user)));
        m_client->resetBackoff();
        m_loginRetryMs = m_config.loginRetryMinMs;
        if (m_config.pingIntervalMs > 0) {
            m_client->setReadTimeout(m_config.pingIntervalMs + m_config.responseTimeoutMs);
            m_pingTimer.start(m_config.pingIntervalMs);
        } else {
            m_client->setReadTimeout(0);
        }
        break;
    case PendingAction::Kind::Originate:
        if (!success) {
            m_originates.remove(action.channelId);
            log(QStringLiteral("dialling %1 from %2 failed (%3)")
                    .arg(action.detail, m_extensions.value(action.device), why));
        }
        break;
    case PendingAction::Kind::Hangup:
        if (!success)
            log(QStringLiteral("hanging up %1 failed (%2)").arg(action.detail, why));
        break;
    }
}

void AsteriskProvider::onEvent(const AmiMessage& message)
{
    const QString event = message.value(u"Event").toLower();
    if (event == QLatin1String("newchannel")) {
        onNewChannel(message);
    } else if (event == QLatin1String("newstate")) {
        onNewState(message);
    } else if (event == QLatin1String("newcallerid")) {
        onNewCallerId(message);
    } else if (event == QLatin1String("dialbegin")) {
        onDialBegin(message, value(message, u"DestChannel"));
    } else if (event == QLatin1String("dialend")) {
        onDialEnd(message, value(message, u"DestChannel"));
    } else if (event == QLatin1String("dial")) {
        // Before Asterisk 12 one event with a SubEvent; before 1.6 without it.
        const QString sub = message.value(u"SubEvent");
        if (sub.compare(QLatin1String("End"), Qt::CaseInsensitive) == 0)
            onDialEnd(message, value(message, u"Destination"));
        else
            onDialBegin(message, value(message, u"Destination"));
    } else if (event == QLatin1String("hangup")) {
        onHangup(message);
    } else if (event == QLatin1String("originateresponse")) {
        onOriginateResponse(message);
    } else if (event == QLatin1String("bridgeenter")) {
        onBridgeEnter(message);
    } else if (event == QLatin1String("bridgeleave")) {
        m_bridges.leave(value(message, u"BridgeUniqueid"), value(message, u"Channel"));
    } else if (event == QLatin1String("pickup")) {
        onPickup(message);
    }
    // Everything else (VarSet, Newexten, transfer summaries, ...) is ordinary
    // traffic we do not need: what a transfer does shows in the bridges.
}

void AsteriskProvider::onNewChannel(const AmiMessage& message)
{
    const QString channel = value(message, u"Channel");
    const int device = deviceOfChannel(channel);
    if (device < 0 || m_callByChannel.contains(channel))
        return;
    const int state = channelState(message);
    const QString exten = value(message, u"Exten");
    const QString ownNumber = cleanCallerId(value(message, u"CallerIDNum"));
    const QString uniqueId = value(message, u"Uniqueid");
    if (!uniqueId.isEmpty() && m_originates.contains(uniqueId)) {
        const PendingAction action = m_originates.take(uniqueId);
        startOutgoing(device, channel, action.detail, ownNumber, true);
        return;
    }
    // A phone that starts a call brings its channel up ringing with the
    // number it dialled; a channel the PBX opens towards a phone starts down.
    if (state != kStateDown && state >= 0 && isDialled(exten)) {
        startOutgoing(device, channel, exten, ownNumber, false);
        return;
    }
    trackChannel(channel, {device, state, exten});
}

void AsteriskProvider::onNewState(const AmiMessage& message)
{
    const QString channel = value(message, u"Channel");
    if (channel.isEmpty())
        return;
    const int state = channelState(message);
    if (const qint32 callId = m_callByChannel.value(channel, 0)) {
        const CallLink& link = m_links[callId];
        if (state == kStateUp && !link.connected && !(link.outgoing && link.originated))
            connectCall(callId);
    } else if (auto it = m_channels.find(channel); it != m_channels.end()) {
        it->state = state;
        if (message.has(u"Exten"))
            it->exten = value(message, u"Exten");
        // Some channel drivers announce a phone's own call down, then ringing.
        if (state == kStateRing && isDialled(it->exten)) {
            const ExtensionChannel info = *it;
            m_channels.erase(it);
            startOutgoing(info.device, channel, info.exten,
                          cleanCallerId(value(message, u"CallerIDNum")), false);
        }
    }
    if (state != kStateUp)
        return;
    // The far end of one of our outgoing calls answered.
    QList<qint32> answered;
    for (auto it = m_links.constBegin(); it != m_links.constEnd(); ++it)
        if (it->outgoing && !it->connected && it->peer == channel)
            answered.append(it.key());
    std::sort(answered.begin(), answered.end());
    for (const qint32 callId : answered)
        connectCall(callId);
}

void AsteriskProvider::onNewCallerId(const AmiMessage& message)
{
    const QString channel = value(message, u"Channel");
    if (channel.isEmpty())
        return;
    QString number = value(message, u"CallerIDNum");
    if (!message.has(u"CallerIDNum"))
        number = value(message, u"CallerID");
    number = cleanCallerId(number);
    const QString name = cleanCallerId(value(message, u"CallerIDName"));

    QList<qint32> callers;
    for (auto it = m_links.constBegin(); it != m_links.constEnd(); ++it)
        if (!it->outgoing && it->peer == channel)
            callers.append(it.key());
    std::sort(callers.begin(), callers.end());
    for (const qint32 callId : callers) {
        const LineCallTable::Call* call = m_calls.live(callId);
        if (!call || (call->fields.value(CallInfoField::CallerId) == number &&
                      call->fields.value(CallInfoField::CallerIdName) == name))
            continue;
        m_calls.setField(callId, CallInfoField::CallerId, number);
        m_calls.setField(callId, CallInfoField::CallerIdName, name);
        m_calls.notifyIdentity(callId, LineNotification::CallerId, number, name);
    }
    if (const qint32 callId = m_callByChannel.value(channel, 0);
        callId != 0 && m_links[callId].outgoing && !number.isEmpty())
        m_calls.setField(callId, CallInfoField::CallerId, number);
}

void AsteriskProvider::onDialBegin(const AmiMessage& message, const QString& destination)
{
    QString source = value(message, u"Channel");
    if (source.isEmpty())
        source = value(message, u"Source");
    QString callerNumber = value(message, u"CallerIDNum");
    if (!message.has(u"CallerIDNum"))
        callerNumber = value(message, u"CallerID");
    callerNumber = cleanCallerId(callerNumber);
    const QString callerName = cleanCallerId(value(message, u"CallerIDName"));
    const QString exten = value(message, u"Exten");
    const QString destExten = value(message, u"DestExten");

    const int sourceDevice = deviceOfChannel(source);
    if (sourceDevice >= 0) {
        qint32 callId = m_callByChannel.value(source, 0);
        if (callId == 0) {
            // The first we see of a call the extension places (an originated
            // call on a server that ignores ChannelId arrives here, too).
            QString number;
            for (const QString& candidate : {exten, m_channels.value(source).exten, destExten,
                                             numberOfDialString(value(message, u"DialString")),
                                             numberOfDialString(value(message, u"Dialstring"))}) {
                if (isDialled(candidate)) {
                    number = candidate;
                    break;
                }
            }
            m_channels.remove(source);
            callId = startOutgoing(sourceDevice, source, number, callerNumber, false);
        }
        if (callId != 0) {
            CallLink& link = m_links[callId];
            if (link.peer.isEmpty())
                link.peer = destination;
        }
    }

    const int destinationDevice = deviceOfChannel(destination);
    if (destinationDevice >= 0 && !m_callByChannel.contains(destination)) {
        QString called = extensionNumber(destinationDevice);
        if (isDialled(exten))
            called = exten;
        else if (isDialled(destExten))
            called = destExten;
        m_channels.remove(destination);
        startIncoming(destinationDevice, destination, source, callerNumber, callerName, called);
    }
}

void AsteriskProvider::onDialEnd(const AmiMessage& message, const QString& destination)
{
    if (value(message, u"DialStatus").compare(QLatin1String("ANSWER"), Qt::CaseInsensitive) != 0)
        return; // unanswered legs end with their channel's hang-up
    if (const qint32 callId = m_callByChannel.value(destination, 0);
        callId != 0 && !destination.isEmpty() && !m_links[callId].outgoing)
        connectCall(callId);
    QString source = value(message, u"Channel");
    if (source.isEmpty())
        source = value(message, u"Source");
    if (const qint32 callId = m_callByChannel.value(source, 0);
        callId != 0 && m_links[callId].outgoing)
        connectCall(callId);
}

void AsteriskProvider::onHangup(const AmiMessage& message)
{
    const QString channel = value(message, u"Channel");
    m_channels.remove(channel);
    m_bridges.forget(channel);
    if (const qint32 callId = m_callByChannel.value(channel, 0))
        endCall(callId);
}

void AsteriskProvider::onOriginateResponse(const AmiMessage& message)
{
    const QString actionId = message.value(u"ActionID");
    if (actionId.isEmpty())
        return;
    for (auto it = m_originates.begin(); it != m_originates.end(); ++it) {
        if (it->actionId != actionId)
            continue;
        const PendingAction action = *it;
        m_originates.erase(it);
        if (message.value(u"Response").compare(QLatin1String("Success"), Qt::CaseInsensitive) != 0)
            log(QStringLiteral("dialling %1 from %2 failed (%3)")
                    .arg(action.detail, m_extensions.value(action.device),
                         originateFailure(message.value(u"Reason"))));
        return;
    }
}

void AsteriskProvider::onBridgeEnter(const AmiMessage& message)
{
    const QString bridge = value(message, u"BridgeUniqueid");
    const QString channel = value(message, u"Channel");
    if (bridge.isEmpty() || channel.isEmpty())
        return;
    // Parked channels wait side by side in a holding bridge; they do not talk.
    if (message.value(u"BridgeTechnology")
            .compare(QLatin1String("holding_bridge"), Qt::CaseInsensitive) == 0)
        return;
    QString swappedOut;
    if (!m_bridges.enter(bridge, channel, value(message, u"Uniqueid"),
                         value(message, u"SwapUniqueid"), &swappedOut)) {
        logProblem(
            QStringLiteral("too many bridged channels at once; not following %1").arg(channel));
        return;
    }
    // Entering in place of a channel of ours, as the target of a transfer
    // does, carries that channel's call on.
    if (const qint32 callId = m_callByChannel.value(swappedOut, 0))
        handOver(callId, channel);
    settleBridge(bridge);
}

void AsteriskProvider::onPickup(const AmiMessage& message)
{
    const QString picker = value(message, u"Channel");
    const qint32 callId = m_callByChannel.value(value(message, u"TargetChannel"), 0);
    if (picker.isEmpty() || callId == 0)
        return;
    // The PBX moves the ringing call onto the picking channel and hangs the
    // ringing one up: the call is answered, not missed. It joins the caller
    // in a bridge next, or has already.
    handOver(callId, picker);
    settleBridge(m_bridges.bridgeOf(picker));
}

qint32 AsteriskProvider::startIncoming(int device, const QString& channel, const QString& peer,
                                       const QString& callerNumber, const QString& callerName,
                                       const QString& calledNumber)
{
    if (!m_newCallId)
        return 0;
    if (m_calls.isFull()) {
        logProblem(QStringLiteral("too many calls at once; skipped the call to %1").arg(channel));
        return 0;
    }
    QMap<int, QString> fields;
    fields[CallInfoField::CallerId] = callerNumber;
    fields[CallInfoField::CallerIdName] = callerName;
    fields[CallInfoField::CalledId] = calledNumber;
    fields[CallInfoField::CallOrigin] = QString::number(LineCallOrigin::Inbound);
    fields[CallInfoField::CallPrivilege] = QString::number(LinePrivilege::Owner);
    const qint32 callId = m_newCallId();
    m_calls.add(callId, device, std::move(fields));
    CallLink link;
    link.channel = channel;
    link.peer = peer;
    m_links.insert(callId, link);
    m_callByChannel.insert(channel, callId);
    m_calls.changeState(callId, LineCallState::Offering, featuresFor(LineCallState::Offering));
    return callId;
}

qint32 AsteriskProvider::startOutgoing(int device, const QString& channel, const QString& number,
                                       const QString& ownNumber, bool originated)
{
    if (!m_newCallId)
        return 0;
    if (m_calls.isFull()) {
        logProblem(QStringLiteral("too many calls at once; skipped the call from %1").arg(channel));
        return 0;
    }
    QMap<int, QString> fields;
    fields[CallInfoField::CallerId] = ownNumber.isEmpty() ? extensionNumber(device) : ownNumber;
    fields[CallInfoField::CalledId] = number;
    fields[CallInfoField::CallOrigin] = QString::number(LineCallOrigin::Outbound);
    fields[CallInfoField::CallPrivilege] = QString::number(LinePrivilege::Owner);
    const qint32 callId = m_newCallId();
    m_calls.add(callId, device, std::move(fields));
    CallLink link;
    link.channel = channel;
    link.outgoing = true;
    link.originated = originated;
    m_links.insert(callId, link);
    m_callByChannel.insert(channel, callId);
    m_calls.changeState(callId, LineCallState::Dialing, featuresFor(LineCallState::Dialing));
    m_calls.changeState(callId, LineCallState::Ringback, featuresFor(LineCallState::Ringback));
    return callId;
}

void AsteriskProvider::connectCall(qint32 callId)
{
    const auto it = m_links.find(callId);
    if (it == m_links.end() || it->connected)
        return;
    it->connected = true;
    m_calls.changeState(callId, LineCallState::Connected, featuresFor(LineCallState::Connected));
}

void AsteriskProvider::handOver(qint32 callId, const QString& channel)
{
    if (!m_links.contains(callId) || m_links.value(callId).channel == channel)
        return;
    // What that channel did so far (dialling the pick-up code, a transfer's
    // consultation) is over: its conversation is this call's now.
    if (const qint32 previous = m_callByChannel.value(channel, 0); previous != 0)
        endCall(previous);
    m_channels.remove(channel);
    CallLink& link = m_links[callId];
    m_callByChannel.remove(link.channel);
    link.channel = channel;
    m_callByChannel.insert(channel, callId);
}

void AsteriskProvider::settleBridge(const QString& bridge)
{
    const QStringList members = m_bridges.members(bridge);
    if (members.size() < 2)
        return;
    // Channels in one bridge talk: a call of ours there is answered, and in a
    // bridge of two the other channel is who it talks to.
    QList<qint32> answered;
    for (const QString& channel : members) {
        const qint32 callId = m_callByChannel.value(channel, 0);
        if (callId == 0)
            continue;
        CallLink& link = m_links[callId];
        if (members.size() == 2)
            link.peer = members.at(members.indexOf(channel) == 0 ? 1 : 0);
        if (!link.connected)
            answered.append(callId);
    }
    std::sort(answered.begin(), answered.end());
    for (const qint32 callId : answered)
        connectCall(callId);
}

void AsteriskProvider::endCall(qint32 callId)
{
    const CallLink link = m_links.take(callId);
    m_callByChannel.remove(link.channel);
    m_calls.changeState(callId, LineCallState::Idle, 0);
}

void AsteriskProvider::endAllCalls()
{
    QList<qint32> callIds = m_links.keys();
    std::sort(callIds.begin(), callIds.end()); // in the order the calls began
    for (const qint32 callId : callIds)
        endCall(callId);
}

void AsteriskProvider::trackChannel(const QString& channel, const ExtensionChannel& info)
{
    if (!m_channels.contains(channel) && m_channels.size() >= kMaxTrackedChannels) {
        logProblem(QStringLiteral("too many channels at once; not following %1").arg(channel));
        return;
    }
    m_channels.insert(channel, info);
}

QString AsteriskProvider::sendAction(const QString& action,
                                     const QList<std::pair<QString, QString>>& headers)
{
    if (!m_client->isConnected())
        return QString();
    const QString actionId = QStringLiteral("phonavo-%1").arg(++m_lastActionNumber);
    QString text = QStringLiteral("Action: ") + action + QStringLiteral("\r\nActionID: ") +
                   actionId + QStringLiteral("\r\n");
    for (const auto& [key, value] : headers)
        text += key + QStringLiteral(": ") + headerSafe(value) + QStringLiteral("\r\n");
    text += QStringLiteral("\r\n");
    return m_client->send(text.toUtf8()) ? actionId : QString();
}

void AsteriskProvider::remember(PendingAction action)
{
    if (action.actionId.isEmpty())
        return;
    // A server that never answers must not make this list grow without end.
    if (m_actionOrder.size() >= kMaxPendingActions)
        m_actions.remove(m_actionOrder.takeFirst());
    m_actionOrder.append(action.actionId);
    m_actions.insert(action.actionId, std::move(action));
}

QString AsteriskProvider::value(const AmiMessage& message, QStringView key)
{
    QString text = message.value(key);
    if (text.size() <= kMaxValueLength)
        return text;
    logProblem(QStringLiteral("ignored a %1 of %2 characters in a %3 event")
                   .arg(key.toString())
                   .arg(text.size())
                   .arg(printable(message.value(u"Event"))));
    return QString();
}

void AsteriskProvider::logProblem(const QString& problem)
{
    if (m_problemsLogged > kMaxProblemsLogged)
        return;
    ++m_problemsLogged;
    if (m_problemsLogged > kMaxProblemsLogged)
        log(QStringLiteral("more bad input; not logged until the next connection"));
    else
        log(problem);
}

void AsteriskProvider::log(const QString& text) const
{
    if (m_logger)
        m_logger(m_client->logName() + QStringLiteral(": ") + text);
}
