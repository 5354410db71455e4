#pragma once

#include "CConnection.h"

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QStringList>

#include <memory>

class ClientSocket;
class OldCallReplay;
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
    void startReplay(ClientSocket* socket, const ConnectionPtr& c, const QString& name,
                     const QString& stamp);
    void continueReplay(QPointer<ClientSocket> socket, ConnectionPtr c, QString name,
                        std::shared_ptr<OldCallReplay> replay);
    void finishListen(ClientSocket* socket, const ConnectionPtr& c, const QString& name,
                      const QString& list, int rowsRead);
    void rejectCall();
    void sendOutgoingDevices(const ConnectionPtr& c);
    bool stillThere(ClientSocket* socket, const ConnectionPtr& c) const;

    PhonavoServer& m_server;
    MainForm& m_form;
    // The replay under way for each client socket (at most one).
    QHash<const ClientSocket*, std::shared_ptr<OldCallReplay>> m_replays;
};
