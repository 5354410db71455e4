#pragma once

// What the server benchmarks share: the clock both processes read, the
// figures, the machine-readable result lines, a filled Calls table and the
// headless program with its server.

#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "loc/LocGuru.h"
#include "platform/LocalTimeZone.h"
#include "platform/SoundPlayer.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "server/connections/PhonavoServer.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include <QDateTime>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <map>
#include <memory>
#include <vector>

namespace bench {

inline const QString kPassword = QStringLiteral("bench");

// CLOCK_MONOTONIC in ns: the server process and the client process read the same clock.
qint64 monoNs();
double percentile(std::vector<double> v, double p); // p in [0, 1]; 0 for no values
double median(std::vector<double> v);
qint64 rssKiB(); // of this process; -1 when /proc cannot tell

// "RESULT <key> <value> <unit>": one figure for scripts/bench, printed next to
// the lines people read.
void result(QTextStream& out, const QString& key, double value, const QString& unit);

// Runs the event loop for ms milliseconds.
void pause(int ms);
// Runs the event loop until the process wrote a line starting with `word`;
// every line read so far.
QStringList readUntil(QProcess& p, const QByteArray& word, int timeoutMs);

// The address of client i: the server keeps one client per address.
QString clientAddress(int i);
QByteArray listenMessage(const QString& name, const QString& stamp);

// Old calls, one a minute: row i (its CallID) is dated first + i minutes.
QDateTime rowDate(const QDateTime& first, int i);
void fillCalls(CallDatabase& db, int from, int to, const QDateTime& first);

// The headless program with a virtual line, a SQLite call store in a
// temporary home and its network server on a free port.
class PhonavoRig
{
public:
    explicit PhonavoRig(QTextStream& out);
    ~PhonavoRig();

    // Starts monitoring and the server; notifier stands between the program
    // and the server (nullptr: the server itself).
    bool start(ClientNotifier* notifier = nullptr);
    quint16 port() const { return server->listeningPort(); }
    VirtualLineProvider& line() { return *hub.findProvider<VirtualLineProvider>(); }
    CallDatabase& database() { return *db; }

private:
    static QString prepareHome(const QTemporaryDir& dir);
    QTextStream& m_out;
    LocalTimeZone m_zone; // as the program pins it (see phonavo_main)

public:
    QTemporaryDir homeDir;
    const QString home;
    SettingsStore settings;
    LocGuru loc;
    ProgramLog log;
    ScriptedDialogs dialogs;
    ErrorReporter errors;
    TelephonyHub hub;
    SilentSoundPlayer sound;
    MainForm form;
    std::unique_ptr<CallDatabase> db;
    std::unique_ptr<SqlCallStore> store;
    std::unique_ptr<PhonavoServer> server;
};

// Rings calls on the rig's line, each answered and ended a little later, and
// notes when each was offered.
struct CallDriver
{
    VirtualLineProvider& line;
    std::map<qint32, qint64> offered; // call id -> monoNs at the offering
    int serial = 0;
    int rung = 0;
    // Off for long runs whose memory is measured: the notes would be counted
    // as the server's.
    bool noteOffers = true;

    // One call: offered now, answered after answerMs, ended after endMs; its id.
    qint32 ring(QObject* context, int answerMs, int endMs);
};

} // namespace bench
