// The round trip of the automation object's ShowIncomingCall over D-Bus: a
// client on a private bus calls it, the call runs through the whole call
// handling (SQLite call history included), and the id comes back. Each call
// is then ended (SetCallDisconnected, not timed) so the active list stays small.
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build-bench bench_dbus
//   build-bench/bench/bench_dbus [calls=2000]
// Needs dbus-daemon (a private one is started and stopped). Lines starting
// with RESULT are for scripts/bench.

#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "platform/SoundPlayer.h"
#include "platform/db/ConnectionString.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "plugins/automation/AutomationBus.h"
#include "plugins/automation/AutomationObject.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1))];
}

// One call from the client, waited for with the event loop running (this
// process also answers it).
QDBusMessage roundTrip(QDBusConnection& client, const QString& method, const QVariantList& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(AutomationBus::kService), QString::fromLatin1(AutomationBus::kPath),
        QString::fromLatin1(AutomationBus::kInterface), method);
    message.setArguments(args);
    QDBusPendingCallWatcher pending(client.asyncCall(message, 5000));
    QEventLoop loop;
    QObject::connect(&pending, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!pending.isFinished())
        loop.exec();
    return pending.reply();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int calls = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--print-address"),
                  QStringLiteral("--nofork")});
    if (!daemon.waitForStarted() || !daemon.waitForReadyRead(5000)) {
        out << "dbus-daemon did not start" << Qt::endl;
        return 1;
    }
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("bench-server"));
    QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("bench-client"));

    QTemporaryDir home;
    qputenv("PHONAVO_HOME", home.path().toLocal8Bit());
    SettingsStore settings(home.filePath(QStringLiteral("user.reg")),
                           home.filePath(QStringLiteral("machine.reg")));
    LocGuru loc;
    ProgramLog log(home.filePath(QStringLiteral("protocol.log")));
    ScriptedDialogs dialogs;
    ErrorReporter errors(log, loc, dialogs);
    TelephonyHub hub([] {
        std::vector<std::unique_ptr<LineProvider>> providers;
        providers.push_back(
            std::make_unique<VirtualLineProvider>(QStringList{QStringLiteral("Bench line")}));
        return providers;
    });
    SilentSoundPlayer sound;
    MainForm form(MainForm::Services{settings, loc, log, dialogs, errors, hub, sound});
    errors.setMainWindowLoaded(true);
    form.setCallIdSource([&hub] { return hub.nextCallId(); });

    const QString dbFile = home.filePath(QStringLiteral("data.db"));
    QString error;
    if (!CallDatabase::createSQLiteDatabase(
            dbFile, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error)) {
        out << "cannot create the call database: " << error << Qt::endl;
        return 1;
    }
    CallDatabase db([&](const QString& e) { out << "database: " << e << Qt::endl; });
    QString connection = ConnectionString::forSQLite(dbFile);
    if (!db.OpenCallDatabase(connection, QString()))
        return 1;
    SqlCallStore store(db, {});
    form.setCallStore(&store);
    form.initTelephony();
    form.loadOptions();
    form.loadMSNs();
    form.setLoaded(true);

    int result = 0;
    {
        AutomationObject automation(form, server);
        if (!automation.bus().published()) {
            out << "the automation object is not on the bus" << Qt::endl;
            return 1;
        }
        std::vector<double> times;
        times.reserve(size_t(calls));
        for (int i = 0; i < calls; ++i) {
            QElapsedTimer t;
            t.start();
            const QDBusMessage reply =
                roundTrip(client, QStringLiteral("ShowIncomingCall"),
                          {QStringLiteral("line"), QStringLiteral("030%1").arg(100000 + i),
                           QString(), QStringLiteral("5551"), QString()});
            times.push_back(double(t.nsecsElapsed()) / 1e6);
            if (reply.type() != QDBusMessage::ReplyMessage) {
                out << "call " << i << " failed: " << reply.errorMessage() << Qt::endl;
                result = 1;
                break;
            }
            roundTrip(client, QStringLiteral("SetCallDisconnected"), {reply.arguments().value(0)});
        }
        out << "ShowIncomingCall over D-Bus, " << times.size() << " calls: p50 "
            << percentile(times, 0.5) << " ms, p90 " << percentile(times, 0.9) << " ms, p99 "
            << percentile(times, 0.99) << " ms, max " << percentile(times, 1.0) << " ms"
            << Qt::endl;
        out << "RESULT dbus.p50 " << percentile(times, 0.5) << " ms" << Qt::endl;
        automation.end();
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("bench-server"));
    QDBusConnection::disconnectFromBus(QStringLiteral("bench-client"));
    daemon.terminate();
    daemon.waitForFinished();
    return result;
}
