#include "LineSourceSettings.h"

#include "platform/telephony/VirtualLineProvider.h"
#include "shell/settings/SettingsStore.h"

namespace LineSourceSettings {

QStringList virtualLineNames(const SettingsStore& settings)
{
    const QString key = QStringLiteral("Options\\VirtualLines");
    const int count = qBound(0, settings.getInt(SettingsStore::Hive::CurrentUser, key,
                                                 QStringLiteral("Count"), 2),
                             kMaxVirtualLines);
    QStringList names;
    for (int i = 1; i <= count; ++i) {
        QString name = settings
                           .getString(SettingsStore::Hive::CurrentUser, key,
                                      QStringLiteral("Line%1").arg(i), QString())
                           .trimmed();
        if (name.isEmpty() || names.contains(name))
            name = QStringLiteral("Virtual line %1").arg(i);
        names << name;
    }
    return names;
}

std::vector<std::unique_ptr<LineProvider>> createProviders(const SettingsStore& settings)
{
    std::vector<std::unique_ptr<LineProvider>> providers;
    providers.push_back(std::make_unique<VirtualLineProvider>(virtualLineNames(settings)));
    return providers;
}

} // namespace LineSourceSettings
