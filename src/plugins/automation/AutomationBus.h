#pragma once

#include <QDBusConnection>
#include <QPointer>

class Application;
class BusCallContext;

// Publishes the automation object on a D-Bus connection (the session bus in
// the program) as service net.phonavo.Phonavo, object /Application. A bus that
// is missing or a name that another program holds is logged once; the
// program runs on without it.
class AutomationBus
{
public:
    static constexpr const char* kService = "net.phonavo.Phonavo";
    static constexpr const char* kPath = "/Application";
    static constexpr const char* kInterface = "net.phonavo.Application";

    AutomationBus(Application& application, QDBusConnection connection);
    ~AutomationBus();
    AutomationBus(const AutomationBus&) = delete;
    AutomationBus& operator=(const AutomationBus&) = delete;

    bool publish();
    // With sayExit, clients hear evtExit as the object leaves the bus.
    void unpublish(bool sayExit = false);
    bool published() const { return m_published; }

private:
    void log(const QString& text);

    Application& m_app;
    QDBusConnection m_connection;
    QPointer<BusCallContext> m_exported; // carries the adaptor
    bool m_published = false;
};
