#include "Program.h"

#include "contacts/addressbook/AddressBookService.h"
#include "contacts/journal/CallJournal.h"
#include "contacts/lookup/NumberLookup.h"
#include "contacts/manager/ContactManagerLauncher.h"
#include "plugins/host/PluginHostService.h"
#include "plugins/host/PluginRegistration.h"
#include "plugins/host/ShippedPlugins.h"
#include "shell/dialling/CallSimulator.h"
#include "shell/update/UpdateCheck.h"

#include "ExitCommands.h"
#include "MainWindowView.h"
#include "StandbyHandler.h"
#include "StartupSequence.h"
#include "contacts/manager/ContactsDatabase.h"
#include "contacts/store/CallStorage.h"
#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/log/LogListModel.h"
#include "core/log/ProgramLog.h"
#include "core/monitor/LineSourceSettings.h"
#include "loc/Languages.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/FileHandleLimit.h"
#include "platform/SoundPlayer.h"
#include "platform/desktop/ShellOpen.h"
#include "platform/power/SleepWatcher.h"
#include "platform/telephony/ControlChannelServer.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineCommands.h"
#include "plugins/automation/Application.h"
#include "plugins/automation/AutomationObject.h"
#include "server/connections/PhonavoServer.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QTimer>
#include <QVersionNumber>

#include <unistd.h>

#include <algorithm>

Program::Program(FrontEnd frontEnd, QObject* parent)
    : QObject(parent), m_frontEnd(std::move(frontEnd))
{
    // The automation object, the headless program's too: other programs on the
    // session bus report calls and hear about them through it.
    m_seams.createAutomationObject = [this] {
        m_automation = std::make_unique<AutomationObject>(*m_form, QDBusConnection::sessionBus());
    };
    m_seams.automationObjectEnding = [this] {
        if (m_automation)
            m_automation->end();
    };
}

Program::~Program()
{
    shutdown();
}

QString Program::systemName()
{
    return QSysInfo::prettyProductName() + QStringLiteral(" (") + QSysInfo::kernelType() +
           QLatin1Char(' ') + QSysInfo::kernelVersion() + QStringLiteral(", ") +
           QSysInfo::currentCpuArchitecture() + QLatin1Char(')');
}

QString Program::versionText()
{
    return QStringLiteral("%1.%2.%3")
        .arg(PHONAVO_VERSION_MAJOR)
        .arg(PHONAVO_VERSION_MINOR)
        .arg(PHONAVO_VERSION_PATCH);
}

QString Program::commandLine() const
{
    const QString program = QCoreApplication::applicationFilePath();
    QString line = program.isEmpty() ? QStringLiteral("phonavo") : program;
    if (!m_frontEnd.arguments.isEmpty())
        line += QLatin1Char(' ') + m_frontEnd.arguments.join(QLatin1Char(' '));
    return line;
}

