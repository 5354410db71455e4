#include "loc/LangDataText.h"
#include "loc/LanguageDatabase.h"
#include "loc/Languages.h"
#include "loc/SourceTexts.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QSet>
#include <QTest>

namespace {

QStringList texts(const QString& source)
{
    QStringList out;
    for (const SourceTexts::Text& t : SourceTexts::harvest(source))
        out.append(t.text);
    return out;
}

} // namespace

class TestShippedTexts : public QObject
{
    Q_OBJECT

private slots:
    void harvestFindsWhatTheCompilerSees()
    {
        // The C++ text the scanner reads, one line per literal.
        const QString source = QString::fromUtf8(
            "// loc.GetS(QStringLiteral(\"in a comment\"));\n"
            "/* GetS(\"in a block comment\") */\n"
            "void f() {\n"
            "    m_form.GetS(QStringLiteral(\"Joined \"\n"
            "                               \"text {\\\\r}with \\\"quotes\\\"\"), "
            "QStringLiteral(\"not a text\"));\n"
            "    loc->GetS(active ? QStringLiteral(\"waiting\") : QStringLiteral(\"idle\"));\n"
            "    GetS(settings.getString(QStringLiteral(\"Key\")), x);\n"
            "    GetS(QLatin1String(\"Latin %s\"), 'x', '\"');\n"
            "    getTranslation(u\"utf16\", QStringLiteral(\"param\"));\n"
            "    warnings().askQuestion(QStringLiteral(\"DontAskClose\"), "
            "QStringLiteral(\"Quit?\"));\n"
            "    connect(a, b, [&] { show(loc.GetS(QStringLiteral(\"In a lambda\"))); });\n"
            "    GetS(R\"(raw \"text\")\");\n"
            "    other(QStringLiteral(\"elsewhere\"));\n"
            "    GetS(text, params);\n"
            "}\n");
        QCOMPARE(texts(source), QStringList({QStringLiteral("Joined text {\\r}with \"quotes\""),
                                             QStringLiteral("waiting"), QStringLiteral("idle"),
                                             QStringLiteral("Latin %s"), QStringLiteral("utf16"),
                                             QStringLiteral("Quit?"), QStringLiteral("In a lambda"),
                                             QStringLiteral("raw \"text\"")}));
        QCOMPARE(SourceTexts::harvest(QStringLiteral("\n\nGetS(\n\"x\")")).constFirst().line, 4);
    }

    void sourceFormat()
    {
        const auto parsed = LangDataText::parse(
            "# comment\n\n\"Say \"hi\" %s {\\r}\"\r\nGerman: \"Sag \"hallo\" %s\"\nskip\n"
            "  \" padded \"  \n");
        QVERIFY2(parsed, qPrintable(parsed.error()));
        QCOMPARE(parsed.value().size(), 2);
        const LangDataText::Entry& first = parsed.value().constFirst();
        QCOMPARE(first.native, QStringLiteral("Say \"hi\" %s {\\r}"));
        QCOMPARE(first.translations.value(QStringLiteral("German")),
                 QStringLiteral("Sag \"hallo\" %s"));
        QVERIFY(first.skip);
        QCOMPARE(parsed.value().constLast().native, QStringLiteral(" padded "));
        // What is written reads back the same.
        const auto again = LangDataText::parse(LangDataText::format(parsed.value()));
        QVERIFY(again);
        QCOMPARE(again.value().constFirst().translations, first.translations);
        QCOMPARE(again.value().constLast().native, QStringLiteral(" padded "));
    }

