#pragma once

class MainForm;

// The main window as start-up, the exit commands and standby see it. The
// desktop program implements it with widgets; the headless program has none,
// and every step that would touch a window is then skipped.
class MainWindowView
{
public:
    virtual ~MainWindowView() = default;

    // Translation of the window, the language menu tick, the debug-only menu
    // entry and the grid captions.
    virtual void translate() = 0;
    // Default size, then the remembered position and state.
    virtual void restorePosition() = 0;
    virtual void showTrayIcon(bool show) = 0;
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
    virtual bool windowVisible() const = 0;
    // Saves the window's position before the program ends.
    virtual void saveWindowState() = 0;
};
