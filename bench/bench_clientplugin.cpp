// The delay from a call rung on a server's virtual line to the server-
// connection plug-in's evtIncomingCall, with the server and the plug-in in one
// process talking over loopback.
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build-bench bench_clientplugin phonavo_serverconnection
//   build-bench/bench/bench_clientplugin [calls=500]
// The plug-in is loaded from PHONAVO_PLUGIN_PATH or <build>/plugins. Goal: p50
// under 5 ms. Lines starting with RESULT are for scripts/bench.

#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "loc/LocGuru.h"
#include "platform/SoundPlayer.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "plugins/api/PhonavoPlugin.h"
#include "server/connections/PhonavoServer.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/Program.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

const QString kPassword = QStringLiteral("bench");

class BenchContext : public phonavo::PluginContext
{
public:
    QHash<QString, QString> values;
    QString progId() const override
    {
        return QStringLiteral("PhonavoConnectionTapiServer.Connection");
    }
    QString setting(const QString& name, const QString& fallback) const override
    {
        return values.value(name, fallback);
    }
    void saveSetting(const QString& name, const QString& value) override { values[name] = value; }
    QString scramble(const QString& plain) const override { return ScrambleSetting(plain); }
    QString unscramble(const QString& stored) const override { return UnscrambleSetting(stored); }
    void log(const QString&) override {}
    QString translate(const QString& text, const QStringList&) const override { return text; }
    bool headless() const override { return true; }
    bool activeCall(qint32, phonavo::CallInfo&) const override { return false; }
    bool storedCall(qint32, phonavo::CallInfo&) const override { return false; }
    bool startCall(const QString&) override { return false; }
    void chooseAction(qint32, const QString&) override {}
};

// Notes when each call reached the plug-in's host side.
class TimedEvents : public phonavo::ConnectionEvents
{
public:
    QElapsedTimer clock;
    std::vector<qint64> arrivals; // ns since the clock started
    bool connected = false;
    qint32 next = 5000;

    qint32 evtIncomingCall(const QString&, const QString&, const QString&, const QString&,
                           const QString&, const QString&, const QString&) override
    {
        arrivals.push_back(clock.nsecsElapsed());
        return next++;
    }
    qint32 evtOutgoingCall(const QString&, const QString&, const QString&, const QString&,
                           const QString&, const QString&, const QString&, const QString&) override
    {
        return next++;
    }
    void evtCallAnswered(qint32) override {}
    void evtCallDisconnected(qint32) override {}
    void evtConnected(const QString&) override { connected = true; }
    void evtDisconnected(const QString&) override { connected = false; }
};

template <typename Pred> bool runUntil(Pred done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return done();
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1))];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int calls = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 500;

    QTemporaryDir home;
    qputenv("PHONAVO_HOME", home.path().toLocal8Bit());
    SettingsStore settings(home.filePath(QStringLiteral("user.reg")),
                           home.filePath(QStringLiteral("machine.reg")));
    settings.SaveSettingHKLM(QString(), QStringLiteral("InstalledVersion"), Program::versionText());
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
    form.initTelephony();
    form.loadOptions();
    form.options().setValue(QStringLiteral("cbPhonavoServer"), true);
    form.options().setValue(QStringLiteral("txtPassword"), kPassword);
    form.options().setValue(QStringLiteral("txtPort"), QStringLiteral("0"));
    form.options().setValue(QStringLiteral("cbPopup"), false);
    form.loadMSNs();
    form.setLoaded(true);
    PhonavoServer server(form);
    form.setClientNotifier(&server);
    form.setDeviceMonitored(0, true);
    if (!form.startMonitoring() || !server.isListening()) {
        out << "the server did not start" << Qt::endl;
        return 1;
    }

    QString dir = qEnvironmentVariable("PHONAVO_PLUGIN_PATH").split(QLatin1Char(':')).value(0);
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../plugins");
    QPluginLoader loader(QDir(dir).filePath(QStringLiteral("phonavo_serverconnection.so")));
    auto* plugin = qobject_cast<phonavo::ConnectionPlugin*>(loader.instance());
    if (!plugin) {
        out << "cannot load the plug-in: " << loader.errorString() << Qt::endl;
        return 1;
    }
    BenchContext context;
    context.values = {{QStringLiteral("server"), QStringLiteral("127.0.0.1")},
                      {QStringLiteral("port"), QString::number(server.listeningPort())},
                      {QStringLiteral("password"), ScrambleSetting(kPassword)}};
    TimedEvents events;
    events.clock.start();
    plugin->SetContext(&context);
    plugin->Init(&events);
    if (!plugin->Connect() || !runUntil([&] { return events.connected; }, 10'000)) {
        out << "the plug-in did not log in" << Qt::endl;
        return 1;
    }

    VirtualLineProvider& line = *hub.findProvider<VirtualLineProvider>();
    std::vector<double> delaysMs;
    for (int i = 0; i < calls; ++i) {
        const size_t before = events.arrivals.size();
        const qint64 rung = events.clock.nsecsElapsed();
        const auto id = line.ring(0, QStringLiteral("0301%1").arg(i, 7, 10, QLatin1Char('0')),
                                  QStringLiteral("5551"));
        if (!id || !runUntil([&] { return events.arrivals.size() > before; }, 5000)) {
            out << "call " << i << " did not arrive" << Qt::endl;
            return 1;
        }
        delaysMs.push_back(double(events.arrivals.back() - rung) / 1e6);
        line.hangup(id.value());
        runUntil([&] { return !hub.hasPendingNotifications(); }, 1000);
    }
    out << calls << " calls from the ring to evtIncomingCall: p50 " << percentile(delaysMs, 0.5)
        << " ms, p90 " << percentile(delaysMs, 0.9) << " ms, p99 " << percentile(delaysMs, 0.99)
        << " ms, max " << percentile(delaysMs, 1.0) << " ms" << Qt::endl;
    out << "RESULT clientplugin.p50 " << percentile(delaysMs, 0.5) << " ms" << Qt::endl;
    plugin->Disconnect();
    form.setClientNotifier(nullptr);
    return 0;
}
