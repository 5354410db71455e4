#include "ClientRequests.h"

#include "LoginThrottle.h"
#include "OldCallReplay.h"
#include "PhonavoServer.h"
#include "contacts/store/CallDatabase.h"
#include "core/controller/MainForm.h"
#include "core/log/ProgramLog.h"
#include "platform/Clock.h"
#include "platform/net/ClientSocket.h"
#include "platform/telephony/LineTypes.h"
#include "platform/telephony/TelephonyWrapper.h"
#include "server/protocol/WireProtocol.h"
#include "shell/settings/SettingsStore.h"

#include <QTimer>

#include <utility>

namespace {

// A long replay must not count against the client's ping time-out while it goes out.
constexpr qint64 kReplayPingSecondsPerRow = 20;
// Rows of old calls read per event-loop turn: a long history is sent without
// holding up the lines and the other clients.
constexpr int kReplayRowsPerTurn = 2000;
// Garbage from the network is logged only this far.
constexpr qsizetype kMaxLoggedCommand = 100;
// A flood of tiny messages in one arrival must not hold up the event loop.
constexpr qsizetype kMaxMessagesPerArrival = 1000;
constexpr int kMaxLoggedUnknownCommands = 20;
// Wrong passwords from one address are reported again at these counts.
constexpr int kKeepsFailingFirst = 5;
constexpr int kKeepsFailingEvery = 50;

bool isPing(const QByteArray& message)
{
    return message == "ping" || message.startsWith("ping\r\n");
}

// Requests that act on the server's lines: only for clients that logged in.
bool needsVerifiedClient(const QString& command)
{
    return command == QLatin1String("rejectcall") ||
           command == QLatin1String("getoutgoingdevices") || command == QLatin1String("startcall");
}

} // namespace

ClientRequests::ClientRequests(PhonavoServer& server) : m_server(server), m_form(server.form()) {}

bool ClientRequests::stillThere(ClientSocket* socket, const ConnectionPtr& c) const
{
    return socket && m_server.connectionOf(socket) == c;
}

void ClientRequests::guarded(int& step, const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        // The rest of this arrival is dropped; the connection stays.
        const QString what = QString::fromLocal8Bit(e.what());
        m_form.DoLogStr(
            m_form.GetS(QStringLiteral("Error ocured: %s (line %s)"), what, QString::number(step)));
        m_form.RaiseError(QStringLiteral("wsConnection_DataArrival"),
                          ErrorInfo{-1, what, QStringLiteral("ClientRequests"), step});
    }
}

void ClientRequests::handleArrival(ClientSocket* socket, const QByteArray& arrival)
{
    if (!m_server.serverEnabled())
        return;
    const ConnectionPtr c = m_server.connectionOf(socket);
    if (!c)
        return;
    const QList<QByteArray> messages = WireProtocol::splitArrival(arrival);
    // The same messages with every listen password masked, for the log.
    const QByteArray masked = WireProtocol::maskPasswords(arrival, &c->logCarry);
    if (messages.isEmpty())
        return;
    c->heardFrom = true;
    // Its refusal is still to come.
    if (c->closing)
        return;
    const QList<QByteArray> shown = WireProtocol::splitArrival(masked);
    // One line per arrival, whatever the number of its messages; pings alone are not logged.
    if (m_form.traceOn() && !std::all_of(messages.cbegin(), messages.cend(), isPing))
        c->logFromPeer(m_form.GetS(QStringLiteral("Data from %s: %s"), c->displayName(),
                                   shortenedForLog(WireProtocol::displayText(
                                       masked.left(4 * CConnection::kMaxLoggedText)))));
    if (messages.size() > kMaxMessagesPerArrival)
        c->logFromPeer(QStringLiteral("Client %1 sent %2 messages at once; only the first %3 are "
                                      "handled")
                           .arg(c->displayName())
                           .arg(messages.size())
                           .arg(kMaxMessagesPerArrival));
    QPointer<ClientSocket> alive(socket);
    int step = 0;
    guarded(step, [&] {
        const qsizetype count = std::min<qsizetype>(messages.size(), kMaxMessagesPerArrival);
        for (qsizetype i = 0; i < count; ++i) {
            step = 1;
            const QStringList f = WireProtocol::fields(messages[i]);
            const QString shownCommand = WireProtocol::fields(shown.value(i)).value(0);
            step = 2;
            if (!handleMessage(socket, c, f, shownCommand, step) || !alive ||
                !stillThere(socket, c))
                break;
        }
    });
}

