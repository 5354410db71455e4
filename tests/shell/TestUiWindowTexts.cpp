#include "core/calls/CCall.h"
#include "core/controller/MainForm.h"
#include "history/ui/CallDetailsWindow.h"
#include "history/ui/FrmCallHistory.h"
#include "notify/ui/MainWindow.h"
#include "shell/startup/Program.h"

#include "ClippedTexts.h"
#include "DesktopRig.h"
#include "Screenshot.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string_view>

namespace {

const QByteArray kHive =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
    "\"cmbDataConnection\"=\"1\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\VirtualLines]\r\n"
    "\"Count\"=\"2\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 1]\r\n"
    "\"Monitor\"=\"1\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n"
    "\"WarnSettingsLocked\"=\"1\"\r\n\r\n";

const char* const kLanguages[] = {"English",   "German", "Spanish", "Dutch",
                                  "Norwegian", "French", "Swedish"};

struct Desktop : HomeWithHive, DesktopRig
{
    Desktop() : HomeWithHive(kHive) {}
    void trigger(const QString& action) const { window()->findChild<QAction*>(action)->trigger(); }
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
Opener modal(std::function<void(Desktop&)> open)
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

Opener fromMenu(const char* action, const char* windowName)
{
    return [action, windowName](Desktop& d, const std::function<void(QWidget*)>& inspect) {
        d.trigger(QString::fromLatin1(action));
        QWidget* w = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String(windowName) && top->isVisible())
                w = top;
        QVERIFY2(w, windowName);
        inspect(w);
        w->close();
    };
}

} // namespace

class TestUiWindowTexts : public QObject
{
    Q_OBJECT

private slots:
    // Every window of the desktop program shows its texts in full in each
    // language of the language menu, at the size it opens with, and fits a
    // 1366x768 screen.
    void windowsShowTheirTextsInFull_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<Opener>("open");
        QTest::addColumn<bool>("switchWhileOpen");
        const QList<std::pair<const char*, Opener>> windows = {
            {"frmCallHistory", fromMenu("mnuCallHist", "frmCallHistory")},
            {"frmStartCall", fromMenu("mnuStartCall", "frmStartCall")},
            {"frmSimulateCall", fromMenu("mnuSimulate", "frmSimulateCall")},
            {"frmCallDetails",
             [](Desktop& d, const std::function<void(QWidget*)>& inspect) {
                 CallDetailsWindow* w = openCallDetails(*d.program, d.storeCall(), d.window());
                 QVERIFY(w && w->isVisible());
                 inspect(w);
                 w->close();
             }},
            {"frmAbout", modal([](Desktop& d) { d.trigger(QStringLiteral("mnuAbout")); })},
            {"frmDataConnection", modal([](Desktop& d) {
                 d.window()->findChild<QPushButton*>(QStringLiteral("btnDataConnection"))->click();
             })},
        };
        for (const auto& [name, open] : windows) {
            const bool isModal = name == std::string_view("frmAbout") ||
                                 name == std::string_view("frmDataConnection");
            for (const char* language : kLanguages) {
                QTest::addRow("%s %s", name, language)
                    << QString::fromLatin1(language) << open << false;
                // A window open at a change of language takes the new texts.
                if (!isModal)
                    QTest::addRow("%s %s, switched while open", name, language)
                        << QString::fromLatin1(language) << open << true;
            }
        }
    }

    void windowsShowTheirTextsInFull()
    {
        QFETCH(QString, language);
        QFETCH(Opener, open);
        QFETCH(bool, switchWhileOpen);
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        const QString switchLanguage = QStringLiteral("mnuSetLang") + language;
        if (!switchWhileOpen)
            d.trigger(switchLanguage);
        QStringList clipped;
        open(d, [&](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            if (switchWhileOpen) {
                d.trigger(switchLanguage);
                QApplication::processEvents();
            }
            const QSize hint = w->minimumSizeHint();
            if (hint.width() > 1366 || hint.height() > 740)
                clipped
                    << QStringLiteral("the window (%1x%2)").arg(hint.width()).arg(hint.height());
            clipped << clippedTexts(*w);
            saveScreenshot(*w, QStringLiteral("%1-%2").arg(w->objectName(), language), false);
        });
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(TestUiWindowTexts)
#include "TestUiWindowTexts.moc"
