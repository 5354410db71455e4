#include "loc/LocGuru.h"
#include "loc/TextLanguageDatabase.h"

#include "LangDbFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kGutenTag = QStringLiteral("Guten Tag");

// An engine set up as the program sets it up, with the German column.
struct Engine
{
    LocGuru loc;
    QStringList told;
    Engine()
    {
        loc.setsLanguageTableName(QStringLiteral("resstrings"));
        loc.setsForeignColumnName(QStringLiteral("German"));
        loc.setUserNotifier([this](const QString& text) { told.append(text); });
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestLanguageDatabase : public QObject
{
    Q_OBJECT

private slots:
    void translatesByItsRows()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("langdata.db"));
        QVERIFY(makeLanguageDb(path,
                               {
                                   {QStringLiteral("Hello"), kGutenTag},
                                   {QStringLiteral("Hello"), QStringLiteral("Second row")},
                                   {QStringLiteral("Call from %s"), QStringLiteral("Anruf von %s")},
                                   {QStringLiteral("Say \"hi\""), QStringLiteral("Sag \"hallo\"")},
                                   {QStringLiteral("Untranslated"), QVariant()},
                                   {QStringLiteral("Blank"), QString()},
                                   {QStringLiteral("Skipped"), QStringLiteral("Nicht"), true},
                               }));
        Engine e;
        QVERIFY2(e.loc.OpenLanguageDatabase(path, true, LocGuru::kSqlDatabase),
                 qPrintable(e.loc.sErrDescription()));
        QVERIFY(e.loc.bDbIsOpen());
        QCOMPARE(e.loc.sLanguageDB(), path);
        QCOMPARE(e.loc.lMaxPhraseLength(), 255);

        QCOMPARE(e.loc.GetS(QStringLiteral("Hello")), kGutenTag); // the first row wins
        QCOMPARE(e.loc.GetS(QStringLiteral("Call from %s"), 7), QStringLiteral("Anruf von 7"));
        QCOMPARE(e.loc.GetS(QStringLiteral("Say \"hi\"")), QStringLiteral("Sag \"hallo\""));
        QCOMPARE(e.loc.GetS(QStringLiteral("Untranslated")), QStringLiteral("Untranslated"));
        QCOMPARE(e.loc.GetS(QStringLiteral("Blank")), QStringLiteral("Blank"));
        QCOMPARE(e.loc.GetS(QStringLiteral("Skipped")), QStringLiteral("Skipped"));
        QCOMPARE(e.loc.GetS(QStringLiteral("hello")), QStringLiteral("hello")); // exact match only

        // The native column itself as the language: every text comes back unchanged.
        e.loc.setsForeignColumnName(QStringLiteral("Native"));
        QVERIFY(e.loc.OpenLanguageDatabase(path, true, LocGuru::kSqlDatabase));
        QCOMPARE(e.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Hello"));

        // Searched by the German column (a window showing German captions).
        e.loc.setsNativeColumnName(QStringLiteral("German"));
        QVERIFY(e.loc.OpenLanguageDatabase(path, true, LocGuru::kSqlDatabase));
        QCOMPARE(e.loc.GetS(kGutenTag), QStringLiteral("Hello"));
        QCOMPARE(e.loc.GetS(QStringLiteral("Untranslated")), QStringLiteral("Untranslated"));

        e.loc.CloseLanguageDatabase();
        QVERIFY(!e.loc.bDbIsOpen());
        QVERIFY(e.loc.sLanguageDB().isEmpty());
        QCOMPARE(e.loc.GetS(QStringLiteral("Hello")), QStringLiteral("Hello"));
    }

    // The old German error texts are native texts whose English form the
    // database carries; both formats show it wherever the native text would be.
    void nativeTextsNotInEnglishShowTheirEnglishForm_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("expected");
        const QList<std::pair<const char*, int>> types = {{"db", LocGuru::kSqlDatabase},
                                                          {"text", LocGuru::kTextDatabase}};
        for (const auto& [name, type] : types) {
            const auto row = [name](const char* language) -> QTestData& {
                return QTest::addRow("%s, %s", name, language);
            };
            row("Native") << type << QStringLiteral("Native")
                          << QStringList{QStringLiteral("File not found"), QStringLiteral("Hello"),
                                         QStringLiteral("Skipped")};
            row("German") << type << QStringLiteral("German")
                          << QStringList{QStringLiteral("Datei nicht gefunden"), kGutenTag,
                                         QStringLiteral("Skipped")};
            // A language without a translation shows English, as for every other text.
            row("Spanish") << type << QStringLiteral("Spanish")
                           << QStringList{QStringLiteral("File not found"), QStringLiteral("Hello"),
                                          QStringLiteral("Skipped")};
        }
    }

