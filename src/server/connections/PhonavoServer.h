#pragma once

#include "ClientsModel.h"
#include "ColConnections.h"
#include "LoginThrottle.h"
#include "PeerLogs.h"
#include "core/pipeline/CallSeams.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class CallDatabase;
class ClientRequests;
class ClientSocket;
class ListeningSocket;
class MainForm;

// The network server: the listening socket and one socket per client, the
// client connections and their grid, the ping time-out, start and stop with
// the monitor, and the delivery of live call events to the entitled clients.
// Only verified connections get call events; a socket that sends nothing at
// all is dropped after a short grace. Dropping clients never touches the
// listening socket: only a listening socket that broke is made anew.
class PhonavoServer : public QObject, public ClientNotifier
{
    Q_OBJECT
public:
    static constexpr int kMaxClients = 256;
    static constexpr int kCleanIntervalMs = 10'000;
    static constexpr qint64 kPingTimeoutSeconds = 120;
    // A socket that has not sent a single message by then is dropped.
    static constexpr qint64 kSilentGraceSeconds = 10;
    // Live events held for a client while its old calls go out; a client that
    // collects more than this is dropped (it gets them from the history when
    // it is back).
    static constexpr int kMaxHeldEvents = 1000;
    static constexpr int kTrayRefreshTicks = 12;
    // Sockets beyond the listed clients (unverified, replaced) are bounded too,
    // so a flood of connections cannot use up the program's file handles.
    static constexpr int kMaxSockets = 4 * kMaxClients;
    // One address is one client; a few more sockets allow for reconnects. At
    // the limit the oldest socket of that address that has not logged in
    // makes room.
    static constexpr int kMaxSocketsPerAddress = 4;
    // A listening socket that broke and cannot listen again is tried this often.
    static constexpr int kRelistenIntervalMs = 10'000;
    // A client that leaves this much unread is dropped instead of growing the buffer.
    static constexpr qint64 kMaxPendingOutput = 32 * 1024 * 1024;
    // Picture files above this size are not sent to clients.
    static constexpr qint64 kMaxPictureBytes = 4 * 1024 * 1024;

    // The devices of the connection plug-ins, by position (1 for the first);
    // filled by the plug-in host.
    using PluginDevices = std::function<QList<QStringList>()>;

    explicit PhonavoServer(MainForm& form, CallDatabase* callDatabase = nullptr,
                           QObject* parent = nullptr);
    ~PhonavoServer() override;

    void setCallDatabase(CallDatabase* db) { m_callDb = db; }
    CallDatabase* callDatabase() const { return m_callDb; }
    void setPluginDevices(PluginDevices devices) { m_pluginDevices = std::move(devices); }
    const PluginDevices& pluginDevices() const { return m_pluginDevices; }
    // The confirmation box txtPassword2 of the server page; without a window it
    // is taken to match.
    void setPasswordRetype(std::optional<QString> text) { m_passwordRetype = std::move(text); }

    // ClientNotifier
    bool serverEnabled() const override;
    void incomingCall(const CCall& call) override;
    void outgoingCall(const CCall& call) override;
    void callAnswered(const CCall& call) override;
    void callDisconnected(const CCall& call) override;
    // The verified clients (those that logged in).
    int connectedClients() const override;
    bool confirmStop() override;
    bool checkPasswordOnStart() override;
    void startServer() override;
    void stopServer() override;

    bool isListening() const;
    quint16 listeningPort() const; // the bound port (useful when txtPort is 0)
    QString password() const;      // txtPassword
    ColConnections& connections() { return m_connections; }
    const ColConnections& connections() const { return m_connections; }
    ClientsModel& clientsModel() { return m_grid; }
    int socketCount() const { return int(m_sockets.size()); }
    MainForm& form() const { return m_form; }

    // tmrCleanClients; the timer calls it every 10 seconds while the monitor
    // runs, with or without the server (it also refreshes the tray icon).
    void tmrCleanClients_Timer();
    bool cleanTimerActive() const { return m_cleanTimer.isActive(); }

    LoginThrottle& loginThrottle() { return m_throttle; }
    void setRelistenInterval(int ms) { m_relistenTimer.setInterval(ms); }
    // Whether the listening socket takes connections (it pauses when file handles run low).
    bool isAccepting() const;
    ListeningSocket& listener() { return *m_listener; }

    // The connection of this socket; nullptr once it was closed.
    ConnectionPtr connectionOf(const ClientSocket* socket) const;
    // The close handling of a client socket: log, forget its connection and
    // grid rows, release the socket (what was sent to it still goes out).
    void closeClient(ClientSocket* socket);

signals:
    // The password check asks the window to show the server page.
    void showServerPage();
    void clientsChanged();

private:
    void onConnectionRequest();
    void acceptOne(std::unique_ptr<ClientSocket> socket);
    // Closes the oldest unverified connection of this address.
    void makeRoomAt(const QString& ip, bool logged);
    void onDataArrival(ClientSocket* socket);
    void onClosed(ClientSocket* socket);
    int freeIndex();
    void unload(int index);
    // Drops a connection the server gives up on; true when a socket was released.
    bool dropConnection(const ConnectionPtr& c);
    void followMonitorState();
    int indexOf(const ClientSocket* socket) const;
    void onListenerFailed(const QString& description);
    void relisten();
    void logLeftOutConnections();
    quint16 configuredPort(bool* ok) const;

    void broadcast(const QString& command, const QStringList& params, const QString& decidingNumber,
                   const QString& callId, bool logMismatch);

    MainForm& m_form;
    CallDatabase* m_callDb;
    PluginDevices m_pluginDevices;
    std::optional<QString> m_passwordRetype;
    std::unique_ptr<ListeningSocket> m_listener;
    std::unique_ptr<ClientRequests> m_requests;
    QMap<int, ClientSocket*> m_sockets; // index 1 and up; owned (Qt children)
    quint16 m_indexCounter = 0;
    quint16 m_port = 0;      // as configured (0: any free port)
    quint16 m_boundPort = 0; // the port a broken listening socket takes again
    QTimer m_relistenTimer;
    bool m_relistenReported = false;
    PeerLogs m_peerLogs;
    ColConnections m_connections;
    ClientsModel m_grid;
    LoginThrottle m_throttle;
    QTimer m_cleanTimer;
    int m_ticks = 0;
};
