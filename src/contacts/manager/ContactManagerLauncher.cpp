#include "ContactManagerLauncher.h"

#include "core/log/ErrorReport.h"
#include "loc/LocGuru.h"
#include "platform/FileHandleLimit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

ContactManagerLauncher::ContactManagerLauncher(const LocGuru& loc, ErrorReporter& errors,
                                               QObject* parent)
    : QObject(parent), m_loc(loc), m_errors(errors),
      m_folder(QCoreApplication::applicationDirPath())
{}

ContactManagerLauncher::~ContactManagerLauncher()
{
    // Destroying a QProcess kills its program: the user's editing goes on.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
        process->setParent(nullptr);
}

QString ContactManagerLauncher::programPath() const
{
    return QDir(m_folder).filePath(QString::fromLatin1(kProgramName));
}

bool ContactManagerLauncher::exists() const
{
    return QFileInfo(programPath()).isFile();
}

bool ContactManagerLauncher::start(const QStringList& arguments)
{
    return launch(arguments, {});
}

bool ContactManagerLauncher::startAndWait(const QStringList& arguments,
                                          std::function<void(int exitCode)> done)
{
    return launch(arguments, std::move(done));
}

bool ContactManagerLauncher::launch(const QStringList& arguments, std::function<void(int)> done)
{
    if (!exists()) {
        // The translations name the Windows program; the text keeps them and
        // shows the real file name.
        m_errors.RaiseError(
            m_loc
                .GetS(QStringLiteral("Unable to find \"PhonavoContactManager.exe\" in \"%s\""),
                      QDir::toNativeSeparators(m_folder))
                .replace(QStringLiteral("PhonavoContactManager.exe"),
                         QString::fromLatin1(kProgramName)));
        return false;
    }
    // start(), not startDetached(): only start() gives the program the
    // file-handle limit this one was started with (see FileHandleLimit).
    auto* process = new QProcess(this);
    FileHandleLimit::restoreInChild(*process);
    process->setProgram(programPath());
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    connect(process, &QProcess::errorOccurred, this,
            [this, process, done](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return; // a crash ends in finished() as well
                m_errors.RaiseError(m_loc.GetS(QStringLiteral("Unable to start \"%s\": %s"),
                                               process->program(), process->errorString()));
                process->deleteLater();
                if (done)
                    done(-1);
            });
    connect(process, &QProcess::finished, this,
            [process, done](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                if (done)
                    done(status == QProcess::CrashExit ? -1 : exitCode);
            });
    process->start();
    return true;
}
