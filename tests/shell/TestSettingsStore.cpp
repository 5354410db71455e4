#include "ManualClock.h"
#include "TestHome.h"
#include "platform/AppPaths.h"
#include "shell/settings/RegFile.h"
#include "shell/settings/SettingsStore.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <limits>

using Hive = SettingsStore::Hive;

namespace {

const QString kOptions = QStringLiteral("Software\\Morvane\\Phonavo\\Options");

std::unique_ptr<SettingsStore> openStore()
{
    return std::make_unique<SettingsStore>(AppPaths::userHivePath(), AppPaths::machineHivePath());
}

QByteArray regFile(const QByteArray& lines)
{
    return QByteArray("Windows Registry Editor Version 5.00\r\n\r\n" + lines);
}

// The parsed values of one key of a hive file, "name=text" each.
QStringList valuesInFile(const QByteArray& bytes, const QString& keyPath)
{
    const auto parsed = RegFile::parse(bytes);
    if (!parsed)
        return {QStringLiteral("parse error: ") + parsed.error()};
    QStringList out;
    for (const RegFile::Section& s : parsed.value()) {
        if (s.path.compare(keyPath, Qt::CaseInsensitive) != 0)
            continue;
        for (const RegFile::Value& v : s.values)
            out << v.name + u'=' + v.value.text();
    }
    return out;
}

QString latin1Text(std::initializer_list<int> codes)
{
    QString text;
    for (int code : codes)
        text += QChar(code);
    return text;
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void settingToBoolKnowsExactlyTheFalseWords_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Falsch") << QVariant(QStringLiteral("Falsch")) << false;
        QTest::newRow("False") << QVariant(QStringLiteral("False")) << false;
        QTest::newRow("\"0\"") << QVariant(QStringLiteral("0")) << false;
        QTest::newRow("empty text") << QVariant(QStringLiteral("")) << false;
        QTest::newRow("bool false") << QVariant(false) << false;
        QTest::newRow("number 0") << QVariant(0) << false;
        QTest::newRow("number 0.0") << QVariant(0.0) << false;
        QTest::newRow("null") << QVariant() << false;
        QTest::newRow("false lower case") << QVariant(QStringLiteral("false")) << true;
        QTest::newRow("FALSE") << QVariant(QStringLiteral("FALSE")) << true;
        QTest::newRow("falsch lower case") << QVariant(QStringLiteral("falsch")) << true;
        QTest::newRow("\"0 \"") << QVariant(QStringLiteral("0 ")) << true;
        QTest::newRow("\"1\"") << QVariant(QStringLiteral("1")) << true;
        QTest::newRow("\"-1\"") << QVariant(QStringLiteral("-1")) << true;
        QTest::newRow("True") << QVariant(QStringLiteral("True")) << true;
        QTest::newRow("blank") << QVariant(QStringLiteral(" ")) << true;
        QTest::newRow("bool true") << QVariant(true) << true;
        QTest::newRow("number -1") << QVariant(-1) << true;
    }

