#pragma once

#include <QStringList>

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
namespace LineSourceSettings {

constexpr int kMaxVirtualLines = 20;

QStringList virtualLineNames(const SettingsStore& settings);
std::vector<std::unique_ptr<LineProvider>> createProviders(const SettingsStore& settings);

} // namespace LineSourceSettings