int Program::start()
{
    // A full server needs more sockets than the usual soft limit of 1024 allows.
    const FileHandleLimit::Raised handles = FileHandleLimit::raiseSoftLimit();
    m_fileHandles =
        handles.after < 0 ? QStringLiteral("unlimited") : QString::number(handles.after);
    if (!handles.error.isEmpty())
        m_fileHandles += QStringLiteral(" (not raised: %1)").arg(handles.error);
    else if (handles.after != handles.before)
        m_fileHandles += QStringLiteral(" (raised from %1)").arg(handles.before);
    m_settings =
        std::make_unique<SettingsStore>(AppPaths::userHivePath(), AppPaths::machineHivePath());
    m_log = std::make_unique<ProgramLog>(AppPaths::logFilePath());
    // The lines go to a terminal, or where --log-stdout asks for them; a
    // service manager's journal otherwise gets nothing twice.
    m_log->setEchoToStdout(m_frontEnd.headless &&
                           (isatty(STDOUT_FILENO) != 0 ||
                            m_frontEnd.arguments.contains(QStringLiteral("--log-stdout"))));
    // Without a window nobody reads the list: a short history is enough for
    // the automation object and the tests of a running server.
    if (m_frontEnd.headless)
        m_log->model()->setMaxBytes(256 * 1024);
    m_log->setDebugFlag(m_settings->getInt(SettingsStore::Hive::LocalMachine, QString(),
                                           QStringLiteral("Debug"), 0) == 1);
    m_log->setLogFlag(m_settings->getInt(SettingsStore::Hive::LocalMachine, QString(),
                                         QStringLiteral("Log"), 0) == 1);
    m_loc = std::make_unique<LocGuru>();
    // A developer's language database collects the texts it lacks.
    m_loc->setbDebugMode(m_log->debugFlag());

    // Checked before the log is started anew, so a refused second start leaves
    // the running program's log alone.
    const AppPaths::FolderProblem folder = AppPaths::prepareRuntimeDir();
    if (!folder.ok())
        return refuseStart(unusableFolderText(folder));
    m_instanceLock = std::make_unique<QLockFile>(
        AppPaths::singleInstanceLockPath(QString::fromLatin1(kMutexName)));
    m_instanceLock->setStaleLockTime(0);
    if (!m_instanceLock->tryLock(0)) {
        // Only a lock held by another process means another Phonavo.
        const bool held = m_instanceLock->error() == QLockFile::LockFailedError;
        m_instanceLock.reset();
        if (!held) {
            const QString dir = AppPaths::runtimeDir();
            QString reason = AppPaths::writableDirProblem(dir);
            if (reason.isEmpty())
                reason = QStringLiteral("the lock file cannot be created");
            return refuseStart(unusableFolderText({dir, reason}));
        }
        return refuseStart(
            m_loc->GetS(QStringLiteral("Phonavo or Phonavo Setup Wizard already running. Please "
                                       "close both before starting this application.")));
    }
    recordInstalledVersion();
    m_log->deleteLogFile();
    writeLogHeader();

    if (m_frontEnd.dialogs) {
        m_dialogs = m_frontEnd.dialogs;
    } else {
        ProgramLog* log = m_log.get();
        m_ownDialogs =
            std::make_unique<ScriptedDialogs>([log](const QString& line) { log->DoLogStr(line); });
        m_dialogs = m_ownDialogs.get();
    }
    if (m_frontEnd.sound) {
        m_sound = m_frontEnd.sound;
    } else {
        m_ownSound = std::make_unique<SilentSoundPlayer>();
        m_sound = m_ownSound.get();
    }
    m_errors = std::make_unique<ErrorReporter>(*m_log, *m_loc, *m_dialogs);
    m_shell = std::make_unique<ShellOpener>(ShellOpener::messageBoxes(*m_dialogs));
    m_shell->setSettings(m_settings.get());
    LocGuru* loc = m_loc.get();
    m_shell->setTranslation([loc](const QString& text) { return loc->GetS(text); });
    openLanguage();

    SettingsStore* settings = m_settings.get();
    ProgramLog* log = m_log.get();
    m_hub = std::make_unique<TelephonyHub>([settings, log] {
        return LineSourceSettings::createProviders(
            *settings, [log](const QString& line) { log->DoLogStr(line); });
    });
    loadMainForm();
    return 0;
}

void Program::recordInstalledVersion()
{
    // On Linux the program installs itself: a new installation, or one that
    // was upgraded without an installer, records its own version, so that its
    // server accepts clients of that version. A newer recorded version (an
    // installation rolled back) is left as it is.
    const QString recorded = m_settings->getString(SettingsStore::Hive::LocalMachine, QString(),
                                                   QStringLiteral("InstalledVersion"), QString());
    const QVersionNumber stored = QVersionNumber::fromString(recorded);
    if (recorded.trimmed().isEmpty() || stored < QVersionNumber::fromString(versionText())) {
        m_settings->SaveSettingHKLM(QString(), QStringLiteral("InstalledVersion"), versionText());
        m_versionRecorded = true;
    }
}

