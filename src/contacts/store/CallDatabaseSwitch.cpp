#include "CallDatabaseSwitch.h"

#include "CallDatabase.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "shell/settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <utility>

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

void CallDatabaseSwitch::tell(const QString& text) const
{
    if (m_failures == Failures::Tell)
        m_hooks.reportError(text);
}

void CallDatabaseSwitch::logUnlessQuiet(const QString& text) const
{
    if (m_failures == Failures::Tell)
        m_hooks.log(text);
}

bool CallDatabaseSwitch::prepareDefaultDatabase()
{
    const QString file = defaultDatabaseFile();
    switch (FileIdentity::look(file)) {
    case FileIdentity::Lookup::Found:
        return true;
    case FileIdentity::Lookup::Unknown:
        return false; // opening tells why it cannot be reached
    case FileIdentity::Lookup::Missing:
        break;
    }
    const QString folder = QFileInfo(file).absolutePath();
    if (m_defaultFolder && FileIdentity::of(folder) != m_defaultFolder) {
        logUnlessQuiet(GetS(QStringLiteral("The call database %s is missing and its folder is not "
                                           "the one it was opened in (a share that is not "
                                           "mounted?); no new call database is made there"),
                            {file}));
        return false;
    }
    return createDefaultDatabase(file);
}

bool CallDatabaseSwitch::createDefaultDatabase(const QString& file)
{
    AppPaths::ensureParentDir(file);
    QString error;
    if (CallDatabase::createSQLiteDatabase(file, m_schemaFile, &error)) {
        m_hooks.log(QStringLiteral("Created the call database ") + file);
        return true;
    }
    // Leave no half-made file behind: the next start tries again.
    QFile::remove(file);
    tell(GetS(QStringLiteral("The call database %s could not be created: %s"), {file, error}));
    return false;
}

bool CallDatabaseSwitch::giveTableToEmptyDefault(const QString& file)
{
    // An empty file (made by hand, a copy that failed) is an empty database
    // without the table; one with any table of its own is left as it is.
    // Looked at only when opening failed, so a busy file costs no second wait.
    if (FileIdentity::look(file) != FileIdentity::Lookup::Found)
        return false; // opening it would make it
    const QString name = QStringLiteral("phonavo-prepare");
    bool tableless = false;
    bool made = true;
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(ConnectionString::kSqliteBusyTimeoutMs));
        if (db.open()) {
            QSqlQuery tables(db);
            tableless = tables.exec(QStringLiteral(
                            "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'")) &&
                        tables.next() && tables.value(0).toInt() == 0;
            tables.finish();
            if (tableless)
                made = CallDatabase::runSchema(db, m_schemaFile, &error);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!tableless)
        return false;
    if (!made) {
        tell(GetS(QStringLiteral("The call database %s could not be created: %s"), {file, error}));
        return false;
    }
    m_hooks.log(GetS(QStringLiteral("The call database %s had no table; the call history table "
                                    "was made in it"),
                     {file}));
    return true;
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
        tell(GetS(QStringLiteral("The call history %s cannot be read (%s) and cannot be renamed. "
                                 "Calls are kept in memory until it is repaired or removed."),
                  {file, reason}));
        return QString();
    }
    // Its journal files belong to the broken file; a new file must not read them.
    for (const QString& suffix :
         {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        if (QFileInfo::exists(file + suffix))
            QFile::rename(file + suffix, target + suffix);
    if (!createDefaultDatabase(file))
        return QString();
    return GetS(QStringLiteral("The call history %s cannot be read (%s). It was renamed to %s and "
                               "a new, empty call history was started."),
                {file, reason, target});
}

void CallDatabaseSwitch::warnIfNotWritable()
{
    const QString problem = m_db.writeProblem();
    // "Mode=Read" is the user's own choice: the store says once that calls are not stored.
    if (problem.isEmpty() || m_db.readOnlyByRequest()) {
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
        prepareDefaultDatabase();
    // Failures are told after a look at them: a default file that is not a
    // database is replaced, a damaged one gets words on its repair.
    bool opened = m_db.OpenCallDatabase(connection, storedOrDefault(), false);
    if (!opened && embedded && m_db.lastOpenFailure().kind == SqlFailure::Other &&
        giveTableToEmptyDefault(defaultDatabaseFile()))
        opened = m_db.OpenCallDatabase(connection, storedOrDefault(), false);
    QString replaced;
    if (!opened && embedded && m_db.lastOpenFailure().kind == SqlFailure::NotADatabase) {
        replaced = replaceBrokenDefault(m_db.lastOpenFailure().text);
        if (!replaced.isEmpty())
            opened = m_db.OpenCallDatabase(connection, storedOrDefault(), false);
    }
    if (!opened) {
        const CallDatabase::Failure& failure = m_db.lastOpenFailure();
        if (failure.kind == SqlFailure::Damaged)
            tell(GetS(QStringLiteral("The call history %s is damaged: %s{\\r}It can still be read "
                                     "and repaired, for example with the .recover command of "
                                     "sqlite3, but it is not opened. Calls are kept in memory "
                                     "until a repaired file takes its place."),
                      {ConnectionString::parse(connection).value(QStringLiteral("Data Source")),
                       failure.text}));
        else
            tell(failure.text);
    }
    // Told once the new file is open: a box lets events run, saves among them.
    if (!replaced.isEmpty())
        m_hooks.reportError(replaced);
    if (opened) {
        if (embedded)
            m_defaultFolder = FileIdentity::of(QFileInfo(defaultDatabaseFile()).absolutePath());
        warnIfNotWritable();
    }
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

bool CallDatabaseSwitch::reopen(Failures failures)
{
    const Failures before = std::exchange(m_failures, failures);
    QString connection;
    const bool opened = open(connection);
    m_failures = before;
    return opened;
}

bool CallDatabaseSwitch::reopenSame(Failures failures)
{
    QString connection = m_db.connectionString();
    if (connection.isEmpty())
        return false;
    const Failures before = std::exchange(m_failures, failures);
    const bool opened = open(connection);
    m_failures = before;
    return opened;
}

bool CallDatabaseSwitch::reopenAfterLoss()
{
    // Closed first: the file made under the same name must not find the
    // lost file's journal files. Those of a database the user chose stay.
    const QString lost = m_db.connectionString();
    m_db.closeLostFile(isEmbeddedDefault(lost));
    QString connection = lost;
    if (!connection.isEmpty() && open(connection))
        return true;
    const QString defaultString = defaultConnectionString();
    if (!isEmbeddedDefault(lost)) {
        connection = defaultString;
        if (open(connection)) {
            m_hooks.log(GetS(QStringLiteral("The call database %s cannot be opened again; calls "
                                            "are written to the default call database %s now"),
                             {masked(lost), masked(defaultString)}));
            return true;
        }
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
