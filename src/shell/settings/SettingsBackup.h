#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

class SettingsStore;

// Backup of all settings as one .reg file (machine-wide keys first, then the
// user's), and the import that restores such a file.
class SettingsBackup
{
public:
    // Returns the number of values written.
    static Result<int> exportAll(const SettingsStore& store, const QString& filePath);

    // Applies a backup (either hive, deletions included) and flushes. Keys
    // outside Software\Morvane\Phonavo are ignored and counted in a note.
    // Returns the number of values imported; on error nothing is applied.
    static Result<int> importFile(SettingsStore& store, const QString& filePath,
                                  QStringList* notes = nullptr);
};
