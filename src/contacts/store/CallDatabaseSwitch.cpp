#include "CallDatabaseSwitch.h"

#include "CallDatabase.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "shell/settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
const QString kOptions = QStringLiteral("Options");
}

CallDatabaseSwitch::CallDatabaseSwitch(CallDatabase& database, SettingsStore& settings, Hooks hooks)
    : m_db(database), m_settings(settings), m_hooks(std::move(hooks)),
      m_schemaFile(AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"))
{}

QString CallDatabaseSwitch::installDir() const
{
    QString dir = m_settings.getString(SettingsStore::Hive::LocalMachine, QString(),
                                       QStringLiteral("InstallDir"), QString());
    if (dir.isEmpty())
        dir = AppPaths::installDir();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString CallDatabaseSwitch::defaultDatabaseFile() const
{
    return installDir() + QStringLiteral("data.db");
}

QString CallDatabaseSwitch::defaultConnectionString() const
{
    return CallDatabase::defaultConnectionString(installDir());
}

QString CallDatabaseSwitch::storedConnectionString() const
{
    return m_settings.getString(SettingsStore::Hive::CurrentUser, kOptions, CallsConnectionKey(),
                                QString());
}

QString CallDatabaseSwitch::storedOrDefault() const
{
    const QString stored = storedConnectionString();
    return stored.isEmpty() ? defaultConnectionString() : stored;
}

QString CallDatabaseSwitch::masked(const QString& connection)
{
    static const QRegularExpression password(QStringLiteral("(\\b(?:Password|Pwd)\\s*=)[^;]*"),
                                             QRegularExpression::CaseInsensitiveOption);
    QString text = connection;
    return text.replace(password, QStringLiteral("\\1***"));
}

QString CallDatabaseSwitch::GetS(const QString& text, const QStringList& params) const
{
    if (m_hooks.translate)
        return m_hooks.translate(text, params);
    QString filled = text;
    for (const QString& param : params) {
        const auto at = filled.indexOf(QLatin1String("%s"));
        if (at < 0)
            break;
        filled.replace(at, 2, param);
    }
    return filled;
}

bool CallDatabaseSwitch::isEmbeddedDefault(const QString& connection) const
{
    const ConnectionString cs = ConnectionString::parse(connection);
    return cs.engine() == ConnectionString::Engine::SQLite &&
           QFileInfo(cs.value(QStringLiteral("Data Source"))).absoluteFilePath() ==
               QFileInfo(defaultDatabaseFile()).absoluteFilePath();
}

bool CallDatabaseSwitch::createDefaultDatabaseIfMissing()
{
    const QString file = defaultDatabaseFile();
    if (QFileInfo::exists(file))
        return true;
    AppPaths::ensureParentDir(file);
    QString error;
    if (CallDatabase::createSQLiteDatabase(file, m_schemaFile, &error)) {
        m_hooks.log(QStringLiteral("Created the call database ") + file);
        return true;
    }
    // Leave no half-made file behind: the next start tries again.
    QFile::remove(file);
    m_hooks.reportError(
        QStringLiteral("The call database %1 could not be created: %2").arg(file, error));
    return false;
}

QString CallDatabaseSwitch::replaceBrokenDefault(const QString& reason)
{
    const QString file = defaultDatabaseFile();
    const QString base = file + QStringLiteral(".broken-") +
                         Clock::instance().now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = base + u'-' + QString::number(n);
    if (!QFile::rename(file, target)) {
        m_hooks.reportError(
            GetS(QStringLiteral("The call history %s cannot be read (%s) and cannot be renamed. "
                                "Calls are kept in memory until it is repaired or removed."),
                 {file, reason}));
        return QString();
    }
    // Its journal files belong to the broken file; a new file must not read them.
    for (const QString& suffix :
         {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        if (QFileInfo::exists(file + suffix))
            QFile::rename(file + suffix, target + suffix);
    if (!createDefaultDatabaseIfMissing())
        return QString();
    return GetS(QStringLiteral("The call history %s cannot be read (%s). It was renamed to %s and "
                               "a new, empty call history was started."),
                {file, reason, target});
}

void CallDatabaseSwitch::warnIfNotWritable()
{
    const QString problem = m_db.writeProblem();
    if (problem.isEmpty()) {
        m_toldNotWritable.clear();
        return;
    }
    if (m_toldNotWritable == m_db.connectionString())
        return;
    m_toldNotWritable = m_db.connectionString();
    m_hooks.reportError(GetS(QStringLiteral("The call history %s can be read but not written: "
                                            "%s{\\r}New calls are kept in memory until it can be "
                                            "written."),
                             {masked(m_db.connectionString()), problem}));
}

bool CallDatabaseSwitch::open(QString& connection)
{
    if (connection.isEmpty())
        connection = storedOrDefault();
    const bool embedded = isEmbeddedDefault(connection);
    if (embedded)
        createDefaultDatabaseIfMissing();
    // The embedded default's failure is reported after a look at it: a file
    // that is not a database is replaced, not shown as the driver's text.
    bool opened = m_db.OpenCallDatabase(connection, storedOrDefault(), !embedded);
    QString replaced;
    if (!opened && embedded) {
        const CallDatabase::Failure failure = m_db.lastOpenFailure();
        if (failure.kind != SqlFailure::NotADatabase)
            m_hooks.reportError(failure.text);
        else if (replaced = replaceBrokenDefault(failure.text); !replaced.isEmpty())
            opened = m_db.OpenCallDatabase(connection, storedOrDefault());
    }
    // Told once the new file is open: a box lets events run, saves among them.
    if (!replaced.isEmpty())
        m_hooks.reportError(replaced);
    if (opened)
        warnIfNotWritable();
    return opened;
}

bool CallDatabaseSwitch::openAtStartUp()
{
    const QString defaultString = defaultConnectionString();
    const QString stored = storedConnectionString();
    if (!stored.isEmpty()) {
        QString connection = stored;
        if (open(connection))
            return true;
    }
    QString connection = defaultString;
    if (open(connection))
        return true;
    m_hooks.reportError(GetS(stored.isEmpty()
                                 ? QStringLiteral("Unable to open standard-database %s")
                                 : QStringLiteral("Unable to open database %s"),
                             {masked(defaultString)}));
    return false;
}

bool CallDatabaseSwitch::reopen()
{
    QString connection;
    return open(connection);
}

bool CallDatabaseSwitch::reopenSame()
{
    QString connection = m_db.connectionString();
    return !connection.isEmpty() && open(connection);
}

bool CallDatabaseSwitch::reopenAfterLoss()
{
    // Closed first: the file made under the same name must not find the
    // lost file's journal files.
    m_db.closeLostFile();
    const QString defaultString = defaultConnectionString();
    QString connection = m_db.connectionString();
    if (!connection.isEmpty() && open(connection))
        return true;
    if (connection != defaultString) {
        connection = defaultString;
        if (open(connection))
            return true;
    }
    m_hooks.reportError(
        GetS(QStringLiteral("Unable to open database %s"), {masked(defaultString)}));
    return false;
}

CallDatabaseSwitch::SwitchResult CallDatabaseSwitch::mnuSetCallDB(const Prompt& prompt)
{
    // Without an open database the dialog starts from the connection that failed.
    const QString current = m_db.isOpen() ? m_db.connectionString() : storedOrDefault();
    const QString chosen = prompt(current);
    if (chosen == current || chosen.trimmed().isEmpty())
        return SwitchResult::Unchanged;

    QString connection = chosen;
    if (open(connection)) {
        m_settings.SaveSettingHKCU(kOptions, CallsConnectionKey(), chosen);
        m_hooks.log(QStringLiteral("Call database: ") + masked(chosen));
        return SwitchResult::Switched;
    }
    m_hooks.reportError(
        GetS(QStringLiteral("Unable to open database %s. Using previous set or default database."),
             {masked(chosen)}));
    reopen();
    return SwitchResult::Refused;
}
