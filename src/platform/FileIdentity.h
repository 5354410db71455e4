#pragma once

#include <QString>

#include <optional>

// Which file a path names right now: its device and inode. A file that is
// deleted or replaced while a program holds it open keeps the identity the
// program opened; the path then names another file, or none.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;

    // Empty when the path names no file (or cannot be looked at).
    static std::optional<FileIdentity> of(const QString& path);

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
