#include "loc/LocGuru.h"
#include "loc/TextLanguageDatabase.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestTextLanguageDatabase : public QObject
{
    Q_OBJECT

private slots:
    void savedDatabaseLoadsSortedAndSearches()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lang.txt"));
        const QStringList natives = {QStringLiteral("Zebra"), QStringLiteral("Call from %s"),
                                     QStringLiteral("Say \"hi\"{\\r}"), QStringLiteral("Apple"),
                                     QStringLiteral("[German]")};
        const QList<TextLanguageDatabase::Language> languages = {
            {QStringLiteral("German"),
             QStringLiteral("1031"),
             {QStringLiteral("Zebra"), QStringLiteral("Anruf von %s"),
              QStringLiteral("Sag \"hallo\"{\\r}"), QString(), QStringLiteral("[Deutsch]")}},
            {QStringLiteral("French"),
             QString(),
             {QStringLiteral("Zèbre"), QStringLiteral("Appel de %s"), QString(),
              QStringLiteral("Pomme"), QString()}}};
        QString error;
        QVERIFY2(TextLanguageDatabase::save(path, natives, languages, QStringLiteral("3"), &error),
                 qPrintable(error));

        LocGuru loc;
        loc.setsForeignColumnName(QStringLiteral("german")); // names match in any case
        QVERIFY2(loc.OpenLanguageDatabase(path, true, LocGuru::kTextDatabase),
                 qPrintable(loc.sErrDescription()));
        QCOMPARE(loc.lNumTextPhrases(), 5);
        QCOMPARE(loc.sNativeText(0), QStringLiteral("Apple"));
        QCOMPARE(loc.sNativeText(4), QStringLiteral("[German]"));
        QCOMPARE(loc.sForeignText(1), QStringLiteral("Anruf von %s"));
        QVERIFY(loc.sNativeText(5).isEmpty());
        QCOMPARE(loc.TextDbVersion(), QStringLiteral("3"));
        QCOMPARE(loc.LocaleID(), QStringLiteral("1031"));

        QCOMPARE(loc.GetS(QStringLiteral("Call from %s"), 5), QStringLiteral("Anruf von 5"));
        QCOMPARE(loc.GetS(QStringLiteral("Say \"hi\"{\\r}")), QStringLiteral("Sag \"hallo\"\r"));
        QCOMPARE(loc.GetS(QStringLiteral("Apple")), QStringLiteral("Apple")); // empty line
        QCOMPARE(loc.GetS(QStringLiteral("[German]")), QStringLiteral("[Deutsch]"));
        QCOMPARE(loc.GetS(QStringLiteral("Unknown")), QStringLiteral("Unknown"));

        loc.setsForeignColumnName(QStringLiteral("French"));
        QVERIFY(loc.OpenLanguageDatabase(path, true, LocGuru::kTextDatabase));
        QCOMPARE(loc.GetS(QStringLiteral("Apple")), QStringLiteral("Pomme"));
        QCOMPARE(loc.GetS(QStringLiteral("Zebra")), QStringLiteral("Zèbre"));

        loc.setsForeignColumnName(QStringLiteral("Native"));
        QVERIFY(loc.OpenLanguageDatabase(path, true, LocGuru::kTextDatabase));
        QCOMPARE(loc.GetS(QStringLiteral("Zebra")), QStringLiteral("Zebra"));

        // A text holding a line break cannot be stored.
        QVERIFY(!TextLanguageDatabase::save(dir.filePath(QStringLiteral("x.txt")),
                                            {QStringLiteral("a\nb")}, {}, QString(), &error));
    }

    void handWrittenFileWithStaleOffsetsAndCrLf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lang.txt"));
        writeFile(path, "\r\n[Localization Guru]\r\nnumberoflanguages = 2\r\nNumberOfStrings=2\r\n"
                        "Language1=Dutch\r\nLanguage1_Offset=9999\r\nLanguage2=Swedish\r\n"
                        "Language2_Offset=3\r\n[NATIVE]\r\nYes\r\nNo\r\n"
                        "[Swedish]\r\nJa\r\nNej\r\n[Dutch]\r\nJa\r\nNee\r\n");
        LocGuru loc;
        loc.setsForeignColumnName(QStringLiteral("Dutch"));
        QVERIFY2(loc.OpenLanguageDatabase(path, true, LocGuru::kTextDatabase),
                 qPrintable(loc.sErrDescription()));
        QCOMPARE(loc.GetS(QStringLiteral("No")), QStringLiteral("Nee"));
        loc.setsForeignColumnName(QStringLiteral("Swedish"));
        QVERIFY(loc.OpenLanguageDatabase(path, true, LocGuru::kTextDatabase));
        QCOMPARE(loc.GetS(QStringLiteral("No")), QStringLiteral("Nej"));
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("error");
        const QString invalid = QStringLiteral("Not a valid Text Language Database");
        const QByteArray head = "[Localization Guru]\nNumberOfLanguages=1\nNumberOfStrings=2\n"
                                "Language1=German\n[NATIVE]\nYes\nNo\n";
        QTest::newRow("no language")
            << QByteArray("[Localization Guru]\nNumberOfLanguages=0\nNumberOfStrings=1\n"
                          "[NATIVE]\nYes\n")
            << QStringLiteral("German") << invalid;
        QTest::newRow("no string")
            << QByteArray("[Localization Guru]\nNumberOfLanguages=1\nNumberOfStrings=0\n"
                          "Language1=German\n[NATIVE]\n")
            << QStringLiteral("German") << invalid;
        QTest::newRow("count is no number")
            << QByteArray("[Localization Guru]\nNumberOfLanguages=one\nNumberOfStrings=1\n")
            << QStringLiteral("German") << invalid;
        QTest::newRow("not a text database")
            << QByteArray("SQLite format 3\0\x10\x00", 19) << QStringLiteral("German") << invalid;
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("German") << invalid;
        QTest::newRow("fewer native texts than declared")
            << QByteArray("[Localization Guru]\nNumberOfLanguages=1\nNumberOfStrings=9\n"
                          "Language1=German\n[NATIVE]\nYes\n")
            << QStringLiteral("German") << invalid;
        QTest::newRow("unknown language")
            << head + "[German]\nJa\nNein\n"
            << QStringLiteral("French")
            << QStringLiteral("Language not found in Language Database");
        QTest::newRow("block missing") << head << QStringLiteral("German")
                                       << QStringLiteral("The texts of German are missing in the "
                                                         "Language Database");
        QTest::newRow("block cut short")
            << head + "[German]\nJa\n"
            << QStringLiteral("German")
            << QStringLiteral("The texts of German are incomplete in the Language Database");
    }

    void refusedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, language);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lang.txt"));
        writeFile(path, content);
        TextLanguageDatabase db;
        QVERIFY(!db.open(path, language));
        QCOMPARE(db.error(), error);
        QCOMPARE(db.phraseCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTextLanguageDatabase)
#include "TestTextLanguageDatabase.moc"
