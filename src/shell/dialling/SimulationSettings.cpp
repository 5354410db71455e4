#include "SimulationSettings.h"

#include "shell/settings/SettingsStore.h"

namespace {
const QString kKey = QStringLiteral("Simulate");
}

SimulationSettings SimulationSettings::load(const SettingsStore& settings)
{
    const auto value = [&](const char* name, const QString& fallback) {
        return settings.GetSettingHKCU(kKey, QString::fromLatin1(name), fallback).toString();
    };
    SimulationSettings s;
    s.incoming = SettingToBool(value("Incoming", QStringLiteral("1")));
    s.callerId = value("CallerID", QString());
    s.calledId = value("CalledID", QString());
    s.device = value("Device", QString());
    return s;
}

void SimulationSettings::save(SettingsStore& settings) const
{
    settings.SaveSettingHKCU(kKey, QStringLiteral("CallerID"), callerId);
    settings.SaveSettingHKCU(kKey, QStringLiteral("CalledID"), calledId);
    settings.SaveSettingHKCU(kKey, QStringLiteral("Incoming"),
                             incoming ? QStringLiteral("1") : QStringLiteral("0"));
    settings.SaveSettingHKCU(kKey, QStringLiteral("Device"), device);
}
