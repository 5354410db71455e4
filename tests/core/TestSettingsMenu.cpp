#include "ControllerRig.h"
#include "shell/dialogs/Warnings.h"
#include "shell/settings/SettingsBackup.h"

#include <QDir>
#include <QFile>

#include <QTest>

// The settings commands of the main menu, through the controller.
class TestSettingsMenu : public QObject
{
    Q_OBJECT

private slots:
    // The server port is stored as the number the box starts with.
    void portIsStoredAsItsNumber_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain") << QStringLiteral("5773") << QStringLiteral("5773");
        QTest::newRow("leading zero and blanks")
            << QStringLiteral(" 05774 ") << QStringLiteral("5774");
        QTest::newRow("trailing text") << QStringLiteral("6000abc") << QStringLiteral("6000");
        QTest::newRow("no number") << QStringLiteral("abc") << QStringLiteral("0");
    }

    void portIsStoredAsItsNumber()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        ControllerRig rig;
        rig.form->options().setValue(QStringLiteral("txtPort"), typed);
        rig.form->SaveSettings();
        QCOMPARE(rig.settings.GetSettingHKCU(QStringLiteral("Options\\Server"),
                                             QStringLiteral("Port"), QString()),
                 stored);
    }

    void resetWarningsAsksFirst()
    {
        ControllerRig rig;
        rig.settings.SaveSettingHKCU(QStringLiteral("Warnings"), QStringLiteral("DontAskClose"),
                                     QStringLiteral("1"));
        rig.settings.SaveSettingHKCU(QStringLiteral("Warnings"),
                                     QStringLiteral("WarnSettingsLocked"), QStringLiteral("1"));
        rig.dialogs.queueAnswer(MsgResult::No);
        QVERIFY(!rig.form->mnuResetWarnings());
        QVERIFY(rig.form->warnings().suppressed(QStringLiteral("DontAskClose")));
        rig.dialogs.queueAnswer(MsgResult::Yes);
        QVERIFY(rig.form->mnuResetWarnings());
        QVERIFY(!rig.form->warnings().suppressed(QStringLiteral("DontAskClose")));
        QVERIFY(!rig.form->warnings().suppressed(QStringLiteral("WarnSettingsLocked")));
        // Every warning is shown again.
        const int before = int(rig.dialogs.shown().size());
        rig.monitor({0});
        QCOMPARE(rig.dialogs.shown().size(), before + 1);
    }

    void backupHoldsBothHivesAndRestores()
    {
        QString backup;
        {
            ControllerRig rig;
            rig.settings.SaveSettingHKLM(QString(), QStringLiteral("InstalledVersion"),
                                         QStringLiteral("0.1.0"));
            rig.settings.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("CountryCode"),
                                         QStringLiteral("49"));
            backup = rig.home.file(QStringLiteral("backup.reg"));
            QVERIFY(!rig.form->backupSettingsTo(QString()));
            QVERIFY(rig.form->backupSettingsTo(backup));
            QVERIFY(rig.dialogs.shown().last().startsWith(QStringLiteral("All Settings saved.")));
            QFile::copy(backup, QDir::tempPath() + QStringLiteral("/phonavo-test-backup.reg"));
        }
        TestHome other;
        SettingsStore restored(other.file(QStringLiteral("user.reg")),
                               other.file(QStringLiteral("machine.reg")));
        const QString copy = QDir::tempPath() + QStringLiteral("/phonavo-test-backup.reg");
        QVERIFY(SettingsBackup::importFile(restored, copy));
        QFile::remove(copy);
        QCOMPARE(restored.GetSettingHKLM(QString(), QStringLiteral("InstalledVersion"), QString())
                     .toString(),
                 QStringLiteral("0.1.0"));
        QCOMPARE(
            restored
                .GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("CountryCode"), QString())
                .toString(),
            QStringLiteral("49"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsMenu)
#include "TestSettingsMenu.moc"