    void sourceFormatErrors_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown language") << QByteArray("\"A\"\nKlingon: \"B\"\n")
                                          << QStringLiteral("line 2: unknown language Klingon");
        QTest::newRow("translation first")
            << QByteArray("German: \"B\"\n") << QStringLiteral("line 1: a translation");
        QTest::newRow("repeated text")
            << QByteArray("\"A\"\n\n\"A\"\n") << QStringLiteral("line 3: \"A\" is listed twice");
        QTest::newRow("repeated language") << QByteArray("\"A\"\nGerman: \"B\"\nGerman: \"C\"\n")
                                           << QStringLiteral("line 3: German is given twice");
        QTest::newRow("unclosed") << QByteArray("\"A\n") << QStringLiteral("line 1: a native");
        QTest::newRow("stray line")
            << QByteArray("\"A\"\nGerman \"B\"\n") << QStringLiteral("line 2: expected");
    }

    void sourceFormatErrors()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        const auto parsed = LangDataText::parse(content);
        QVERIFY(!parsed);
        QVERIFY2(parsed.error().startsWith(error), qPrintable(parsed.error()));
    }

    void translationFaults_data()
    {
        QTest::addColumn<QString>("native");
        QTest::addColumn<QString>("translation");
        QTest::addColumn<QString>("fault"); // empty: none
        const QString none;
        QTest::newRow("faithful") << QStringLiteral("Call from %s to %s{\\r}Really?")
                                  << QStringLiteral("Anruf von %s an %s{\\r}Wirklich?") << none;
        QTest::newRow("%s lost") << QStringLiteral("Call from %s to %s")
                                 << QStringLiteral("Anruf von %s")
                                 << QStringLiteral("German: 1 %s, the native text has 2");
        QTest::newRow("%s added") << QStringLiteral("Call") << QStringLiteral("Anruf %s")
                                  << QStringLiteral("German: 1 %s, the native text has 0");
        QTest::newRow("line break lost")
            << QStringLiteral("Saved.{\\r}{\\r}Done") << QStringLiteral("Gesichert.{\\r}Fertig")
            << QStringLiteral("German: 1 {\\r}, the native text has 2");
        QTest::newRow("two accelerators") << QStringLiteral("&File") << QStringLiteral("&Da&tei")
                                          << QStringLiteral("German: 2 & accelerators");
        QTest::newRow("accelerator lost")
            << QStringLiteral("&Exit") << QStringLiteral("Beenden")
            << QStringLiteral("German: 0 & accelerator, the native text has 1");
        QTest::newRow("accelerator added")
            << QStringLiteral("Export texts") << QStringLiteral("&Texte exportieren")
            << QStringLiteral("German: 1 & accelerator, the native text has 0");
        QTest::newRow("&& is a literal ampersand")
            << QStringLiteral("Q&&A &Help") << QStringLiteral("F&&A &Hilfe") << none;
        QTest::newRow("moved accelerator")
            << QStringLiteral("&Stop") << QStringLiteral("St&opp") << none;
    }

    void translationFaults()
    {
        QFETCH(QString, native);
        QFETCH(QString, translation);
        QFETCH(QString, fault);
        LangDataText::Entry entry{native, {{QStringLiteral("German"), translation}}, false, 1};
        const QStringList faults = LangDataText::translationFaults(entry);
        QCOMPARE(faults, fault.isEmpty() ? QStringList() : QStringList{fault});
        // A language that lacks the text does not count as faulty, only as missing.
        QCOMPARE(LangDataText::missingLanguages(entry),
                 QStringList({QStringLiteral("Spanish"), QStringLiteral("Dutch"),
                              QStringLiteral("Norwegian"), QStringLiteral("French"),
                              QStringLiteral("Swedish")}));
        entry.skip = true;
        QVERIFY(LangDataText::missingLanguages(entry).isEmpty());
    }

    // Every shipped entry is translated into all six languages, and every
    // translation keeps the placeholders, line breaks and the one accelerator of
    // its native text: a forgotten language or a translator's slip shows up here.
    void shippedTranslationsAreCompleteAndKeepTheirPlaceholders()
    {
        const auto shipped = LangDataText::read(QStringLiteral(PHONAVO_SOURCE_DATA_DIR) +
                                                QStringLiteral("/lang/langdata.txt"));
        QVERIFY2(shipped, qPrintable(shipped.error()));
        QVERIFY(shipped.value().size() > 50);
        QStringList faults;
        for (const LangDataText::Entry& entry : shipped.value()) {
            QStringList problems = LangDataText::translationFaults(entry);
            const QStringList missing = LangDataText::missingLanguages(entry);
            if (!missing.isEmpty())
                problems.append(QStringLiteral("no ") + missing.join(QStringLiteral(", ")));
            for (const QString& problem : std::as_const(problems))
                faults.append(QStringLiteral("line %1 \"%2\": %3")
                                  .arg(entry.line)
                                  .arg(entry.native, problem));
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // A text added to the code must be added to data/lang/langdata.txt as well
    // (scripts/langdata update), or it can never be translated.
    void everyTextOfTheProgramIsShipped()
    {
        const QString dataDir = QStringLiteral(PHONAVO_SOURCE_DATA_DIR);
        const auto shipped = LangDataText::read(dataDir + QStringLiteral("/lang/langdata.txt"));
        QVERIFY2(shipped, qPrintable(shipped.error()));
        QSet<QString> known;
        for (const LangDataText::Entry& entry : shipped.value())
            known.insert(entry.native);

        const QList<SourceTexts::Text> found =
            SourceTexts::harvestTree(QDir::cleanPath(dataDir + QStringLiteral("/../src")));
        QVERIFY(found.size() > 50);
        QStringList missing;
        for (const SourceTexts::Text& text : found) {
            if (!known.contains(text.text))
                missing.append(
                    QStringLiteral("%1:%2: %3").arg(text.file).arg(text.line).arg(text.text));
        }
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("run scripts/langdata update:\n") +
                                               missing.join(QLatin1Char('\n'))));

        // The database built from it holds every text, in the program's table.
        LanguageDatabase db;
        LanguageDatabase::Options options;
        options.path = AppPaths::dataFile(QStringLiteral("langdata.db"));
        options.table = Languages::kTableName;
        options.languageColumn = QStringLiteral("German");
        QVERIFY2(db.open(options), qPrintable(db.error()));
        for (const LangDataText::Entry& entry : shipped.value())
            QVERIFY2(db.lookup(entry.native), qPrintable(entry.native));
    }
};

QTEST_GUILESS_MAIN(TestShippedTexts)
#include "TestShippedTexts.moc"
