#pragma once

#include "shell/dialogs/DialogService.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QMessageBox;

// The desktop program's boxes: QMessageBox with the icon, buttons and default
// button the style asks for. A box is owned by the active window, or by the
// main window when none is active.
class GuiDialogs : public DialogService
{
public:
    explicit GuiDialogs(QWidget* mainWindow = nullptr);
    ~GuiDialogs() override;

    void setMainWindow(QWidget* mainWindow) { m_mainWindow = mainWindow; }

    int messageBox(const QString& prompt, int style, const QString& title) override;
    int timedBox(const QString& prompt, int style, const QString& title, int seconds) override;
    int warningBox(const QString& prompt, int style, const QString& title,
                   const QStringList& buttonCaptions, const QString& checkBoxCaption,
                   bool& checked) override;

private:
    // A box is parented to its owner window, which may go away while the box is
    // open; then Qt has already deleted it and it must not be deleted again.
    struct Box
    {
        Box() = default;
        Box(Box&& other) noexcept;
        Box(const Box&) = delete;
        Box& operator=(const Box&) = delete;
        Box& operator=(Box&&) = delete;
        ~Box();

        QPointer<QMessageBox> dialog;
        QHash<QAbstractButton*, int> results;
        int style = 0;
    };

    Box createBox(const QString& objectName, const QString& prompt, int style, const QString& title,
                  const QStringList& buttonCaptions) const;
    static int run(Box& box);

    QPointer<QWidget> m_mainWindow;
};
