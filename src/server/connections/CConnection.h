#pragma once

#include "server/msn/CMSN.h"

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class ClientSocket;
class MainForm;

// One client of the server, from its TCP connection on.
class CConnection
{
public:
    CConnection(MainForm& form, const QString& ip, ClientSocket* socket);

    QString HostName; // the name the client gave in "listen"
    QPointer<ClientSocket> wsConnection;
    QDateTime dtConnected;
    QDateTime dtLastPing;
    QString IP; // remote address, the key in ColConnections
    QString ListenNumber;
    bool Verified = false;
    // Unknown commands seen; only the first few are logged.
    int unknownCommands = 0;

    // Builds one message and hands it to the socket; true when it was handed over.
    bool SendCommand(const QString& command, const QStringList& parameters = {});
    // The same for a message already built with encodeCommand (one build for
    // all clients of a broadcast).
    bool sendEncoded(const QString& command, const QByteArray& message);
    static QByteArray encodeCommand(const QString& command, const QStringList& parameters);

    ClientAddress address() const { return {IP, HostName}; }
    // The client as log lines name it: its host name, else its address.
    QString displayName() const { return HostName.isEmpty() ? IP : HostName; }

private:
    MainForm& m_form;
};

using ConnectionPtr = std::shared_ptr<CConnection>;
