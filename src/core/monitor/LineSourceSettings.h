#pragma once

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class LineProvider;
class SettingsStore;

// Reads which line sources the user configured and builds their providers.
// Virtual lines always come first, so their device numbers stay stable.
//
//   HKCU Software\Morvane\Phonavo\Options\VirtualLines
//     Count  number of virtual lines (default 2, 0 to 20)
//     Line1, Line2, ...  their names (default "Virtual line N")
//   HKCU ...\Options\LineSources\Routers\<any name>     one per router call monitor
//     Label, Host, Port (1012), Enabled ("1"), ReconnectMinMs, ReconnectMaxMs, ReadTimeoutMs
//   HKCU ...\Options\LineSources\Asterisk\<any name>    one per PBX (Manager Interface)
//     Label, Host, Port (5038), User, SecretText (plain; wins) or Secret (scrambled), Extensions
//     ("PJSIP/100;PJSIP/101"), OriginateContext ("from-internal"), Enabled ("1"), ReconnectMinMs,
//     ReconnectMaxMs
namespace LineSourceSettings {

using Logger = std::function<void(const QString&)>;

constexpr int kMaxVirtualLines = 20;

QStringList virtualLineNames(const SettingsStore& settings);
std::vector<std::unique_ptr<LineProvider>> createProviders(const SettingsStore& settings,
                                                           const Logger& logger = {});

} // namespace LineSourceSettings
