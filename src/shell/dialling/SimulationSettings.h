#pragma once

#include <QString>

class SettingsStore;

// The simulation dialog's last choices (per-user sub-key Simulate). Device is
// a line device's name or a connection plug-in's name.
struct SimulationSettings
{
    bool incoming = true;
    QString callerId;
    QString calledId;
    QString device;

    static SimulationSettings load(const SettingsStore& settings);
    void save(SettingsStore& settings) const;
};