QString Program::unusableFolderText(const AppPaths::FolderProblem& problem) const
{
    return m_loc->GetS(QStringLiteral("Phonavo cannot use the folder %s: %s"), problem.folder,
                       problem.reason);
}

int Program::refuseStart(const QString& message)
{
    if (m_frontEnd.dialogs)
        m_frontEnd.dialogs->messageBox(message, 0, QString());
    else
        QTextStream(stderr) << message << Qt::endl;
    return 1;
}

void Program::openLanguage()
{
    m_loc->setsLanguageTableName(Languages::kTableName);
    m_loc->setsDBPassword(QString());
    Languages languages(*m_loc, *m_settings, *m_dialogs);
    ProgramLog* log = m_log.get();
    languages.OpenAtStartUp([log](const QString& line) { log->DoLogStr(line); });
}

void Program::writeLogHeader()
{
    const QStringList header = {
        QStringLiteral("Program started: ") +
            ProgramLog::formatGeneralDate(Clock::instance().now()),
        QStringLiteral("Command: ") + commandLine(),
        QStringLiteral("System: ") + systemName(),
        QStringLiteral("Version: ") + versionText() + QStringLiteral(" (InstalledVersion: ") +
            m_settings->getString(SettingsStore::Hive::LocalMachine, QString(),
                                  QStringLiteral("InstalledVersion"), QString()) +
            QLatin1Char(')'),
        QStringLiteral("Debug-Mode: ") +
            (m_log->debugFlag() ? QStringLiteral("ON") : QStringLiteral("OFF")),
        QStringLiteral("File handles: ") + m_fileHandles,
    };
    for (const QString& line : header)
        m_log->writeFileOnly(line);
    if (m_frontEnd.headless) {
        QTextStream out(stdout);
        for (const QString& line : header)
            out << line << Qt::endl;
    }
}

CallDatabase* Program::callDatabase() const
{
    return m_calls ? &m_calls->database() : nullptr;
}

CallDatabaseSwitch* Program::callDatabaseSwitch() const
{
    return m_calls ? &m_calls->databaseSwitch() : nullptr;
}

SqlCallStore* Program::callStore() const
{
    return m_calls ? &m_calls->store() : nullptr;
}

bool Program::loaded() const
{
    return m_form && m_form->isLoaded();
}

bool Program::autostart() const
{
    // A separate word only: the arguments are searched with one blank around them.
    const QString padded =
        QLatin1Char(' ') + m_frontEnd.arguments.join(QLatin1Char(' ')) + QLatin1Char(' ');
    return padded.contains(QStringLiteral(" /autostart "), Qt::CaseInsensitive);
}

bool Program::ignoreOutlook() const
{
    return m_frontEnd.arguments.join(QLatin1Char(' '))
        .contains(QStringLiteral("-ignoreoutlook"), Qt::CaseInsensitive);
}

void Program::loadMainForm()
{
    m_loading = std::make_unique<StartupSequence>(*m_errors);
    buildLoadingSteps(*m_loading);
    connect(m_loading.get(), &StartupSequence::finished, this, &Program::loadingFinished);
    connect(m_loading.get(), &StartupSequence::failed, this, [this] {
        // tmrUnload: the program cannot go on; it closes once the report is out.
        QTimer::singleShot(100, this, &Program::unloadAfterFailedStart);
    });
    m_loading->run();
}

void Program::unloadAfterFailedStart()
{
    shutdown();
    emit quitRequested(1);
}

