#include "PhonavoServer.h"

#include "ClientRequests.h"
#include "core/calls/CCall.h"
#include "core/controller/MainForm.h"
#include "core/devices/NumberRules.h"
#include "platform/Clock.h"
#include "platform/net/ClientSocket.h"
#include "platform/net/ListeningSocket.h"
#include "platform/telephony/LineTypes.h"
#include "platform/telephony/TelephonyWrapper.h"
#include "server/protocol/MessageSizeGuard.h"
#include "server/protocol/WireProtocol.h"
#include "shell/dialogs/DialogService.h"
#include "shell/dialogs/Warnings.h"
#include "shell/settings/SettingsStore.h"

#include <algorithm>

#include <QAbstractSocket>
#include <QFile>
#include <QFileInfo>

PhonavoServer::PhonavoServer(MainForm& form, CallDatabase* callDatabase, QObject* parent)
    : QObject(parent), m_form(form), m_callDb(callDatabase),
      m_listener(std::make_unique<ListeningSocket>()),
      m_requests(std::make_unique<ClientRequests>(*this))
{
    m_cleanTimer.setInterval(kCleanIntervalMs);
    connect(&m_cleanTimer, &QTimer::timeout, this, &PhonavoServer::tmrCleanClients_Timer);
    m_relistenTimer.setInterval(kRelistenIntervalMs);
    m_relistenTimer.setSingleShot(true);
    connect(&m_relistenTimer, &QTimer::timeout, this, &PhonavoServer::relisten);
    connect(m_listener.get(), &ListeningSocket::failed, this, &PhonavoServer::onListenerFailed);
    connect(m_listener.get(), &ListeningSocket::connectionRequest, this,
            &PhonavoServer::onConnectionRequest);
    connect(m_listener.get(), &ListeningSocket::error, this, [this](const QString& description) {
        m_form.DoLogStr(QStringLiteral("socket-error: ") + description);
    });
    connect(
        m_listener.get(), &ListeningSocket::acceptingPaused, this, [this](int inUse, qint64 limit) {
            if (inUse < 0)
                m_form.DoLogStr(m_form.GetS(
                    QStringLiteral("Not accepting connections for now: out of file handles "
                                   "(limit %s)"),
                    QString::number(limit)));
            else
                m_form.DoLogStr(
                    m_form.GetS(QStringLiteral("Not accepting connections for now: %s of %s file "
                                               "handles in use"),
                                QString::number(inUse), QString::number(limit)));
        });
    connect(m_listener.get(), &ListeningSocket::acceptingResumed, this, [this] {
        m_form.DoLogStr(m_form.GetS(QStringLiteral("Accepting connections again")));
    });
    // tmrCleanClients runs while the monitor runs, server or not.
    connect(&m_form, &MainForm::statusChanged, this, &PhonavoServer::followMonitorState);
    followMonitorState();
}

void PhonavoServer::followMonitorState()
{
    if (m_form.Active() == m_cleanTimer.isActive())
        return;
    if (m_form.Active()) {
        m_ticks = 0;
        m_cleanTimer.start();
    } else {
        m_cleanTimer.stop();
    }
}

bool PhonavoServer::isAccepting() const
{
    return m_listener->isListening() && !m_listener->isPaused();
}

PhonavoServer::~PhonavoServer()
{
    for (ClientSocket* s : std::as_const(m_sockets))
        s->disconnect(this);
}

bool PhonavoServer::serverEnabled() const
{
    return m_form.options().flag(QStringLiteral("cbPhonavoServer"));
}

QString PhonavoServer::password() const
{
    return m_form.options().text(QStringLiteral("txtPassword"));
}

bool PhonavoServer::isListening() const
{
    return m_listener->isListening();
}

quint16 PhonavoServer::listeningPort() const
{
    return m_listener->localPort();
}

int PhonavoServer::connectedClients() const
{
    if (!serverEnabled())
        return 0;
    const QList<ConnectionPtr> all = m_connections.NewEnum();
    return int(std::count_if(all.cbegin(), all.cend(),
                             [](const ConnectionPtr& c) { return c->Verified; }));
}

