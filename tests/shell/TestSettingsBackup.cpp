#include "TestHome.h"
#include "platform/AppPaths.h"
#include "shell/settings/RegFile.h"
#include "shell/settings/SettingsBackup.h"
#include "shell/settings/SettingsStore.h"

#include <QDir>
#include <QTest>

using Hive = SettingsStore::Hive;

namespace {

std::unique_ptr<SettingsStore> openStore()
{
    return std::make_unique<SettingsStore>(AppPaths::userHivePath(), AppPaths::machineHivePath());
}

// Everything of both hives, one line per key and value, for comparing stores.
QString dump(const SettingsStore& store)
{
    QStringList lines;
    for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        for (const RegFile::Section& s : store.hive(hive).sections()) {
            lines << QStringLiteral("[%1]").arg(s.path);
            for (const RegFile::Value& v : s.values)
                lines << QStringLiteral("  <%1> type %2: %3")
                             .arg(v.name)
                             .arg(v.value.type)
                             .arg(QString::fromLatin1(v.value.data.toHex(' ')));
        }
    }
    return lines.join(u'\n');
}

void fill(SettingsStore& store)
{
    const QString root = SettingsStore::rootKey();
    store.SaveSettingHKLM(QString(), QStringLiteral("InstallDir"), QStringLiteral("/opt/phonavo/"));
    store.SaveSettingHKLM(QString(), QStringLiteral("Log"), QStringLiteral("1"));
    store.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("CountryCode"),
                          QStringLiteral("49"));
    store.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("AcceptedNumber"),
                          QStringLiteral("\"12\"; C:\\x\\"));
    store.SaveSettingHKCU(QStringLiteral("Options\\Server"), QStringLiteral("Pass"),
                          QStringLiteral("þ secret ÿ"), true);
    store.SaveSettingHKCU(QStringLiteral("Options\\Devices\\Line [1]"), QStringLiteral("Name"),
                          QStringLiteral("Büro"));
    store.SaveSettingHKCU(QStringLiteral("CallHistWin"), QStringLiteral("Filter"),
                          QStringLiteral("a\nb"));
    store.setRawValue(Hive::CurrentUser, root + QStringLiteral("\\grdCalls"),
                      QStringLiteral("Widths"), RegValue::fromBinary(QByteArray("\0\1\2\xFF", 4)));
    store.setRawValue(Hive::CurrentUser, root + QStringLiteral("\\grdCalls"), QString(),
                      RegValue::fromDWord(3));
    store.createKey(Hive::CurrentUser, root + QStringLiteral("\\Empty\\Key"));
}

} // namespace

class TestSettingsBackup : public QObject
{
    Q_OBJECT

private slots:
    void backupRestoresEveryValueInAnEmptyHome()
    {
        QString expected;
        QByteArray backup;
        {
            TestHome home;
            auto store = openStore();
            fill(*store);
            // Outside the program's key: not part of the backup.
            store->RegSetValue(Hive::CurrentUser, QStringLiteral("Software\\Other"),
                               QStringLiteral("x"), QStringLiteral("y"));
            const QString file = home.file(QStringLiteral("backup/all.reg"));
            const auto exported = SettingsBackup::exportAll(*store, file);
            QVERIFY2(exported.isOk(), qPrintable(exported.error()));
            QCOMPARE(exported.value(), 9);
            backup = home.read(QStringLiteral("backup/all.reg"));
            store->deleteKeyTree(Hive::CurrentUser, QStringLiteral("Software\\Other"));
            expected = dump(*store);
        }

        QCOMPARE(backup.count("Windows Registry Editor Version 5.00"), 1);
        const qsizetype machineAt =
            backup.indexOf("[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]");
        const qsizetype userAt = backup.indexOf("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo");
        QVERIFY(machineAt > 0);
        QVERIFY(userAt > machineAt);
        QVERIFY(!backup.contains("Other"));

        TestHome home;
        home.write(QStringLiteral("restore.reg"), backup);
        {
            auto store = openStore();
            QStringList notes;
            const auto imported = SettingsBackup::importFile(
                *store, home.file(QStringLiteral("restore.reg")), &notes);
            QVERIFY2(imported.isOk(), qPrintable(imported.error()));
            QCOMPARE(imported.value(), 9);
            QVERIFY(notes.isEmpty());
            QCOMPARE(dump(*store), expected);
            // Import flushes: both hives are on disk before the store goes away.
            QVERIFY(QFile::exists(store->userHivePath()));
            QVERIFY(QFile::exists(store->machineHivePath()));
        }
        auto store = openStore();
        QCOMPARE(dump(*store), expected);
        QCOMPARE(store->GetSettingHKCU(QStringLiteral("Options\\Server"), QStringLiteral("Pass"),
                                       QString(), true),
                 QVariant(QStringLiteral("þ secret ÿ")));
    }