    void nativeTextsNotInEnglishShowTheirEnglishForm()
    {
        QFETCH(int, type);
        QFETCH(QString, language);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QStringList natives = {QStringLiteral("Datei nicht gefunden"),
                                     QStringLiteral("Hello"), QStringLiteral("Skipped")};
        QString path;
        if (type == LocGuru::kSqlDatabase) {
            path = dir.filePath(QStringLiteral("langdata.db"));
            QVERIFY(makeLanguageDb(path, {{natives[0], natives[0]},
                                          {natives[1], kGutenTag},
                                          {natives[2], QStringLiteral("Nicht"), true}}));
            querySql(path, QStringLiteral("UPDATE resstrings SET English = 'File not found' "
                                          "WHERE Native = 'Datei nicht gefunden'"));
        } else {
            path = dir.filePath(QStringLiteral("langdata.txt"));
            const QList<TextLanguageDatabase::Language> languages = {
                {QStringLiteral("German"), QString(), {natives[0], kGutenTag, natives[2]}},
                {QStringLiteral("Spanish"), QString(), {QString(), QString(), natives[2]}},
                {QStringLiteral("English"),
                 QString(),
                 {QStringLiteral("File not found"), QString(), natives[2]}}};
            QVERIFY(TextLanguageDatabase::save(path, natives, languages, QString(), nullptr));
        }
        Engine e;
        e.loc.setsForeignColumnName(language);
        QVERIFY2(e.loc.OpenLanguageDatabase(path, true, type), qPrintable(e.loc.sErrDescription()));
        QStringList shown;
        for (const QString& text : natives)
            shown << e.loc.GetS(text);
        QCOMPARE(shown, expected);
    }

