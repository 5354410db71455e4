#pragma once

#include <QDBusConnection>

#include <memory>

class Application;
class AutomationBus;
class MainForm;

// The automation object for the program's run: linked to the controller and
// published on the bus when loading starts, told of the end first when the
// program unloads, and gone with the program (the next run in the same
// process, such as a test's, gets a fresh one).
class AutomationObject
{
public:
    AutomationObject(MainForm& form, QDBusConnection bus);
    ~AutomationObject();
    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;

    // evtExit, then off the bus; no event follows.
    void end();

    Application& application() const;
    AutomationBus& bus() const { return *m_bus; }

private:
    std::unique_ptr<AutomationBus> m_bus;
};
