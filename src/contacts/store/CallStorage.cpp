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
    store.reopenDatabase = [&databaseSwitch](SqlCallStore::Reopen how) {
        // Retries on the store's timer go quietly: the store tells the outage once.
        switch (how) {
        case SqlCallStore::Reopen::AfterLoss:
            return databaseSwitch.reopenAfterLoss();
        case SqlCallStore::Reopen::Same:
            return databaseSwitch.reopenSame(CallDatabaseSwitch::Failures::Quiet);
        case SqlCallStore::Reopen::StoredOrDefault:
            return databaseSwitch.reopen(CallDatabaseSwitch::Failures::Quiet);
        }
        return false;
    };
    return store;
}
