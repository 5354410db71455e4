#pragma once

#include "CallDatabase.h"
#include "CallDatabaseSwitch.h"
#include "SqlCallStore.h"

class SettingsStore;

// The call history as the program runs it: the one call database, the switch
// that decides which database it is open on, and the store that writes calls
// into it, wired together (the store opens the database again through the
// switch when its file or connection was lost, or none is open).
class CallStorage
{
public:
    struct Hooks
    {
        std::function<void(const QString&)> log;                              // LogStr
        std::function<void(const QString&)> reportError;                      // RaiseError
        std::function<QString(const QString&, const QStringList&)> translate; // GetS
        SqlCallStore::Hooks store; // the store's own hooks; its log, errors and texts are set here
    };

    CallStorage(SettingsStore& settings, Hooks hooks);

    CallDatabase& database() { return m_db; }
    CallDatabaseSwitch& databaseSwitch() { return m_switch; }
    SqlCallStore& store() { return m_store; }

private:
    static SqlCallStore::Hooks storeHooks(const Hooks& hooks, CallDatabaseSwitch& databaseSwitch);

    CallDatabase m_db;
    CallDatabaseSwitch m_switch;
    SqlCallStore m_store;
};
