#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class ErrorReporter;
class LocGuru;

// Starts the companion contact manager, the program phonavo-contacts beside
// the running executable. Nothing here waits: a start returns at once, and
// startAndWait calls back when the program has ended. A program still running
// when the launcher goes keeps running.
class ContactManagerLauncher : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kProgramName = "phonavo-contacts";

    ContactManagerLauncher(const LocGuru& loc, ErrorReporter& errors, QObject* parent = nullptr);
    ~ContactManagerLauncher() override;

    // The folder the program is looked for in: the running executable's by
    // default.
    QString folder() const { return m_folder; }
    void setFolder(const QString& folder) { m_folder = folder; }
    QString programPath() const;
    bool exists() const;

    // A missing program is reported (with the folder) through the error
    // reporter, and false returned. Otherwise the program is started and true
    // returned; `done` is then called once, with the exit code when the
    // program has ended, or with -1 after a crash or when it could not be run
    // (reported as well).
    bool start(const QStringList& arguments);
    bool startAndWait(const QStringList& arguments, std::function<void(int exitCode)> done);

private:
    bool launch(const QStringList& arguments, std::function<void(int)> done);

    const LocGuru& m_loc;
    ErrorReporter& m_errors;
    QString m_folder;
};
