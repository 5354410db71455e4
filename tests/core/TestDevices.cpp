#include "core/devices/ColDevices.h"
#include "core/devices/NumberRules.h"

#include "ControllerRig.h"

#include <QTest>

class TestDevices : public QObject
{
    Q_OBJECT

private slots:
    void cutNumber_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("prepend");
        QTest::addColumn<QString>("expected");
        // name|number|rule|prepend|expected
        for (const char* row :
             {"empty rule and prepend|0301234567|||0301234567", "0 then +49|012|0|+49|+4912",
              "00;0 on 001|001|00;0||1", "0;00 on 001|001|0;00||01",
              "0;0 cuts two zeros|0012|0;0||12", "0;0 on one zero|012|0;0||12",
              "no match|4930|0||4930", "empty parts ignored|0049|;;00;|+|+49",
              "case sensitive|ab12|AB||ab12", "rule longer than number|01|0123||01",
              "empty number||0|+49|+49"}) {
            const QStringList f = QString::fromLatin1(row).split(QLatin1Char('|'));
            QTest::newRow(qPrintable(f[0])) << f[1] << f[2] << f[3] << f[4];
        }
    }

    void cutNumber()
    {
        QFETCH(QString, number);
        QFETCH(QString, rule);
        QFETCH(QString, prepend);
        QFETCH(QString, expected);
        QCOMPARE(RewriteNumber(number, rule, prepend), expected);
    }

    void digitsOnly()
    {
        QCOMPARE(DigitsOnly(QStringLiteral(" +49 (30) 123-45 ")), QStringLiteral("+493012345"));
        QCOMPARE(DigitsOnly(QStringLiteral("0800 CALL 12")), QStringLiteral("080012"));
        QCOMPARE(DigitsOnly(QStringLiteral("12+3")), QStringLiteral("123"));
        QCOMPARE(DigitsOnly(QString()), QString());
    }

    void defaultsWithoutStoredSettings()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        CDevice fritz;
        fritz.DeviceName = QStringLiteral("AVM Fritz!Box Line 1");
        QVERIFY(fritz.Load(settings));
        QVERIFY(fritz.bIsDataModem);
        QVERIFY(fritz.bOwner);
        QVERIFY(!fritz.bMonitor);
        QCOMPARE(fritz.iCallerIDMinLength, qint16(5));
        QVERIFY(!fritz.bCheckMinLength);
        QVERIFY(fritz.SoundFile.endsWith(QLatin1String("/ring.wav")));

        CDevice lower;
        lower.DeviceName = QStringLiteral("AVM fritz!box Line 1");
        lower.Load(settings);
        QVERIFY(!lower.bIsDataModem);
    }

    void storageRoundTripAndRules()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        CDevice d;
        d.DeviceName = QStringLiteral("Virtual line 1");
        d.bMonitor = true;
        d.bOwner = false;
        d.CutIncoming = QStringLiteral("0");
        d.PrependIncoming = QStringLiteral("+49");
        d.CutCalled = QStringLiteral("030");
        d.iCallerIDMinLength = 7;
        d.bCheckMinLength = true;
        d.GetCallerIDInOnCallerID = true;
        d.CutOutgoing = QStringLiteral("+49");
        d.PrependOutgoing = QStringLiteral("0");
        QVERIFY(d.Save(settings));
        QCOMPARE(settings
                     .GetSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 1"),
                                     QStringLiteral("Monitor"), QString())
                     .toString(),
                 QStringLiteral("1"));
        QCOMPARE(settings
                     .GetSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 1"),
                                     QStringLiteral("CallerIDMinLength"), QString())
                     .toString(),
                 QStringLiteral("7"));

        CDevice back;
        back.DeviceName = d.DeviceName;
        back.Load(settings);
        QVERIFY(back.bMonitor && !back.bOwner && back.bCheckMinLength &&
                back.GetCallerIDInOnCallerID);
        QCOMPARE(back.rewriteCaller(QStringLiteral("0301234567")), QStringLiteral("+49301234567"));
        QCOMPARE(back.rewriteCalled(QStringLiteral("0305551")), QStringLiteral("5551"));
        QCOMPARE(back.rewriteOutgoing(QStringLiteral("+49301234")), QStringLiteral("0301234"));
        QVERIFY(back.callerTooShort(QStringLiteral("123456")));
        QVERIFY(!back.callerTooShort(QStringLiteral("1234567")));
    }

    void booleansAreTrueOnlyForOne()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        const QString key = QStringLiteral("Options\\Devices\\L");
        settings.SaveSettingHKCU(key, QStringLiteral("Monitor"), QStringLiteral("True"));
        settings.SaveSettingHKCU(key, QStringLiteral("Owner"), QStringLiteral("0"));
        settings.SaveSettingHKCU(key, QStringLiteral("CallerIDMinLength"), QStringLiteral("12abc"));
        CDevice d;
        d.DeviceName = QStringLiteral("L");
        d.Load(settings);
        QVERIFY(!d.bMonitor);
        QVERIFY(!d.bOwner);
        QCOMPARE(d.iCallerIDMinLength, qint16(12));
        settings.SaveSettingHKCU(key, QStringLiteral("CallerIDMinLength"), QStringLiteral("many"));
        d.Load(settings);
        QCOMPARE(d.iCallerIDMinLength, qint16(0));
    }

    void pseudoDeviceIsNeverSaved()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        CDevice pseudo;
        pseudo.DeviceName = QString::fromLatin1(CDevice::kPseudoDeviceName);
        pseudo.lDeviceID = CDevice::kPseudoDeviceId;
        pseudo.bMonitor = true;
        QVERIFY(pseudo.Save(settings));
        QVERIFY(!settings.RegKeyExists(SettingsStore::Hive::CurrentUser,
                                       SettingsStore::rootKey() +
                                           QStringLiteral("\\Options\\Devices")));
    }

    void oddDeviceNamesStayOneKey()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        CDevice d;
        d.DeviceName = QStringLiteral("Line\\with\\slashes\x01");
        d.bMonitor = true;
        d.Save(settings);
        QCOMPARE(d.settingsKey(), QStringLiteral("Options\\Devices\\Line_with_slashes_"));
        const QStringList keys =
            settings.RegEnumKeys(SettingsStore::Hive::CurrentUser,
                                 SettingsStore::rootKey() + QStringLiteral("\\Options\\Devices"));
        QCOMPARE(keys, (QStringList{QString(), QStringLiteral("Line_with_slashes_")}));
        CDevice back;
        back.DeviceName = d.DeviceName;
        back.Load(settings);
        QVERIFY(back.bMonitor);
    }

    void collectionKeysAndOrder()
    {
        ColDevices devices;
        devices.Add(CDevice::kPseudoDeviceId, QString::fromLatin1(CDevice::kPseudoDeviceName));
        devices.Add(0, QStringLiteral("  A  "));
        devices.Add(1, QStringLiteral("B"));
        QCOMPARE(devices.Count(), 3);
        QCOMPARE(devices.Item(0)->DeviceName, QStringLiteral("A"));
        QCOMPARE(devices.Item(-1)->lDeviceID, -1);
        QVERIFY_THROWS_EXCEPTION(PhonavoError, devices.Item(7));
        QVERIFY_THROWS_EXCEPTION(PhonavoError, devices.Add(1, QStringLiteral("again")));
        devices.Remove(0);
        QCOMPARE(devices.NewEnum().at(1)->DeviceName, QStringLiteral("B"));
        devices.Clear();
        QCOMPARE(devices.Count(), 0);
    }

    void twentyDevicesAtMost()
    {
        QStringList names;
        for (int i = 1; i <= 22; ++i)
            names << QStringLiteral("Line %1").arg(i);
        ControllerRig rig(names);
        for (qint32 d = 0; d < 20; ++d)
            QVERIFY(rig.form->setDeviceMonitored(d, true));
        QVERIFY(rig.dialogs.shown().isEmpty());
        QVERIFY(!rig.form->setDeviceMonitored(20, true));
        QVERIFY(!rig.form->colDevices().find(20)->bMonitor);
        QCOMPARE(rig.form->colDevices().monitoredCount(), 20);
        QCOMPARE(rig.dialogs.shown().size(), 1);
        QVERIFY(rig.dialogs.shown().first().contains(
            QLatin1String("Only 20 TAPI devices can be monitored at once")));
        // Unchecking never complains.
        QVERIFY(!rig.form->setDeviceMonitored(3, false));
        QCOMPARE(rig.dialogs.shown().size(), 1);
        QVERIFY(rig.form->setDeviceMonitored(21, true));
    }

    void deviceListSkipsConferenceDevices()
    {
        ControllerRig rig({QStringLiteral("IPCONF Line"), QStringLiteral("H323 Line"),
                           QStringLiteral("Desk phone"), QStringLiteral("Line H323")});
        QCOMPARE(rig.form->listedDevices(), (QList<qint32>{2, 3}));
        QVERIFY(rig.form->colDevices().find(-1)); // the pseudo device is there, unlisted
        QVERIFY(!rig.form->colDevices().find(0));
        QVERIFY(rig.form->canEditDevices());
    }

    void editDeviceSavesOnlyWhenConfirmed()
    {
        ControllerRig rig;
        rig.editors.onDevice = [&](CDevice& d) {
            d.CutIncoming = QStringLiteral("0");
            d.bMonitor = true;
            d.Save(rig.settings);
            return true;
        };
        QVERIFY(rig.form->EditDevice(0));
        CDevice stored;
        stored.DeviceName = QStringLiteral("Virtual line 1");
        stored.Load(rig.settings);
        QCOMPARE(stored.CutIncoming, QStringLiteral("0"));
        QVERIFY(stored.bMonitor);
        QVERIFY(!rig.form->EditDevice(42));
    }

    // The controller picks the dialling device, so the headless program can
    // dial too: the stored one when it is listed, else the first listed one.
    void outgoingDeviceIsChosenByTheController_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<qint32>("dialledOn");
        QTest::newRow("nothing stored") << QString() << QStringLiteral("Virtual line 1") << 0;
        QTest::newRow("stored and listed")
            << QStringLiteral("Virtual line 2") << QStringLiteral("Virtual line 2") << 1;
        QTest::newRow("stored, no longer there")
            << QStringLiteral("Old modem") << QStringLiteral("Virtual line 1") << 0;
    }

    void outgoingDeviceIsChosenByTheController()
    {
        QFETCH(QString, stored);
        QFETCH(QString, chosen);
        QFETCH(qint32, dialledOn);
        ControllerRig rig({QStringLiteral("Virtual line 1"), QStringLiteral("Virtual line 2")},
                          [&](SettingsStore& s) {
                              if (!stored.isEmpty())
                                  s.SaveSettingHKCU(QStringLiteral("Options"),
                                                    QStringLiteral("OutgoingDevice"), stored);
                          });
        QCOMPARE(rig.form->options().text(QStringLiteral("cmbOutgoingDevice")), chosen);
        QVERIFY(rig.form->StartCall(QStringLiteral("0301234567"), MainForm::ReportTo::Log));
        QCOMPARE(rig.lines().callIds().size(), 1);
        QCOMPARE(rig.lines().deviceOfCall(rig.lines().callIds().first()), dialledOn);
        rig.form->SaveSettings();
        QCOMPARE(rig.settings.GetSettingHKCU(QStringLiteral("Options"),
                                             QStringLiteral("OutgoingDevice"), QString()),
                 chosen);
    }

    void noDeviceNoOutgoingDevice()
    {
        ControllerRig rig(QStringList{});
        QCOMPARE(rig.form->options().text(QStringLiteral("cmbOutgoingDevice")), QString());
        QVERIFY(!rig.form->StartCall(QStringLiteral("1"), MainForm::ReportTo::Log));
        QVERIFY(rig.logged(QStringLiteral("No outgoing line device selected ()")));
    }
};

QTEST_GUILESS_MAIN(TestDevices)
#include "TestDevices.moc"
