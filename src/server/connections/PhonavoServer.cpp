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
    connect(m_listener.get(), &ListeningSocket::connectionRequest, this,
            &PhonavoServer::onConnectionRequest);
    connect(m_listener.get(), &ListeningSocket::error, this, [this](const QString& description) {
        m_form.DoLogStr(QStringLiteral("socket-error: ") + description);
    });
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
    return serverEnabled() ? m_connections.Count() : 0;
}

bool PhonavoServer::confirmStop()
{
    return m_form.warnings().askQuestion(
        QStringLiteral("DontAskExitWithConnectedClients"),
        QStringLiteral("There are %s clients connected.{\\r}Really stop the Phonavo server?"),
        {QString::number(m_connections.Count())});
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
    if (!m_listener->listen(m_port)) {
        m_form.RaiseError(m_form.GetS(QStringLiteral("Unable to start the server on port %s: %s"),
                                      QString::number(m_port), m_listener->errorString()));
        return;
    }
    m_form.LogStr(m_form.GetS(QStringLiteral("Enabled server %s (%s)"), m_listener->localHostName(),
                              m_listener->localIP()));
    m_ticks = 0;
    m_cleanTimer.start();
}

void PhonavoServer::stopServer()
{
    m_cleanTimer.stop();
    if (!m_listener->isListening() && m_sockets.isEmpty())
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
    m_replacedSince.clear();
    m_discarding.clear();
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
    m_form.LogStr(
        m_form.GetS(QStringLiteral("Connection request: %s (%s)"), owned->remoteHost(), ip));
    const auto fromThere =
        std::count_if(m_sockets.cbegin(), m_sockets.cend(),
                      [&ip](const ClientSocket* s) { return s && s->remoteHostIP() == ip; });
    if (m_sockets.size() >= kMaxSockets || fromThere >= kMaxSocketsPerAddress) {
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
    if (const ConnectionPtr old = m_connections.Item(ip); old && old->wsConnection)
        m_replacedSince.insert(old->wsConnection.data(), Clock::instance().now());
    const ConnectionPtr c = m_connections.Add(m_form, ip, socket);
    c->SendCommand(QStringLiteral("connect"));
}

ConnectionPtr PhonavoServer::connectionOf(const ClientSocket* socket) const
{
    if (!socket)
        return nullptr;
    ConnectionPtr c = m_connections.Item(socket->remoteHostIP());
    return c && c->wsConnection == socket ? c : nullptr;
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
        const qint64 available = socket->bytesAvailable();
        if (available > WireProtocol::kMaxArrival) {
            // Never held whole: thrown away in chunks, and the rest of that
            // message too, up to its NUL in a later arrival.
            const qint64 dropped = socket->discardAvailable();
            if (!m_discarding.contains(socket)) {
                m_discarding.insert(socket);
                const ConnectionPtr c = connectionOf(socket);
                m_form.LogStr(QStringLiteral("Data from %1 dropped: more than %2 bytes (%3) in "
                                             "one arrival")
                                  .arg(c ? c->displayName() : socket->remoteHostIP())
                                  .arg(WireProtocol::kMaxArrival)
                                  .arg(dropped));
            }
            return;
        }
        QByteArray data = socket->getData(available);
        if (m_discarding.contains(socket)) {
            const qsizetype end = data.indexOf('\0');
            if (end < 0)
                return;
            m_discarding.remove(socket);
            data.remove(0, end + 1);
            if (data.isEmpty())
                return;
        }
        m_requests->handleArrival(socket, data);
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
    const ConnectionPtr listed = m_connections.Item(ip);
    m_form.LogStr(m_form.GetS(QStringLiteral("Client disconnected: %s (%s)"),
                              listed ? listed->HostName : QString(), ip));
    // A socket that a newer connection from its address replaced leaves that
    // newer connection alone.
    if (listed && listed->wsConnection == socket) {
        m_connections.Remove(ip);
        m_grid.removeAddress(ip);
        emit clientsChanged();
    }
    unload(index);
}

void PhonavoServer::unload(int index)
{
    ClientSocket* socket = m_sockets.take(index);
    if (!socket)
        return;
    socket->disconnect(this);
    m_replacedSince.remove(socket);
    m_discarding.remove(socket);
    socket->release();
}

bool PhonavoServer::restartListening()
{
    m_listener->close();
    if (m_listener->listen(m_port))
        return true;
    m_form.DoLogStr(QStringLiteral("socket-error: ") + m_listener->errorString());
    return false;
}

void PhonavoServer::tmrCleanClients_Timer()
{
    // Errors here are ignored: the next tick tries again.
    try {
        const QDateTime limit = Clock::instance().now().addSecs(-kPingTimeoutSeconds);
        bool dropped = false;
        for (const ConnectionPtr& c : m_connections.NewEnum()) {
            if (c->dtLastPing >= limit)
                continue;
            m_form.LogStr(
                m_form.GetS(QStringLiteral("Client %s timed out, disconnecting"), c->HostName));
            c->SendCommand(QStringLiteral("timeout"));
            const int index = indexOf(c->wsConnection.data());
            m_connections.Remove(c->IP);
            m_grid.removeAddress(c->IP);
            if (index >= 0) {
                unload(index);
                dropped = true;
            }
            emit clientsChanged();
        }
        // Sockets replaced by a newer connection from their address go after the same time.
        QList<const ClientSocket*> expired;
        for (auto it = m_replacedSince.cbegin(); it != m_replacedSince.cend(); ++it)
            if (it.value() < limit)
                expired << it.key();
        for (const ClientSocket* s : expired) {
            m_replacedSince.remove(s);
            const int index = indexOf(s);
            if (index < 0)
                continue;
            m_form.LogStr(m_form.GetS(QStringLiteral("Client %s timed out, disconnecting"),
                                      s->remoteHostIP()));
            unload(index);
            dropped = true;
        }
        if (dropped && m_listener->isListening())
            restartListening();
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
    const ColMSNs& msns = m_form.colMSNs();
    const QByteArray message = CConnection::encodeCommand(command, params);
    for (const ConnectionPtr& c : m_connections.NewEnum()) {
        if (c->Verified && WireProtocol::listenAdmits(c->ListenNumber, decidingNumber) &&
            msns.ClientGetsNotification(decidingNumber, c->address())) {
            c->sendEncoded(command, message);
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
    if (!info.exists())
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
    return WireProtocol::CallPicture{info.suffix(), WireProtocol::pictureText(file.readAll())};
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
