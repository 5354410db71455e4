#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

class CCall;

// The places where the call handling hands over to subsystems that plug into
// the controller: each is optional, and a missing one is simply skipped.

// Who is calling: the contact source, with reverse lookup as its fall-back.
class ContactLookup
{
public:
    virtual ~ContactLookup() = default;
    // On success number, guid, name, picture, extra and contact are filled in.
    virtual bool LookupNumber(QString& number, QString& guid, QString& name, QString& picture,
                              QString& extra, QVariant& contact) = 0;
};

// The address book: contacts made for unknown numbers, journal entries for calls.
class AddressBook
{
public:
    virtual ~AddressBook() = default;
    virtual void unknownCaller(CCall& call) = 0;
    virtual void unknownCallee(CCall& call) = 0;
    virtual void journalCall(CCall& call) = 0;
    // Monitoring started: the number buffer is rebuilt while it runs.
    virtual void monitoringStarted() {}
};

// The network server and its clients.
class ClientNotifier
{
public:
    virtual ~ClientNotifier() = default;
    virtual bool serverEnabled() const = 0;
    virtual void incomingCall(const CCall& call) = 0;
    virtual void outgoingCall(const CCall& call) = 0;
    virtual void callAnswered(const CCall& call) = 0;
    virtual void callDisconnected(const CCall& call) = 0;
    // Monitoring start and stop.
    virtual int connectedClients() const = 0;
    virtual bool confirmStop() = 0;          // asks when clients are connected
    virtual bool checkPasswordOnStart() = 0; // false keeps the monitor stopped
    virtual void startServer() = 0;
    virtual void stopServer() = 0;
};

// Connection and notification plug-ins and the automation object's events.
class PluginHost
{
public:
    virtual ~PluginHost() = default;
    // Events to programs using the automation object (raised later, from the loop).
    virtual void raiseIncomingCall(qint32 dbCallId) = 0;
    virtual void raiseOutgoingCall(qint32 dbCallId) = 0;
    virtual void raiseCallAnswered(qint32 dbCallId) = 0;
    virtual void raiseCallDisconnected(qint32 dbCallId) = 0;
    // Connection plug-ins (device ids 1000 and above).
    virtual QString connectionPluginName(qint32 deviceId) const = 0;
    virtual qint32 connectionPluginDeviceId(const QString& name) const = 0;
    virtual bool canRejectCalls(qint32 deviceId) const = 0;
    virtual QString callerExtra(qint32 deviceId) const = 0;
    virtual bool rejectCall(qint32 deviceId, qint32 callId) = 0;
    virtual bool anyConnectionPluginEnabled() const = 0;
    virtual void startConnectionPlugins() = 0;
    virtual void stopConnectionPlugins() = 0;
    // Notification plug-ins: the action captions they offer for a call, joined
    // by "|" and each preceded by "|"; empty when none.
    virtual QString notifyIncomingCall(const CCall& call) = 0;
    virtual void notifyCallAnswered(const CCall& call) = 0;
    virtual void notifyCallDisconnected(const CCall& call) = 0;
    virtual void notifyActionChosen(const QString& caption) = 0;
    virtual void notifyOutgoingCall(const CCall& call) { Q_UNUSED(call) }
    // Dialling through connection plug-ins: cmbOutgoingDevice's plug-in
    // entries (name, device id 1000 + position), dialling on one of them, and
    // each plug-in's dialable devices for the server's clients.
    virtual QList<QPair<QString, qint32>> outgoingDevices() const { return {}; }
    virtual bool startCall(qint32 deviceId, const QString& number)
    {
        Q_UNUSED(deviceId)
        Q_UNUSED(number)
        return false;
    }
    virtual QList<QStringList> pluginDevices() { return {}; }
};

// The tray icon.
class TrayPresence
{
public:
    virtual ~TrayPresence() = default;
    virtual void setToolTip(const QString& text) = 0;
    // Tool tip and icon after monitoring started or stopped.
    virtual void refresh() = 0;
    // Registers the icon with the tray again, in case the tray lost it.
    virtual void reRegister() { refresh(); }
};
