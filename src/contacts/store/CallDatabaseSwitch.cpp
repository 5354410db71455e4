#include "CallDatabaseSwitch.h"

#include "CallDatabase.h"
#include "platform/AppPaths.h"
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

QString CallDatabaseSwitch::tr(const QString& text, const QString& param) const
{
    if (m_hooks.translate)
        return m_hooks.translate(text, param);
    return QString(text).replace(QStringLiteral("%s"), param);
}

void CallDatabaseSwitch::createDefaultDatabaseIfMissing()
{
    const QString file = defaultDatabaseFile();
    if (QFileInfo::exists(file))
        return;
    AppPaths::ensureParentDir(file);
    QString error;
    if (CallDatabase::createSQLiteDatabase(file, m_schemaFile, &error)) {
        m_hooks.log(QStringLiteral("Created the call database ") + file);
        return;
    }
    // Leave no half-made file behind: the next start tries again.
    QFile::remove(file);
    m_hooks.reportError(
        QStringLiteral("The call database %1 could not be created: %2").arg(file, error));
}

bool CallDatabaseSwitch::openAtStartUp()
{
    createDefaultDatabaseIfMissing();
    const QString defaultString = defaultConnectionString();
    const QString stored = storedConnectionString();
    if (!stored.isEmpty()) {
        QString connection = stored;
        if (m_db.OpenCallDatabase(connection, defaultString))
            return true;
    }
    QString connection = defaultString;
    if (m_db.OpenCallDatabase(connection, defaultString))
        return true;
    m_hooks.reportError(tr(stored.isEmpty() ? QStringLiteral("Unable to open standard-database %s")
                                            : QStringLiteral("Unable to open database %s"),
                           masked(defaultString)));
    return false;
}

bool CallDatabaseSwitch::reopen()
{
    QString connection;
    return m_db.OpenCallDatabase(connection, storedOrDefault());
}

CallDatabaseSwitch::SwitchResult CallDatabaseSwitch::mnuSetCallDB(const Prompt& prompt)
{
    // Without an open database the dialog starts from the connection that failed.
    const QString current = m_db.isOpen() ? m_db.connectionString() : storedOrDefault();
    const QString chosen = prompt(current);
    if (chosen == current || chosen.trimmed().isEmpty())
        return SwitchResult::Unchanged;

    QString connection = chosen;
    if (m_db.OpenCallDatabase(connection, storedOrDefault())) {
        m_settings.SaveSettingHKCU(kOptions, CallsConnectionKey(), chosen);
        m_hooks.log(QStringLiteral("Call database: ") + masked(chosen));
        return SwitchResult::Switched;
    }
    m_hooks.reportError(
        tr(QStringLiteral("Unable to open database %s. Using previous set or default database."),
           masked(chosen)));
    reopen();
    return SwitchResult::Refused;
}
