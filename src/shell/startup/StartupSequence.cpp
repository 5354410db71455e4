#include "StartupSequence.h"

#include "core/log/ErrorReport.h"

#include <QTimer>

StartupSequence::StartupSequence(ErrorReporter& errors, QObject* parent)
    : QObject(parent), m_errors(errors)
{}

void StartupSequence::add(const QString& name, Step step)
{
    m_steps.push_back({name, std::move(step)});
}

void StartupSequence::add(const QString& name, const std::function<void()>& step)
{
    add(name, Step([step] {
            step();
            return 0;
        }));
}

QStringList StartupSequence::stepNames() const
{
    QStringList names;
    for (const Entry& entry : m_steps)
        names << entry.name;
    return names;
}

void StartupSequence::run()
{
    m_running = true;
    runFrom(0);
}

void StartupSequence::runFrom(std::size_t index)
{
    for (; index < m_steps.size(); ++index) {
        const Entry& entry = m_steps[index];
        int pause = 0;
        const bool ok =
            trapErrors(m_errors, QStringLiteral("MainForm_Load"), [&] { pause = entry.step(); });
        if (!ok) {
            m_running = false;
            emit failed(entry.name);
            return;
        }
        if (pause > 0 && index + 1 < m_steps.size()) {
            QTimer::singleShot(pause, this, [this, index] { runFrom(index + 1); });
            return;
        }
    }
    m_running = false;
    emit finished();
}