    void badDatabaseIsRefusedAndKeepsTheOpenOne_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: a SQLite database made by `sql`
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing file") << QByteArray() << QString() << QStringLiteral("German")
                                      << QStringLiteral("does not exist");
        QTest::newRow("not a database")
            << QByteArray("MDB\0\x01 garbage that is no SQLite file", 37) << QString()
            << QStringLiteral("German") << QStringLiteral("is not a language database");
        QTest::newRow("no table") << QByteArray() << QStringLiteral("CREATE TABLE other (x)")
                                  << QStringLiteral("German") << QStringLiteral("has no table");
        QTest::newRow("no such language")
            << QByteArray() << QStringLiteral("CREATE TABLE resstrings (Native TEXT, German TEXT)")
            << QStringLiteral("Klingon")
            << QStringLiteral("Language Klingon not found in Language Database");
        QTest::newRow("language not text")
            << QByteArray()
            << QStringLiteral("CREATE TABLE resstrings (Native TEXT, German INTEGER)")
            << QStringLiteral("German") << QStringLiteral("not a text column");
        QTest::newRow("name that needs quoting")
            << QByteArray() << QStringLiteral("CREATE TABLE resstrings (Native TEXT)")
            << QStringLiteral("x\"; DROP TABLE resstrings; --")
            << QStringLiteral("not found in Language Database");
    }

    void badDatabaseIsRefusedAndKeepsTheOpenOne()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, sql);
        QFETCH(QString, column);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.db"));
        QVERIFY(makeLanguageDb(good, {{QStringLiteral("Hello"), kGutenTag}}));
        const QString bad = dir.filePath(QStringLiteral("bad.db"));
        if (!content.isEmpty()) {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        } else if (!sql.isEmpty()) {
            querySql(bad, sql);
        }
        const QByteArray before = fileBytes(bad);

        Engine e;
        QVERIFY(e.loc.OpenLanguageDatabase(good, true, LocGuru::kSqlDatabase));
        e.loc.setsForeignColumnName(column);
        QVERIFY(!e.loc.OpenLanguageDatabase(bad, false, LocGuru::kSqlDatabase));
        QVERIFY2(e.loc.sErrDescription().contains(error), qPrintable(e.loc.sErrDescription()));
        QCOMPARE(fileBytes(bad), before);
        QCOMPARE(QFile::exists(bad), !before.isEmpty() || !sql.isEmpty());
        QVERIFY(e.loc.bDbIsOpen());
        QCOMPARE(e.loc.sLanguageDB(), good);
        QCOMPARE(e.loc.GetS(QStringLiteral("Hello")), kGutenTag);
    }

    void exportMarksAndAddsNativeTexts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("export.db"));
        QVERIFY(makeLanguageDb(path, {{QStringLiteral("Kept"), kGutenTag, false, false},
                                      {QStringLiteral("Stale"), QVariant(), false, true}}));
        Engine e;
        e.loc.setsForeignColumnName(QStringLiteral("Native"));

        // Read-only: nothing is written.
        QVERIFY(e.loc.OpenLanguageDatabase(path, true, LocGuru::kSqlDatabase));
        QVERIFY(!e.loc.ExportStrings());
        QVERIFY(!e.loc.ExportOneString(QStringLiteral("New")));

        QVERIFY(e.loc.OpenLanguageDatabase(path, false, LocGuru::kSqlDatabase));
        QVERIFY(e.loc.ExportStrings());
        QVERIFY(e.loc.ExportOneString(QStringLiteral("Kept")));
        QVERIFY(e.loc.ExportOneString(QStringLiteral("New \"quoted\" text")));
        QVERIFY(e.loc.ExportOneString(QStringLiteral("New \"quoted\" text"))); // no second row
        QVERIFY(e.loc.ExportOneString(QStringLiteral("kept"))); // another text than "Kept"

        const QString tooLong(256, QLatin1Char('x'));
        QVERIFY(!e.loc.ExportOneString(tooLong));
        QCOMPARE(e.told,
                 QStringList({QStringLiteral(
                                  "A phrase of 256 characters was encountered which is longer "
                                  "than the maximum of 255 characters that can be stored in this "
                                  "Localization Guru Lite language database.  A Localization Guru "
                                  "Pro language database can handle phrases of unlimited length."),
                              QStringLiteral("The following phrase was not exported into the "
                                             "language database:\r\r") +
                                  tooLong}));
        e.loc.CloseLanguageDatabase();

        QCOMPARE(querySql(path, QStringLiteral("SELECT Native || '=' || bIsUsed FROM resstrings "
                                               "ORDER BY rowid")),
                 QVariantList({QStringLiteral("Kept=1"), QStringLiteral("Stale=0"),
                               QStringLiteral("New \"quoted\" text=1"), QStringLiteral("kept=1")}));
        // The translation of a marked row is left alone.
        QCOMPARE(querySql(path, QStringLiteral("SELECT German FROM resstrings WHERE Native = "
                                               "'Kept'")),
                 QVariantList{kGutenTag});
    }

    void debugModeCollectsMissingTextsOnlyWhenWritable()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dev.db"));
        QVERIFY(makeLanguageDb(path, {{QStringLiteral("Hello"), kGutenTag}}));
        Engine e;
        e.loc.setbDebugMode(true);
        QVERIFY(e.loc.OpenLanguageDatabase(path, true, LocGuru::kSqlDatabase));
        e.loc.GetS(QStringLiteral("Missing one"));
        QVERIFY(e.loc.OpenLanguageDatabase(path, false, LocGuru::kSqlDatabase));
        e.loc.GetS(QStringLiteral("Missing two"));
        e.loc.GetS(kGutenTag); // already a translation: not a native text
        e.loc.CloseLanguageDatabase();
        QCOMPARE(querySql(path, QStringLiteral("SELECT Native FROM resstrings ORDER BY rowid")),
                 QVariantList({QStringLiteral("Hello"), QStringLiteral("Missing two")}));
    }

    void textDatabaseTakesNoExport()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lang.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Localization Guru]\nNumberOfLanguages=1\nNumberOfStrings=1\n"
                   "Language1=German\n[NATIVE]\nHello\n[German]\nGuten Tag\n");
        file.close();
        Engine e;
        QVERIFY(e.loc.OpenLanguageDatabase(path, false, LocGuru::databaseTypeOf(path)));
        QCOMPARE(e.loc.GetS(QStringLiteral("Hello")), kGutenTag);
        QVERIFY(!e.loc.ExportOneString(QStringLiteral("Hello")));
        QCOMPARE(e.loc.sErrDescription(),
                 QStringLiteral("Text can only be exported to an Access Language Database"));
    }

    void helpers()
    {
        QCOMPARE(LocGuru::databaseTypeOf(QStringLiteral("/x/langdata.db")), LocGuru::kSqlDatabase);
        QCOMPARE(LocGuru::databaseTypeOf(QStringLiteral("C:/old/LANGDATA.MDB")),
                 LocGuru::kSqlDatabase);
        QCOMPARE(LocGuru::databaseTypeOf(QStringLiteral("/home/me/.dbfiles/lang.txt")),
                 LocGuru::kTextDatabase);

        QString line = QStringLiteral("a, b,,c");
        QCOMPARE(LocGuru::GetToken(line, QStringLiteral(",")), QStringLiteral("a"));
        QCOMPARE(line, QStringLiteral(" b,,c"));
        QCOMPARE(LocGuru::GetToken(line, QStringLiteral(",,")), QStringLiteral(" b"));
        QCOMPARE(LocGuru::GetToken(line, QStringLiteral(",")), QStringLiteral("c"));
        QVERIFY(line.isEmpty());

        QCOMPARE(LocGuru::GetFilePathOnly(QStringLiteral("/usr/share/phonavo/langdata.db")),
                 QStringLiteral("/usr/share/phonavo/"));
        QCOMPARE(LocGuru::GetFilePathOnly(QStringLiteral("C:\\Prog\\lang.txt")),
                 QStringLiteral("C:\\Prog\\"));
        QCOMPARE(LocGuru::GetFilePathOnly(QStringLiteral("lang.txt")), QString());
    }
};

QTEST_GUILESS_MAIN(TestLanguageDatabase)
#include "TestLanguageDatabase.moc"
