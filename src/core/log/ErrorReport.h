#pragma once

#include <QString>
#include <QtGlobal>

#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

class DialogService;
class LocGuru;
class ProgramLog;

// What a failed operation tells about itself. Number 0 and -1 carry no number
// worth showing; line 0 means the failing place is unknown.
struct ErrorInfo
{
    qint32 number = 0;
    QString description;
    QString source;
    qint32 line = 0;
};

// Thrown inside a subsystem for an unexpected failure; the error trap around the
// handler turns it into a report, so it never crosses a subsystem boundary.
class PhonavoError : public std::runtime_error
{
public:
    explicit PhonavoError(ErrorInfo info);
    const ErrorInfo& info() const { return m_info; }

private:
    ErrorInfo m_info;
};

// "File.cpp (function)" for the report's source line.
QString phonavoErrorSource(const char* file, const char* function);

#define PHONAVO_THROW(description)                                                                 \
    throw PhonavoError(ErrorInfo{-1, (description), phonavoErrorSource(__FILE__, __func__),        \
                                 static_cast<qint32>(__LINE__)})

// RaiseError: builds the report of an unexpected error, logs it with the prefix
// "RaiseError: " and shows it in a box that closes itself after 10 seconds.
class ErrorReporter
{
public:
    static constexpr int kBoxSeconds = 10;

    ErrorReporter(ProgramLog& log, LocGuru& loc, DialogService& dialogs);

    void RaiseError(const QString& text, const std::optional<ErrorInfo>& error = std::nullopt,
                    bool apology = false) noexcept;

    // Once the main window is loaded reports go to the log list; before, to
    // the file only.
    void setMainWindowLoaded(bool loaded) { m_mainWindowLoaded = loaded; }
    bool mainWindowLoaded() const { return m_mainWindowLoaded; }

    static QString buildReport(const QString& text, const std::optional<ErrorInfo>& error,
                               bool apology, const LocGuru& loc);

private:
    ProgramLog& m_log;
    LocGuru& m_loc;
    DialogService& m_dialogs;
    bool m_mainWindowLoaded = false;
};

// The error trap around a handler's step: a failure is reported and false
// returned, so the caller can go on with its next step.
template <typename F> bool trapErrors(ErrorReporter& reporter, const QString& where, F&& step)
{
    try {
        std::forward<F>(step)();
        return true;
    } catch (const PhonavoError& e) {
        reporter.RaiseError(where, e.info());
    } catch (const std::exception& e) {
        reporter.RaiseError(where, ErrorInfo{-1, QString::fromLocal8Bit(e.what()), where, 0});
    } catch (...) {
        reporter.RaiseError(where, ErrorInfo{-1, QStringLiteral("Unknown error"), where, 0});
    }
    return false;
}
