#pragma once

#include "DialogService.h"

#include <QList>

#include <deque>
#include <functional>

// Boxes nobody sees: each is answered with the next queued answer, or with its
// default button when none is queued, and logged. Used by the headless program
// and by tests, which also read back what was asked.
class ScriptedDialogs : public DialogService
{
public:
    enum class Kind
    {
        Message,
        Timed,
        Warning
    };

    struct Shown
    {
        Kind kind = Kind::Message;
        QString prompt;
        int style = 0;
        QString title;
        int seconds = 0;
        QStringList buttonCaptions;
        QString checkBoxCaption;
        int result = 0;
        bool checked = false;
    };

    explicit ScriptedDialogs(std::function<void(const QString&)> logger = {});

    // The next box is closed with `result`; a warning box's check box is then
    // ticked or not as given.
    void queueAnswer(int result, bool checkBoxTicked = false);
    qsizetype pendingAnswers() const { return static_cast<qsizetype>(m_answers.size()); }

    int messageBox(const QString& prompt, int style, const QString& title) override;
    int timedBox(const QString& prompt, int style, const QString& title, int seconds) override;
    int warningBox(const QString& prompt, int style, const QString& title,
                   const QStringList& buttonCaptions, const QString& checkBoxCaption,
                   bool& checked) override;

    QStringList shown() const;
    const QList<Shown>& history() const { return m_history; }

private:
    struct Answer
    {
        int result;
        bool ticked;
    };

    int answer(Shown box, bool* checked);

    std::function<void(const QString&)> m_logger;
    std::deque<Answer> m_answers;
    QList<Shown> m_history;
};
