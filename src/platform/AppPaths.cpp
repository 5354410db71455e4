#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString xdgDir(const char* envName, const QString& fallbackUnderHome)
{
    QString dir = qEnvironmentVariable(envName);
    if (dir.isEmpty() || !QDir::isAbsolutePath(dir))
        dir = QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
    return QDir::cleanPath(dir) + QStringLiteral("/phonavo");
}

QString inHome(const QString& name)
{
    return QDir::cleanPath(AppPaths::homeOverride()) + QLatin1Char('/') + name;
}

} // namespace

namespace AppPaths {

QString homeOverride()
{
    return qEnvironmentVariable("PHONAVO_HOME");
}

QString userHivePath()
{
    if (!homeOverride().isEmpty())
        return inHome(QStringLiteral("user.reg"));
    return xdgDir("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/user.reg");
}

QString machineHivePath()
{
    if (!homeOverride().isEmpty())
        return inHome(QStringLiteral("machine.reg"));
    return xdgDir("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/machine.reg");
}

QString logFilePath()
{
    if (!homeOverride().isEmpty())
        return inHome(QStringLiteral("protocol.log"));
    return xdgDir("XDG_STATE_HOME", QStringLiteral(".local/state")) +
           QStringLiteral("/protocol.log");
}

QString installDir()
{
    if (!homeOverride().isEmpty())
        return QDir::cleanPath(homeOverride()) + QLatin1Char('/');
    return xdgDir("XDG_DATA_HOME", QStringLiteral(".local/share")) + QLatin1Char('/');
}

QString runtimeDir()
{
    if (!homeOverride().isEmpty())
        return QDir::cleanPath(homeOverride());
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::tempPath() + QStringLiteral("/phonavo-") + qEnvironmentVariable("USER");
    return QDir::cleanPath(base) + QStringLiteral("/phonavo");
}

QString controlSocketPath()
{
    return runtimeDir() + QStringLiteral("/control");
}

QString singleInstanceLockPath(const QString& mutexName)
{
    return runtimeDir() + QLatin1Char('/') + mutexName + QStringLiteral(".lock");
}

namespace {

// A program started from the build folder uses the data of its own source and
// build; an installed one never looks there, even while a build tree exists.
bool runningFromBuildTree()
{
    const QString buildRoot = QFileInfo(QStringLiteral(PHONAVO_BUILD_DATA_DIR)).absolutePath();
    const QString programDir = QCoreApplication::applicationDirPath();
    return !programDir.isEmpty() &&
           (programDir == buildRoot || programDir.startsWith(buildRoot + QLatin1Char('/')));
}

} // namespace

QString dataDir()
{
    const QString installed = QStringLiteral(PHONAVO_DATA_DIR);
    if (!runningFromBuildTree() && QFileInfo::exists(installed))
        return installed;
    return QStringLiteral(PHONAVO_SOURCE_DATA_DIR);
}

QString dataFile(const QString& name)
{
    const QStringList candidates = runningFromBuildTree()
                                       ? QStringList{QStringLiteral(PHONAVO_BUILD_DATA_DIR),
                                                     QStringLiteral(PHONAVO_SOURCE_DATA_DIR)}
                                       : QStringList{QStringLiteral(PHONAVO_DATA_DIR)};
    for (const QString& dir : candidates) {
        const QString path = dir + QLatin1Char('/') + name;
        if (QFileInfo::exists(path))
            return path;
    }
    return candidates.first() + QLatin1Char('/') + name;
}

bool ensureParentDir(const QString& filePath)
{
    return QDir().mkpath(QFileInfo(filePath).absolutePath());
}

} // namespace AppPaths