bool PhonavoServer::confirmStop()
{
    return m_form.warnings().askQuestion(
        QStringLiteral("DontAskExitWithConnectedClients"),
        QStringLiteral("There are %s clients connected.{\\r}Really stop the Phonavo server?"),
        {QString::number(connectedClients())});
}

bool PhonavoServer::checkPasswordOnStart()
{
    if (!serverEnabled() || m_passwordRetype.value_or(password()) == password())
        return true;
    emit showServerPage();
    m_form.dialogs().messageBox(
        m_form.GetS(QStringLiteral("Please enter the password twice to make sure you had no typo")),
        MsgStyle::Information, QString());
    return false;
}

quint16 PhonavoServer::configuredPort(bool* ok) const
{
    const uint port = m_form.options().text(QStringLiteral("txtPort")).trimmed().toUInt(ok);
    if (port > 65535)
        *ok = false;
    return *ok ? quint16(port) : 0;
}

void PhonavoServer::startServer()
{
    bool ok = false;
    m_port = configuredPort(&ok);
    if (!ok) {
        m_form.RaiseError(m_form.GetS(QStringLiteral("The server port %s is not a port number"),
                                      m_form.options().text(QStringLiteral("txtPort"))));
        return;
    }
    m_relistenTimer.stop();
    m_relistenReported = false;
    if (!m_listener->listen(m_port)) {
        m_form.RaiseError(m_form.GetS(QStringLiteral("Unable to start the server on port %s: %s"),
                                      QString::number(m_port), m_listener->errorString()));
        return;
    }
    m_boundPort = m_listener->localPort();
    m_form.LogStr(m_form.GetS(QStringLiteral("Enabled server %s (%s)"), m_listener->localHostName(),
                              m_listener->localIP()));
    if (password().isEmpty())
        m_form.LogStr(m_form.GetS(QStringLiteral(
            "The server has no password: clients get calls but cannot dial or reject calls")));
}

void PhonavoServer::onListenerFailed(const QString& description)
{
    m_form.DoLogStr(QStringLiteral("socket-error: ") + description);
    relisten();
}

void PhonavoServer::relisten()
{
    const QString port = QString::number(m_boundPort);
    if (m_listener->listen(m_boundPort)) {
        m_relistenReported = false;
        m_form.LogStr(m_form.GetS(QStringLiteral("The server listens on port %s again"), port));
        return;
    }
    // The port stays ours to take back: tried again and again, and said loudly once.
    const QString error = m_listener->errorString();
    if (!m_relistenReported) {
        m_relistenReported = true;
        m_form.RaiseError(m_form.GetS(
            QStringLiteral("The server cannot listen on port %s again: %s. It tries again every "
                           "%s seconds."),
            port, error, QString::number(m_relistenTimer.interval() / 1000.0)));
    } else {
        m_form.DoLogStr(m_form.GetS(QStringLiteral("The server still cannot listen on port %s: %s"),
                                    port, error));
    }
    m_relistenTimer.start();
}

void PhonavoServer::stopServer()
{
    const bool retrying = m_relistenTimer.isActive();
    m_relistenTimer.stop();
    if (!m_listener->isListening() && m_sockets.isEmpty() && !retrying)
        return;
    const QList<int> indexes = m_sockets.keys();
    for (auto it = indexes.crbegin(); it != indexes.crend(); ++it) {
        ClientSocket* socket = m_sockets.value(*it);
        const ConnectionPtr c = connectionOf(socket);
        m_form.LogStr(m_form.GetS(QStringLiteral("Disconnected %s"), c ? c->HostName : QString()));
        unload(*it);
    }
    m_connections.Clear();
    m_grid.clear();
    m_throttle.clear();
    logLeftOutConnections();
    m_peerLogs.clear();
    m_listener->close();
    m_form.LogStr(m_form.GetS(QStringLiteral("Stopped server %s (%s)"), m_listener->localHostName(),
                              m_listener->localIP()));
    emit clientsChanged();
}

void PhonavoServer::onConnectionRequest()
{
    trapErrors(m_form.errors(), QStringLiteral("wsConnection_ConnectionRequest"), [&] {
        while (m_listener->hasPendingRequest())
            if (std::unique_ptr<ClientSocket> socket = m_listener->accept())
                acceptOne(std::move(socket));
    });
}

