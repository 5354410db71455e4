#include "ErrorReport.h"

#include "ProgramLog.h"
#include "loc/LocGuru.h"
#include "shell/dialogs/DialogService.h"

#include <QFileInfo>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

} // namespace

PhonavoError::PhonavoError(ErrorInfo info)
    : std::runtime_error(info.description.toStdString()), m_info(std::move(info))
{}

QString phonavoErrorSource(const char* file, const char* function)
{
    return QFileInfo(QString::fromUtf8(file)).fileName() + QStringLiteral(" (") +
           QString::fromUtf8(function) + QLatin1Char(')');
}

ErrorReporter::ErrorReporter(ProgramLog& log, LocGuru& loc, DialogService& dialogs)
    : m_log(log), m_loc(loc), m_dialogs(dialogs)
{}

QString ErrorReporter::buildReport(const QString& text, const std::optional<ErrorInfo>& error,
                                   bool apology, const LocGuru& loc)
{
    QString message;
    if (!text.isEmpty())
        message += text + kCrLf;
    if (error) {
        message += error->description + kCrLf;
        if (error->number != 0 && error->number != -1)
            message += QLatin1Char('#') + QString::number(error->number) + kCrLf;
        if (error->line != 0)
            message += QStringLiteral("Source: ") + error->source + QStringLiteral(" - Line: ") +
                       QString::number(error->line) + kCrLf;
        if (apology)
            message += kCrLf +
                       loc.GetS(QStringLiteral("Restarting or reinstalling the program helps in "
                                               "most cases.{\\r}Sorry for the inconvenience.")) +
                       kCrLf;
    }
    return message;
}

void ErrorReporter::RaiseError(const QString& text, const std::optional<ErrorInfo>& error,
                               bool apology) noexcept
{
    // Reporting an error must not raise another one into the failing handler.
    try {
        const QString message = buildReport(text, error, apology, m_loc);
        const QString logged = QStringLiteral("RaiseError: ") + message;
        if (m_mainWindowLoaded)
            m_log.DoLogStr(logged);
        else
            m_log.writeFileOnly(logged);
        m_dialogs.timedBox(message, MsgStyle::Information, QStringLiteral("Phonavo"), kBoxSeconds);
    } catch (...) {
    }
}
