#pragma once

#include "CConnection.h"

#include <QByteArray>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class ClientSocket;
class OldCallReplay;
class MainForm;
class PhonavoServer;

// What the server does with the messages a client sends: the "listen"
// handshake with the old-call replay, "ping", "rejectcall",
// "getoutgoingdevices", "startcall" and anything else. The three requests that
// act on the server's lines are obeyed for verified clients only, and dialling
// and rejecting only while the server has a password.
class ClientRequests
{
public:
    // The step a failed handshake reports when the old calls cannot be read.
    static constexpr int kReplayStep = 15;

    explicit ClientRequests(PhonavoServer& server);

    // One arrival of data from a client socket, already read.
    void handleArrival(ClientSocket* socket, const QByteArray& arrival);

private:
    // Each returns false when the rest of the arrival is not to be handled
    // (the connection went, or waits for an answer).
    bool handleMessage(ClientSocket* socket, const ConnectionPtr& c, const QStringList& f,
                       const QString& shownCommand, int& step);
    bool listen(ClientSocket* socket, const ConnectionPtr& c, const QStringList& f, int& step);
    void refuseWrongPassword(ClientSocket* socket, const ConnectionPtr& c);
    void resumeHeldListen(QPointer<ClientSocket> socket, const ConnectionPtr& c);
    void startReplay(ClientSocket* socket, const ConnectionPtr& c, const QString& name,
                     const QString& stamp);
    void continueReplay(QPointer<ClientSocket> socket, ConnectionPtr c, QString name,
                        std::shared_ptr<OldCallReplay> replay);
    void finishListen(ClientSocket* socket, const ConnectionPtr& c, const QString& name,
                      const QString& list, int rowsRead);
    void replayFailed(const ConnectionPtr& c, const QString& error);
    void rejectCall();
    void sendOutgoingDevices(const ConnectionPtr& c);
    bool stillThere(ClientSocket* socket, const ConnectionPtr& c) const;
    // Runs a part of the handling in the error trap of the data arrival.
    void guarded(int& step, const std::function<void()>& work);

    PhonavoServer& m_server;
    MainForm& m_form;
};
