#pragma once

#include <QString>

class QProcess;

// The process's limit on open file handles (RLIMIT_NOFILE). Every client socket
// of the server is one handle, and the usual soft limit of 1024 is reached by
// a full server; the hard limit is usually far higher.
class FileHandleLimit
{
public:
    struct Raised
    {
        qint64 before = -1; // the soft limit found
        qint64 after = -1;  // the soft limit now in force
        QString error;      // why it could not be raised; empty on success
    };

    // Raises the soft limit to the hard one (or to the system's maximum when
    // the hard limit is unlimited). Call it once, early at start-up.
    static Raised raiseSoftLimit();
    // Programs this one starts get the soft limit it was started with back:
    // a raised limit is this program's need, and some programs misbehave with
    // a huge one (they close or poll every possible handle). Qt 6.4 runs the
    // modifier in QProcess::start() only, not in startDetached().
    static void restoreInChild(QProcess& process);

    // The soft limit in force now; -1 when it cannot be read or is unlimited.
    static qint64 softLimit();
    // The handles open in this process now; -1 when they cannot be counted
    // (counting needs one handle itself, so none left also reads as -1).
    static int inUse();
    // The folder that lists them (/proc/self/fd); tests name a missing one to
    // run as on a system without /proc.
    static void setHandleFolder(const QByteArray& path);
    // Handles that can still be opened before the soft limit: -1 for unknown
    // (treated as none by callers that must keep a reserve), a large number
    // when there is no limit.
    static qint64 available();
};
