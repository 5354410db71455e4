#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString xdgBase(const char* envName, const QString& fallbackUnderHome)
{
    QString dir = qEnvironmentVariable(envName);
    if (dir.isEmpty() || !QDir::isAbsolutePath(dir))
        dir = QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
    return QDir::cleanPath(dir);
}

QString xdgDir(const char* envName, const QString& fallbackUnderHome)
{
    return xdgBase(envName, fallbackUnderHome) + QStringLiteral("/phonavo");
}

// A folder shared with other programs of the desktop (address books,
// calendars): $XDG_DATA_HOME/<name>, or <PHONAVO_HOME>/<name>.
QString sharedDataDir(const QString& name)
{
    if (!AppPaths::homeOverride().isEmpty())
        return QDir::cleanPath(AppPaths::homeOverride()) + QLatin1Char('/') + name;
    return xdgBase("XDG_DATA_HOME", QStringLiteral(".local/share")) + QLatin1Char('/') + name;
}

QString inHome(const QString& name)
{
    return QDir::cleanPath(AppPaths::homeOverride()) + QLatin1Char('/') + name;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The shared runtime folder of the desktop session, when there is one.
QString xdgRuntimeDir()
{
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return dir.isEmpty() || !QDir::isAbsolutePath(dir) ? QString() : QDir::cleanPath(dir);
}

// Named after the user id, not $USER: the variable may be unset or name
// somebody else, and two users must never share a socket or a lock.
QString tempRuntimeBase()
{
    return QDir::cleanPath(QDir::tempPath()) + QStringLiteral("/phonavo-") +
           QString::number(::getuid());
}

// Makes `dir` (its parent must exist) or takes the one there, as a folder of
// this user that nobody else can enter.
bool makePrivateDir(const QString& dir, QString* problem)
{
    const QByteArray path = QFile::encodeName(dir);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = systemError(errno);
        return false;
    }
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0) {
        *problem = systemError(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        *problem = QStringLiteral("it is a symbolic link");
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *problem = QStringLiteral("it is not a folder");
        return false;
    }
    if (info.st_uid != ::getuid()) {
        *problem = QStringLiteral("it belongs to another user (id %1)").arg(info.st_uid);
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        *problem = systemError(errno);
        return false;
    }
    return true;
}

// mkpath with the reason of a failure.
bool makePath(const QString& dir, QString* problem)
{
    const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
    for (qsizetype at = clean.indexOf(QLatin1Char('/'), 1); true;
         at = clean.indexOf(QLatin1Char('/'), at + 1)) {
        const QByteArray path = QFile::encodeName(at < 0 ? clean : clean.left(at));
        if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST) {
            *problem = systemError(errno);
            return false;
        }
        if (at < 0)
            break;
    }
    if (!QFileInfo(clean).isDir()) {
        *problem = QStringLiteral("it is not a folder");
        return false;
    }
    return true;
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
    const QString xdg = xdgRuntimeDir();
    return (xdg.isEmpty() ? tempRuntimeBase() : xdg) + QStringLiteral("/phonavo");
}

FolderProblem prepareRuntimeDir()
{
    const QString dir = runtimeDir();
    FolderProblem problem{dir, QString()};
    if (!homeOverride().isEmpty()) {
        makePath(dir, &problem.reason);
    } else if (const QString xdg = xdgRuntimeDir(); !xdg.isEmpty()) {
        if (makePath(xdg, &problem.reason))
            makePrivateDir(dir, &problem.reason);
    } else {
        const QString base = tempRuntimeBase();
        problem.folder = base;
        if (makePath(QFileInfo(base).path(), &problem.reason) &&
            makePrivateDir(base, &problem.reason)) {
            problem.folder = dir;
            makePrivateDir(dir, &problem.reason);
        }
    }
    if (problem.ok())
        problem.reason = writableDirProblem(dir);
    return problem;
}

QString addressBookDir()
{
    return sharedDataDir(QStringLiteral("contacts"));
}

QString journalDir()
{
    return sharedDataDir(QStringLiteral("calendars/phonavo-journal"));
}

QString createDirProblem(const QString& dir)
{
    QString problem;
    makePath(dir, &problem);
    return problem;
}

QString writableDirProblem(const QString& dir)
{
    if (!QFileInfo(dir).isDir())
        return QFileInfo::exists(dir) ? QStringLiteral("it is not a folder")
                                      : QStringLiteral("it does not exist");
    QByteArray probe = QFile::encodeName(dir + QStringLiteral("/.phonavo-write-XXXXXX"));
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return systemError(errno);
    ::close(fd);
    ::unlink(probe.constData());
    return QString();
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

// Where an installed program keeps a folder, relative to its own.
QString besideProgram(const char* relative)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QString::fromUtf8(relative));
}

} // namespace

QString dataDir()
{
    const QString installed = besideProgram(PHONAVO_DATA_FROM_BIN);
    if (!runningFromBuildTree() && QFileInfo::exists(installed))
        return installed;
    return QStringLiteral(PHONAVO_SOURCE_DATA_DIR);
}

QString dataFile(const QString& name)
{
    const QStringList candidates = runningFromBuildTree()
                                       ? QStringList{QStringLiteral(PHONAVO_BUILD_DATA_DIR),
                                                     QStringLiteral(PHONAVO_SOURCE_DATA_DIR)}
                                       : QStringList{besideProgram(PHONAVO_DATA_FROM_BIN)};
    for (const QString& dir : candidates) {
        const QString path = dir + QLatin1Char('/') + name;
        if (QFileInfo::exists(path))
            return path;
    }
    return candidates.first() + QLatin1Char('/') + name;
}

QStringList pluginDirs()
{
    QStringList dirs;
    if (runningFromBuildTree())
        dirs << QFileInfo(QStringLiteral(PHONAVO_BUILD_DATA_DIR)).absolutePath() +
                    QStringLiteral("/plugins");
    else
        dirs << besideProgram(PHONAVO_PLUGINS_FROM_BIN);
    dirs << installDir() + QStringLiteral("plugins");
    const QString extra = qEnvironmentVariable("PHONAVO_PLUGIN_PATH");
    for (const QString& dir : extra.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (!dirs.contains(dir))
            dirs << dir;
    return dirs;
}

bool ensureParentDir(const QString& filePath)
{
    return QDir().mkpath(QFileInfo(filePath).absolutePath());
}

} // namespace AppPaths
