#include "FileIdentity.h"

#include <QFile>

#include <cerrno>

#include <sys/stat.h>

FileIdentity::Lookup FileIdentity::look(const QString& path, FileIdentity* found)
{
    if (path.isEmpty())
        return Lookup::Missing;
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        if (found)
            *found = FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
        return Lookup::Found;
    }
    // Only a name that is not there means the file is gone; a share that
    // stopped answering or a folder without rights says nothing about it.
    return errno == ENOENT ? Lookup::Missing : Lookup::Unknown;
}

std::optional<FileIdentity> FileIdentity::of(const QString& path)
{
    FileIdentity identity;
    if (look(path, &identity) != Lookup::Found)
        return std::nullopt;
    return identity;
}
