#pragma once

#include <QString>

// Where the program keeps its files. With PHONAVO_HOME set, everything lives in
// that one folder (portable installs, tests); otherwise the XDG locations:
//   user hive      $XDG_CONFIG_HOME/phonavo/user.reg
//   machine hive   $XDG_DATA_HOME/phonavo/machine.reg
//   install folder $XDG_DATA_HOME/phonavo/          (data.db, ...)
//   program log    $XDG_STATE_HOME/phonavo/protocol.log
//   control socket $XDG_RUNTIME_DIR/phonavo/control
//                  (without it: <temp>/phonavo-<user id>/phonavo/control)
// The address books and the call journal are shared with other desktop
// programs, so they sit in the common places (under PHONAVO_HOME when set):
//   address books  $XDG_DATA_HOME/contacts                   (vdir of .vcf files)
//   call journal   $XDG_DATA_HOME/calendars/phonavo-journal  (vdir of .ics files)
namespace AppPaths {

QString homeOverride(); // PHONAVO_HOME, or empty
QString userHivePath();
QString machineHivePath();
QString logFilePath();
QString installDir(); // always ends with '/'
// The folder of the control socket and the single-instance lock.
QString runtimeDir();
// A folder the program cannot use, and why; an empty reason when all is well.
struct FolderProblem
{
    QString folder;
    QString reason;
    bool ok() const { return reason.isEmpty(); }
};
// Makes runtimeDir() ready for use. A folder of the program's own in a shared
// place (XDG_RUNTIME_DIR, the temp folder) is made private (0700); in the temp
// folder, where anybody may have made it first, one that is a link or belongs
// to another user is refused. The folder must take new files.
FolderProblem prepareRuntimeDir();
QString addressBookDir();
QString journalDir();
// Creates `dir` with its parents; the system's reason when it cannot, or an
// empty text.
QString createDirProblem(const QString& dir);
// Why `dir` cannot take new files (the system's reason, or what is wrong with
// it), or an empty text when it can. Tries to create a file there.
QString writableDirProblem(const QString& dir);
QString controlSocketPath();
QString singleInstanceLockPath(const QString& mutexName);
// Read-only files shipped with the program (sounds, schemas, language data):
// the installed share folder, or the source tree's data/ in a build tree.
QString dataDir();
// A shipped file made at build time (langdata.db): the build tree's data
// folder, then the installed share folder, then the source tree's data/; the
// first that holds it (the source tree's path when none does).
QString dataFile(const QString& name);

// Where plug-in libraries are looked for, in this order: the installation's
// plug-in folder (the build tree's plugins/ when run from there), the user's
// own (installDir()/plugins: $XDG_DATA_HOME/phonavo/plugins), then each folder
// of PHONAVO_PLUGIN_PATH (colon-separated; tests and portable installs).
QStringList pluginDirs();

// Creates the parent folder of a file path when it is missing.
bool ensureParentDir(const QString& filePath);

} // namespace AppPaths
