#include "loc/Languages.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include "LangDbFixture.h"
#include "TestHome.h"

#include <QTest>

namespace {

using Hive = SettingsStore::Hive;
const QString kLangOptions = QStringLiteral("LangOptions");

struct Rig
{
    TestHome home;
    SettingsStore settings{home.file(QStringLiteral("user.reg")),
                           home.file(QStringLiteral("machine.reg"))};
    ScriptedDialogs dialogs;
    LocGuru loc;
    Languages languages{loc, settings, dialogs};

    Rig() { loc.setsLanguageTableName(Languages::kTableName); }

    // langdata.db in the install folder (PHONAVO_HOME in tests).
    QString installDb()
    {
        const QString path = home.file(QStringLiteral("langdata.db"));
        if (!makeLanguageDb(
                path, {{QStringLiteral("Hello"), QStringLiteral("Guten Tag")},
                       {QStringLiteral("Language changed"), QStringLiteral("Sprache geändert")},
                       {QStringLiteral("Only native"), QVariant()}}))
            return {};
        return path;
    }
};

} // namespace

class TestLanguages : public QObject
{
    Q_OBJECT

private slots:
    void openLanguage()
    {
        Rig rig;
        const QString db = rig.installDb();
        QVERIFY(rig.languages.OpenLanguage(db, QStringLiteral("German")));
        QCOMPARE(rig.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Guten Tag"));

        // The width test replaces translation; an empty column leaves texts native.
        QVERIFY(rig.languages.OpenLanguage(QString(), QStringLiteral(" <testwidth> ")));
        QCOMPARE(rig.loc.GetS(QStringLiteral("Hello")), QStringLiteral("HelloWWWW"));
        QVERIFY(rig.languages.OpenLanguage(db, QString()));
        QVERIFY(!rig.loc.bTestStrWidth());
        QVERIFY(!rig.loc.bDbIsOpen());
        QCOMPARE(rig.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Hello"));
        QVERIFY(rig.dialogs.history().isEmpty());
    }

    void failedOpenIsReportedAndKeepsTheLanguage()
    {
        Rig rig;
        const QString db = rig.installDb();
        QVERIFY(rig.languages.OpenLanguage(db, QStringLiteral("German")));
        const QString missing = rig.home.file(QStringLiteral("gone.db"));
        QVERIFY(!rig.languages.OpenLanguage(missing, QStringLiteral("French")));

        QCOMPARE(rig.dialogs.history().size(), 1);
        const ScriptedDialogs::Shown& box = rig.dialogs.history().constFirst();
        QCOMPARE(box.prompt, QStringLiteral("While opening Language Database (") + missing +
                                 QStringLiteral(") the following error occurred:\r\r") +
                                 rig.loc.sErrDescription());
        QVERIFY(!rig.loc.sErrDescription().isEmpty());
        QCOMPARE(box.style, MsgStyle::OK + MsgStyle::Exclamation);
        QCOMPARE(rig.loc.sForeignColumnName(), QStringLiteral("German"));
        QCOMPARE(rig.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Guten Tag"));
    }

    void defaultLanguageFromSettings()
    {
        Rig rig;
        const QString installDb = rig.installDb();
        // Defaults: language 0, the install folder's database, the native column.
        QVERIFY(rig.languages.OpenDefaultLanguage());
        QCOMPARE(rig.loc.sLanguageDB(), installDb);
        QCOMPARE(rig.loc.sForeignColumnName(), QStringLiteral("Native"));

        const QString other = rig.home.file(QStringLiteral("other.db"));
        QVERIFY(makeLanguageDb(other, {{QStringLiteral("Hello"), QStringLiteral("Hallo")}}));
        rig.settings.SaveSettingHKCU(kLangOptions, QStringLiteral("DefaultLanguage"),
                                     QStringLiteral("2"));
        rig.settings.SaveSettingHKCU(kLangOptions, QStringLiteral("Language2/LanguageDB"), other);
        rig.settings.SaveSettingHKCU(kLangOptions, QStringLiteral("Language2/LanguageColumn"),
                                     QStringLiteral("German"));
        QVERIFY(rig.languages.OpenDefaultLanguage());
        QCOMPARE(rig.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Hallo"));

        // Language 3 names no database of its own: LanguageDB is used.
        rig.settings.SaveSettingHKCU(kLangOptions, QStringLiteral("DefaultLanguage"),
                                     QStringLiteral("3"));
        rig.settings.SaveSettingHKCU(kLangOptions, QStringLiteral("LanguageDB"), other);
        rig.settings.SaveSettingHKCU(kLangOptions, QStringLiteral("Language3/LanguageColumn"),
                                     QStringLiteral("German"));
        QVERIFY(rig.languages.OpenDefaultLanguage());
        QCOMPARE(rig.loc.sLanguageDB(), other);

        rig.settings.SaveSettingHKCU(kLangOptions, QStringLiteral("DefaultLanguage"),
                                     QStringLiteral("two"));
        QVERIFY(!rig.languages.OpenDefaultLanguage());
        QVERIFY(rig.loc.sErrDescription().contains(QStringLiteral("DefaultLanguage")));
        QVERIFY(rig.dialogs.history().isEmpty());
    }

    void databasePathPrefersTheInstallFolder()
    {
        Rig rig;
        // Nothing installed: the database shipped with the program, built from its source.
        const QString shipped = Languages::defaultLanguageDatabasePath(rig.settings);
        QCOMPARE(shipped, AppPaths::dataFile(QStringLiteral("langdata.db")));
        QVERIFY2(rig.languages.OpenLanguage(shipped, QStringLiteral("German")),
                 qPrintable(rig.loc.sErrDescription()));
        // The shipped translations are the ones read.
        QCOMPARE(rig.loc.GetS(QStringLiteral("Language changed")),
                 QStringLiteral("Sprache geändert"));

        const QString installDb = rig.installDb();
        QCOMPARE(Languages::defaultLanguageDatabasePath(rig.settings), installDb);

        QTemporaryDir elsewhere;
        rig.settings.SaveSettingHKLM(QString(), QStringLiteral("InstallDir"), elsewhere.path());
        QCOMPARE(Languages::defaultLanguageDatabasePath(rig.settings), shipped);
        QVERIFY(makeLanguageDb(elsewhere.filePath(QStringLiteral("langdata.db")), {}));
        QCOMPARE(Languages::defaultLanguageDatabasePath(rig.settings),
                 elsewhere.filePath(QStringLiteral("langdata.db")));
    }

    void changeLanguage()
    {
        Rig rig;
        rig.installDb();
        QVERIFY(rig.languages.OpenConfiguredLanguage());

        // The main window is re-translated from what it shows now.
        QStringList seen;
        auto mainWindow = [&](const QString& caption) {
            return [&seen, &rig, caption] { seen.append(rig.loc.GetS(caption)); };
        };
        QVERIFY(rig.languages.ChangeLanguage(QStringLiteral("German"),
                                             mainWindow(QStringLiteral("Hello"))));
        QVERIFY(rig.languages.ChangeLanguage(QStringLiteral("Native"),
                                             mainWindow(QStringLiteral("Guten Tag"))));
        QVERIFY(rig.languages.ChangeLanguage(QStringLiteral("German"),
                                             mainWindow(QStringLiteral("Only native"))));
        QCOMPARE(seen, QStringList({QStringLiteral("Guten Tag"), QStringLiteral("Hello"),
                                    QStringLiteral("Only native")}));
        // Afterwards texts from the code are found by their native form again.
        QCOMPARE(rig.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Guten Tag"));
        QCOMPARE(Languages::languageColumn(rig.settings), QStringLiteral("German"));
        QCOMPARE(rig.dialogs.history().size(), 3);
        QCOMPARE(rig.dialogs.history().constLast().prompt, QStringLiteral("Sprache geändert"));
        QCOMPARE(rig.dialogs.history().constLast().style, MsgStyle::OK + MsgStyle::Information);

        // A language the database lacks: reported, and nothing else changes.
        bool translated = false;
        QVERIFY(!rig.languages.ChangeLanguage(QStringLiteral("Klingon"),
                                              [&translated] { translated = true; }));
        QVERIFY(!translated);
        QCOMPARE(rig.dialogs.history().size(), 4);
        QVERIFY(rig.dialogs.history().constLast().prompt.contains(QStringLiteral("Klingon")));
        QCOMPARE(Languages::languageColumn(rig.settings), QStringLiteral("German"));
        QCOMPARE(rig.loc.sNativeColumnName(), QStringLiteral("Native"));
        QCOMPARE(rig.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Guten Tag"));
    }

    void menuTicksExactlyTheLanguageInUse()
    {
        const QList<Languages::MenuEntry>& entries = Languages::menuEntries();
        QCOMPARE(entries.size(), 7);
        QCOMPARE(entries.constFirst().menuName, QStringLiteral("mnuSetLangEnglish"));
        QCOMPARE(entries.constFirst().column, QStringLiteral("Native"));
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QList<bool> checks = Languages::menuChecks(entries[i].column.toUpper());
            QCOMPARE(checks.count(true), 1);
            QVERIFY(checks[i]);
        }
        QCOMPARE(Languages::menuChecks(QStringLiteral("<TESTWIDTH>")).count(true), 0);
    }
};

QTEST_GUILESS_MAIN(TestLanguages)
#include "TestLanguages.moc"
