#pragma once

#include <QStringList>

class PluginCatalog;
class SettingsStore;

// Makes the plug-ins that come with the installation show up in the lists at
// once: each one that is not registered yet (nor parked as "_" + ProgID) gets
// its registration, as an installer would write it. Returns the ProgIDs it
// registered. Libraries whose metadata says "RegisterOnInstall": false (the
// example) are left alone.
QStringList registerShippedPlugins(SettingsStore& settings, const PluginCatalog& catalog,
                                   const QString& installationPluginDir);
