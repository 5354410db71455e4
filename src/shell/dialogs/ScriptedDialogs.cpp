#include "ScriptedDialogs.h"

ScriptedDialogs::ScriptedDialogs(std::function<void(const QString&)> logger)
    : m_logger(std::move(logger))
{}

void ScriptedDialogs::queueAnswer(int result, bool checkBoxTicked)
{
    m_answers.push_back({result, checkBoxTicked});
}

int ScriptedDialogs::messageBox(const QString& prompt, int style, const QString& title)
{
    Shown box;
    box.kind = Kind::Message;
    box.prompt = prompt;
    box.style = style;
    box.title = boxTitle(title);
    return answer(std::move(box), nullptr);
}

int ScriptedDialogs::timedBox(const QString& prompt, int style, const QString& title, int seconds)
{
    Shown box;
    box.kind = Kind::Timed;
    box.prompt = prompt;
    box.style = style;
    box.title = boxTitle(title);
    box.seconds = seconds;
    return answer(std::move(box), nullptr);
}

int ScriptedDialogs::warningBox(const QString& prompt, int style, const QString& title,
                                const QStringList& buttonCaptions, const QString& checkBoxCaption,
                                bool& checked)
{
    Shown box;
    box.kind = Kind::Warning;
    box.prompt = prompt;
    box.style = style;
    box.title = boxTitle(title);
    box.buttonCaptions = buttonCaptions;
    box.checkBoxCaption = checkBoxCaption;
    box.checked = checked;
    return answer(std::move(box), &checked);
}

QStringList ScriptedDialogs::shown() const
{
    QStringList prompts;
    prompts.reserve(m_history.size());
    for (const Shown& box : m_history)
        prompts.append(box.prompt);
    return prompts;
}

int ScriptedDialogs::answer(Shown box, bool* checked)
{
    if (m_answers.empty()) {
        // Unanswered: what Enter would give, with the check box left alone.
        box.result = defaultButtonResult(box.style);
    } else {
        const Answer next = m_answers.front();
        m_answers.pop_front();
        box.result = next.result;
        if (checked)
            box.checked = next.ticked;
    }
    if (checked)
        *checked = box.checked;

    if (m_logger) {
        static const char* const kinds[] = {"Message box", "Timed message box", "Warning box"};
        m_logger(QString::fromLatin1(kinds[static_cast<int>(box.kind)]) +
                 QStringLiteral(" (answered ") + resultName(box.result) + QStringLiteral("): ") +
                 box.prompt);
    }
    const int result = box.result;
    m_history.append(std::move(box));
    return result;
}
