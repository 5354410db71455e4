#include "FileHandleLimit.h"

#include <QFile>

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

} // namespace

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
    limit.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
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

int FileHandleLimit::inUse()
{
    DIR* dir = opendir("/proc/self/fd");
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
