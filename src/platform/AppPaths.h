#pragma once

#include <QString>

// Where the program keeps its files. With PHONAVO_HOME set, everything lives in
// that one folder (portable installs, tests); otherwise the XDG locations:
//   user hive      $XDG_CONFIG_HOME/phonavo/user.reg
//   machine hive   $XDG_DATA_HOME/phonavo/machine.reg
//   install folder $XDG_DATA_HOME/phonavo/          (data.db, ...)
//   program log    $XDG_STATE_HOME/phonavo/protocol.log
//   control socket $XDG_RUNTIME_DIR/phonavo/control (falls back to the temp folder)
namespace AppPaths {

QString homeOverride(); // PHONAVO_HOME, or empty
QString userHivePath();
QString machineHivePath();
QString logFilePath();
QString installDir(); // always ends with '/'
QString runtimeDir();
QString controlSocketPath();
QString singleInstanceLockPath(const QString& mutexName);
// Read-only files shipped with the program (sounds, schemas, language data):
// the installed share folder, or the source tree's data/ in a build tree.
QString dataDir();
// A shipped file made at build time (langdata.db): the build tree's data
// folder, then the installed share folder, then the source tree's data/; the
// first that holds it (the source tree's path when none does).
QString dataFile(const QString& name);

// Creates the parent folder of a file path when it is missing.
bool ensureParentDir(const QString& filePath);

} // namespace AppPaths
