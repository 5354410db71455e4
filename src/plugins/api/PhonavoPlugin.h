#pragma once

// The contract between Phonavo and its plug-ins. A plug-in is a Qt plug-in (one
// shared library) whose root object implements one of the three interfaces
// below and whose metadata names it:
//
//   Q_PLUGIN_METADATA(IID PHONAVO_NOTIFICATION_PLUGIN_IID FILE "myplugin.json")
//   { "ProgID": "MyCompany.MyPlugin", "Kind": "notification",
//     "InterfaceVersion": "2", "Name": "My plug-in" }
//
// "Kind" is "connection", "notification" or "reverse". This header is all a
// plug-in includes: it needs Qt Core only and never links Phonavo's own code,
// so the host hands every service it offers through the interfaces here.
//
// Everything runs on the host's one thread. A plug-in never blocks: network
// work is asynchronous (Qt sockets, timers), and results are reported through
// the event sink or the host when they arrive.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtPlugin>

#define PHONAVO_CONNECTION_PLUGIN_IID "net.phonavo.ConnectionPlugin/2"
#define PHONAVO_NOTIFICATION_PLUGIN_IID "net.phonavo.NotificationPlugin/2"
#define PHONAVO_REVERSE_PLUGIN_IID "net.phonavo.ReversePlugin/2"

