#include "core/devices/CDevice.h"
#include "core/devices/ui/FrmDevice.h"
#include "loc/LocGuru.h"
#include "platform/SoundPlayer.h"
#include "server/msn/CMSN.h"
#include "server/msn/ui/FrmMSN.h"
#include "shell/settings/SettingsStore.h"

#include "Screenshot.h"
#include "TestHome.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestUiEditDialogs : public QObject
{
    Q_OBJECT

    template <typename T> static T* child(QWidget& w, const char* name)
    {
        return w.findChild<T*>(QString::fromLatin1(name));
    }

private slots:
    void deviceDialogOkSavesAndCancelKeeps()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        LocGuru loc;
        SilentSoundPlayer sound;
        FrmDevice dialog(settings, loc, sound);
        CDevice device;
        device.DeviceName = QStringLiteral("Virtual line 1");
        device.Load(settings);

        dialog.load(device);
        auto* ignore = child<QCheckBox>(dialog, "cbIgnoreCall");
        auto* minLen = child<QLineEdit>(dialog, "txtCallerIDMinLen");
        QVERIFY(ignore && minLen && child<QCheckBox>(dialog, "cbMonitor") &&
                child<QLineEdit>(dialog, "txtSoundFile"));
        QVERIFY(!minLen->isEnabled());
        QVERIFY(!child<QLabel>(dialog, "lblCallerIDMinLen")->isEnabled());
        saveScreenshot(dialog, QStringLiteral("frmDevice"));
        ignore->setChecked(true);
        QVERIFY(minLen->isEnabled());

        // Cancel: nothing changes, nothing is written.
        QTimer::singleShot(0, &dialog, [&] {
            child<QLineEdit>(dialog, "txtCutIncoming")->setText(QStringLiteral("0"));
            child<QPushButton>(dialog, "btnCancel")->click();
        });
        QVERIFY(!dialog.EditDevice(device));
        QCOMPARE(device.CutIncoming, QString());
        QVERIFY(!settings.RegKeyExists(SettingsStore::Hive::CurrentUser,
                                       SettingsStore::rootKey() +
                                           QStringLiteral("\\Options\\Devices\\Virtual line 1")));

        // OK: every control goes back into the device and the device is saved.
        QTimer::singleShot(0, &dialog, [&] {
            child<QCheckBox>(dialog, "cbMonitor")->setChecked(true);
            child<QCheckBox>(dialog, "cbIgnoreCall")->setChecked(true);
            child<QLineEdit>(dialog, "txtCallerIDMinLen")->setText(QStringLiteral("7"));
            child<QLineEdit>(dialog, "txtPrependIncoming")->setText(QStringLiteral("+49"));
            child<QLineEdit>(dialog, "txtCutIncoming")->setText(QStringLiteral("0"));
            child<QPushButton>(dialog, "btnOK")->click();
        });
        QVERIFY(dialog.EditDevice(device));
        QVERIFY(device.bMonitor && device.bCheckMinLength);
        QCOMPARE(device.iCallerIDMinLength, qint16(7));
        CDevice stored;
        stored.DeviceName = device.DeviceName;
        stored.Load(settings);
        QCOMPARE(stored.rewriteCaller(QStringLiteral("0301234")), QStringLiteral("+49301234"));
        QVERIFY(stored.callerTooShort(QStringLiteral("123456")));
    }

    void msnDialogChecksItsFields()
    {
        LocGuru loc;
        FrmMSN dialog(loc);
        CMSN entry;
        entry.Name = QStringLiteral("(new)");
        entry.MSN = QStringLiteral("*");
        entry.Clients = QStringLiteral("*");
        dialog.load(entry, false);
        QVERIFY(child<QLineEdit>(dialog, "txtClients")->isHidden());
        dialog.load(entry, true);
        QVERIFY(!child<QLineEdit>(dialog, "txtClients")->isHidden());
        saveScreenshot(dialog, QStringLiteral("frmMSN"));

        child<QLineEdit>(dialog, "txtMSN")->setText(QStringLiteral("   "));
        dialog.checkMSN();
        QCOMPARE(child<QLineEdit>(dialog, "txtMSN")->text(), QStringLiteral("*"));
        child<QLineEdit>(dialog, "txtClients")->setText(QStringLiteral(" 10.0.0.5 "));
        dialog.checkClients();
        QCOMPARE(child<QLineEdit>(dialog, "txtClients")->text(), QStringLiteral("10.0.0.5"));

        QTimer::singleShot(0, &dialog, [&] {
            child<QLineEdit>(dialog, "txtName")->setText(QStringLiteral("  Office "));
            child<QLineEdit>(dialog, "txtMSN")->setText(QStringLiteral("5551;5552"));
            child<QPushButton>(dialog, "btnOK")->click();
        });
        QVERIFY(dialog.EditMSN(entry, true));
        QCOMPARE(entry.Name, QStringLiteral("Office"));
        QCOMPARE(entry.MSN, QStringLiteral("5551;5552"));
        QCOMPARE(entry.Clients, QStringLiteral("*"));

        QTimer::singleShot(0, &dialog, [&] { child<QPushButton>(dialog, "btnCancel")->click(); });
        QVERIFY(!dialog.EditMSN(entry, false));
        QCOMPARE(entry.Name, QStringLiteral("Office"));
    }
};

QTEST_MAIN(TestUiEditDialogs)
#include "TestUiEditDialogs.moc"