    void importHonoursDeletionsAndSkipsForeignKeys()
    {
        TestHome home;
        auto store = openStore();
        store->SaveSettingHKCU(QStringLiteral("Warnings"), QStringLiteral("DontAskClose"),
                               QStringLiteral("1"));
        store->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("Old"),
                               QStringLiteral("1"));
        store->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("Kept"),
                               QStringLiteral("1"));
        home.write(QStringLiteral("in.reg"),
                   "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[-HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
                   "\"Old\"=-\r\n\"New\"=\"2\"\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Morvane]\r\n\"Parent\"=\"x\"\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Morvane\\PhonavoX]\r\n\"Near\"=\"x\"\r\n\r\n"
                   "[HKEY_CLASSES_ROOT\\.reg]\r\n@=\"regfile\"\r\n\r\n"
                   "[hkey_local_machine\\SOFTWARE\\morvane\\phonavo]\r\n\"Debug\"=dword:1\r\n");
        QStringList notes;
        const auto imported =
            SettingsBackup::importFile(*store, home.file(QStringLiteral("in.reg")), &notes);
        QVERIFY2(imported.isOk(), qPrintable(imported.error()));
        QCOMPARE(imported.value(), 2);
        QCOMPARE(notes.size(), 1);
        QVERIFY2(notes.first().contains(QStringLiteral("3 key section(s)")),
                 qPrintable(notes.first()));

        const QString root = SettingsStore::rootKey();
        QVERIFY(!store->RegKeyExists(Hive::CurrentUser, root + QStringLiteral("\\Warnings")));
        QCOMPARE(store->RegEnumValues(Hive::CurrentUser, root + QStringLiteral("\\Options")),
                 (QStringList{QString(), QStringLiteral("Kept"), QStringLiteral("New")}));
        QVERIFY(
            !store->RegKeyExists(Hive::CurrentUser, QStringLiteral("Software\\Morvane\\PhonavoX")));
        QVERIFY(
            store->RegEnumValues(Hive::CurrentUser, QStringLiteral("Software\\Morvane")).size() ==
            1);
        QCOMPARE(store->getInt(Hive::LocalMachine, QString(), QStringLiteral("Debug"), 0), 1);
    }

    void importsTheOriginalProgramsBackup()
    {
        // Two regedit exports joined, the second without its mark and header.
        TestHome home;
        const QString machine =
            QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\r\n"
                           "\"InstalledVersion\"=\"3.1\"\r\n\r\n");
        const QString user =
            QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
                           "\"ShowPopup\"=\"0\"\r\n\r\n");
        const QByteArray first = QByteArray("\xFF\xFE") + RegValue::utf16le(machine);
        const QByteArray second = QByteArray("\xFF\xFE") + RegValue::utf16le(user);
        QCOMPARE(second.indexOf(RegValue::utf16le(u"\r\n\r\n")), 74);
        home.write(QStringLiteral("old.reg"), first + second.mid(78));

        auto store = openStore();
        const auto imported =
            SettingsBackup::importFile(*store, home.file(QStringLiteral("old.reg")));
        QVERIFY2(imported.isOk(), qPrintable(imported.error()));
        QCOMPARE(imported.value(), 2);
        QCOMPARE(store->getString(Hive::LocalMachine, QString(), QStringLiteral("InstalledVersion"),
                                  QString()),
                 QStringLiteral("3.1"));
        QCOMPARE(store->getBool(Hive::CurrentUser, QStringLiteral("Options"),
                                QStringLiteral("ShowPopup"), true),
                 false);
    }

    void badFileChangesNothing_data()
    {
        QTest::addColumn<QString>("name"); // file in the home; empty: missing file
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fragment");

        QTest::newRow("missing") << QStringLiteral("missing.reg") << QByteArray()
                                 << QStringLiteral("does not exist");
        QTest::newRow("folder") << QStringLiteral("folder.reg") << QByteArray()
                                << QStringLiteral("is a folder");
        QTest::newRow("not a .reg file")
            << QStringLiteral("notes.reg") << QByteArray("Dear diary,\nnothing happened.\n")
            << QStringLiteral("not a registry file");
        QTest::newRow("broken line after good ones")
            << QStringLiteral("broken.reg")
            << QByteArray("Windows Registry Editor Version 5.00\n\n"
                          "[-HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo]\n"
                          "\"HideTrayIcon\"=\"1\"\n"
                          "\"Look4Update\"=dword:xyz\n")
            << QStringLiteral("line 7:");
        QTest::newRow("too big") << QStringLiteral("big.reg")
                                 << QByteArray(RegFile::MaxFileSize + 10, '\n')
                                 << QStringLiteral("16 MiB");
    }

    void badFileChangesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, fragment);
        TestHome home;
        auto store = openStore();
        fill(*store);
        QVERIFY(store->flush());
        const QString before = dump(*store);
        const QByteArray userFile = home.read(QStringLiteral("user.reg"));
        if (name == QStringLiteral("folder.reg"))
            QVERIFY(QDir(home.path()).mkdir(name));
        else if (!content.isEmpty())
            home.write(name, content);

        const auto imported = SettingsBackup::importFile(*store, home.file(name));
        QVERIFY(!imported.isOk());
        QVERIFY2(imported.error().contains(fragment), qPrintable(imported.error()));
        QVERIFY2(imported.error().contains(home.file(name)), qPrintable(imported.error()));
        QCOMPARE(dump(*store), before);
        QVERIFY(store->flush());
        QCOMPARE(home.read(QStringLiteral("user.reg")), userFile);
    }
};

QTEST_GUILESS_MAIN(TestSettingsBackup)
#include "TestSettingsBackup.moc"
