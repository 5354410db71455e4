#include "AutomationObject.h"

#include "Application.h"
#include "AutomationBus.h"
#include "Helper.h"

AutomationObject::AutomationObject(MainForm& form, QDBusConnection bus)
{
    Application& app = Helper::GetApplication();
    app.linkMainForm(&form);
    m_bus = std::make_unique<AutomationBus>(app, std::move(bus));
    m_bus->publish();
}

AutomationObject::~AutomationObject()
{
    m_bus.reset();
    Helper::destroyApplication();
}

void AutomationObject::end()
{
    m_bus->unpublish(true);
    Helper::GetApplication().raiseExit();
}

Application& AutomationObject::application() const
{
    return Helper::GetApplication();
}
