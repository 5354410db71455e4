#pragma once

#include "MainOptions.h"
#include "core/calls/ColCalls.h"
#include "core/devices/ColDevices.h"
#include "core/log/ErrorReport.h"
#include "loc/LocGuru.h"
#include "server/msn/ColMSNs.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class CallPipeline;
class CallPopupFactory;
class CallStore;
class ClientNotifier;
class ContactLookup;
class AddressBook;
class DeviceEditor;
class DialogService;
class LineMonitor;
class MsnEditor;
class PluginHost;
class ProgramLog;
class SettingsStore;
class SoundPlayer;
class TelephonyWrapper;
class TrayPresence;
class Warnings;

// The application controller. It owns the devices, the active calls and the
// own numbers, runs the line monitor and the call handling, and offers the
// operations windows, plug-ins and the server use. It has no widgets: both the
// desktop and the headless program run it.
class MainForm : public QObject
{
    Q_OBJECT
public:
    struct Services
    {
        SettingsStore& settings;
        LocGuru& loc;
        ProgramLog& log;
        DialogService& dialogs;
        ErrorReporter& errors;
        TelephonyWrapper& telephony;
        SoundPlayer& sound;
    };

    static constexpr qint32 kFirstPluginDeviceId = 1000;
    static constexpr const char* kProductName = "Phonavo";

    explicit MainForm(Services services, QObject* parent = nullptr);
    ~MainForm() override;

    // Services.
    SettingsStore& settings() const { return m_s.settings; }
    LocGuru& loc() const { return m_s.loc; }
    ProgramLog& log() const { return m_s.log; }
    DialogService& dialogs() const { return m_s.dialogs; }
    TelephonyWrapper& telephony() const { return m_s.telephony; }
    SoundPlayer& sound() const { return m_s.sound; }
    Warnings& warnings() const { return *m_warnings; }
    MainOptions& options() { return m_options; }
    const MainOptions& options() const { return m_options; }

    // Log, translation and error report.
    void LogStr(const QString& text);
    void DoLogStr(const QString& text) noexcept;
    void logCall(const QString& callId, const QString& text); // "[id] text"
    QString getTranslation(const QString& text, const QString& p1 = QString(),
                           const QString& p2 = QString(), const QString& p3 = QString(),
                           const QString& p4 = QString()) const;
    template <typename... A> QString GetS(const QString& text, const A&... args) const;
    void RaiseError(const QString& text, const std::optional<ErrorInfo>& error = std::nullopt,
                    bool apology = false);
    ErrorReporter& errors() const { return m_s.errors; }
    bool debugMode() const;
    bool logMode() const;
    bool traceOn() const { return debugMode() || logMode(); }
    void setTapiLog(bool on); // cbTapiLog

    // Collections.
    ColCalls& colCalls() { return m_calls; }
    ColDevices& colDevices() { return m_devices; }
    ColMSNs& colMSNs() { return m_msns; }

    // Places where later parts plug in; each may stay empty.
    void setCallStore(CallStore* store);
    void setPopupFactory(CallPopupFactory* popups);
    void setContactLookup(ContactLookup* lookup) { m_lookup = lookup; }
    void setAddressBook(AddressBook* book) { m_addressBook = book; }
    void setClientNotifier(ClientNotifier* clients) { m_clients = clients; }
    void setPluginHost(PluginHost* plugins) { m_plugins = plugins; }
    void setTrayPresence(TrayPresence* tray) { m_tray = tray; }
    void setDeviceEditor(DeviceEditor* editor) { m_deviceEditor = editor; }
    void setMsnEditor(MsnEditor* editor) { m_msnEditor = editor; }
    ContactLookup* contactLookup() const { return m_lookup; }
    AddressBook* addressBook() const { return m_addressBook; }
    ClientNotifier* clientNotifier() const { return m_clients; }
    PluginHost* pluginHost() const { return m_plugins; }
    TrayPresence* trayPresence() const { return m_tray; }
    CallStore* callStore() const { return m_store; }

    // Settings of the main window.
    void loadOptions();
    void SaveSettings();
    // mnuBackupSettings once the user chose a file; mnuResetWarnings.
    bool backupSettingsTo(const QString& filePath);
    bool mnuResetWarnings();
    bool isLoaded() const { return m_loaded; }
    void setLoaded(bool loaded) { m_loaded = loaded; }