    void settingToBoolKnowsExactlyTheFalseWords()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, expected);
        QCOMPARE(SettingToBool(value), expected);
    }

    void readsStoredValueOrTypedDefault_data()
    {
        QTest::addColumn<QVariant>("stored"); // null: value missing
        QTest::addColumn<QVariant>("defaultValue");
        QTest::addColumn<QVariant>("expected");

        QTest::newRow("missing text") << QVariant() << QVariant(QStringLiteral("Native"))
                                      << QVariant(QStringLiteral("Native"));
        QTest::newRow("missing number") << QVariant() << QVariant(10) << QVariant(10);
        QTest::newRow("missing bool true") << QVariant() << QVariant(true) << QVariant(true);
        QTest::newRow("missing bool false") << QVariant() << QVariant(false) << QVariant(false);
        QTest::newRow("stored 0, bool default")
            << QVariant(QStringLiteral("0")) << QVariant(true) << QVariant(false);
        QTest::newRow("stored empty")
            << QVariant(QStringLiteral("")) << QVariant(true) << QVariant(false);
        QTest::newRow("stored false lower case")
            << QVariant(QStringLiteral("false")) << QVariant(false) << QVariant(true);
        QTest::newRow("stored number, number default")
            << QVariant(QStringLiteral("25")) << QVariant(20) << QVariant(QStringLiteral("25"));
        QTest::newRow("stored empty, text default")
            << QVariant(QStringLiteral("")) << QVariant(QStringLiteral("x"))
            << QVariant(QStringLiteral(""));
    }

    void readsStoredValueOrTypedDefault()
    {
        QFETCH(QVariant, stored);
        QFETCH(QVariant, defaultValue);
        QFETCH(QVariant, expected);
        TestHome home;
        auto store = openStore();
        if (stored.isValid()) {
            store->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("Value"),
                                   stored.toString());
            store->SaveSettingHKLM(QString(), QStringLiteral("Value"), stored.toString());
        }
        for (const QVariant& got :
             {store->GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("Value"),
                                    defaultValue),
              store->GetSettingHKLM(QString(), QStringLiteral("Value"), defaultValue)}) {
            QCOMPARE(got.typeId(), expected.typeId());
            QCOMPARE(got, expected);
        }
        // No fallback between the hives.
        QCOMPARE(
            store->GetSettingHKLM(QStringLiteral("Options"), QStringLiteral("Value"), defaultValue),
            defaultValue.typeId() == QMetaType::Bool ? QVariant(defaultValue.toBool())
                                                     : defaultValue);
    }

    void typedConveniences_data()
    {
        QTest::addColumn<QVariant>("stored"); // text, a RegValue for raw data, or null
        QTest::addColumn<int>("asInt");
        QTest::addColumn<QString>("asString");
        QTest::addColumn<bool>("asBool");

        QTest::newRow("missing") << QVariant() << 42 << QStringLiteral("def") << true;
        QTest::newRow("number") << QVariant(QStringLiteral("5773")) << 5773
                                << QStringLiteral("5773") << true;
        QTest::newRow("leading digits")
            << QVariant(QStringLiteral("12abc")) << 12 << QStringLiteral("12abc") << true;
        QTest::newRow("sign") << QVariant(QStringLiteral("-3 px")) << -3 << QStringLiteral("-3 px")
                              << true;
        QTest::newRow("no digits")
            << QVariant(QStringLiteral("abc")) << 0 << QStringLiteral("abc") << true;
        QTest::newRow("empty") << QVariant(QStringLiteral("")) << 0 << QString() << false;
        QTest::newRow("huge") << QVariant(QStringLiteral("99999999999"))
                              << std::numeric_limits<int>::max() << QStringLiteral("99999999999")
                              << true;
        QTest::newRow("dword") << QVariant::fromValue(RegValue::fromDWord(quint32(-7))) << -7
                               << QStringLiteral("-7") << true;
        QTest::newRow("dword 0") << QVariant::fromValue(RegValue::fromDWord(0)) << 0
                                 << QStringLiteral("0") << false;
    }

    void typedConveniences()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, asInt);
        QFETCH(QString, asString);
        QFETCH(bool, asBool);
        TestHome home;
        auto store = openStore();
        const QString key = SettingsStore::rootKey() + QStringLiteral("\\Options");
        if (stored.typeId() == QMetaType::QString)
            store->RegSetValue(Hive::CurrentUser, key, QStringLiteral("V"), stored.toString());
        else if (stored.isValid())
            store->setRawValue(Hive::CurrentUser, key, QStringLiteral("V"),
                               stored.value<RegValue>());
        const QString name = QStringLiteral("V");
        QCOMPARE(store->getInt(Hive::CurrentUser, QStringLiteral("Options"), name, 42), asInt);
        QCOMPARE(store->getString(Hive::CurrentUser, QStringLiteral("Options"), name,
                                  QStringLiteral("def")),
                 asString);
        QCOMPARE(store->getBool(Hive::CurrentUser, QStringLiteral("Options"), name, true), asBool);
    }

    void writesTrimmedStrings()
    {
        TestHome home;
        {
            auto store = openStore();
            store->SaveSettingHKCU(QStringLiteral("Options\\Server"), QStringLiteral("Port"),
                                   QStringLiteral("  5773 "));
            store->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("AcceptedNumber"),
                                   QStringLiteral(" 123; 456\t "));
            const QVariant port =
                store->GetSettingHKCU(QStringLiteral("Options\\Server"), QStringLiteral("Port"), 0);
            QCOMPARE(port.typeId(), QMetaType::QString);
            QCOMPARE(port.toString(), QStringLiteral("5773"));
            QVERIFY(store->flush());
        }
        // Numbers are stored as text, never as a dword.
        QCOMPARE(valuesInFile(home.read(QStringLiteral("user.reg")),
                              QStringLiteral("HKEY_CURRENT_USER\\") + kOptions +
                                  QStringLiteral("\\Server")),
                 QStringList{QStringLiteral("Port=5773")});
        QVERIFY(home.read(QStringLiteral("user.reg")).contains("\"Port\"=\"5773\""));
        QCOMPARE(valuesInFile(home.read(QStringLiteral("user.reg")),
                              QStringLiteral("HKEY_CURRENT_USER\\") + kOptions),
                 QStringList{QStringLiteral("AcceptedNumber=123; 456\t")});
    }

    void scrambleWrapsAndRoundTripsEveryCode()
    {
        QCOMPARE(ScrambleSetting(latin1Text({250})), latin1Text({6}));
        QCOMPARE(ScrambleSetting(QStringLiteral("AB")), QStringLiteral("LN"));
        QCOMPARE(UnscrambleSetting(latin1Text({6})), latin1Text({250}));
        QCOMPARE(ScrambleSetting(QString()), QString());

        // Every code at every position a text may have.
        for (int shift = 0; shift < 255; ++shift) {
            QString text;
            for (int position = 1; position <= 245; ++position)
                text += QChar((position + shift) % 255 + 1);
            const QString scrambled = ScrambleSetting(text);
            QCOMPARE(scrambled.size(), text.size());
            for (QChar c : scrambled)
                QVERIFY2(c.unicode() >= 1 && c.unicode() <= 255, qPrintable(text));
            QCOMPARE(UnscrambleSetting(scrambled), text);
        }
    }

    void scrambledValues()
    {
        TestHome home;
        // þ at position 1 scrambles to a line feed, ÿ at position 22 to a blank:
        // neither may be lost on the way through the file.
        const QString password = QStringLiteral("þabcdefghijklmnopqrstÿ");
        QCOMPARE(ScrambleSetting(password).front(), QChar(10));
        QCOMPARE(ScrambleSetting(password).back(), QChar(32));
        {
            auto store = openStore();
            QCOMPARE(store->GetSettingHKCU(QStringLiteral("Options\\Server"),
                                           QStringLiteral("Pass"), QStringLiteral("dflt"), true),
                     QVariant(QStringLiteral("")));
            store->SaveSettingHKCU(QStringLiteral("Options\\Server"), QStringLiteral("Pass"),
                                   password, true);
            store->SaveSettingHKCU(QStringLiteral("Options\\Server"), QStringLiteral("Empty"),
                                   QString(), true);
            QCOMPARE(store->GetSettingHKCU(QStringLiteral("Options\\Server"),
                                           QStringLiteral("Empty"), QStringLiteral("dflt"), true),
                     QVariant(QStringLiteral("")));
        }
        QVERIFY(home.read(QStringLiteral("user.reg")).contains("\"Pass\"=hex(1):"));
        auto store = openStore();
        QCOMPARE(store->GetSettingHKCU(QStringLiteral("Options\\Server"), QStringLiteral("Pass"),
                                       QString(), true),
                 QVariant(password));
        QCOMPARE(store->RegGetValue(Hive::CurrentUser, kOptions + QStringLiteral("\\Server"),
                                    QStringLiteral("Pass")),
                 QVariant(ScrambleSetting(password)));
    }

    void registryLayerReadsEveryType()
    {
        TestHome home;
        auto store = openStore();
        const auto set = [&](const char* name, const RegValue& value) {
            QVERIFY(
                store->setRawValue(Hive::LocalMachine, kOptions, QString::fromLatin1(name), value));
        };
        set("dword", RegValue::fromDWord(quint32(-5)));
        set("short dword", RegValue{RegValue::DWord, QByteArray("\1\2")});
        set("binary", RegValue::fromBinary(QByteArray("\x01\xFF\0z", 4)));
        set("nul inside", RegValue{RegValue::String, QByteArray("a\0\0\0b\0\0\0", 8)});
        set("expand", RegValue::fromString(QStringLiteral("%HOME%"), RegValue::ExpandString));
        set("multi", RegValue{RegValue::MultiString, QByteArray("a\0\0\0\0\0", 6)});

        const auto get = [&](const char* name) {
            return store->RegGetValue(Hive::LocalMachine, kOptions, QString::fromLatin1(name));
        };
        QCOMPARE(get("dword").typeId(), QMetaType::Int);
        QCOMPARE(get("dword").toInt(), -5);
        QCOMPARE(get("short dword"), QVariant(QStringLiteral("")));
        QCOMPARE(get("binary"), QVariant(QString::fromLatin1("\x01\xFF\0z", 4)));
        QCOMPARE(get("nul inside"), QVariant(QStringLiteral("a")));
        QVERIFY(!get("expand").isValid());
        QVERIFY(!get("multi").isValid());
        QVERIFY(!get("missing").isValid());
        QVERIFY(
            !store->RegGetValue(Hive::CurrentUser, kOptions, QStringLiteral("dword")).isValid());
        // Other types read as missing, so the default applies.
        QCOMPARE(store->GetSettingHKLM(QStringLiteral("Options"), QStringLiteral("expand"),
                                       QStringLiteral("d")),
                 QVariant(QStringLiteral("d")));
    }

    void namesAreCaseInsensitiveButKeepTheirSpelling()
    {
        TestHome home;
        auto store = openStore();
        const QString devices = kOptions + QStringLiteral("\\Devices");
        QVERIFY(store->RegSetValue(Hive::CurrentUser, devices + QStringLiteral("\\Line A"),
                                   QStringLiteral("Enabled"), QStringLiteral("1")));
        QVERIFY(store->RegSetValue(Hive::CurrentUser,
                                   QStringLiteral("software\\MORVANE\\phonavo\\options\\DEVICES\\"
                                                  "LINE a"),
                                   QStringLiteral("ENABLED"), QStringLiteral("0")));
        QVERIFY(store->RegKeyExists(Hive::CurrentUser, devices.toUpper()));
        QCOMPARE(store->RegEnumKeys(Hive::CurrentUser, devices),
                 (QStringList{QString(), QStringLiteral("Line A")}));
        QCOMPARE(store->RegEnumValues(Hive::CurrentUser, devices + QStringLiteral("\\line a")),
                 (QStringList{QString(), QStringLiteral("Enabled")}));
        QCOMPARE(store->RegGetValue(Hive::CurrentUser, devices + QStringLiteral("\\Line A"),
                                    QStringLiteral("enabled")),
                 QVariant(QStringLiteral("0")));
        QVERIFY(!store->RegKeyExists(Hive::LocalMachine, devices));
    }

    void enumerationsStartWithAnEmptyElement()
    {
        TestHome home;
        auto store = openStore();
        const QString plugins = SettingsStore::rootKey() + QStringLiteral("\\ConnectionPlugins");
        QCOMPARE(store->RegEnumKeys(Hive::CurrentUser, plugins), QStringList{QString()});
        QCOMPARE(store->RegEnumValues(Hive::CurrentUser, plugins), QStringList{QString()});

        for (const char* name : {"gamma", "Alpha", "delta 9", "Beta", "delta 10"})
            store->RegSetValue(Hive::CurrentUser, plugins + u'\\' + QString::fromLatin1(name),
                               QStringLiteral("ProgID"), QStringLiteral("x"));
        store->RegSetValue(Hive::CurrentUser, plugins + QStringLiteral("\\Alpha\\Deeper"),
                           QStringLiteral("x"), QStringLiteral("y"));
        QCOMPARE(store->RegEnumKeys(Hive::CurrentUser, plugins),
                 (QStringList{QString(), QStringLiteral("Alpha"), QStringLiteral("Beta"),
                              QStringLiteral("delta 10"), QStringLiteral("delta 9"),
                              QStringLiteral("gamma")}));
        QCOMPARE(store->RegEnumKeys(Hive::CurrentUser, plugins + QStringLiteral("\\Beta")),
                 QStringList{QString()});

        for (const char* name : {"Zeta", "alpha", "Mid"})
            store->RegSetValue(Hive::CurrentUser, plugins, QString::fromLatin1(name),
                               QStringLiteral("v"));
        store->setRawValue(Hive::CurrentUser, plugins, QString(),
                           RegValue::fromString(QStringLiteral("default")));
        store->RegSetValue(Hive::CurrentUser, plugins, QStringLiteral("zeta"), QStringLiteral("w"));
        QCOMPARE(store->RegEnumValues(Hive::CurrentUser, plugins),
                 (QStringList{QString(), QStringLiteral("Zeta"), QStringLiteral("alpha"),
                              QStringLiteral("Mid")}));
    }

    void deleteSubKeyRefusesKeysWithChildren()
    {
        TestHome home;
        auto store = openStore();
        const QString root = SettingsStore::rootKey();
        store->SaveSettingHKCU(QStringLiteral("Warnings"), QStringLiteral("DontAskClose"),
                               QStringLiteral("1"));
        store->SaveSettingHKCU(QStringLiteral("Options\\Devices\\Line 1"), QStringLiteral("On"),
                               QStringLiteral("1"));

        QVERIFY(!store->RegDeleteSubKey(Hive::CurrentUser, root, QStringLiteral("Options")));
        QVERIFY(
            store->RegKeyExists(Hive::CurrentUser, root + QStringLiteral("\\Options\\Devices")));
        QVERIFY(!store->RegDeleteSubKey(Hive::CurrentUser, root, QStringLiteral("Missing")));
        QVERIFY(!store->RegDeleteSubKey(Hive::CurrentUser, root + QStringLiteral("\\Nope"),
                                        QStringLiteral("Warnings")));
        QVERIFY(!store->RegDeleteSubKey(Hive::LocalMachine, root, QStringLiteral("Warnings")));

        QVERIFY(store->RegDeleteSubKey(Hive::CurrentUser, root, QStringLiteral("warnings")));
        QVERIFY(!store->RegKeyExists(Hive::CurrentUser, root + QStringLiteral("\\Warnings")));
        QCOMPARE(store->GetSettingHKCU(QStringLiteral("Warnings"), QStringLiteral("DontAskClose"),
                                       QStringLiteral("")),
                 QVariant(QStringLiteral("")));

        QVERIFY(store->RegKeyExists(Hive::CurrentUser,
                                    root + QStringLiteral("\\Options\\Devices\\Line 1")));
        store->deleteKeyTree(Hive::CurrentUser, root + QStringLiteral("\\Options"));
        QVERIFY(!store->RegKeyExists(Hive::CurrentUser, root + QStringLiteral("\\Options")));
        QVERIFY(store->RegKeyExists(Hive::CurrentUser, root));
        // Keys asked for before the delete are not found, and come back new.
        QVERIFY(!store->RegKeyExists(Hive::CurrentUser,
                                     root + QStringLiteral("\\Options\\Devices\\Line 1")));
        store->SaveSettingHKCU(QStringLiteral("Options\\Devices\\Line 1"), QStringLiteral("Cut"),
                               QStringLiteral("0"));
        QCOMPARE(store->RegEnumValues(Hive::CurrentUser,
                                      root + QStringLiteral("\\Options\\Devices\\Line 1")),
                 (QStringList{QString(), QStringLiteral("Cut")}));
    }

    void refusesNamesTheFileCannotHold()
    {
        TestHome home;
        {
            auto store = openStore();
            QVERIFY(!store->RegSetValue(Hive::CurrentUser, kOptions, QStringLiteral("a\nb"),
                                        QStringLiteral("x")));
            QVERIFY(!store->RegSetValue(Hive::CurrentUser, kOptions + QStringLiteral("\\a\tb"),
                                        QStringLiteral("n"), QStringLiteral("x")));
            QVERIFY(!store->RegSetValue(Hive::CurrentUser, kOptions + u'\\' + QString(256, u'k'),
                                        QStringLiteral("n"), QStringLiteral("x")));
            QVERIFY(store->RegSetValue(Hive::CurrentUser, kOptions, QStringLiteral("ok"),
                                       QStringLiteral("x")));
            QCOMPARE(store->RegEnumValues(Hive::CurrentUser, kOptions),
                     (QStringList{QString(), QStringLiteral("ok")}));
        }
        auto store = openStore();
        QVERIFY2(store->loadProblems().isEmpty(), qPrintable(store->loadProblems().join(u'\n')));
        QCOMPARE(store->RegEnumKeys(Hive::CurrentUser, kOptions), QStringList{QString()});
    }

    void writesOnceControlReturnsToTheEventLoop()
    {
        TestHome home;
        auto store = openStore();
        for (int i = 0; i < 200; ++i)
            store->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("V%1").arg(i),
                                   QString::number(i));
        QVERIFY(!QFile::exists(store->userHivePath()));
        QTRY_VERIFY(QFile::exists(store->userHivePath()));
        QCOMPARE(valuesInFile(home.read(QStringLiteral("user.reg")),
                              QStringLiteral("HKEY_CURRENT_USER\\") + kOptions)
                     .size(),
                 200);
        // The machine hive was not touched, so it was not written.
        QVERIFY(!QFile::exists(store->machineHivePath()));
        QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList{QStringLiteral("user.reg")});
    }

    void neverRewritesAnUnchangedHive()
    {
        TestHome home;
        const QByteArray machine = regFile("; written by hand\r\n"
                                           "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\r\n"
                                           "\"InstallDir\"=\"/opt/phonavo/\"\r\n");
        const QByteArray user = regFile("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo]\r\n"
                                        "\"Look4Update\"=\"1\" \r\n");
        home.write(QStringLiteral("machine.reg"), machine);
        home.write(QStringLiteral("user.reg"), user);
        {
            auto store = openStore();
            QCOMPARE(store->getString(Hive::LocalMachine, QString(), QStringLiteral("InstallDir"),
                                      QString()),
                     QStringLiteral("/opt/phonavo/"));
            // Same value again: no change, no write.
            store->SaveSettingHKCU(QString(), QStringLiteral("look4update"), QStringLiteral("1 "));
            QVERIFY(store->flush());
            QCOMPARE(home.read(QStringLiteral("user.reg")), user);

            store->SaveSettingHKCU(QString(), QStringLiteral("Look4Update"), QStringLiteral("0"));
            QVERIFY(store->flush());
            QVERIFY(home.read(QStringLiteral("user.reg")) != user);
        }
        QCOMPARE(home.read(QStringLiteral("machine.reg")), machine);
        auto store = openStore();
        QCOMPARE(store->GetSettingHKCU(QString(), QStringLiteral("Look4Update"), true),
                 QVariant(false));
    }

    void pendingChangesAreWrittenOnDestruction()
    {
        TestHome home;
        {
            auto store = openStore();
            store->SaveSettingHKLM(QString(), QStringLiteral("Debug"), QStringLiteral("1"));
        }
        QCOMPARE(valuesInFile(home.read(QStringLiteral("machine.reg")),
                              QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo")),
                 QStringList{QStringLiteral("Debug=1")});
        QVERIFY(!QFile::exists(home.file(QStringLiteral("user.reg"))));
        // Nothing but the hive itself: the atomic write leaves no temporary file.
        QCOMPARE(QDir(home.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("machine.reg")});
    }

    void readsARegeditExportInUtf16()
    {
        TestHome home;
        const QString text =
            QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\r\n"
                           "\"CountryCode\"=\"49\"\r\n"
                           "\"AutoHideSeconds\"=dword:0000000f\r\n"
                           "\"AcceptedNumber\"=\"Büro;\\\\x\"\r\n"
                           "\"Raw\"=hex:41,42,\\\r\n  43\r\n\r\n");
        home.write(QStringLiteral("user.reg"), QByteArray("\xFF\xFE") + RegValue::utf16le(text));
        auto store = openStore();
        QVERIFY2(store->loadProblems().isEmpty(), qPrintable(store->loadProblems().join(u'\n')));
        QCOMPARE(store->getString(Hive::CurrentUser, QStringLiteral("Options"),
                                  QStringLiteral("CountryCode"), QString()),
                 QStringLiteral("49"));
        QCOMPARE(store->getInt(Hive::CurrentUser, QStringLiteral("Options"),
                               QStringLiteral("AutoHideSeconds"), 10),
                 15);
        QCOMPARE(store->getString(Hive::CurrentUser, QStringLiteral("Options"),
                                  QStringLiteral("AcceptedNumber"), QString()),
                 QStringLiteral("Büro;\\x"));
        QCOMPARE(store->getString(Hive::CurrentUser, QStringLiteral("Options"),
                                  QStringLiteral("Raw"), QString()),
                 QStringLiteral("ABC"));
    }

    void brokenFileIsMovedAsideAndDefaultsApply()
    {
        TestHome home;
        ManualClock clock(QDateTime(QDate(2026, 3, 9), QTime(7, 5, 3)));
        const QByteArray broken = regFile("[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo]\r\n"
                                          "\"LanguageColumn\"=\"German\"\r\n"
                                          "LanguageColumn=German\r\n");
        home.write(QStringLiteral("user.reg"), broken);
        home.write(QStringLiteral("user.reg.broken-20260309-070503"), "older");
        const QString movedTo = home.file(QStringLiteral("user.reg.broken-20260309-070503-2"));
        {
            auto store = openStore();
            QCOMPARE(store->loadProblems().size(), 1);
            const QString problem = store->loadProblems().first();
            QVERIFY2(problem.contains(QStringLiteral("line 5")), qPrintable(problem));
            QVERIFY2(problem.contains(store->userHivePath()), qPrintable(problem));
            QVERIFY2(problem.contains(movedTo), qPrintable(problem));
            QCOMPARE(store->GetSettingHKCU(QString(), QStringLiteral("LanguageColumn"),
                                           QStringLiteral("Native")),
                     QVariant(QStringLiteral("Native")));
            QVERIFY(!QFile::exists(store->userHivePath()));

            store->SaveSettingHKCU(QString(), QStringLiteral("LanguageColumn"),
                                   QStringLiteral("English"));
            QVERIFY(store->flush());
        }
        QCOMPARE(home.read(QStringLiteral("user.reg.broken-20260309-070503-2")), broken);
        QCOMPARE(home.read(QStringLiteral("user.reg.broken-20260309-070503")), QByteArray("older"));
        auto store = openStore();
        QVERIFY(store->loadProblems().isEmpty());
        QCOMPARE(store->getString(Hive::CurrentUser, QString(), QStringLiteral("LanguageColumn"),
                                  QString()),
                 QStringLiteral("English"));
    }

    void oversizedFileIsMovedAside()
    {
        TestHome home;
        ManualClock clock;
        home.write(QStringLiteral("machine.reg"), QByteArray(RegFile::MaxFileSize + 1, ';'));
        auto store = openStore();
        QCOMPARE(store->loadProblems().size(), 1);
        QVERIFY2(store->loadProblems().first().contains(QStringLiteral("16 MiB")),
                 qPrintable(store->loadProblems().first()));
        QCOMPARE(QFileInfo(home.file(QStringLiteral("machine.reg.broken-20261204-194157"))).size(),
                 RegFile::MaxFileSize + 1);
    }

    void keysOfTheOtherRootAreReported()
    {
        TestHome home;
        home.write(QStringLiteral("user.reg"),
                   regFile("[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\r\n"
                           "\"Debug\"=\"1\"\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo]\r\n"
                           "\"HideTrayIcon\"=\"1\"\r\n"));
        auto store = openStore();
        QCOMPARE(store->loadProblems().size(), 1);
        QVERIFY2(store->loadProblems().first().contains(QStringLiteral("1 key section(s)")),
                 qPrintable(store->loadProblems().first()));
        QVERIFY(
            store->getBool(Hive::CurrentUser, QString(), QStringLiteral("HideTrayIcon"), false));
        QVERIFY(!store->getBool(Hive::LocalMachine, QString(), QStringLiteral("Debug"), false));
    }

    void unreadableHiveIsNeverOverwritten()
    {
        TestHome home;
        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("user.reg")));
        auto store = openStore();
        QCOMPARE(store->loadProblems().size(), 1);
        QVERIFY2(store->loadProblems().first().contains(QStringLiteral("will not be saved")),
                 qPrintable(store->loadProblems().first()));
        QSignalSpy failures(store.get(), &SettingsStore::saveFailed);
        store->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("X"), QStringLiteral("1"));
        store->SaveSettingHKLM(QString(), QStringLiteral("Log"), QStringLiteral("1"));
        QVERIFY(!store->flush());
        QCOMPARE(failures.size(), 1);
        QVERIFY(QFileInfo(home.file(QStringLiteral("user.reg"))).isDir());
        // The other hive is saved all the same, and the value stays readable.
        QVERIFY(QFile::exists(home.file(QStringLiteral("machine.reg"))));
        QCOMPARE(store->getString(Hive::CurrentUser, QStringLiteral("Options"), QStringLiteral("X"),
                                  QString()),
                 QStringLiteral("1"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "TestSettingsStore.moc"
