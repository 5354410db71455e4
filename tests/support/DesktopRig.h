#pragma once

#include "notify/ui/MainWindow.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/startup/Program.h"

#include "TestHome.h"

#include <QString>

#include <memory>

// The desktop program as `phonavo` runs it, with its boxes answered by script.
// Only for tests that link the widgets.
struct DesktopRig
{
    explicit DesktopRig(const QStringList& arguments = {})
    {
        Program::FrontEnd frontEnd;
        frontEnd.headless = false;
        frontEnd.arguments = arguments;
        frontEnd.dialogs = &dialogs;
        frontEnd.createView = [](Program& p) -> std::unique_ptr<MainWindowView> {
            return std::make_unique<MainWindow>(p);
        };
        program = std::make_unique<Program>(frontEnd);
    }
    MainWindow* window() const { return dynamic_cast<MainWindow*>(program->view()); }
    template <typename T> T* child(const char* name) const
    {
        return window()->findChild<T*>(QString::fromLatin1(name));
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<Program> program;
};

// A fresh home whose user hive is written before the program reads it: list
// it before DesktopRig among the bases of a test's own rig.
struct HomeWithHive
{
    explicit HomeWithHive(const QByteArray& userHive)
    {
        home.write(QStringLiteral("user.reg"), userHive);
    }
    TestHome home;
};
