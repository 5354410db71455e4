#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class ErrorReporter;

// The loading of the main window as an ordered list of named steps. A step may
// ask for a pause before the next one (the wait after an automatic start); the
// pause is a timer, so the event loop keeps running. An error thrown by a step
// is reported and ends the sequence as failed: the program then closes.
class StartupSequence : public QObject
{
    Q_OBJECT
public:
    // What a step returns: the milliseconds to wait before the next step.
    using Step = std::function<int()>;

    explicit StartupSequence(ErrorReporter& errors, QObject* parent = nullptr);

    void add(const QString& name, Step step);
    // A step that never pauses.
    void add(const QString& name, const std::function<void()>& step);

    // Runs the steps up to the first pause; the rest follow from the event loop.
    void run();
    bool running() const { return m_running; }
    QStringList stepNames() const;

signals:
    void finished();
    void failed(const QString& stepName);

private:
    void runFrom(std::size_t index);

    struct Entry
    {
        QString name;
        Step step;
    };
    ErrorReporter& m_errors;
    std::vector<Entry> m_steps;
    bool m_running = false;
};
