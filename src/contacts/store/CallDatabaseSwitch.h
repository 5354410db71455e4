#pragma once

#include <QString>

#include <functional>

class CallDatabase;
class SettingsStore;

// Which database the one call-database connection is open on: the opening at
// start-up with its fall-back to the embedded default, the reopening after
// standby, and the user's switch to another database (mnuSetCallDB). The
// chosen connection is kept as Options\CallsConnection of the user hive.
class CallDatabaseSwitch
{
public:
    struct Hooks
    {
        std::function<void(const QString&)> log;         // LogStr
        std::function<void(const QString&)> reportError; // RaiseError
        // GetS with one parameter; untranslated when empty.
        std::function<QString(const QString& text, const QString& param)> translate;
    };
    // Shows the current connection string for editing; returns it unchanged on cancel.
    using Prompt = std::function<QString(const QString& current)>;

    enum class SwitchResult
    {
        Unchanged, // the user kept the current connection
        Switched,  // the new connection is open and stored
        Refused    // the new connection failed; the previous or default one is back
    };

    CallDatabaseSwitch(CallDatabase& database, SettingsStore& settings, Hooks hooks);

    // Options\CallsConnection, then the default database; a fresh installation
    // first gets its default database made from the shipped schema.
    bool openAtStartUp();
    // After standby: the stored connection, or the default one.
    bool reopen();
    SwitchResult mnuSetCallDB(const Prompt& prompt);

    // The install folder (machine-wide InstallDir, else the program's), ending in '/'.
    QString installDir() const;
    QString defaultConnectionString() const;
    QString storedConnectionString() const;
    QString defaultDatabaseFile() const;
    // Where the schema of a fresh default database comes from (tests point it elsewhere).
    void setSchemaFile(const QString& path) { m_schemaFile = path; }

    static QString CallsConnectionKey() { return QStringLiteral("CallsConnection"); }
    // The string with its password hidden, for the log and message boxes.
    static QString masked(const QString& connection);

private:
    void createDefaultDatabaseIfMissing();
    QString storedOrDefault() const;
    QString tr(const QString& text, const QString& param) const;

    CallDatabase& m_db;
    SettingsStore& m_settings;
    Hooks m_hooks;
    QString m_schemaFile;
};
