#pragma once

#include "CConnection.h"

#include <QByteArray>
#include <QStringList>

class ClientSocket;
class MainForm;
class PhonavoServer;

// What the server does with the messages a client sends: the "listen"
// handshake with the old-call replay, "ping", "rejectcall",
// "getoutgoingdevices", "startcall" and anything else.
class ClientRequests
{
public:
    explicit ClientRequests(PhonavoServer& server);

    // One arrival of data from a client socket, already read.
    void handleArrival(ClientSocket* socket, const QByteArray& arrival);

private:
    // Returns false when the socket or its connection went away meanwhile.
    bool handleMessage(ClientSocket* socket, const ConnectionPtr& c, const QStringList& f,
                       int& step);
    void listen(ClientSocket* socket, const ConnectionPtr& c, const QStringList& f, int& step);
    QString oldCalls(const ConnectionPtr& c, const QString& stamp, int& rowsRead);
    void rejectCall();
    void sendOutgoingDevices(const ConnectionPtr& c);
    bool stillThere(ClientSocket* socket, const ConnectionPtr& c) const;

    PhonavoServer& m_server;
    MainForm& m_form;
};
