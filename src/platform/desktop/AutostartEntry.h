#pragma once

#include <QString>

// "Start with the desktop": an XDG autostart entry that runs the program with
// /autostart when the user logs in. The file is the setting: it exists or not,
// so removing it by hand (or with the desktop's own tools) is seen at once.
// An entry marked Hidden by the user's desktop counts as off.
namespace AutostartEntry {

// $XDG_CONFIG_HOME/autostart/net.phonavo.Phonavo.desktop
QString path();
bool isEnabled();
// Writes the entry for `program` (with PHONAVO_HOME when that is set, so a
// portable installation starts as itself); the system's reason on failure.
QString enable(const QString& program);
// Removes the entry; the reason when it stays.
QString disable();
// The Exec value of a desktop entry running `program` with `args`, quoted as
// the desktop entry format asks.
QString execLine(const QString& program, const QStringList& args);

} // namespace AutostartEntry