bool ClientRequests::handleMessage(ClientSocket* socket, const ConnectionPtr& c,
                                   const QStringList& f, const QString& shownCommand, int& step)
{
    const QString& command = f[0];
    if (command == QLatin1String("listen"))
        return listen(socket, c, f, step);
    if (command == QLatin1String("ping")) {
        c->dtLastPing = Clock::instance().now();
        return true;
    }
    if (needsVerifiedClient(command)) {
        if (!c->Verified) {
            if (!c->refusalLogged) {
                c->refusalLogged = true;
                m_form.LogStr(m_form.GetS(
                    QStringLiteral("Ignored \"%s\" from %s: the client has not logged in"), command,
                    c->IP));
            }
            return true;
        }
        // Without a server password anyone on the network is verified: calls
        // still go out, but nobody may act on the server's lines.
        if (command != QLatin1String("getoutgoingdevices") && m_server.password().isEmpty()) {
            if (!c->noPasswordLogged) {
                c->noPasswordLogged = true;
                m_form.LogStr(m_form.GetS(
                    QStringLiteral("Ignored \"%s\" from %s: the server has no password"), command,
                    c->IP));
            }
            return true;
        }
        if (command == QLatin1String("rejectcall"))
            rejectCall();
        else if (command == QLatin1String("getoutgoingdevices"))
            sendOutgoingDevices(c);
        else
            m_form.StartCall(f[2], MainForm::ReportTo::Log);
        return true;
    }
    if (++c->unknownCommands <= kMaxLoggedUnknownCommands)
        c->logFromPeer(m_form.GetS(QStringLiteral("Phonavo Server %s sent an unknown command: %s"),
                                   c->IP, shortenedForLog(shownCommand, kMaxLoggedCommand)));
    return true;
}

bool ClientRequests::listen(ClientSocket* socket, const ConnectionPtr& c, const QStringList& f,
                            int& step)
{
    const QString ip = c->IP;
    const QString name = f[3];
    step = 10;
    LoginThrottle& throttle = m_server.loginThrottle();
    if (!throttle.mayCheck(ip)) {
        // Another wrong password of this address is still waiting for its
        // answer: this listen waits its turn (a newer one takes its place),
        // and the connection's other messages, its pings, go on meanwhile.
        const bool waiting = !c->heldListen.isEmpty();
        c->heldListen = f;
        if (!waiting)
            throttle.wait(
                ip, [this, ws = QPointer<ClientSocket>(socket), c] { resumeHeldListen(ws, c); });
        return true;
    }
    if (f[2] != m_server.password()) {
        refuseWrongPassword(socket, c);
        return false;
    }
    throttle.succeeded(ip);
    step = 12;
    const QString version =
        m_form.settings()
            .GetSettingHKLM(QString(), QStringLiteral("InstalledVersion"), QString())
            .toString();
    // Four padding fields follow the sent ones: a listen that sent its version
    // line, even an empty one, has at least ten. One without it never matches.
    const bool sentVersion = f.size() >= 10;
    const QString clientVersion = sentVersion ? f[5] : QString();
    if (!sentVersion || clientVersion != version) {
        m_form.LogStr(m_form.GetS(
            QStringLiteral(
                "Client %s rejected: Wrong protocol version (Client: %s vs. Server: %s)"),
            ip, clientVersion, version));
        c->SendCommand(QStringLiteral("wrongprotocol"));
        m_server.closeClient(socket);
        return false;
    }
    step = 13;
    // A client coming back from a listed address takes that row: it does not count twice.
    ClientsModel& grid = m_server.clientsModel();
    if (grid.rowCount() - grid.rowsOf(ip) >= PhonavoServer::kMaxClients) {
        m_form.LogStr(
            m_form.GetS(QStringLiteral("Client %s rejected: Maximum number of clients reached"),
                        c->displayName()));
        c->SendCommand(QStringLiteral("maxreached"));
        m_server.closeClient(socket);
        return false;
    }
    step = 14;
    // Now this connection is the client of its address; an older one that was goes.
    for (const ConnectionPtr& other : m_server.connections().fromAddress(ip))
        if (other != c && other->Verified && other->wsConnection)
            m_server.closeClient(other->wsConnection.data());
    if (!stillThere(socket, c))
        return false;
    grid.removeAddress(ip);
    const QDateTime now = Clock::instance().now();
    grid.addRow(ProgramLog::formatGeneralDate(now), name, ip);
    c->ListenNumber = f[1];
    c->dtLastPing = now;
    c->Verified = true;
    c->HostName = name;
    c->awaitingAccepted = true;
    emit m_server.clientsChanged();
    step = 15;
    c->replay.reset(); // a listen again starts over
    if (f[4].isEmpty())
        finishListen(socket, c, name, QString(), 0);
    else
        startReplay(socket, c, name, f[4]);
    return stillThere(socket, c);
}