int PhonavoServer::freeIndex()
{
    for (int i = 1; i <= m_indexCounter; ++i) {
        ClientSocket* s = m_sockets.value(i);
        if (!s)
            return i;
        if (s->state() != SocketState::Connected) {
            closeClient(s);
            return i;
        }
    }
    return ++m_indexCounter;
}

void PhonavoServer::acceptOne(std::unique_ptr<ClientSocket> owned)
{
    const QString ip = owned->remoteHostIP();
    // Short connections in a row from one address are not each worth two lines.
    const std::shared_ptr<PeerLog> peerLog = m_peerLogs.forAddress(ip);
    const bool logged = peerLog->admitConnection(Clock::instance().now());
    if (logged)
        m_form.LogStr(
            m_form.GetS(QStringLiteral("Connection request: %s (%s)"), owned->remoteHost(), ip));
    if (m_connections.fromAddress(ip).size() >= kMaxSocketsPerAddress)
        makeRoomAt(ip, logged);
    if (m_sockets.size() >= kMaxSockets ||
        m_connections.fromAddress(ip).size() >= kMaxSocketsPerAddress) {
        if (logged)
            m_form.LogStr(
                m_form.GetS(QStringLiteral("Rejected connection request from %s (%s): too many "
                                           "connections"),
                            owned->remoteHost(), ip));
        owned->abort();
        return;
    }
    const int index = freeIndex();
    ClientSocket* socket = owned.release();
    socket->setParent(this);
    socket->setReadLimit(WireProtocol::kMaxArrival + 1);
    socket->setMaxPendingOutput(kMaxPendingOutput);
    m_sockets.insert(index, socket);
    connect(socket, &ClientSocket::dataArrival, this, [this, socket] { onDataArrival(socket); });
    // Queued: a connection may end in the middle of a send or a broadcast.
    connect(
        socket, &ClientSocket::closed, this, [this, socket] { onClosed(socket); },
        Qt::QueuedConnection);
    connect(socket, &ClientSocket::error, this, [this](int number, const QString& description) {
        if (number != int(QAbstractSocket::RemoteHostClosedError))
            m_form.DoLogStr(QStringLiteral("socket-error: ") + description);
    });
    connect(socket, &ClientSocket::outputOverflow, this, [this, socket](qint64 pending) {
        const ConnectionPtr c = connectionOf(socket);
        m_form.DoLogStr(QStringLiteral("Client %1 does not read its data (%2 bytes waiting), "
                                       "disconnecting")
                            .arg(c ? c->displayName() : socket->remoteHostIP())
                            .arg(pending));
    });
    // A handle comes back when the socket is gone: a paused listener may go on.
    connect(socket, &QObject::destroyed, m_listener.get(), &ListeningSocket::recheck,
            Qt::QueuedConnection);
    // Its own connection: another one from this address (verified or not) stays
    // as it is until this one has logged in.
    const ConnectionPtr c = m_connections.Add(m_form, ip, socket);
    c->lifecycleLogged = logged;
    c->peerLog = peerLog;
    c->SendCommand(QStringLiteral("connect"));
}

void PhonavoServer::makeRoomAt(const QString& ip, bool logged)
{
    // The oldest socket that has not logged in goes (connections are listed
    // in the order they came); the verified client of the address never does.
    for (const ConnectionPtr& c : m_connections.fromAddress(ip)) {
        if (c->Verified)
            continue;
        if (logged)
            m_form.LogStr(m_form.GetS(
                QStringLiteral("Closed the oldest connection from %s that has not logged in, to "
                               "make room for a new one"),
                ip));
        dropConnection(c);
        return;
    }
}

ConnectionPtr PhonavoServer::connectionOf(const ClientSocket* socket) const
{
    return m_connections.Item(socket);
}

int PhonavoServer::indexOf(const ClientSocket* socket) const
{
    for (auto it = m_sockets.cbegin(); it != m_sockets.cend(); ++it)
        if (it.value() == socket)
            return it.key();
    return -1;
}

