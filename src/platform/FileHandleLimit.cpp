#include "FileHandleLimit.h"

#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <limits>
#include <sys/resource.h>

namespace {

// The kernel's ceiling for RLIMIT_NOFILE; an unlimited hard limit cannot be set as such.
qint64 systemMaximum()
{
    QFile file(QStringLiteral("/proc/sys/fs/nr_open"));
    if (file.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const qint64 value = file.readAll().trimmed().toLongLong(&ok);
        if (ok && value > 0)
            return value;
    }
    return 1024 * 1024;
}

qint64 asLimit(rlim_t value)
{
    return value == RLIM_INFINITY ? -1 : qint64(value);
}

// The soft limit found before raising it; read in forked children, so a plain value.
rlim_t g_originalSoftLimit = 0;
bool g_raised = false;
QByteArray g_handleFolder = QByteArrayLiteral("/proc/self/fd");

} // namespace

void FileHandleLimit::restoreInChild(QProcess& process)
{
    process.setChildProcessModifier([] {
        // Between fork and exec: system calls only.
        if (!g_raised)
            return;
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
            return;
        limit.rlim_cur = g_originalSoftLimit;
        setrlimit(RLIMIT_NOFILE, &limit);
    });
}

FileHandleLimit::Raised FileHandleLimit::raiseSoftLimit()
{
    Raised result;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    result.before = asLimit(limit.rlim_cur);
    result.after = result.before;
    rlim_t wanted = limit.rlim_max;
    if (wanted == RLIM_INFINITY)
        wanted = rlim_t(systemMaximum());
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur >= wanted)
        return result;
    const rlim_t original = limit.rlim_cur;
    limit.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    if (!g_raised) {
        g_originalSoftLimit = original;
        g_raised = true;
    }
    result.after = asLimit(wanted);
    return result;
}

qint64 FileHandleLimit::softLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    return asLimit(limit.rlim_cur);
}

void FileHandleLimit::setHandleFolder(const QByteArray& path)
{
    g_handleFolder = path;
}

int FileHandleLimit::inUse()
{
    DIR* dir = opendir(g_handleFolder.constData());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count - 1; // the directory's own handle
}

qint64 FileHandleLimit::available()
{
    const qint64 limit = softLimit();
    if (limit < 0)
        return std::numeric_limits<int>::max();
    const int used = inUse();
    return used < 0 ? -1 : std::max<qint64>(0, limit - used);
}
