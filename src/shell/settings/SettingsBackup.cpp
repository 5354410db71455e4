#include "shell/settings/SettingsBackup.h"

#include "platform/AppPaths.h"
#include "shell/settings/RegFile.h"
#include "shell/settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

struct Step
{
    SettingsStore::Hive hive;
    QString keyPath;
    const RegFile::Section* section;
};

std::optional<SettingsStore::Hive> hiveOf(const QString& sectionPath, QString& keyPath)
{
    for (const auto& [root, hive] :
         {std::pair{QStringLiteral("HKEY_CURRENT_USER"), SettingsStore::Hive::CurrentUser},
          std::pair{QStringLiteral("HKEY_LOCAL_MACHINE"), SettingsStore::Hive::LocalMachine}}) {
        if (const auto rest = RegistryHive::relativePath(root, sectionPath)) {
            keyPath = *rest;
            return hive;
        }
    }
    return std::nullopt;
}

} // namespace

Result<int> SettingsBackup::exportAll(const SettingsStore& store, const QString& filePath)
{
    QList<RegFile::Section> sections =
        store.hive(SettingsStore::Hive::LocalMachine).sections(SettingsStore::rootKey());
    sections += store.hive(SettingsStore::Hive::CurrentUser).sections(SettingsStore::rootKey());
    int count = 0;
    for (const RegFile::Section& section : sections)
        count += static_cast<int>(section.values.size());

    AppPaths::ensureParentDir(filePath);
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return Result<int>::fail(QStringLiteral("The settings could not be saved to %1: %2")
                                     .arg(filePath, file.errorString()));
    file.write(RegFile::write(sections));
    if (!file.commit())
        return Result<int>::fail(QStringLiteral("The settings could not be saved to %1: %2")
                                     .arg(filePath, file.errorString()));
    return Result<int>::ok(count);
}

Result<int> SettingsBackup::importFile(SettingsStore& store, const QString& filePath,
                                       QStringList* notes)
{
    const QFileInfo info(filePath);
    if (!info.exists())
        return Result<int>::fail(QStringLiteral("The file %1 does not exist.").arg(filePath));
    if (info.isDir())
        return Result<int>::fail(
            QStringLiteral("%1 is a folder, not a settings file.").arg(filePath));
    if (info.size() > RegFile::MaxFileSize)
        return Result<int>::fail(QStringLiteral("%1 is not a settings backup: it is larger than "
                                                "%2 MiB.")
                                     .arg(filePath)
                                     .arg(RegFile::MaxFileSize / (1024 * 1024)));
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return Result<int>::fail(
            QStringLiteral("%1 could not be read: %2").arg(filePath, file.errorString()));
    const auto parsed = RegFile::parse(file.read(RegFile::MaxFileSize + 1));
    if (!parsed)
        return Result<int>::fail(
            QStringLiteral("%1 is not a valid settings backup: %2").arg(filePath, parsed.error()));

    // Everything is checked before the first change, so a bad file changes nothing.
    QList<Step> steps;
    int ignored = 0;
    qsizetype newKeysAtMost = 0;
    for (const RegFile::Section& section : parsed.value()) {
        QString keyPath;
        const auto hive = hiveOf(section.path, keyPath);
        if (!hive || !RegistryHive::relativePath(SettingsStore::rootKey(), keyPath)) {
            ++ignored;
            continue;
        }
        steps.append(Step{*hive, keyPath, &section});
        newKeysAtMost += keyPath.count(u'\\') + 1;
    }
    for (const auto hive : {SettingsStore::Hive::CurrentUser, SettingsStore::Hive::LocalMachine}) {
        if (store.hive(hive).keyCount() + newKeysAtMost > RegistryHive::MaxKeys)
            return Result<int>::fail(
                QStringLiteral("%1 is not a valid settings backup: it has too many keys.")
                    .arg(filePath));
    }

    int imported = 0;
    for (const Step& step : steps) {
        if (step.section->deleted) {
            store.deleteKeyTree(step.hive, step.keyPath);
            continue;
        }
        store.createKey(step.hive, step.keyPath);
        for (const RegFile::Value& value : step.section->values) {
            if (value.deleted)
                store.deleteValue(step.hive, step.keyPath, value.name);
            else if (store.setRawValue(step.hive, step.keyPath, value.name, value.value))
                ++imported;
        }
    }
    if (ignored > 0 && notes)
        notes->append(QStringLiteral("%1 key section(s) outside %2 were ignored.")
                          .arg(ignored)
                          .arg(SettingsStore::rootKey()));
    if (!store.flush())
        return Result<int>::fail(QStringLiteral("The settings from %1 were imported but could "
                                                "not be written to disk.")
                                     .arg(filePath));
    return Result<int>::ok(imported);
}
