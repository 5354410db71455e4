#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class CallDatabase;
class QLockFile;
class ControlChannelServer;
class SqlCallStore;
class DialogService;
class ErrorReporter;
class LocGuru;
class MainForm;
class ProgramLog;
class SettingsStore;
class SoundPlayer;
class TelephonyHub;

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
    };

    explicit Program(FrontEnd frontEnd, QObject* parent = nullptr);
    ~Program() override;

    // The start procedure up to and including loading the controller. Returns 0
    // when the program runs on, else the exit code to end with.
    int start();
    // Orderly unloading; safe to call twice.
    void shutdown();

    MainForm& mainForm() const { return *m_form; }
    ProgramLog& log() const { return *m_log; }
    SettingsStore& settings() const { return *m_settings; }
    LocGuru& loc() const { return *m_loc; }
    TelephonyHub& telephony() const { return *m_hub; }
    CallDatabase* callDatabase() const { return m_callDb.get(); }
    ErrorReporter& errors() const { return *m_errors; }
    DialogService& dialogs() const { return *m_dialogs; }
    QString commandLine() const;

    static constexpr const char* kMutexName = "PHONAVO_CLIENT_MUTEX";

    static QString systemName();
    static QString versionText();

signals:
    void quitRequested(int exitCode);

private:
    void writeLogHeader();
    void loadMainForm();
    void startControlChannel();
    void openCallDatabase();

    FrontEnd m_frontEnd;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ProgramLog> m_log;
    std::unique_ptr<LocGuru> m_loc;
    std::unique_ptr<DialogService> m_ownDialogs;
    DialogService* m_dialogs = nullptr;
    std::unique_ptr<SoundPlayer> m_ownSound;
    SoundPlayer* m_sound = nullptr;
    std::unique_ptr<ErrorReporter> m_errors;
    std::unique_ptr<TelephonyHub> m_hub;
    std::unique_ptr<CallDatabase> m_callDb;
    std::unique_ptr<SqlCallStore> m_callStore;
    std::unique_ptr<MainForm> m_form;
    std::unique_ptr<ControlChannelServer> m_control;
    std::unique_ptr<QLockFile> m_instanceLock;
    bool m_shutDown = false;
};
