#pragma once

#include <QString>

#include <functional>

class MainForm;

// Every call into a plug-in goes through here: what the plug-in throws is
// logged as "<ProgID>.<operation>: <what>" and the program goes on. Returns
// whether the call ran to its end.
bool guardedPluginCall(MainForm& form, const QString& progId, const char* operation,
                       const std::function<void()>& call);
