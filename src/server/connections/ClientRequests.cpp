#include "ClientRequests.h"

#include "OldCallReplay.h"
#include "PhonavoServer.h"
#include "core/controller/MainForm.h"
#include "core/log/ProgramLog.h"
#include "platform/Clock.h"
#include "platform/net/ClientSocket.h"
#include "platform/telephony/LineTypes.h"
#include "platform/telephony/TelephonyWrapper.h"
#include "server/protocol/WireProtocol.h"
#include "shell/settings/SettingsStore.h"

#include <QPointer>
#include <QTimer>

namespace {

// A long replay must not count against the client's ping time-out while it goes out.
constexpr qint64 kReplayPingSecondsPerRow = 20;
// Rows of old calls read per event-loop turn: a long history is sent without
// holding up the lines and the other clients.
constexpr int kReplayRowsPerTurn = 2000;
// Garbage from the network is logged only this far.
constexpr qsizetype kMaxLoggedCommand = 100;
constexpr qsizetype kMaxLoggedArrival = 2000;
// A flood of tiny messages in one arrival must not hold up the event loop.
constexpr qsizetype kMaxMessagesPerArrival = 1000;
constexpr int kMaxLoggedUnknownCommands = 20;

QString shortened(const QString& text, qsizetype max)
{
    return text.size() > max ? text.left(max) + QStringLiteral("...") : text;
}

// The arrival as one readable log line: the NULs between its messages shown as "\0".
QString loggedArrival(const QByteArray& arrival, const QString& password)
{
    return shortened(WireProtocol::logText(arrival, password), kMaxLoggedArrival)
        .replace(QChar(0), QStringLiteral("\\0"));
}

} // namespace

ClientRequests::ClientRequests(PhonavoServer& server) : m_server(server), m_form(server.form()) {}

bool ClientRequests::stillThere(ClientSocket* socket, const ConnectionPtr& c) const
{
    return m_server.connectionOf(socket) == c;
}

void ClientRequests::handleArrival(ClientSocket* socket, const QByteArray& arrival)
{
    if (!m_server.serverEnabled())
        return;
    const ConnectionPtr c = m_server.connectionOf(socket);
    if (!c) {
        if (m_form.traceOn())
            m_form.LogStr(QStringLiteral("Data from %1 ignored: a newer connection from that "
                                         "address replaced this one")
                              .arg(socket->remoteHostIP()));
        return;
    }
    const QString hostName = c->displayName();
    QPointer<ClientSocket> alive(socket);
    int step = 0;
    try {
        const QList<QByteArray> messages = WireProtocol::splitArrival(arrival);
        if (messages.size() > kMaxMessagesPerArrival)
            m_form.DoLogStr(QStringLiteral("Client %1 sent %2 messages at once; only the first %3 "
                                           "are handled")
                                .arg(hostName)
                                .arg(messages.size())
                                .arg(kMaxMessagesPerArrival));
        for (const QByteArray& message :
             messages.first(std::min<qsizetype>(messages.size(), kMaxMessagesPerArrival))) {
            step = 1;
            const QStringList f = WireProtocol::fields(message);
            if (m_form.traceOn() && f[0] != QLatin1String("ping"))
                m_form.LogStr(m_form.GetS(QStringLiteral("Data from %s: %s"), hostName,
                                          loggedArrival(arrival, m_server.password())));
            step = 2;
            if (!handleMessage(socket, c, f, step) || !alive || !stillThere(socket, c))
                break;
        }
    } catch (const std::exception& e) {
        // The rest of this arrival is dropped; the connection stays.
        const QString what = QString::fromLocal8Bit(e.what());
        m_form.DoLogStr(
            m_form.GetS(QStringLiteral("Error ocured: %s (line %s)"), what, QString::number(step)));
        m_form.RaiseError(QStringLiteral("wsConnection_DataArrival"),
                          ErrorInfo{-1, what, QStringLiteral("ClientRequests"), step});
    }
}

