#include "Helper.h"

#include "Application.h"

#include <memory>

namespace {

std::unique_ptr<Application>& shared()
{
    static std::unique_ptr<Application> instance;
    return instance;
}

} // namespace

Application& Helper::GetApplication()
{
    auto& instance = shared();
    if (!instance)
        instance = std::make_unique<Application>();
    return *instance;
}

bool Helper::hasApplication()
{
    return shared() != nullptr;
}

void Helper::destroyApplication()
{
    shared().reset();
}
