#include "GuiDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

QMessageBox::Icon iconFor(int style)
{
    switch (style & MsgStyle::IconMask) {
    case MsgStyle::Critical:
        return QMessageBox::Critical;
    case MsgStyle::Question:
        return QMessageBox::Question;
    case MsgStyle::Exclamation:
        return QMessageBox::Warning;
    case MsgStyle::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButton standardButtonFor(int result)
{
    switch (result) {
    case MsgResult::Cancel:
        return QMessageBox::Cancel;
    case MsgResult::Abort:
        return QMessageBox::Abort;
    case MsgResult::Retry:
        return QMessageBox::Retry;
    case MsgResult::Ignore:
        return QMessageBox::Ignore;
    case MsgResult::Yes:
        return QMessageBox::Yes;
    case MsgResult::No:
        return QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

// Prompts carry CR LF or a lone CR ("{\r}") as line breaks.
QString displayText(const QString& prompt)
{
    QString text = prompt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

GuiDialogs::GuiDialogs(QWidget* mainWindow) : m_mainWindow(mainWindow) {}

GuiDialogs::~GuiDialogs() = default;

GuiDialogs::Box::Box(Box&& other) noexcept
    : dialog(std::move(other.dialog)), results(std::move(other.results)), style(other.style)
{
    other.dialog.clear();
}

GuiDialogs::Box::~Box()
{
    delete dialog.data();
}

GuiDialogs::Box GuiDialogs::createBox(const QString& objectName, const QString& prompt, int style,
                                      const QString& title, const QStringList& buttonCaptions) const
{
    QWidget* owner = QApplication::activeWindow();
    if (!owner)
        owner = m_mainWindow.data();

    Box box;
    box.style = style;
    box.dialog = new QMessageBox(owner);
    QMessageBox& dialog = *box.dialog;
    dialog.setObjectName(objectName);
    dialog.setWindowTitle(boxTitle(title));
    dialog.setTextFormat(Qt::PlainText);
    dialog.setText(displayText(prompt));
    dialog.setIcon(iconFor(style));

    const QList<int> results = buttonResults(style);
    QList<QPushButton*> buttons;
    for (int i = 0; i < results.size(); ++i) {
        QPushButton* button = dialog.addButton(standardButtonFor(results[i]));
        button->setObjectName(QStringLiteral("btn") + resultName(results[i]));
        if (i < buttonCaptions.size() && !buttonCaptions[i].isEmpty())
            button->setText(buttonCaptions[i]);
        box.results.insert(button, results[i]);
        buttons.append(button);
    }
    const int defaultIndex = (style & MsgStyle::DefaultMask) >> 8;
    dialog.setDefaultButton(buttons.value(defaultIndex, buttons.first()));
    return box;
}

int GuiDialogs::run(Box& box)
{
    box.dialog->exec();
    QAbstractButton* clicked = box.dialog ? box.dialog->clickedButton() : nullptr;
    if (clicked && box.results.contains(clicked))
        return box.results.value(clicked);
    // Closed without a button (the owner went away): what Escape would mean.
    const QList<int> results = buttonResults(box.style);
    return results.contains(MsgResult::Cancel) ? MsgResult::Cancel : defaultButtonResult(box.style);
}

int GuiDialogs::messageBox(const QString& prompt, int style, const QString& title)
{
    Box box = createBox(QStringLiteral("frmMessageBox"), prompt, style, title, {});
    return run(box);
}

int GuiDialogs::timedBox(const QString& prompt, int style, const QString& title, int seconds)
{
    Box box = createBox(QStringLiteral("frmTimedBox"), prompt, style, title, {});
    if (seconds > 0) {
        // Seconds come as a 16-bit count; larger values are clamped, not wrapped.
        const int ms = std::min(seconds, 32767) * 1000;
        QMessageBox* dialog = box.dialog.data();
        QTimer::singleShot(ms, dialog, [dialog] {
            if (QPushButton* button = dialog->defaultButton())
                button->click();
        });
    }
    return run(box);
}

int GuiDialogs::warningBox(const QString& prompt, int style, const QString& title,
                           const QStringList& buttonCaptions, const QString& checkBoxCaption,
                           bool& checked)
{
    Box box = createBox(QStringLiteral("frmWarningBox"), prompt, style, title, buttonCaptions);
    // The state is kept as it changes, so it survives a box that was deleted
    // with its owner.
    bool state = checked;
    if (!checkBoxCaption.isEmpty()) {
        auto* checkBox = new QCheckBox(checkBoxCaption); // owned by the box once set
        checkBox->setObjectName(QStringLiteral("chkDontShowAgain"));
        checkBox->setChecked(checked);
        QObject::connect(checkBox, &QCheckBox::toggled, checkBox,
                         [&state](bool on) { state = on; });
        box.dialog->setCheckBox(checkBox);
    }
    const int result = run(box);
    checked = state;
    return result;
}