void Program::buildLoadingSteps(StartupSequence& steps)
{
    const auto seam = [](const std::function<void()>& fill) {
        if (fill)
            fill();
    };
    steps.add(QStringLiteral("controller"), [this, seam] {
        MainForm::Services services{*m_settings, *m_loc, *m_log,  *m_dialogs,
                                    *m_errors,   *m_hub, *m_sound};
        m_form = std::make_unique<MainForm>(services);
        m_form->setCallIdSource([hub = m_hub.get()] { return hub->nextCallId(); });
        m_exit = std::make_unique<ExitCommands>(*m_form, [this] { gCloseApplication(); });
        m_contactManager = std::make_unique<ContactManagerLauncher>(*m_loc, *m_errors);
        m_simulator = std::make_unique<CallSimulator>(*m_form);
        m_errors->setMainWindowLoaded(true);
        seam(m_seams.createAutomationObject);
        if (m_frontEnd.createView) {
            m_view = m_frontEnd.createView(*this);
            m_exit->setView(m_view.get());
        }
        for (const QString& problem : m_settings->loadProblems())
            m_form->RaiseError(problem);
    });
    steps.add(QStringLiteral("translation"), [this] {
        if (m_view)
            m_view->translate();
    });
    steps.add(QStringLiteral("update check"), [this, seam] {
        if (m_settings->getInt(SettingsStore::Hive::CurrentUser, QString(),
                               QStringLiteral("Look4Update"), 1) != 1)
            return;
        if (m_seams.checkForUpdate) {
            m_seams.checkForUpdate();
            return;
        }
        // Administrators (and the test runs) can keep every start off the network.
        if (qEnvironmentVariable("PHONAVO_UPDATE_CHECK") == QLatin1String("0"))
            return;
        ShellOpener* shell = m_shell.get();
        m_update = std::make_unique<UpdateCheck>(
            *m_form, Clock::instance(), [shell](const QString& url) { shell->ShellOpen(url, 10); });
        m_update->start(false);
    });
    steps.add(
        QStringLiteral("automatic start"), StartupSequence::Step([this] {
            if (!autostart())
                return 0;
            // After a log-in the line sources (a router, a PBX) may not be reachable yet.
            const int seconds = std::clamp(m_settings->getInt(SettingsStore::Hive::CurrentUser,
                                                              QStringLiteral("Options"),
                                                              QStringLiteral("SleepOnStartup"), 10),
                                           0, 3600);
            m_form->LogStr(QStringLiteral("Automatic start: waiting %1 seconds").arg(seconds));
            return seconds * 1000;
        }));
    steps.add(QStringLiteral("telephony"), [this] {
        m_form->initTelephony();
        for (qint32 device : m_form->listedDevices())
            m_form->LogStr(QStringLiteral("Line device %1: %2")
                               .arg(device)
                               .arg(m_form->deviceDisplayName(device)));
    });
    steps.add(QStringLiteral("connection plug-ins"), [this, seam] {
        loadConnectionPlugins();
        seam(m_seams.loadConnectionPlugins);
    });
    steps.add(QStringLiteral("options"), [this] { m_form->loadOptions(); });
    steps.add(QStringLiteral("contact database"), [this] {
        // A new installation names callers from its own contact database.
        MainForm* form = m_form.get();
        prepareShippedContactDatabase(*m_settings, *m_loc,
                                      [form](const QString& line) { form->LogStr(line); });
    });
    steps.add(QStringLiteral("address book"), [this] {
        const bool ignored = SettingToBool(m_settings->GetSettingHKCU(
                                 QStringLiteral("Options"), QStringLiteral("DisableOutlook"),
                                 QStringLiteral("0"))) ||
                             ignoreOutlook();
        m_addressBook = std::make_unique<AddressBookService>(*m_form, Clock::instance());
        ShellOpener* shell = m_shell.get();
        m_addressBook->setOpener([shell](const QString& file) { shell->ShellOpen(file); });
        auto journal = std::make_shared<CallJournal>(*m_form, CallJournal::withShell(*shell));
        m_addressBook->setJournal([journal](CCall& call) { journal->AddJournalEntry(call); });
        m_addressBookAvailable = m_addressBook->start(ignored);
        m_form->setAddressBook(m_addressBook.get());
        if (m_seams.startAddressBook)
            m_seams.startAddressBook(ignored);
        // Only now is the data-source list known: a stored entry it does not
        // have (the address book is gone or left out) means no local data.
        MainOptions& options = m_form->options();
        const QString source = QStringLiteral("cmbDataConnection");
        if (options.number(source) < 0 || options.number(source) >= dataSourceCount())
            options.setValue(source, NumberLookup::NoLocalData);
    });
    steps.add(QStringLiteral("own numbers"), [this] { m_form->loadMSNs(); });
    steps.add(QStringLiteral("reverse lookup"), [this, seam] {
        m_plugins->reverse().load();
        ReversePluginList* reverse = &m_plugins->reverse();
        m_lookup =
            std::make_unique<NumberLookup>(*m_form, [reverse](const QString& number, QString& name,
                                                              QString& image, QString& extra) {
                return reverse->QueryReversePlugin(number, name, image, extra);
            });
        m_lookup->setAddressBook(m_addressBook.get());
        m_form->setContactLookup(m_lookup.get());
        seam(m_seams.loadReverseLookup);
    });
    steps.add(QStringLiteral("notification plug-ins"), [this, seam] {
        m_plugins->notifications().load(
            m_settings
                ->GetSettingHKCU(QStringLiteral("Data"), QStringLiteral("ConnectString"), QString())
                .toString());
        seam(m_seams.loadNotificationPlugins);
    });
    steps.add(QStringLiteral("popup options"), [this, seam] { seam(m_seams.applyPopupOptions); });
    steps.add(QStringLiteral("call database"), [this] { openCallDatabase(); });
    steps.add(QStringLiteral("server"), [this, seam] {
        // It listens while the monitor runs and the server option is on.
        m_server = std::make_unique<PhonavoServer>(*m_form, callDatabase());
        m_form->setClientNotifier(m_server.get());
        PluginHostService* plugins = m_plugins.get();
        m_server->setPluginDevices([plugins] { return plugins->pluginDevices(); });
        seam(m_seams.applyServerSwitch);
    });
    steps.add(QStringLiteral("control channel"), [this] { startControlChannel(); });
    steps.add(QStringLiteral("tray icon"), [this] {
        if (m_view)
            m_view->showTrayIcon(true);
    });
    steps.add(QStringLiteral("window position"), [this] {
        if (m_view)
            m_view->restorePosition();
        watchPowerEvents();
    });
    steps.add(QStringLiteral("show window"), [this] {
        const bool visible =
            m_settings->getInt(SettingsStore::Hive::CurrentUser, QStringLiteral("MainForm"),
                               QStringLiteral("Visible"), 1) == 1;
        if (m_view && visible && !m_form->options().flag(QStringLiteral("cbHideOnstart")))
            m_view->showWindow();
    });
    steps.add(QStringLiteral("loaded"), [this] { m_form->setLoaded(true); });
    steps.add(QStringLiteral("connect on start"), [this] {
        if (m_form->options().flag(QStringLiteral("cbConnectOnStart")))
            m_form->startMonitoring();
    });
}