void PhonavoServer::onDataArrival(ClientSocket* socket)
{
    trapErrors(m_form.errors(), QStringLiteral("wsConnection_DataArrival"), [&] {
        // The read buffer holds at most kMaxArrival + 1 bytes.
        const QByteArray data = socket->getData(socket->bytesAvailable());
        const ConnectionPtr c = connectionOf(socket);
        if (!c)
            return;
        const MessageSizeGuard::Passed passed = c->sizeGuard.pass(data);
        if (passed.startedDropping) {
            c->heardFrom = true;
            c->logFromPeer(
                m_form.GetS(QStringLiteral("Data from %s dropped: a message longer than %s bytes"),
                            c->displayName(), QString::number(WireProtocol::kMaxArrival)));
        }
        if (!passed.data.isEmpty())
            m_requests->handleArrival(socket, passed.data);
    });
}

void PhonavoServer::onClosed(ClientSocket* socket)
{
    if (indexOf(socket) < 0)
        return; // already unloaded
    trapErrors(m_form.errors(), QStringLiteral("wsConnection_Close"), [&] { closeClient(socket); });
}

void PhonavoServer::closeClient(ClientSocket* socket)
{
    const int index = indexOf(socket);
    if (index < 0)
        return;
    const QString ip = socket->remoteHostIP();
    const ConnectionPtr c = connectionOf(socket);
    if (!c || c->lifecycleLogged || c->Verified)
        m_form.LogStr(m_form.GetS(QStringLiteral("Client disconnected: %s (%s)"),
                                  c ? c->HostName : QString(), ip));
    if (c) {
        m_connections.Remove(c);
        // Only the verified connection of an address is listed.
        if (c->Verified)
            m_grid.removeAddress(ip);
        emit clientsChanged();
    }
    unload(index);
}

bool PhonavoServer::dropConnection(const ConnectionPtr& c)
{
    m_connections.Remove(c);
    if (c->Verified)
        m_grid.removeAddress(c->IP);
    emit clientsChanged();
    const int index = indexOf(c->wsConnection.data());
    if (index < 0)
        return false;
    unload(index);
    return true;
}

void PhonavoServer::unload(int index)
{
    ClientSocket* socket = m_sockets.take(index);
    if (!socket)
        return;
    socket->disconnect(this);
    socket->release();
}

void PhonavoServer::logLeftOutConnections()
{
    for (const auto& [address, count] : m_peerLogs.takeLeftOut(Clock::instance().now()))
        m_form.LogStr(m_form.GetS(QStringLiteral("%s connections from %s not logged"),
                                  QString::number(count), address));
}

void PhonavoServer::tmrCleanClients_Timer()
{
    // Errors here are ignored: the next tick tries again.
    try {
        const QDateTime now = Clock::instance().now();
        const QDateTime limit = now.addSecs(-kPingTimeoutSeconds);
        const QDateTime graceEnd = now.addSecs(-kSilentGraceSeconds);
        for (const ConnectionPtr& c : m_connections.NewEnum()) {
            if (!c->heldListen.isEmpty()) {
                continue; // its turn at the password check does not count against it
            } else if (!c->heardFrom && c->dtConnected < graceEnd) {
                // A socket that never says anything only holds a place.
                if (c->lifecycleLogged)
                    m_form.LogStr(m_form.GetS(
                        QStringLiteral("Client %s sent nothing for %s seconds, disconnecting"),
                        c->IP, QString::number(kSilentGraceSeconds)));
            } else if (c->dtLastPing < limit) {
                m_form.LogStr(
                    m_form.GetS(QStringLiteral("Client %s timed out, disconnecting"), c->HostName));
            } else {
                continue;
            }
            c->SendCommand(QStringLiteral("timeout"));
            dropConnection(c);
        }
        m_throttle.forgetOld(now);
        logLeftOutConnections();
        if (++m_ticks >= kTrayRefreshTicks) {
            m_ticks = 0;
            TrayPresence* tray = m_form.trayPresence();
            if (tray && !SettingToBool(m_form.settings().GetSettingHKCU(
                            QString(), QStringLiteral("HideTrayIcon"), QStringLiteral("0"))))
                tray->reRegister();
        }
    } catch (...) {
    }
}

