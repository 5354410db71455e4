#pragma once

#include "platform/AppPaths.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class AddressBookService;
class AutomationObject;
class CallDatabase;
class CallDatabaseSwitch;
class CallSimulator;
class CallStorage;
class SqlCallStore;
class ContactManagerLauncher;
class PhonavoServer;
class ShellOpener;
class SleepWatcher;
class QWidget;
class StandbyHandler;
class QLockFile;
class ControlChannelServer;
class DialogService;
class ErrorReporter;
class LocGuru;
class MainForm;
class NumberLookup;
class PluginHostService;

class ProgramLog;
class SettingsStore;
class SoundPlayer;
class TelephonyHub;
class UpdateCheck;
class ExitCommands;
class MainWindowView;
class StartupSequence;

// Everything a running Phonavo consists of, built and started in the fixed
// order of start-up and taken down in the order of unloading. Both front ends
// run it; the desktop one adds its windows around it.
class Program : public QObject
{
    Q_OBJECT
public:
    struct FrontEnd
    {
        bool headless = true;
        QStringList arguments;            // the command line after the program name
        DialogService* dialogs = nullptr; // nullptr: answered with defaults and logged
        SoundPlayer* sound = nullptr;     // nullptr: silent
        // The desktop program's main window, made once the controller exists.
        std::function<std::unique_ptr<MainWindowView>(Program&)> createView;
    };

    // Loading steps that later subsystems fill. Each runs in its fixed place
    // in the loading order; an empty one is skipped.
    struct LoadingSeams
    {
        std::function<void()> createAutomationObject;
        std::function<void()> checkForUpdate;
        std::function<void()> loadConnectionPlugins;
        // The address-book integration; the argument says the user asked to
        // leave it out for this run or for good.
        std::function<void(bool ignored)> startAddressBook;
        std::function<void()> loadReverseLookup;
        std::function<void()> loadNotificationPlugins;
        std::function<void()> applyPopupOptions;
        std::function<void()> applyServerSwitch;
        // Unloading: the automation object is told first, client connections last.
        std::function<void()> automationObjectEnding;
        std::function<void()> closeClientConnections;
    };

    explicit Program(FrontEnd frontEnd, QObject* parent = nullptr);
    ~Program() override;

    // The start procedure, then the loading of the main window. Returns 0 when
    // the program runs on (loading may still be waiting after an automatic
    // start), else the exit code to end with.
    int start();
    // Orderly unloading; safe to call twice.
    void shutdown();
    // Unloads and asks the front end to end the process.
    void gCloseApplication();

    LoadingSeams& loadingSeams() { return m_seams; }
    bool loaded() const;
    // " /autostart " and "-ignoreoutlook" as the command line is searched for them.
    bool autostart() const;
    bool ignoreOutlook() const;
    ExitCommands& exitCommands() const { return *m_exit; }
    MainWindowView* view() const { return m_view.get(); }

    MainForm& mainForm() const { return *m_form; }
    ProgramLog& log() const { return *m_log; }
    SettingsStore& settings() const { return *m_settings; }
    LocGuru& loc() const { return *m_loc; }
    TelephonyHub& telephony() const { return *m_hub; }
    // The call history; null before loading gets there.
    CallDatabase* callDatabase() const;
    // Which database the call history is on (mnuSetCallDB).
    CallDatabaseSwitch* callDatabaseSwitch() const;
    // The store that writes calls into it (and deletes them for the history).
    SqlCallStore* callStore() const;
    ShellOpener& shell() const { return *m_shell; }
    StandbyHandler* standby() const { return m_standby.get(); }
    // The network server; null before loading reaches it.
    PhonavoServer* server() const { return m_server.get(); }
    // The plug-in host; null before loading reaches the connection plug-ins.
    PluginHostService* plugins() const { return m_plugins.get(); }
    // The user's address books; null before loading reaches them.
    AddressBookService* addressBook() const { return m_addressBook.get(); }
    // The update check of this start; null when none was started.
    UpdateCheck* updateCheck() const { return m_update.get(); }
    ErrorReporter& errors() const { return *m_errors; }
    // The companion contact manager; null before loading has made the controller.
    ContactManagerLauncher* contactManager() const { return m_contactManager.get(); }
    // The call simulation (mnuSimulate); null before loading has made the controller.
    CallSimulator* callSimulator() const { return m_simulator.get(); }

