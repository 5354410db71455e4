#pragma once

#include "PeerLog.h"
#include "server/msn/CMSN.h"
#include "server/protocol/MessageSizeGuard.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

class ClientSocket;
class MainForm;
class OldCallReplay;

// One client socket of the server and what it told the server, from its TCP
// connection on. Every socket has its own connection; a client counts (gets
// call events, is listed) once it is verified.
class CConnection
{
public:
    // Logged texts from or to the network are cut here.
    static constexpr qsizetype kMaxLoggedText = 400;

    CConnection(MainForm& form, const QString& ip, ClientSocket* socket);

    QString HostName; // the name the client gave in "listen"
    QPointer<ClientSocket> wsConnection;
    QDateTime dtConnected;
    QDateTime dtLastPing;
    QString IP; // remote address
    QString ListenNumber;
    bool Verified = false;

    // Unknown commands seen; only the first few are logged.
    int unknownCommands = 0;
    // It sent at least one message (silent sockets go after a short grace).
    bool heardFrom = false;
    // A request that needs a verified client was refused (logged once).
    bool refusalLogged = false;
    // A request that needs a server password was refused (logged once).
    bool noPasswordLogged = false;
    // Its connection request was logged, so its end is too (see PeerLog).
    bool lifecycleLogged = true;
    // What its address may still put into the log; shared by the connections
    // of that address and kept by the server beyond them.
    std::shared_ptr<PeerLog> peerLog;
    // Its refusal is under way (a wrong password is answered late): what it
    // sends meanwhile is ignored.
    bool closing = false;
    // A listen that waits for its address's turn at the password check.
    QStringList heldListen;
    // How far an arrival left a listen before the end of its password, so the
    // log masks the rest of it in the next arrival.
    QByteArray logCarry;
    // From an accepted listen until "accepted" (with the old calls) is out,
    // live events wait here, in order.
    bool awaitingAccepted = false;
    QList<std::pair<QString, QByteArray>> heldEvents;
    // Its messages' length, counted over its arrivals.
    MessageSizeGuard sizeGuard;
    // The old-call replay under way for it (a listen again starts a new one).
    std::shared_ptr<OldCallReplay> replay;

    // Builds one message and hands it to the socket; true when it was handed over.
    bool SendCommand(const QString& command, const QStringList& parameters = {});
    // The same for a message already built with encodeCommand (one build for
    // all clients of a broadcast).
    bool sendEncoded(const QString& command, const QByteArray& message);
    static QByteArray encodeCommand(const QString& command, const QStringList& parameters);

    // A log line caused by what the peer sent, within its address's budget.
    void logFromPeer(const QString& line);

    ClientAddress address() const { return {IP, HostName}; }
    // The client as log lines name it: its host name, else its address.
    QString displayName() const { return HostName.isEmpty() ? IP : HostName; }

private:
    MainForm& m_form;
};

using ConnectionPtr = std::shared_ptr<CConnection>;

// A text cut for a log line.
QString shortenedForLog(const QString& text, qsizetype max = CConnection::kMaxLoggedText);