void Program::openCallDatabase()
{
    MainForm* form = m_form.get();
    TelephonyHub* hub = m_hub.get();
    CallStorage::Hooks hooks;
    hooks.log = [form](const QString& line) { form->LogStr(line); };
    hooks.reportError = [form](const QString& e) { form->RaiseError(e); };
    hooks.translate = [form](const QString& text, const QStringList& params) {
        return form->GetS(text, params);
    };
    hooks.store.addToCallHistory = [form] {
        return form->options().flag(QStringLiteral("cbAddToCallHist"));
    };
    hooks.store.deviceName = [form, hub](qint32 id) {
        return id >= MainForm::kFirstPluginDeviceId ? form->deviceDisplayName(id)
                                                    : hub->getDeviceName(id).trimmed();
    };
    hooks.store.deviceIdFromName = [hub](const QString& name) {
        return hub->getDeviceIdFromName(name);
    };
    hooks.store.historyChanged = [this] { emit callHistoryChanged(); };
    m_calls = std::make_unique<CallStorage>(*m_settings, hooks);
    m_form->setCallStore(&m_calls->store());
    m_calls->databaseSwitch().openAtStartUp();
}

void Program::loadConnectionPlugins()
{
    const QStringList dirs = AppPaths::pluginDirs();
    m_plugins = std::make_unique<PluginHostService>(*m_form, dirs, m_frontEnd.headless);
    m_form->setPluginHost(m_plugins.get());
    if (m_automation) {
        // Programs that use the automation object hear of every call.
        Application* app = &m_automation->application();
        PluginHostService::AutomationEvents events;
        events.incoming = [app](qint32 id) { app->RaiseIncomingCall(id); };
        events.outgoing = [app](qint32 id) { app->RaiseOutgoingCall(id); };
        events.answered = [app](qint32 id) { app->RaiseCallAnswered(id); };
        events.disconnected = [app](qint32 id) { app->RaiseCallDisconnected(id); };
        m_plugins->setAutomationEvents(std::move(events));
    }
    PluginCatalog& catalog = m_plugins->catalog();
    catalog.scan();
    for (const QString& problem : catalog.problems())
        m_form->LogStr(QStringLiteral("Plug-in path: ") + problem);
    // A new installation (or the first with plug-ins, or a newer version)
    // registers the plug-ins it ships, so they are in the lists at once.
    const QString interfaceVersion = QString::number(phonavo::kPluginInterfaceVersion);
    const bool newInterface =
        PluginRegistration::programInterfaceVersion(*m_settings).trimmed().isEmpty();
    if (newInterface)
        m_settings->SaveSettingHKLM(QString(), QStringLiteral("InterfaceVersion"),
                                    interfaceVersion);
    if (newInterface || m_versionRecorded)
        for (const QString& progId : registerShippedPlugins(*m_settings, catalog, dirs.value(0)))
            m_form->LogStr(QStringLiteral("Registered plug-in %1").arg(progId));
    m_plugins->connections().load();
}

