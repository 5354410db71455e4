// How long a caller waits for the popup: from the line reporting a new call to
// the popup window shown, through the monitor and the whole call handling.
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build bench_popup && QT_QPA_PLATFORM=offscreen build/bench/bench_popup [calls]
// With transparency the popup is shown invisible and then fades in (240 ms by
// design); the figure is the time until it is shown. Goal: under 50 ms.
// Lines starting with RESULT are for scripts/bench.

#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "loc/LocGuru.h"
#include "notify/ui/CallPopupWindow.h"
#include "platform/SoundPlayer.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1))];
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("PHONAVO_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int calls = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 50;

    SettingsStore settings(home.filePath(QStringLiteral("user.reg")),
                           home.filePath(QStringLiteral("machine.reg")));
    LocGuru loc;
    ProgramLog log(home.filePath(QStringLiteral("protocol.log")));
    ScriptedDialogs dialogs;
    ErrorReporter errors(log, loc, dialogs);
    errors.setMainWindowLoaded(true);
    SilentSoundPlayer sound;
    TelephonyHub hub([] {
        std::vector<std::unique_ptr<LineProvider>> providers;
        providers.push_back(
            std::make_unique<VirtualLineProvider>(QStringList{QStringLiteral("Bench line")}));
        return providers;
    });
    MainForm form(MainForm::Services{settings, loc, log, dialogs, errors, hub, sound});
    CallPopupContext context;
    context.form = &form;
    CallPopupWindows popups(context);
    form.setPopupFactory(&popups);
    form.initTelephony();
    form.loadOptions();
    form.setLoaded(true);
    form.setDeviceMonitored(0, true);
    if (!form.startMonitoring()) {
        out << "the virtual line could not be monitored\n";
        return 1;
    }
    auto* line = hub.findProvider<VirtualLineProvider>();
    // As the main window does once the start is over.
    popups.prepareSpare();
    QCoreApplication::processEvents();

    for (const int transparency : {0, 20}) {
        form.options().setValue(QStringLiteral("slTransparency"), transparency);
        std::vector<double> ms;
        for (int i = 0; i < calls; ++i) {
            QElapsedTimer timer;
            timer.start();
            const auto call = line->ring(0, QStringLiteral("030%1%2").arg(transparency).arg(i),
                                         QStringLiteral("4711"), QStringLiteral("Bench Caller"));
            while (popups.openPopups().isEmpty() && timer.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (call)
                line->hangup(call.value());
            for (CallPopupWindow* popup : popups.openPopups())
                delete popup;
            QCoreApplication::processEvents();
        }
        // The very first popup of a run also loads fonts and styles.
        out << QStringLiteral("transparency %1%: %2 calls, line report to popup shown: first "
                              "%6 ms, median %3 ms, p95 %4 ms, max %5 ms\n")
                   .arg(transparency)
                   .arg(calls)
                   .arg(percentile(ms, 0.5), 0, 'f', 2)
                   .arg(percentile(ms, 0.95), 0, 'f', 2)
                   .arg(percentile(ms, 1.0), 0, 'f', 2)
                   .arg(ms.front(), 0, 'f', 2);
        out << "RESULT popup.shown.t" << transparency << ".p50 " << percentile(ms, 0.5) << " ms\n";
        out << "RESULT popup.shown.t" << transparency << ".first " << ms.front() << " ms\n";
    }
    form.setPopupFactory(nullptr);
    return 0;
}
