#include "PluginCall.h"

#include "core/controller/MainForm.h"

#include <exception>

bool guardedPluginCall(MainForm& form, const QString& progId, const char* operation,
                       const std::function<void()>& call)
{
    try {
        call();
        return true;
    } catch (const std::exception& e) {
        form.LogStr(QStringLiteral("%1.%2: %3")
                        .arg(progId, QLatin1String(operation), QString::fromLocal8Bit(e.what())));
    } catch (...) {
        form.LogStr(QStringLiteral("%1.%2: unknown error").arg(progId, QLatin1String(operation)));
    }
    return false;
}