bool ClientRequests::handleMessage(ClientSocket* socket, const ConnectionPtr& c,
                                   const QStringList& f, int& step)
{
    const QString& command = f[0];
    if (command == QLatin1String("listen")) {
        listen(socket, c, f, step);
    } else if (command == QLatin1String("ping")) {
        c->dtLastPing = Clock::instance().now();
    } else if (command == QLatin1String("rejectcall")) {
        rejectCall();
    } else if (command == QLatin1String("getoutgoingdevices")) {
        sendOutgoingDevices(c);
    } else if (command == QLatin1String("startcall")) {
        m_form.StartCall(f[2], MainForm::ReportTo::Log);
    } else if (++c->unknownCommands <= kMaxLoggedUnknownCommands) {
        m_form.DoLogStr(m_form.GetS(QStringLiteral("Phonavo Server %s sent an unknown command: %s"),
                                    c->IP, shortened(command, kMaxLoggedCommand)));
    }
    return true;
}

void ClientRequests::listen(ClientSocket* socket, const ConnectionPtr& c, const QStringList& f,
                            int& step)
{
    const QString ip = socket->remoteHostIP();
    const QString name = f[3];
    step = 10;
    if (f[2] != m_server.password()) {
        m_form.LogStr(m_form.GetS(QStringLiteral("Wrong password from: %s"), c->displayName()));
        c->SendCommand(QStringLiteral("wrongpass"));
        m_server.closeClient(socket);
        return;
    }
    step = 11;
    m_server.clientsModel().removeAddress(ip);
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
        return;
    }
    step = 13;
    if (m_server.clientsModel().rowCount() >= PhonavoServer::kMaxClients) {
        m_form.LogStr(
            m_form.GetS(QStringLiteral("Client %s rejected: Maximum number of clients reached"),
                        c->displayName()));
        c->SendCommand(QStringLiteral("maxreached"));
        m_server.closeClient(socket);
        return;
    }
    step = 14;
    const QDateTime now = Clock::instance().now();
    m_server.clientsModel().addRow(ProgramLog::formatGeneralDate(now), name, ip);
    c->ListenNumber = f[1];
    c->dtLastPing = now;
    c->Verified = true;
    c->HostName = name;
    emit m_server.clientsChanged();
    step = 15;
    m_replays.remove(socket); // a listen again starts over
    if (f[4].isEmpty()) {
        finishListen(socket, c, name, QString(), 0);
        return;
    }
    startReplay(socket, c, name, f[4]);
}

void ClientRequests::finishListen(ClientSocket* socket, const ConnectionPtr& c, const QString& name,
                                  const QString& list, int rowsRead)
{
    if (!stillThere(socket, c))
        return;
    const QString ip = socket->remoteHostIP();
    c->dtLastPing = Clock::instance().now().addSecs(kReplayPingSecondsPerRow * rowsRead);
    c->SendCommand(QStringLiteral("accepted"), {list});
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
        m_form.LogStr(QStringLiteral("Client %1 sent the unreadable time stamp \"%2\": no old "
                                     "calls are sent")
                          .arg(c->displayName(), stamp.left(32)));
        finishListen(socket, c, name, QString(), 0);
        return;
    }
    CallDatabase* db = m_server.callDatabase();
    if (!db) {
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
    m_replays.insert(socket, replay);
    replay->start();
    continueReplay(socket, c, name, replay);
}

void ClientRequests::continueReplay(QPointer<ClientSocket> socket, ConnectionPtr c, QString name,
                                    std::shared_ptr<OldCallReplay> replay)
{
    // The client went away, or listened again: this replay is dropped.
    if (!socket) {
        m_replays.removeIf([&replay](const auto& entry) { return entry.value() == replay; });
        return;
    }
    if (m_replays.value(socket.data()) != replay)
        return;
    trapErrors(m_form.errors(), QStringLiteral("wsClient_DataArrival"), [&] {
        if (!replay->step(kReplayRowsPerTurn)) {
            QTimer::singleShot(0, &m_server, [this, socket, c, name, replay] {
                continueReplay(socket, c, name, replay);
            });
            return;
        }
        m_replays.remove(socket.data());
        OldCallReplay::Result result = replay->takeResult();
        if (!result.error.isEmpty())
            m_form.LogStr(QStringLiteral("Old calls for %1 not read completely: %2")
                              .arg(c->displayName(), result.error));
        finishListen(socket.data(), c, name, result.list, result.rowsRead);
    });
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