void ClientRequests::refuseWrongPassword(ClientSocket* socket, const ConnectionPtr& c)
{
    const QString ip = c->IP;
    m_form.LogStr(m_form.GetS(QStringLiteral("Wrong password from: %s"), c->displayName()));
    const LoginThrottle::Failure failure =
        m_server.loginThrottle().failed(ip, Clock::instance().now());
    const int delayMs = failure.delayMs;
    if (failure.failures == kKeepsFailingFirst || failure.failures % kKeepsFailingEvery == 0)
        m_form.LogStr(m_form.GetS(
            QStringLiteral("%s wrong passwords from %s: each answer waits %s seconds now"),
            QString::number(failure.failures), ip, QString::number(delayMs / 1000.0)));
    if (failure.globalLimitEngaged)
        m_form.LogStr(m_form.GetS(
            QStringLiteral("More than %s wrong passwords a minute from all addresses: every "
                           "wrong password waits %s seconds or more for its answer now"),
            QString::number(LoginThrottle::kGlobalFailuresPerMinute),
            QString::number(delayMs / 1000.0)));
    // Answered late, and nothing else from this address is checked meanwhile.
    c->closing = true;
    QTimer::singleShot(delayMs, Qt::PreciseTimer, &m_server,
                       [this, ws = QPointer<ClientSocket>(socket), c, ip] {
                           if (stillThere(ws.data(), c)) {
                               c->SendCommand(QStringLiteral("wrongpass"));
                               if (stillThere(ws.data(), c))
                                   m_server.closeClient(ws.data());
                           }
                           m_server.loginThrottle().answered(ip);
                       });
}

void ClientRequests::resumeHeldListen(QPointer<ClientSocket> socket, const ConnectionPtr& c)
{
    if (!stillThere(socket.data(), c))
        return; // gone while it waited
    const QStringList f = std::exchange(c->heldListen, {});
    int step = 10;
    guarded(step, [&] { listen(socket.data(), c, f, step); });
}

void ClientRequests::finishListen(ClientSocket* socket, const ConnectionPtr& c, const QString& name,
                                  const QString& list, int rowsRead)
{
    if (!stillThere(socket, c))
        return;
    const QString ip = c->IP;
    c->dtLastPing = Clock::instance().now().addSecs(kReplayPingSecondsPerRow * rowsRead);
    c->SendCommand(QStringLiteral("accepted"), {list});
    if (!stillThere(socket, c))
        return;
    // Live events that came during the replay follow it, in order.
    c->awaitingAccepted = false;
    const auto held = std::exchange(c->heldEvents, {});
    for (const auto& [command, message] : held)
        if (!c->sendEncoded(command, message))
            break;
    if (!stillThere(socket, c))
        return;
    m_server.clientsModel().renameAddress(ip, name);
    c->HostName = name;
    c->dtLastPing = Clock::instance().now();
    m_form.LogStr(m_form.GetS(QStringLiteral("Client connected: %s (%s)"), name, ip));
}

void ClientRequests::startReplay(ClientSocket* socket, const ConnectionPtr& c, const QString& name,
                                 const QString& stamp)
{
    const std::optional<QDateTime> since = WireProtocol::parseStamp(stamp);
    if (!since) {
        c->logFromPeer(QStringLiteral("Client %1 sent the unreadable time stamp \"%2\": no old "
                                      "calls are sent")
                           .arg(c->displayName(), stamp.left(32)));
        finishListen(socket, c, name, QString(), 0);
        return;
    }
    CallDatabase* db = m_server.callDatabase();
    if (!db || !db->isOpen()) {
        m_form.LogStr(
            QStringLiteral("No call database: no old calls are sent to %1").arg(c->displayName()));
        finishListen(socket, c, name, QString(), 0);
        return;
    }
    const ColMSNs& msns = m_form.colMSNs();
    const ClientAddress address = c->address();
    const QString yes = m_form.GetS(QStringLiteral("yes"));
    const QString no = m_form.GetS(QStringLiteral("no"));
    MainForm* form = &m_form;
    auto replay = std::make_shared<OldCallReplay>(
        *db, *since,
        [&msns, address](const QString& number) {
            return msns.ClientGetsNotification(number, address);
        },
        [form, yes, no](const OldCallReplay::Row& row) {
            form->logCall(
                row.callId,
                form->GetS(QStringLiteral("Sending old call: on %s, %s called %s (answered: %s)"),
                           ProgramLog::formatGeneralDate(row.callDate),
                           form->FormatPartyName(row.callerId, row.callerName),
                           form->FormatPartyName(row.calledId, row.calledName),
                           row.answered ? yes : no));
        });
    c->replay = replay;
    replay->start();
    continueReplay(socket, c, name, replay);
}