    // Line monitor.
    void initTelephony();
    void openMonitoredLines();
    bool Active() const { return m_active; }
    void btnStartStop_Click();
    bool startMonitoring();
    bool stopMonitoring(bool askFirst = true);
    void RefreshShowStatus();
    QString statusText() const { return m_statusText; }
    QString startStopCaption() const { return m_startStopCaption; }
    bool optionsLocked() const { return m_active; }
    // Devices as the device list shows them (no pseudo device), in order.
    const QList<qint32>& listedDevices() const { return m_listedDevices; }
    // lstTapiDevices_ItemCheck: returns the check state the line ends up with.
    bool setDeviceMonitored(qint32 deviceId, bool checked);
    bool EditDevice(qint32 deviceId); // btnEditDevice
    bool canEditDevices() const { return !m_listedDevices.isEmpty(); }
    void setOutgoingDevice(const QString& deviceName);
    // cmbOutgoingDevice's entries: the listed devices' names, in order.
    QStringList outgoingDeviceNames() const;
    // After the plug-in list changed: the stored device, else the first listed.
    void reselectOutgoingDevice();
    void shutdownTelephony(); // unloading: popups closed, calls removed, lines closed

    // Own numbers.
    QString getNameForMSN(const QString& number) const;
    QString getNameForMSN(const QString& number, const QString& defaultName) const;
    QString defaultMsnName() const;
    void loadMSNs();
    bool newMSN();
    bool editMSN(int position);
    bool deleteMSN(int position);

    // Call handling.
    void IncomingCall(const CallPtr& call);
    CallPtr IncomingCallHandling(const QString& callerNumber, qint32 dbCallId,
                                 CallPtr call = nullptr);
    bool OutgoingCall(const CallPtr& call);
    CallPtr OutgoingCallHandling(const QString& calledNumber, qint32 callId,
                                 CallPtr call = nullptr);
    void evtIncomingCall(qint32 callId, const QString& deviceName, const QString& callerId,
                         const QString& callerName, const QString& calledId,
                         const QString& calledName, const QString& extra, const QString& picture);
    void evtOutgoingCall(qint32 callId, const QString& deviceName, const QString& callerId,
                         const QString& callerName, const QString& calledId,
                         const QString& calledName, const QString& extra,
                         const QString& calledExtra, const QString& picture);
    // A call id for a call a plug-in or the automation object reports, unique
    // among all calls (the line hub hands them out).
    void setCallIdSource(std::function<qint32()> source) { m_newCallId = std::move(source); }
    qint32 newCallId();
    void evtCallAnswered(qint32 callId);
    void evtCallDisconnected(qint32 callId);
    void RaiseNotificationAction(const QString& caption);
    QString FormatPartyName(const QString& number, const QString& name) const;
    CCall GetCallByID(qint32 callId);
    qint32 CurrentCallDBID() const;
    QString OriginalCallerID() const;
    QString OriginalCalledID() const;
    CallPtr currentCall() const { return m_currentCall; }
    void setCurrentCall(const CallPtr& call) { m_currentCall = call; }
    qint32 lastNotifiedCallId() const { return m_lastNotifiedCallId; }
    void setLastNotifiedCallId(qint32 id) { m_lastNotifiedCallId = id; }
    QString trayToolTip() const { return m_trayToolTip; }
    void setTrayToolTip(const QString& text);
    QString deviceDisplayName(qint32 deviceId) const;

    // Dialling: the number on the outgoing device (cmbOutgoingDevice) after that
    // device's number rules. The server's "startcall" uses it.
    // Where a failure to dial is told: the user, or (for a request from the
    // network, where nobody may be at the screen) the log only.
    enum class ReportTo
    {
        User,
        Log
    };
    bool StartCall(const QString& number, ReportTo reportTo = ReportTo::User);

signals:
    void statusChanged();
    void deviceListChanged();
    void msnsChanged();
    void trayToolTipChanged(const QString& text);

private:
    friend class LineMonitor;
    friend class CallPipeline;

    void saveAndReloadMSNs();
    void selectOutgoingDevice();

    Services m_s;
    std::unique_ptr<Warnings> m_warnings;
    MainOptions m_options;
    ColCalls m_calls;
    ColDevices m_devices;
    ColMSNs m_msns;
    std::unique_ptr<LineMonitor> m_monitor;
    std::unique_ptr<CallPipeline> m_pipeline;

    CallStore* m_store = nullptr;
    CallPopupFactory* m_popups = nullptr;
    ContactLookup* m_lookup = nullptr;
    AddressBook* m_addressBook = nullptr;
    ClientNotifier* m_clients = nullptr;
    PluginHost* m_plugins = nullptr;
    TrayPresence* m_tray = nullptr;
    DeviceEditor* m_deviceEditor = nullptr;
    MsnEditor* m_msnEditor = nullptr;

    bool m_active = false;
    bool m_loaded = false;
    QString m_statusText;
    QString m_startStopCaption;
    QList<qint32> m_listedDevices;
    CallPtr m_currentCall;
    qint32 m_lastNotifiedCallId = 0;
    std::function<qint32()> m_newCallId;
    qint32 m_fallbackCallId = 1'000'000;
    QString m_trayToolTip;
};

template <typename... A> QString MainForm::GetS(const QString& text, const A&... args) const
{
    return m_s.loc.GetS(text, args...);
}