namespace phonavo {

// The interface version this header describes; the host loads a registration
// only when its InterfaceVersion has the same numeric value.
inline constexpr int kPluginInterfaceVersion = 2;

// A call as the host knows it: an active call by its call id, or a stored call
// of the call history by its DBCallID.
struct CallInfo
{
    qint32 callId = 0;
    qint32 dbCallId = 0;
    bool outgoing = false;
    bool connected = false;
    bool answered = false;
    QString deviceName;
    QString callerId;
    QString callerName;
    QString callerExtra;
    QString callerGuid;
    QString calledId;
    QString calledName;
    QString calledExtra;
    QString calledGuid;
    QString pictureFile; // a local file, empty when there is no picture
    // The actions the caller popup offers for an incoming call ("Reject" and
    // the notification plug-ins' captions); known once the call was announced.
    QStringList actions;
    QDateTime start;
    QDateTime end;
};

// What the host offers every plug-in. Handed over once, right after the
// plug-in was created and before any other call; it outlives the plug-in.
class PluginContext
{
public:
    virtual ~PluginContext() = default;
    // The plug-in's own registration: values below its sub-key of the user's
    // settings (ConnectionPlugins\<ProgID>, ...). Written values are kept.
    virtual QString progId() const = 0;
    virtual QString setting(const QString& name, const QString& fallback = QString()) const = 0;
    virtual void saveSetting(const QString& name, const QString& value) = 0;
    // Passwords are stored scrambled the way the host stores its own.
    virtual QString scramble(const QString& plain) const = 0;
    virtual QString unscramble(const QString& stored) const = 0;
    // The program log ("LogStr"); never give it a password.
    virtual void log(const QString& text) = 0;
    // The host's translation of an English text into the language in use;
    // "%s" placeholders are filled from args in order.
    virtual QString translate(const QString& text, const QStringList& args = {}) const = 0;
    // True for the headless program: there is no screen to show dialogs on.
    virtual bool headless() const = 0;
    // An active call by its call id; false when there is none.
    virtual bool activeCall(qint32 callId, CallInfo& call) const = 0;
    // A stored call of the call history by its DBCallID; false when there is none.
    virtual bool storedCall(qint32 dbCallId, CallInfo& call) const = 0;
    // Dials the number on the outgoing device chosen in the program.
    virtual bool startCall(const QString& number) = 0;
    // The user chose one of an active call's actions somewhere else than in
    // the popup (a desktop notification): the same as a click in the popup.
    virtual void chooseAction(qint32 callId, const QString& caption) = 0;
};

// The host's connection event sink ("PhonavoConnEventObject"): how a
// connection plug-in reports its calls and its connection state.
class ConnectionEvents
{
public:
    virtual ~ConnectionEvents() = default;
    // A new call on one of the plug-in's devices. The host gives the call its
    // id (unique among all calls the program follows) and returns it; the
    // plug-in uses that id for the call's later events and RejectCall.
    // 0 means the host did not take the call.
    virtual qint32 evtIncomingCall(const QString& deviceName, const QString& callerId,
                                   const QString& callerName, const QString& calledId,
                                   const QString& calledName, const QString& extra,
                                   const QString& pictureFile) = 0;
    virtual qint32 evtOutgoingCall(const QString& deviceName, const QString& callerId,
                                   const QString& callerName, const QString& calledId,
                                   const QString& calledName, const QString& extra,
                                   const QString& calledExtra, const QString& pictureFile) = 0;
    virtual void evtCallAnswered(qint32 callId) = 0;
    virtual void evtCallDisconnected(qint32 callId) = 0;
    // The plug-in's connection came up or went away (a lost connection stops
    // the monitor and, when AutoConnect is 1, retries every 30 seconds).
    virtual void evtConnected(const QString& progId) = 0;
    virtual void evtDisconnected(const QString& progId) = 0;
};

// A further source of calls beside the telephone lines.
class ConnectionPlugin
{
public:
    virtual ~ConnectionPlugin() = default;
    virtual void SetContext(PluginContext* context) = 0;
    virtual bool Init(ConnectionEvents* events) = 0;
    virtual bool HasSettings() = 0;
    // Whether the plug-in's current call can be rejected.
    virtual bool CanRejectCall() = 0;
    // The plug-in's dialable devices, by name.
    virtual QStringList GetDevices() = 0;
    // Called for an enabled plug-in when monitoring starts. True means the
    // connection is under way; its outcome is reported through the events.
    virtual bool Connect() = 0;
    virtual void Disconnect() = 0;
    virtual void ShowSettings() = 0;
    virtual void ShowInfo() = 0;
    virtual void RejectCall(qint32 callId) = 0;
    virtual void StartCall(const QString& number) = 0;
    // The extra text for the caller of the plug-in's current incoming call.
    virtual QString CallerExtra() = 0;
    // The program is ending, its event loop still runs: stop network work and
    // close what the plug-in shows. The plug-in's destructor runs much later
    // (when the process unloads its libraries) and must do nothing but free.
    virtual void Shutdown() {}
};

// Told about calls; may offer actions that the caller popup shows.
class NotificationPlugin
{
public:
    virtual ~NotificationPlugin() = default;
    virtual void SetContext(PluginContext* context) = 0;
    // The host object is the same context: calls, log, dialling.
    virtual bool Init(PluginContext* host) = 0;
    virtual bool HasSettings() = 0;
    virtual void ShowInfo() = 0;
    // A new incoming call (its active call id). The answer is the plug-in's
    // action captions for the popup, separated by "|"; empty for none.
    virtual QString NotifyIncomingCall(qint32 callId) = 0;
    virtual void NotifyCallAnswered(qint32 callId) = 0;
    virtual void ShowSettings() = 0;
    // After loading: "DataConnection" with the contact database's connection
    // string; "Enabled" (bool) whenever the user ticks or unticks the plug-in
    // (an unticked plug-in is told of no call and should stay quiet).
    virtual void SetValue(const QString& key, const QVariant& value) = 0;
    // The user clicked one of this plug-in's captions in the popup.
    virtual void NotifyActionChosen(const QString& caption) = 0;
    // Not in the original slot table: the call ended, so what the plug-in
    // shows for it (a desktop notification, a retained topic) can be updated.
    virtual void NotifyCallDisconnected(qint32 callId) { Q_UNUSED(callId) }
    // Likewise: a new outgoing call (its active call id).
    virtual void NotifyOutgoingCall(qint32 callId) { Q_UNUSED(callId) }
    // As for connection plug-ins: the program is ending.
    virtual void Shutdown() {}
};

// Finds the name behind a number the user's contacts do not know.
class ReversePlugin
{
public:
    virtual ~ReversePlugin() = default;
    virtual void SetContext(PluginContext* context) = 0;
    virtual bool HasSettings() = 0;
    // True when the number was found and name, image file and extra were filled.
    virtual bool Lookup(const QString& number, QString& name, QString& imageFile,
                        QString& extra) = 0;
    virtual void ShowSettings() = 0;
    // The international dialling code the plug-in serves; 0 serves every country.
    virtual qint16 CountryCode() = 0;
    // As for connection plug-ins: the program is ending.
    virtual void Shutdown() {}
};

} // namespace phonavo

Q_DECLARE_INTERFACE(phonavo::ConnectionPlugin, PHONAVO_CONNECTION_PLUGIN_IID)
Q_DECLARE_INTERFACE(phonavo::NotificationPlugin, PHONAVO_NOTIFICATION_PLUGIN_IID)
Q_DECLARE_INTERFACE(phonavo::ReversePlugin, PHONAVO_REVERSE_PLUGIN_IID)
