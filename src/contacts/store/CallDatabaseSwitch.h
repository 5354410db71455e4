#pragma once

#include "platform/FileIdentity.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class CallDatabase;
class SettingsStore;

// Which database the one call-database connection is open on: the opening at
// start-up with its fall-back to the embedded default, the reopening after
// standby or after the open file was lost, and the user's switch to another
// database (mnuSetCallDB). The chosen connection is kept as
// Options\CallsConnection of the user hive. The embedded default is made when
// missing (never in a folder other than the one it was opened in), gets its
// table when it has none, and, when it is not a database, is moved aside and
// made anew; a damaged one stays for repair. A database the user chose is never
// touched.
class CallDatabaseSwitch
{
public:
    struct Hooks
    {
        std::function<void(const QString&)> log;         // LogStr
        std::function<void(const QString&)> reportError; // RaiseError
        // GetS with its parameters; the text with its %s filled in when empty.
        std::function<QString(const QString& text, const QStringList& params)> translate;
    };
    // Shows the current connection string for editing; returns it unchanged on cancel.
    using Prompt = std::function<QString(const QString& current)>;

    enum class SwitchResult
    {
        Unchanged, // the user kept the current connection
        Switched,  // the new connection is open and stored
        Refused    // the new connection failed; the previous or default one is back
    };
    // Whether a failed opening is reported; retries on a timer go quietly,
    // their caller tells the outage once.
    enum class Failures
    {
        Tell,
        Quiet
    };

    CallDatabaseSwitch(CallDatabase& database, SettingsStore& settings, Hooks hooks);

    // Options\CallsConnection, then the default database; a fresh installation
    // first gets its default database made from the shipped schema.
    bool openAtStartUp();
    // After standby: the stored connection, or the default one.
    bool reopen(Failures failures = Failures::Tell);
    // The connection that is (or was last) open, opened again: a file that can
    // be written again, a server connection that was lost.
    bool reopenSame(Failures failures = Failures::Tell);
    // The open database's file was deleted, replaced or is no database any
    // more: the same connection is opened again (the default one is made anew),
    // else the default, and the log says where calls go then.
    bool reopenAfterLoss();
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
    bool open(QString& connection);
    bool isEmbeddedDefault(const QString& connection) const;
    // Makes the default database when it is missing; false when that failed.
    bool prepareDefaultDatabase();
    bool createDefaultDatabase(const QString& file);
    // Gives a default database without any table (an empty file) the call
    // history table; true when it did.
    bool giveTableToEmptyDefault(const QString& file);
    // Moves the broken default aside and makes a new one; the text to tell, or
    // empty when that failed (and was told).
    QString replaceBrokenDefault(const QString& reason);
    void warnIfNotWritable();
    QString storedOrDefault() const;
    QString GetS(const QString& text, const QStringList& params) const;
    // A failure: reported, or left out while retrying quietly.
    void tell(const QString& text) const;
    void logUnlessQuiet(const QString& text) const;

    CallDatabase& m_db;
    SettingsStore& m_settings;
    Hooks m_hooks;
    QString m_schemaFile;
    QString m_toldNotWritable; // the connection the user was told can only be read
    Failures m_failures = Failures::Tell;
    // The default database's folder when it was last opened: a share that is
    // not mounted leaves an empty folder of another identity under that name.
    std::optional<FileIdentity> m_defaultFolder;
};