void Program::watchPowerEvents()
{
    m_sleep = std::make_unique<SleepWatcher>();
    m_standby = std::make_unique<StandbyHandler>(*m_form, callDatabaseSwitch(), *m_settings);
    m_standby->watch(*m_sleep);
}

void Program::startControlChannel()
{
    auto commands = std::make_shared<VirtualLineCommands>(*m_hub);
    MainForm* form = m_form.get();
    m_control = std::make_unique<ControlChannelServer>(
        [commands](const QStringList& args) { return commands->execute(args); },
        [form](const QString& line) { form->DoLogStr(line); });
    const QString path = AppPaths::controlSocketPath();
    if (m_control->listen(path))
        m_form->LogStr(QStringLiteral("Control channel: ") + path);
    else
        m_form->RaiseError(QStringLiteral("Control channel not available at %1: %2")
                               .arg(path, m_control->errorString()));
}

void Program::gCloseApplication()
{
    shutdown();
    emit quitRequested(0);
}

void Program::shutdown()
{
    if (m_shutDown || !m_form)
        return;
    m_shutDown = true;
    if (m_seams.automationObjectEnding)
        m_seams.automationObjectEnding();
    // Kept until the program object goes: shutdown may run inside one of their
    // handlers. They only stop listening, so nothing restarts monitoring.
    if (m_sleep)
        m_sleep->disconnect();
    if (m_standby)
        m_standby->cancel();
    if (m_form->Active())
        m_form->stopMonitoring(false); // the user already chose to exit
    if (m_view)
        m_view->showTrayIcon(false);
    m_form->shutdownTelephony(); // popups closed, active calls removed, lines closed
    if (m_calls)
        m_calls->store().writeHeldBeforeExit(); // after the last saves of the active calls
    if (m_server)
        m_server->stopServer(); // "Disconnected ..." for every client, then the listener
    if (m_seams.closeClientConnections)
        m_seams.closeClientConnections();
    if (m_control)
        m_control->close();
    if (m_plugins)
        m_plugins->shutdown();
    m_settings->flush();
}
