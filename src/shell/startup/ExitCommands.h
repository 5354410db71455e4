#pragma once

#include <QObject>

#include <functional>

class MainForm;
class MainWindowView;

// What the close button, Hide and Exit do. The close button only hides the
// window: a caller-ID program must keep running in the tray. Exit asks first
// while calls are being monitored, unless the user asked not to be asked.
class ExitCommands : public QObject
{
    Q_OBJECT
public:
    // closeApplication unloads everything and ends the process.
    ExitCommands(MainForm& form, std::function<void()> closeApplication, QObject* parent = nullptr);

    void setView(MainWindowView* view) { m_view = view; }

    // The window's close button; returns false: the window is not closed.
    bool closeButton();
    void mnuHide();
    void mnuTrayShow();
    // mnuExit and mnuTrayExit; true when the program is closing.
    bool mnuTrayExit();
    bool mnuExit() { return mnuTrayExit(); }

private:
    void saveAndClose();

    MainForm& m_form;
    std::function<void()> m_closeApplication;
    MainWindowView* m_view = nullptr;
};
