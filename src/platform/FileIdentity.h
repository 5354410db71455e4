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

    enum class Lookup
    {
        Found,
        Missing, // nothing has that name (ENOENT)
        Unknown  // it cannot be looked at now: no rights, a stale or unmounted share, ...
    };

    // What the path names; its identity goes to `found` when there is one.
    static Lookup look(const QString& path, FileIdentity* found = nullptr);
    // Empty unless the path names a file that can be looked at.
    static std::optional<FileIdentity> of(const QString& path);

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