void ClientRequests::continueReplay(QPointer<ClientSocket> socket, ConnectionPtr c, QString name,
                                    std::shared_ptr<OldCallReplay> replay)
{
    // The client went away, or listened again: this replay is dropped.
    if (!stillThere(socket.data(), c) || c->replay != replay)
        return;
    int step = kReplayStep;
    guarded(step, [&] {
        if (!replay->step(kReplayRowsPerTurn)) {
            QTimer::singleShot(0, &m_server, [this, socket, c, name, replay] {
                continueReplay(socket, c, name, replay);
            });
            return;
        }
        c->replay.reset();
        OldCallReplay::Result result = replay->takeResult();
        if (!result.error.isEmpty())
            replayFailed(c, result.error);
        else
            finishListen(socket.data(), c, name, result.list, result.rowsRead);
    });
}

void ClientRequests::replayFailed(const ConnectionPtr& c, const QString& error)
{
    // No "accepted" with a part of the list: the client would take it for all
    // it missed. It is not listed and gets no call events; the connection
    // stays, and a listen again (with the same stamp, as the client got
    // nothing) tries the replay anew.
    m_form.DoLogStr(m_form.GetS(QStringLiteral("Error ocured: %s (line %s)"), error,
                                QString::number(kReplayStep)));
    c->Verified = false;
    c->awaitingAccepted = false;
    c->heldEvents.clear();
    m_server.clientsModel().removeAddress(c->IP);
    emit m_server.clientsChanged();
    m_form.LogStr(m_form.GetS(
        QStringLiteral(
            "Old calls for %s could not be read; it is not listed until it logs in again"),
        c->displayName()));
    m_form.RaiseError(QStringLiteral("wsConnection_DataArrival"),
                      ErrorInfo{-1, error, QStringLiteral("OldCallReplay"), kReplayStep});
}

void ClientRequests::rejectCall()
{
    const CallPtr call = m_form.currentCall();
    if (!call)
        return;
    const qint32 device = call->lDeviceID;
    if (device < MainForm::kFirstPluginDeviceId) {
        const qint32 callId = m_form.lastNotifiedCallId();
        m_form.logCall(QString::number(callId), m_form.GetS(QStringLiteral("Rejecting call on %s"),
                                                            m_form.deviceDisplayName(device)));
        // Picked up and hung up at once.
        m_form.telephony().TapiLineAnswer(device, callId);
        m_form.telephony().TapiLineDrop(device, callId);
    } else if (PluginHost* plugins = m_form.pluginHost()) {
        if (plugins->canRejectCalls(device))
            plugins->rejectCall(device, call->CallID.toInt());
    }
}

void ClientRequests::sendOutgoingDevices(const ConnectionPtr& c)
{
    QString list;
    TelephonyWrapper& tapi = m_form.telephony();
    const QString display = QStringLiteral("%s (Phonavo Server)");
    QList<qint32> lines;
    for (const DevicePtr& d : m_form.colDevices().NewEnum())
        if (d->lDeviceID >= 0)
            lines << d->lDeviceID;
    std::sort(lines.begin(), lines.end());
    for (qint32 id : lines) {
        if ((tapi.getAdvancedFeatures(id) & LineDeviceFeature::CanDial) == 0)
            continue;
        const QString name = tapi.getDeviceName(id);
        if (name.contains(QLatin1String("IPCONF")) || name.contains(QLatin1String("H323")))
            continue;
        list += WireProtocol::deviceRecord(id + 500, m_form.GetS(display, name));
    }
    if (const auto& plugins = m_server.pluginDevices()) {
        const QList<QStringList> perPlugin = plugins();
        for (int p = 0; p < perPlugin.size(); ++p)
            for (const QString& name : perPlugin[p])
                list += WireProtocol::deviceRecord(p + 1, m_form.GetS(display, name));
    }
    c->SendCommand(QStringLiteral("outgoingdevices"), {list});
}
