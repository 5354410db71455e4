#pragma once

#include "core/calls/CCall.h"
#include "core/controller/MainForm.h"
#include "history/ui/CallDetailsWindow.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "shell/startup/Program.h"

#include "DesktopRig.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

// The windows of the desktop program, each opened the way a user opens it,
// for tests that look at all of them alike.

inline const QByteArray kWindowsHive =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
    "\"cmbDataConnection\"=\"1\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\VirtualLines]\r\n"
    "\"Count\"=\"2\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 1]\r\n"
    "\"Monitor\"=\"1\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n"
    "\"WarnSettingsLocked\"=\"1\"\r\n\r\n";

struct Desktop : HomeWithHive, DesktopRig
{
    Desktop() : HomeWithHive(kWindowsHive) {}
    void trigger(const QString& action) const { window()->findChild<QAction*>(action)->trigger(); }
    static QWidget* topLevel(const QString& name)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name && w->isVisible())
                return w;
        return nullptr;
    }
    qint32 storeCall() const
    {
        MainForm& form = program->mainForm();
        CCall call(form.callStore());
        call.lDeviceID = form.listedDevices().value(0);
        call.setCallerID(QStringLiteral("030 1234567"));
        call.setCalledID(QStringLiteral("555"));
        call.CalledName = QStringLiteral("Office");
        call.SaveCall();
        return call.DBCallID;
    }
};

// Opens one window of the running program the way a user does and hands it
// to `inspect` while it is on the screen.
using Opener = std::function<void(Desktop&, const std::function<void(QWidget*)>& inspect)>;

// Modal windows are inspected from inside their exec(), then closed.
inline Opener modal(std::function<void(Desktop&)> open)
{
    return [open](Desktop& d, const std::function<void(QWidget*)>& inspect) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog) {
                seen = true;
                inspect(dialog);
                dialog->close();
            }
        });
        open(d);
        QVERIFY2(seen, "no modal window opened");
    };
}

inline Opener fromMenu(const char* action, const char* windowName)
{
    return [action, windowName](Desktop& d, const std::function<void(QWidget*)>& inspect) {
        d.trigger(QString::fromLatin1(action));
        QWidget* w = Desktop::topLevel(QString::fromLatin1(windowName));
        QVERIFY2(w, windowName);
        inspect(w);
        w->close();
    };
}

// Each window by name; the popup comes with a ringing line.
inline QList<std::pair<QString, Opener>> desktopWindows()
{
    return {
        {QStringLiteral("frmCallHistory"), fromMenu("mnuCallHist", "frmCallHistory")},
        {QStringLiteral("frmStartCall"), fromMenu("mnuStartCall", "frmStartCall")},
        {QStringLiteral("frmSimulateCall"), fromMenu("mnuSimulate", "frmSimulateCall")},
        {QStringLiteral("frmCallDetails"),
         [](Desktop& d, const std::function<void(QWidget*)>& inspect) {
             CallDetailsWindow* w = openCallDetails(*d.program, d.storeCall(), d.window());
             QVERIFY(w && w->isVisible());
             inspect(w);
             w->close();
         }},
        {QStringLiteral("frmAbout"),
         modal([](Desktop& d) { d.trigger(QStringLiteral("mnuAbout")); })},
        {QStringLiteral("frmDataConnection"), modal([](Desktop& d) {
             d.window()->findChild<QPushButton*>(QStringLiteral("btnDataConnection"))->click();
         })},
        {QStringLiteral("frmDevice"), modal([](Desktop& d) {
             auto* devices = d.window()->findChild<QListWidget*>(QStringLiteral("lstTapiDevices"));
             devices->setCurrentRow(0);
             d.window()->findChild<QPushButton*>(QStringLiteral("btnEditDevice"))->click();
         })},
        {QStringLiteral("frmMSN"), modal([](Desktop& d) {
             d.window()->findChild<QPushButton*>(QStringLiteral("btnNewMSN"))->click();
         })},
        {QStringLiteral("frmConnectionString"),
         modal([](Desktop& d) { d.trigger(QStringLiteral("mnuSetCallDB")); })},
        {QStringLiteral("frmCall"),
         [](Desktop& d, const std::function<void(QWidget*)>& inspect) {
             d.window()->findChild<QPushButton*>(QStringLiteral("btnStartStop"))->click();
             auto* lines = d.program->telephony().findProvider<VirtualLineProvider>();
             QVERIFY(lines->ring(0, QStringLiteral("0301234"), QStringLiteral("4711"),
                                 QStringLiteral("John Smith")));
             QWidget* popup = nullptr;
             QTRY_VERIFY((popup = d.topLevel(QStringLiteral("frmCall"))));
             inspect(popup);
         }},
    };
}