void PhonavoServer::broadcast(const QString& command, const QStringList& params,
                              const QString& decidingNumber, const QString& callId,
                              bool logMismatch)
{
    const MsnRecipients recipients = m_form.colMSNs().recipientsOf(decidingNumber);
    const QByteArray message = CConnection::encodeCommand(command, params);
    for (const ConnectionPtr& c : m_connections.NewEnum()) {
        // Sockets that have not logged in hear nothing, and are not worth a line either.
        if (!c->Verified)
            continue;
        if (WireProtocol::listenAdmits(c->ListenNumber, decidingNumber) &&
            recipients.admits(c->address())) {
            if (!c->awaitingAccepted) {
                c->sendEncoded(command, message);
            } else if (c->heldEvents.size() < kMaxHeldEvents) {
                c->heldEvents.append({command, message}); // after its "accepted"
            } else {
                m_form.LogStr(m_form.GetS(QStringLiteral("Client %s does not take its old calls; "
                                                         "disconnecting"),
                                          c->displayName()));
                dropConnection(c);
            }
        } else if (logMismatch) {
            QString line = m_form.GetS(QStringLiteral("%s does not match filter for %s"),
                                       c->HostName, decidingNumber);
            if (!c->ListenNumber.isEmpty())
                line += QStringLiteral(" (Listen: ") + c->ListenNumber + QLatin1Char(')');
            m_form.logCall(callId, line);
        }
    }
}

namespace {

std::optional<WireProtocol::CallPicture> pictureOf(MainForm& form, const CCall& call)
{
    if (call.PictureFilename.isEmpty())
        return std::nullopt;
    const QFileInfo info(call.PictureFilename);
    // Only a regular file: a device or a pipe named as a picture (a contact
    // source is not ours to trust) would never end or never answer.
    if (!info.isFile())
        return std::nullopt;
    if (info.size() > PhonavoServer::kMaxPictureBytes) {
        form.logCall(call.CallID, QStringLiteral("Picture %1 not sent to clients: larger than %2 "
                                                 "bytes")
                                      .arg(call.PictureFilename)
                                      .arg(PhonavoServer::kMaxPictureBytes));
        return std::nullopt;
    }
    QFile file(call.PictureFilename);
    if (!file.open(QIODevice::ReadOnly)) {
        form.logCall(call.CallID, QStringLiteral("Picture %1 not sent to clients: %2")
                                      .arg(call.PictureFilename, file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.read(PhonavoServer::kMaxPictureBytes + 1);
    if (bytes.size() > PhonavoServer::kMaxPictureBytes)
        return std::nullopt; // grew since it was measured
    return WireProtocol::CallPicture{info.suffix(), WireProtocol::pictureText(bytes)};
}

} // namespace

void PhonavoServer::incomingCall(const CCall& call)
{
    if (!serverEnabled() || m_connections.Count() == 0)
        return;
    bool canReject = false;
    if (call.lDeviceID < MainForm::kFirstPluginDeviceId)
        canReject = (m_form.telephony().getActiveCallFeatures(call.lDeviceID, call.CallID.toInt()) &
                     LineCallFeature::Answer) != 0;
    else if (PluginHost* plugins = m_form.pluginHost())
        canReject = plugins->canRejectCalls(call.lDeviceID);
    const QStringList params = WireProtocol::incomingCallParameters(
        call.CallID, call.CallerID(), call.CalledID(), call.CalledName, call.CallerName, canReject,
        call.CallerExtra, pictureOf(m_form, call));
    broadcast(QStringLiteral("incomingcall"), params, call.CalledID(), call.CallID, true);
}

void PhonavoServer::outgoingCall(const CCall& call)
{
    if (!serverEnabled() || m_connections.Count() == 0)
        return;
    const QStringList params = WireProtocol::outgoingCallParameters(
        call.CallID, call.CallerID(), call.CallerName, call.CalledID(), call.CalledName,
        pictureOf(m_form, call));
    broadcast(QStringLiteral("outgoingcall"), params, DigitsOnly(call.CallerID()), call.CallID,
              false);
}

void PhonavoServer::callAnswered(const CCall& call)
{
    if (serverEnabled())
        broadcast(QStringLiteral("answered"), {call.CallID}, call.CalledID(), call.CallID, false);
}

void PhonavoServer::callDisconnected(const CCall& call)
{
    if (serverEnabled())
        broadcast(QStringLiteral("disconnect"), {call.CallID}, call.CalledID(), call.CallID, false);
}
