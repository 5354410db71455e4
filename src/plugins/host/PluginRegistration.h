#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

// Where plug-ins are registered in the user's settings and which
// registrations are used.
namespace PluginRegistration {

inline const QString kConnectionKey = QStringLiteral("ConnectionPlugins");
inline const QString kNotificationKey = QStringLiteral("NotificationPlugins");
inline const QString kReverseKey = QStringLiteral("ReversePlugins");

// An interface version as a number ("2", "2.0"); an empty or malformed text is 0.
double versionNumber(const QString& text);
// The program's plug-in interface version (machine settings, InterfaceVersion).
QString programInterfaceVersion(const SettingsStore& settings);
// A registration is used when its version has the program's numeric value
// and its ProgID does not begin with "_" (a parked registration).
bool usable(const QString& progId, const QString& version, const QString& programVersion);
// The ProgIDs registered below a key (ConnectionPlugins, ...), in settings order.
QStringList registeredProgIds(const SettingsStore& settings, const QString& listKey);
// Those of them that are used (see usable()).
QStringList usableProgIds(const SettingsStore& settings, const QString& listKey);

} // namespace PluginRegistration