    // Whether the address book is in use this run: the data-source list then
    // offers it as its third entry. Set by the address-book loading step.
    bool addressBookAvailable() const { return m_addressBookAvailable; }
    void setAddressBookAvailable(bool available) { m_addressBookAvailable = available; }
    // The entries of the data-source list (cmbDataConnection): "no local
    // data", "Database" and, when available, the address book.
    int dataSourceCount() const { return m_addressBookAvailable ? 3 : 2; }
    // The address book's settings dialog, opened from the data-source area;
    // nothing happens while it is empty.
    std::function<void(QWidget* parent)> openAddressBookSettings;
    DialogService& dialogs() const { return *m_dialogs; }
    QString commandLine() const;

    static constexpr const char* kMutexName = "PHONAVO_CLIENT_MUTEX";

    static QString systemName();
    static QString versionText();

signals:
    void quitRequested(int exitCode);
    // Loading ran to its end (monitoring started when configured).
    void loadingFinished();
    // A call was saved (or kept for saving): an open history shows it.
    void callHistoryChanged();

private:
    // A start that cannot go on: the message in a box (on standard error
    // without windows), exit status 1.
    int refuseStart(const QString& message);
    QString unusableFolderText(const AppPaths::FolderProblem& problem) const;
    void writeLogHeader();
    void recordInstalledVersion();
    void openLanguage();
    void loadMainForm();
    void buildLoadingSteps(StartupSequence& steps);
    void unloadAfterFailedStart();
    void startControlChannel();
    void openCallDatabase();
    void watchPowerEvents();
    void loadConnectionPlugins();

    FrontEnd m_frontEnd;
    // First member, so it goes last: plug-ins may still hold the object while
    // the rest of the program is taken down.
    std::unique_ptr<AutomationObject> m_automation;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ProgramLog> m_log;
    std::unique_ptr<LocGuru> m_loc;
    std::unique_ptr<DialogService> m_ownDialogs;
    DialogService* m_dialogs = nullptr;
    std::unique_ptr<SoundPlayer> m_ownSound;
    SoundPlayer* m_sound = nullptr;
    std::unique_ptr<ErrorReporter> m_errors;
    std::unique_ptr<TelephonyHub> m_hub;
    std::unique_ptr<CallStorage> m_calls;
    std::unique_ptr<ShellOpener> m_shell;
    std::unique_ptr<SleepWatcher> m_sleep;
    std::unique_ptr<MainForm> m_form;
    std::unique_ptr<ContactManagerLauncher> m_contactManager;
    std::unique_ptr<CallSimulator> m_simulator; // after m_form: goes before it
    std::unique_ptr<ControlChannelServer> m_control;
    std::unique_ptr<ExitCommands> m_exit;
    std::unique_ptr<PhonavoServer> m_server;
    std::unique_ptr<PluginHostService> m_plugins;      // after m_form: goes before it
    std::unique_ptr<AddressBookService> m_addressBook; // after m_form: goes before it
    std::unique_ptr<NumberLookup> m_lookup;
    std::unique_ptr<StandbyHandler> m_standby;
    std::unique_ptr<UpdateCheck> m_update;  // after m_form: goes before it
    std::unique_ptr<MainWindowView> m_view; // after m_form: goes before it
    std::unique_ptr<StartupSequence> m_loading;
    std::unique_ptr<QLockFile> m_instanceLock;
    QString m_fileHandles; // what start-up did to the file handle limit, for the log header
    LoadingSeams m_seams;
    bool m_shutDown = false;
    bool m_addressBookAvailable = false;
    bool m_versionRecorded = false; // this start recorded a new InstalledVersion
};
