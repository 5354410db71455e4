#include "ExitCommands.h"

#include "MainWindowView.h"
#include "core/controller/MainForm.h"
#include "shell/dialogs/Warnings.h"

ExitCommands::ExitCommands(MainForm& form, std::function<void()> closeApplication, QObject* parent)
    : QObject(parent), m_form(form), m_closeApplication(std::move(closeApplication))
{}

bool ExitCommands::closeButton()
{
    // The two sentences are translated one by one, as the language database holds them.
    const QString notice =
        m_form.GetS(QStringLiteral("The program will not be closed. The main window will only be "
                                   "hidden.{\\r}You can reshow the main window from the Phonavo "
                                   "icon in the tray icon menu.{\\r}{\\r}")) +
        m_form.GetS(QStringLiteral("To exit the program, choose \"File\"->\"Exit\"."));
    m_form.warnings().showTranslatedNotice(QStringLiteral("DontWarnOnlyHideOnX"), notice);
    mnuHide();
    return false;
}

void ExitCommands::mnuHide()
{
    if (m_view)
        m_view->hideWindow();
}

void ExitCommands::mnuTrayShow()
{
    if (m_view && !m_view->windowVisible())
        m_view->showWindow();
}

bool ExitCommands::mnuTrayExit()
{
    Warnings& warnings = m_form.warnings();
    if (!warnings.suppressed(QStringLiteral("DontAskClose")) && m_form.Active() &&
        !warnings.askQuestion(QStringLiteral("DontAskClose"),
                              QStringLiteral("Do you really want to quit Phonavo?{\\r}No incoming "
                                             "calls can then be signaled anymore.")))
        return false;
    saveAndClose();
    return true;
}

void ExitCommands::saveAndClose()
{
    m_form.SaveSettings();
    if (m_view)
        m_view->saveWindowState();
    m_closeApplication();
}
