#include "PluginRegistration.h"

#include "shell/settings/SettingsStore.h"

namespace PluginRegistration {

double versionNumber(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? value : 0.0;
}

QString programInterfaceVersion(const SettingsStore& settings)
{
    return settings.GetSettingHKLM(QString(), QStringLiteral("InterfaceVersion"), QString())
        .toString();
}

bool usable(const QString& progId, const QString& version, const QString& programVersion)
{
    return !progId.startsWith(QLatin1Char('_')) &&
           versionNumber(version) == versionNumber(programVersion);
}

QStringList registeredProgIds(const SettingsStore& settings, const QString& listKey)
{
    QStringList keys = settings.RegEnumKeys(SettingsStore::Hive::CurrentUser,
                                            SettingsStore::rootKey() + QLatin1Char('\\') + listKey);
    if (!keys.isEmpty())
        keys.removeFirst(); // element 0 is always empty
    return keys;
}

QStringList usableProgIds(const SettingsStore& settings, const QString& listKey)
{
    const QString programVersion = programInterfaceVersion(settings);
    QStringList ids;
    for (const QString& progId : registeredProgIds(settings, listKey)) {
        const QString version = settings
                                    .GetSettingHKCU(listKey + QLatin1Char('\\') + progId,
                                                    QStringLiteral("InterfaceVersion"), QString())
                                    .toString();
        if (usable(progId, version, programVersion))
            ids << progId;
    }
    return ids;
}

} // namespace PluginRegistration
