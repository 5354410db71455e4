#include "ShippedPlugins.h"

#include "PluginCatalog.h"
#include "PluginRegistration.h"
#include "plugins/api/PhonavoPlugin.h"
#include "shell/settings/SettingsStore.h"

#include <QFileInfo>

namespace {
bool registered(const SettingsStore& settings, const QString& listKey, const QString& progId)
{
    const QStringList ids = PluginRegistration::registeredProgIds(settings, listKey);
    for (const QString& id : ids)
        if (id.compare(progId, Qt::CaseInsensitive) == 0 ||
            id.compare(QLatin1Char('_') + progId, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool registeredReverse(const SettingsStore& settings, const QString& progId)
{
    const QString root = SettingsStore::rootKey() + QLatin1Char('\\');
    for (const QString& country :
         PluginRegistration::registeredProgIds(settings, PluginRegistration::kReverseKey)) {
        const QStringList values = settings.RegEnumValues(SettingsStore::Hive::CurrentUser,
                                                          root + PluginRegistration::kReverseKey +
                                                              QLatin1Char('\\') + country);
        for (const QString& value : values)
            if (!value.isEmpty() &&
                (value.compare(progId, Qt::CaseInsensitive) == 0 ||
                 value.compare(QLatin1Char('_') + progId, Qt::CaseInsensitive) == 0))
                return true;
    }
    return false;
}
} // namespace

QStringList registerShippedPlugins(SettingsStore& settings, const PluginCatalog& catalog,
                                   const QString& installationPluginDir)
{
    QStringList done;
    const QString dir = QFileInfo(installationPluginDir).absoluteFilePath();
    for (const PluginLibrary& lib : catalog.libraries()) {
        if (QFileInfo(lib.file).absolutePath() != dir || !lib.registerOnInstall)
            continue;
        // A library built for another interface version would only fail to load.
        if (lib.iid != QLatin1String(PHONAVO_REVERSE_PLUGIN_IID) &&
            lib.iid != QLatin1String(PHONAVO_CONNECTION_PLUGIN_IID) &&
            lib.iid != QLatin1String(PHONAVO_NOTIFICATION_PLUGIN_IID))
            continue;
        if (lib.kind == QLatin1String("reverse")) {
            if (registeredReverse(settings, lib.progId))
                continue;
            const QString country =
                lib.country.isEmpty() ? QStringLiteral("International") : lib.country;
            settings.SaveSettingHKCU(PluginRegistration::kReverseKey + QLatin1Char('\\') + country,
                                     lib.progId, lib.name);
            done << lib.progId;
            continue;
        }
        QString listKey;
        if (lib.kind == QLatin1String("connection"))
            listKey = PluginRegistration::kConnectionKey;
        else if (lib.kind == QLatin1String("notification"))
            listKey = PluginRegistration::kNotificationKey;
        else
            continue;
        if (registered(settings, listKey, lib.progId))
            continue;
        const QString key = listKey + QLatin1Char('\\') + lib.progId;
        settings.SaveSettingHKCU(key, QStringLiteral("InterfaceVersion"), lib.interfaceVersion);
        settings.SaveSettingHKCU(key, QStringLiteral("Name"), lib.name);
        settings.SaveSettingHKCU(key, QStringLiteral("Enabled"),
                                 lib.enabledByDefault ? QStringLiteral("1") : QStringLiteral("0"));
        done << lib.progId;
    }
    return done;
}
