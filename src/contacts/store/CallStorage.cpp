#include "CallStorage.h"

CallStorage::CallStorage(SettingsStore& settings, Hooks hooks)
    : m_db(hooks.reportError),
      m_switch(m_db, settings,
               CallDatabaseSwitch::Hooks{hooks.log, hooks.reportError, hooks.translate}),
      m_store(m_db, storeHooks(hooks, m_switch))
{}

SqlCallStore::Hooks CallStorage::storeHooks(const Hooks& hooks, CallDatabaseSwitch& databaseSwitch)
{
    SqlCallStore::Hooks store = hooks.store;
    store.log = hooks.log;
    store.reportError = hooks.reportError;
    store.translate = hooks.translate;
    store.reopenDatabase = [&databaseSwitch](bool replaced) {
        return replaced ? databaseSwitch.reopenAfterLoss() : databaseSwitch.reopenSame();
    };
    return store;
}
