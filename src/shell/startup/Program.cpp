#include "Program.h"

#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "core/monitor/LineSourceSettings.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/SoundPlayer.h"
#include "platform/telephony/ControlChannelServer.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineCommands.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

Program::Program(FrontEnd frontEnd, QObject* parent)
    : QObject(parent), m_frontEnd(std::move(frontEnd))
{}

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
    m_settings =
        std::make_unique<SettingsStore>(AppPaths::userHivePath(), AppPaths::machineHivePath());
    m_log = std::make_unique<ProgramLog>(AppPaths::logFilePath());
    m_log->setEchoToStdout(m_frontEnd.headless);
    m_log->setDebugFlag(m_settings->getInt(SettingsStore::Hive::LocalMachine, QString(),
                                           QStringLiteral("Debug"), 0) == 1);
    m_log->setLogFlag(m_settings->getInt(SettingsStore::Hive::LocalMachine, QString(),
                                         QStringLiteral("Log"), 0) == 1);
    m_loc = std::make_unique<LocGuru>();

    // Checked before the log is started anew, so a refused second start leaves
    // the running program's log alone.
    AppPaths::ensureParentDir(AppPaths::singleInstanceLockPath(QString::fromLatin1(kMutexName)));
    m_instanceLock = std::make_unique<QLockFile>(
        AppPaths::singleInstanceLockPath(QString::fromLatin1(kMutexName)));
    m_instanceLock->setStaleLockTime(0);
    if (!m_instanceLock->tryLock(0)) {
        const QString message =
            m_loc->GetS(QStringLiteral("Phonavo or Phonavo Setup Wizard already running. Please "
                                       "close both before starting this application."));
        if (m_frontEnd.dialogs)
            m_frontEnd.dialogs->messageBox(message, 0, QString());
        else
            QTextStream(stderr) << message << Qt::endl;
        m_instanceLock.reset();
        return 1;
    }
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

    SettingsStore* settings = m_settings.get();
    ProgramLog* log = m_log.get();
    m_hub = std::make_unique<TelephonyHub>([settings, log] {
        return LineSourceSettings::createProviders(
            *settings, [log](const QString& line) { log->DoLogStr(line); });
    });
    loadMainForm();
    return 0;
}

void Program::writeLogHeader()
{
    const QStringList header = {
        QStringLiteral("Program started: ") +
            ProgramLog::formatGeneralDate(Clock::instance().now()),
        QStringLiteral("Command: ") + commandLine(),
        QStringLiteral("Windows: ") + systemName(),
        QStringLiteral("Version: ") + versionText() + QStringLiteral(" (InstalledVersion: ") +
            m_settings->getString(SettingsStore::Hive::LocalMachine, QString(),
                                  QStringLiteral("InstalledVersion"), QString()) +
            QLatin1Char(')'),
        QStringLiteral("Debug-Mode: ") +
            (m_log->debugFlag() ? QStringLiteral("ON") : QStringLiteral("OFF")),
    };
    for (const QString& line : header)
        m_log->writeFileOnly(line);
    if (m_frontEnd.headless) {
        QTextStream out(stdout);
        for (const QString& line : header)
            out << line << Qt::endl;
    }
}

void Program::loadMainForm()
{
    MainForm::Services services{*m_settings, *m_loc, *m_log,  *m_dialogs,
                                *m_errors,   *m_hub, *m_sound};
    m_form = std::make_unique<MainForm>(services);
    m_errors->setMainWindowLoaded(true);
    for (const QString& problem : m_settings->loadProblems())
        m_form->RaiseError(problem);

    m_form->initTelephony();
    for (qint32 device : m_form->listedDevices())
        m_form->LogStr(QStringLiteral("Line device %1: %2")
                           .arg(device)
                           .arg(m_form->deviceDisplayName(device)));
    m_form->loadOptions();
    m_form->loadMSNs();
    openCallDatabase();
    startControlChannel();
    m_form->setLoaded(true);
    if (m_form->options().flag(QStringLiteral("cbConnectOnStart")))
        m_form->startMonitoring();
}

void Program::openCallDatabase()
{
    MainForm* form = m_form.get();
    m_callDb = std::make_unique<CallDatabase>([form](const QString& e) { form->RaiseError(e); });
    TelephonyHub* hub = m_hub.get();
    SqlCallStore::Hooks hooks;
    hooks.addToCallHistory = [form] {
        return form->options().flag(QStringLiteral("cbAddToCallHist"));
    };
    hooks.deviceName = [form, hub](qint32 id) {
        return id >= MainForm::kFirstPluginDeviceId ? form->deviceDisplayName(id)
                                                    : hub->getDeviceName(id).trimmed();
    };
    hooks.deviceIdFromName = [hub](const QString& name) { return hub->getDeviceIdFromName(name); };
    hooks.log = [form](const QString& line) { form->LogStr(line); };
    hooks.reportError = [form](const QString& e) { form->RaiseError(e); };
    m_callStore = std::make_unique<SqlCallStore>(*m_callDb, hooks);
    m_form->setCallStore(m_callStore.get());

    QString installDir = m_settings->getString(SettingsStore::Hive::LocalMachine, QString(),
                                               QStringLiteral("InstallDir"), QString());
    if (installDir.isEmpty())
        installDir = AppPaths::installDir();
    if (!installDir.endsWith(QLatin1Char('/')))
        installDir += QLatin1Char('/');
    const QString defaultDb = installDir + QStringLiteral("data.db");
    if (!QFileInfo::exists(defaultDb)) {
        // A fresh installation: the embedded database is made from the shipped schema.
        AppPaths::ensureParentDir(defaultDb);
        QString error;
        if (CallDatabase::createSQLiteDatabase(
                defaultDb, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error))
            m_form->LogStr(QStringLiteral("Created the call database ") + defaultDb);
        else
            m_form->RaiseError(QStringLiteral("The call database %1 could not be created: %2")
                                   .arg(defaultDb, error));
    }
    const QString defaultString = CallDatabase::defaultConnectionString(installDir);
    const QString stored =
        m_settings->getString(SettingsStore::Hive::CurrentUser, QStringLiteral("Options"),
                              QStringLiteral("CallsConnection"), QString());
    QString connection = stored.isEmpty() ? defaultString : stored;
    if (m_callDb->OpenCallDatabase(connection, defaultString))
        return;
    connection = defaultString;
    if (!stored.isEmpty() && m_callDb->OpenCallDatabase(connection, defaultString))
        return;
    m_form->RaiseError(m_form->GetS(stored.isEmpty()
                                        ? QStringLiteral("Unable to open standard-database %s")
                                        : QStringLiteral("Unable to open database %s"),
                                    defaultString));
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

void Program::shutdown()
{
    if (m_shutDown || !m_form)
        return;
    m_shutDown = true;
    if (m_form->Active())
        m_form->stopMonitoring();
    m_form->shutdownTelephony();
    if (m_control)
        m_control->close();
    m_settings->flush();
}
