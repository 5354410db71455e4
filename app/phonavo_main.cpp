// phonavo: the caller-identification program.
//   phonavo                         desktop program (falls back to headless without a display)
//   phonavo --headless              the same core without windows, for a home server
//   phonavo --import-settings FILE  restores a settings backup (.reg) and exits
//   phonavo --import-settings FILE --ask   the same after a question (double-click on a backup)

#include "loc/Languages.h"
#include "loc/LocGuru.h"
#include "notify/ui/MainWindow.h"
#include "platform/AppPaths.h"
#include "platform/LocalTimeZone.h"
#include "platform/UnixSignalWatcher.h"
#include "platform/ui/QtSoundPlayer.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsBackup.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/Program.h"
#include "shell/ui/GuiDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>

namespace {

int importSettings(const QString& file)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    SettingsStore store(AppPaths::userHivePath(), AppPaths::machineHivePath());
    const auto result = SettingsBackup::importFile(store, file);
    if (!result) {
        err << "phonavo: settings not imported: " << result.error() << '\n';
        return 1;
    }
    if (!store.flush()) {
        err << "phonavo: the settings could not be written to " << store.userHivePath() << '\n';
        return 1;
    }
    out << "Imported " << result.value() << " settings from " << file << '\n';
    return 0;
}

// A backup opened from the file manager: the user confirms before anything
// is overwritten, and sees how it went.
int importSettingsAsking(int argc, char* argv[], const QString& file)
{
    QApplication app(argc, argv);
    SettingsStore store(AppPaths::userHivePath(), AppPaths::machineHivePath());
    // The questions speak the language the user chose for Phonavo.
    LocGuru loc;
    loc.setsLanguageTableName(Languages::kTableName);
    ScriptedDialogs quiet;
    Languages(loc, store, quiet).OpenAtStartUp([](const QString&) {});
    const auto answer = QMessageBox::question(
        nullptr, QStringLiteral("Phonavo"),
        loc.GetS(QStringLiteral("Restore the Phonavo settings from{\\r}%s?{\\r}{\\r}The settings "
                                "they contain replace the current ones. Restart Phonavo "
                                "afterwards."),
                 file)
            .replace(QLatin1Char('\r'), QLatin1Char('\n')));
    if (answer != QMessageBox::Yes)
        return 0;
    const auto result = SettingsBackup::importFile(store, file);
    if (!result || !store.flush()) {
        QMessageBox::critical(nullptr, QStringLiteral("Phonavo"),
                              loc.GetS(QStringLiteral("The settings were not restored: %s"),
                                       result ? store.userHivePath() : result.error()));
        return 1;
    }
    QMessageBox::information(
        nullptr, QStringLiteral("Phonavo"),
        loc.GetS(QStringLiteral("%s settings restored."), QString::number(result.value())));
    return 0;
}

int runHeadless(int argc, char* argv[], const QStringList& arguments)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Phonavo"));
    LocalTimeZone zone;
    zone.pin();
    Program::FrontEnd frontEnd;
    frontEnd.headless = true;
    frontEnd.arguments = arguments;
    Program program(frontEnd);
    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &app, [&](int) {
        program.shutdown();
        app.quit();
    });
    QObject::connect(&program, &Program::quitRequested, &app, [&](int code) {
        program.shutdown();
        app.exit(code);
    });
    if (const int code = program.start(); code != 0)
        return code;
    return app.exec();
}

bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int runDesktop(int argc, char* argv[], const QStringList& arguments)
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Phonavo"));
    // Closing the main window only hides it; Exit ends the program.
    app.setQuitOnLastWindowClosed(false);
    LocalTimeZone zone;
    zone.pin();
    GuiDialogs dialogs;
    QtSoundPlayer sound;
    Program::FrontEnd frontEnd;
    frontEnd.headless = false;
    frontEnd.arguments = arguments;
    frontEnd.dialogs = &dialogs;
    frontEnd.sound = &sound;
    frontEnd.createView = [&dialogs](Program& program) -> std::unique_ptr<MainWindowView> {
        auto window = std::make_unique<MainWindow>(program);
        dialogs.setMainWindow(window.get());
        return window;
    };
    Program program(frontEnd);
    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &program,
                     [&program](int) { program.gCloseApplication(); });
    QObject::connect(&program, &Program::quitRequested, &app, [&](int code) {
        if (auto* window = dynamic_cast<MainWindow*>(program.view()))
            window->setUnloading(true);
        dialogs.setMainWindow(nullptr);
        app.exit(code);
    });
    if (const int code = program.start(); code != 0)
        return code;
    return app.exec();
}

// The first argument that is no option of the program's (nor one of Qt's
// window-system options, which QApplication takes), or empty.
QString unknownOption(const QStringList& arguments)
{
    static const QStringList known = {
        QStringLiteral("--headless"),        QStringLiteral("--log-stdout"),
        QStringLiteral("--import-settings"), QStringLiteral("--ask"),
        QStringLiteral("/autostart"),        QStringLiteral("-ignoreoutlook")};
    static const QStringList qtWithValue = {QStringLiteral("-platform"), QStringLiteral("-style"),
                                            QStringLiteral("-display"),
                                            QStringLiteral("-qwindowgeometry")};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (known.contains(a, Qt::CaseInsensitive))
            continue;
        if (a == QLatin1String("--import-settings") || qtWithValue.contains(a)) {
            ++i; // its value
            continue;
        }
        if (i > 0 && arguments.at(i - 1) == QLatin1String("--import-settings"))
            continue;
        return a;
    }
    return QString();
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << "usage: phonavo [--headless [--log-stdout]] [/autostart] "
                               "[-ignoreoutlook]\n"
                               "       phonavo --import-settings FILE [--ask]\n"
                               "       phonavo --version\n";
        return 0;
    }
    if (arguments.contains(QLatin1String("--version"))) {
        QTextStream(stdout) << "phonavo " << Program::versionText() << '\n';
        return 0;
    }
    if (const QString unknown = unknownOption(arguments); !unknown.isEmpty()) {
        QTextStream(stderr) << "phonavo: unknown option '" << unknown
                            << "'\nTry 'phonavo --help' for the options.\n";
        return 2;
    }
    const int importAt = int(arguments.indexOf(QLatin1String("--import-settings")));
    if (importAt >= 0) {
        if (importAt + 1 >= arguments.size()) {
            QTextStream(stderr) << "phonavo: --import-settings needs a file\n";
            return 2;
        }
        if (arguments.contains(QLatin1String("--ask")) && displayAvailable())
            return importSettingsAsking(argc, argv, arguments.at(importAt + 1));
        QCoreApplication app(argc, argv);
        return importSettings(arguments.at(importAt + 1));
    }
    if (arguments.contains(QLatin1String("--headless")))
        return runHeadless(argc, argv, arguments);
    if (!displayAvailable()) {
        QTextStream(stderr) << "phonavo: no display found; running without windows\n";
        return runHeadless(argc, argv, arguments);
    }
    return runDesktop(argc, argv, arguments);
}
