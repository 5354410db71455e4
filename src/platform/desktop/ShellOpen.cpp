#include "ShellOpen.h"

#include "platform/AppPaths.h"

#include "platform/FileHandleLimit.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

ShellOpener::ShellOpener(Reporter reporter, const QString& program, QObject* parent)
    : QObject(parent), m_report(std::move(reporter)), m_program(program)
{}

ShellOpener::~ShellOpener()
{
    // A generic xdg-open waits for the application it started; destroying its
    // QProcess would kill that application together with the program.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        process->setParent(nullptr);
    }
}

ShellOpener::Reporter ShellOpener::messageBoxes(DialogService& dialogs)
{
    return [&dialogs](const QString& text) {
        dialogs.messageBox(text, MsgStyle::OK + MsgStyle::Critical, QString());
    };
}

QString ShellOpener::errorText(int code) const
{
    switch (code) {
    case 0:
        return GetS(QStringLiteral("Nicht genügend Speicher"));
    case 2:
        return GetS(QStringLiteral("Datei nicht gefunden"));
    case 3:
        return GetS(QStringLiteral("Pfad nicht gefunden"));
    case 5:
        return GetS(QStringLiteral("Pfad/Datei-Zugriff nicht erlaubt"));
    case 8:
        return GetS(QStringLiteral("Nicht genügend Speicher."));
    case 11:
        return GetS(QStringLiteral("Ungültige Datei oder Datei defekt"));
    case 26:
        return GetS(QStringLiteral("Datei ist zur Zeit gesperrt."));
    case 27:
        return GetS(QStringLiteral("Keine gültige Verknüpfung"));
    case 28:
        return GetS(
            QStringLiteral("Die Datei konnte wegen einem Timeout nicht geöffnet werden. Bitte "
                           "versuchen Sie es noch einmal."));
    case 29:
        return GetS(QStringLiteral("Die Datei konnte nicht geöffnet werden, da die DDE-Transaktion "
                                   "gescheitert ist. Bitte versuchen Sie es noch einmal."));
    case 30:
        return GetS(QStringLiteral("Die Datei konnte nicht geöffnet werden, da die Zielanwendung "
                                   "derzeit blockiert ist. Bitte versuchen Sie es noch einmal."));
    case 31:
        return GetS(QStringLiteral("Mit diesem Dateityp ist keine Anwendung verbunden."));
    case 32:
        return GetS(QStringLiteral("Die angegebene Dll wurde nicht gefunden."));
    default:
        return GetS(
            QStringLiteral("Ein Fehler ist beim Öffnen oder Drucken der Datei aufgetreten."));
    }
}

QString ShellOpener::message(const QString& file, int code) const
{
    // The file name stands on a line of its own, as it always has.
    return GetS(QStringLiteral("Fehler beim Öffnen von ")) + QLatin1Char('\n') + file +
           QStringLiteral(":\n\n") + errorText(code);
}

int ShellOpener::codeForExitStatus(int exitStatus)
{
    // xdg-open: 1 bad command line, 2 a file does not exist, 3 a required tool
    // is missing, 4 the action failed.
    switch (exitStatus) {
    case 0:
        return 0;
    case 2:
        return FileNotFound;
    case 3:
        return NoAssociation;
    default:
        return GenericFailure;
    }
}

void ShellOpener::fail(const QString& file, int code)
{
    if (m_report)
        m_report(message(file, code));
}

bool ShellOpener::ShellOpen(const QString& file, int showCommand, const QString& parameters,
                            const QString& folder, const QString& verb)
{
    Q_UNUSED(showCommand)
    Q_UNUSED(parameters)
    const QString action = verb.trimmed().toLower();
    if (!action.isEmpty() && action != QLatin1String("open") &&
        action != QLatin1String("explore")) {
        fail(file, NoAssociation);
        return false;
    }

    // A scheme of two or more letters makes a URL; "C:" would be a drive.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    QString target = file.trimmed();
    QString localPath;
    bool local = true;
    if (scheme.match(target).hasMatch()) {
        const QUrl url(target);
        if (!url.isValid()) {
            fail(file, GenericFailure);
            return false;
        }
        local = url.isLocalFile();
        localPath = url.toLocalFile();
    } else {
        localPath = target;
        if (QDir::isRelativePath(localPath) && !folder.isEmpty())
            localPath = QDir(folder).filePath(localPath);
    }
    if (local) {
        const QFileInfo info(localPath);
        if (localPath.isEmpty() || !info.exists()) {
            fail(file, info.absoluteDir().exists() ? FileNotFound : PathNotFound);
            return false;
        }
        if (!info.isReadable()) {
            fail(file, AccessDenied);
            return false;
        }
        target = info.absoluteFilePath();
    }

    const QString program = QStandardPaths::findExecutable(m_program);
    if (program.isEmpty()) {
        fail(file, NoAssociation);
        return false;
    }

    auto* process = new QProcess(this);
    FileHandleLimit::restoreInChild(*process); // start(), not startDetached(): see there
    process->setProgram(program);
    process->setArguments({target});
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        process->setWorkingDirectory(folder);
    // The opened application is not ours to watch: only the opener's own result counts.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    ++m_running;
    connect(process, &QProcess::errorOccurred, this,
            [this, process, file](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart)
                    return; // a crash also ends in finished()
                --m_running;
                process->deleteLater();
                fail(file, NoAssociation);
            });
    connect(process, &QProcess::finished, this,
            [this, process, file](int exitCode, QProcess::ExitStatus status) {
                --m_running;
                process->deleteLater();
                const int code =
                    status == QProcess::CrashExit ? GenericFailure : codeForExitStatus(exitCode);
                if (status == QProcess::CrashExit || exitCode != 0)
                    fail(file, code);
            });
    process->start();
    return true;
}

QString ShellOpener::machineSetting(const char* name, const char* fallback) const
{
    QString value;
    if (m_settings)
        value = m_settings
                    ->getString(SettingsStore::Hive::LocalMachine, QString(),
                                QString::fromLatin1(name), QString())
                    .trimmed();
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

QString ShellOpener::homepageUrl() const
{
    return machineSetting("HomepageURL", kDefaultHomepage);
}

QString ShellOpener::supportUrl() const
{
    return machineSetting("SupportURL", kDefaultSupportPage);
}

const char* const ShellOpener::kDefaultHomepage = PHONAVO_HOMEPAGE_URL;
const char* const ShellOpener::kDefaultSupportPage = PHONAVO_SUPPORT_URL;

QString ShellOpener::helpPage(const QString& topic)
{
    const QString page =
        AppPaths::dataFile(topic.compare(QLatin1String("faq"), Qt::CaseInsensitive) == 0
                               ? QStringLiteral("help/faq.html")
                               : QStringLiteral("help/index.html"));
    return QFileInfo::exists(page) ? page : QString();
}

bool ShellOpener::DoOpenHelp(const QString& topic)
{
    const QString page = helpPage(topic);
    return ShellOpen(page.isEmpty() ? supportUrl() : page, 10, QString(), QString(),
                     QStringLiteral("open"));
}

bool ShellOpener::mnuWebsite()
{
    return ShellOpen(homepageUrl(), 10, QString(), QString(), QStringLiteral("open"));
}
