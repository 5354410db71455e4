#pragma once

#include <QString>

class FormWindow;
class SettingsStore;

// Saving and restoring a window's position and state below the user's
// settings key (values Left, Top, Width, Height, WindowState, Visible).
class FormPosition
{
public:
    static constexpr int MinWidth = 1500; // twips
    static constexpr int MinHeight = 1000;

    // keyName empty: the window's objectName. Values missing keep the
    // window's current ones. The window ends up with its frame's top-left
    // corner on the work area of its screen.
    static void RestoreFormPos(SettingsStore& store, FormWindow& window, const QString& keyName,
                               bool withSize);
    // Position and size only for a normal window, so a minimized or
    // maximized one keeps its last normal geometry in the settings.
    static void SaveFormPos(SettingsStore& store, FormWindow& window, const QString& keyName);
};
