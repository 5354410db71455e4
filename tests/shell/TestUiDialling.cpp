#include "core/controller/MainForm.h"
#include "core/log/ProgramLog.h"
#include "notify/ui/MainWindow.h"
#include "shell/dialling/CallSimulator.h"
#include "shell/dialling/ui/FrmSimulateCall.h"
#include "shell/dialling/ui/FrmStartCall.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/Program.h"

#include "DesktopRig.h"
#include "Screenshot.h"
#include "TestHome.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

const QByteArray kHive =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\VirtualLines]\r\n"
    "\"Count\"=\"2\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Simulate]\r\n"
    "\"CallerID\"=\"0301\"\r\n\"CalledID\"=\"555\"\r\n"
    "\"Device\"=\"Virtual line 2\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n"
    "\"WarnSettingsLocked\"=\"1\"\r\n\r\n";

struct Desktop : HomeWithHive, DesktopRig
{
    Desktop() : HomeWithHive(kHive) {}
    template <typename T> T* open(const char* menuEntry, const char* dialog) const
    {
        auto* action = window()->findChild<QAction*>(QString::fromLatin1(menuEntry));
        if (!action)
            return nullptr;
        action->trigger();
        return window()->findChild<T*>(QString::fromLatin1(dialog));
    }
    QString setting(const QString& key, const QString& name) const
    {
        return program->settings().GetSettingHKCU(key, name, QString()).toString();
    }
};

} // namespace

class TestUiDialling : public QObject
{
    Q_OBJECT

private slots:
    void dialDialogKeepsOnlyDialableCharactersAndDials_data()
    {
        QTest::addColumn<QString>("menuEntry");
        QTest::addRow("main menu") << "mnuStartCall";
        QTest::addRow("tray menu") << "mnuTrayStartCall";
    }
    void dialDialogKeepsOnlyDialableCharactersAndDials()
    {
        QFETCH(QString, menuEntry);
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        auto* dialog = d.open<FrmStartCall>(menuEntry.toLatin1().constData(), "frmStartCall");
        QVERIFY(dialog && dialog->isVisible());
        auto* number = dialog->findChild<QLineEdit*>(QStringLiteral("txtNumber"));
        auto* start = dialog->findChild<QPushButton*>(QStringLiteral("btnStart"));
        QVERIFY(number->text().isEmpty());
        QVERIFY(!start->isEnabled());
        QTest::keyClicks(number, QStringLiteral("+49 (30) 12-3 x*#"));
        QCOMPARE(number->text(), QStringLiteral("+4930123*#"));
        QVERIFY(!dialog->findChild<QLabel*>(QStringLiteral("lblLetters"))->isHidden());
        saveScreenshot(*dialog, QStringLiteral("frmStartCall"));
        start->click();
        QCOMPARE(d.setting(QStringLiteral("StartCallWin"), QStringLiteral("LastCalled")),
                 QStringLiteral("+4930123*#"));
        QVERIFY(d.program->log()
                    .lines()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("Starting outgoing call on device")));
        // The next dialog offers the number dialled last.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!d.window()->findChild<FrmStartCall*>()); // closed dialogs go
        auto* again = d.open<FrmStartCall>("mnuStartCall", "frmStartCall");
        QVERIFY(again);
        QCOMPARE(again->findChild<QLineEdit*>(QStringLiteral("txtNumber"))->text(),
                 QStringLiteral("+4930123*#"));
    }

    void simulationDialogStartsTheSimulationAndKeepsItsChoices()
    {
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        auto* dialog = d.open<FrmSimulateCall>("mnuSimulate", "frmSimulateCall");
        QVERIFY(dialog);
        auto* incoming = dialog->findChild<QCheckBox*>(QStringLiteral("cbIncoming"));
        auto* caller = dialog->findChild<QLineEdit*>(QStringLiteral("txtCallerID"));
        auto* called = dialog->findChild<QLineEdit*>(QStringLiteral("txtCalledID"));
        auto* device = dialog->findChild<QComboBox*>(QStringLiteral("cmbDevice"));
        QVERIFY(incoming->isChecked());
        QCOMPARE(caller->text(), QStringLiteral("0301"));
        QCOMPARE(device->currentText(), QStringLiteral("Virtual line 2"));
        saveScreenshot(*dialog, QStringLiteral("frmSimulateCall"));
        incoming->click(); // outgoing: the own number becomes the caller
        QCOMPARE(caller->text(), QStringLiteral("555"));
        QCOMPARE(called->text(), QStringLiteral("0301"));
        dialog->findChild<QPushButton*>(QStringLiteral("btnSimulate"))->click();

        MainForm& form = d.program->mainForm();
        QVERIFY(form.colCalls().contains(CallSimulator::kSimulatedCallId));
        const CallPtr call = form.colCalls().Item(CallSimulator::kSimulatedCallId);
        QVERIFY(call->Outgoing);
        QCOMPARE(call->CalledID(), QStringLiteral("0301"));
        QCOMPARE(form.deviceDisplayName(call->lDeviceID), QStringLiteral("Virtual line 2"));
        QVERIFY(d.program->callSimulator()->answerTimer()->isActive());
        QCOMPARE(d.setting(QStringLiteral("Simulate"), QStringLiteral("Incoming")),
                 QStringLiteral("0"));
        QCOMPARE(d.setting(QStringLiteral("Simulate"), QStringLiteral("CallerID")),
                 QStringLiteral("555"));
    }
};

QTEST_MAIN(TestUiDialling)
#include "TestUiDialling.moc"
