#include "loc/LanguageSource.h"
#include "loc/LocGuru.h"

#include <QHash>
#include <QTest>

#include <stdexcept>

namespace {

// An in-memory language database that records what the engine asked of it.
class FakeSource : public LanguageSource
{
public:
    QHash<QString, QString> rows;
    QStringList foreign;
    mutable QStringList asked;
    QStringList exported;
    bool failing = false;

    std::optional<QString> lookup(const QString& native) const override
    {
        asked.append(native);
        if (failing)
            throw std::runtime_error("database gone");
        const auto it = rows.constFind(native);
        if (it == rows.cend())
            return std::nullopt;
        return *it;
    }
    bool containsForeign(const QString& text) const override { return foreign.contains(text); }
    void exportMissing(const QString& native) override { exported.append(native); }
    int phraseCount() const override { return static_cast<int>(rows.size()); }
};

} // namespace

class TestLocGuru : public QObject
{
    Q_OBJECT

private slots:
    void parametersAreFilledInOrder()
    {
        LocGuru loc;
        QCOMPARE(loc.GetS(QStringLiteral("Incoming call for %s"), 123),
                 QStringLiteral("Incoming call for 123"));
        QCOMPARE(
            loc.GetS(QStringLiteral("Incoming call for %s"), QStringList{QStringLiteral("123")}),
            QStringLiteral("Incoming call for 123"));
        // Mixed argument kinds, including a string built with operator+.
        const QString who = QStringLiteral("Anna");
        QCOMPARE(loc.GetS(QStringLiteral("%s rang %s times (%s)"), QLatin1Char('[') + who + u']', 3,
                          true),
                 QStringLiteral("[Anna] rang 3 times (True)"));
        // Surplus placeholders and parameters are left.
        QCOMPARE(loc.GetS(QStringLiteral("From %s to %s"), QStringLiteral("A")),
                 QStringLiteral("From A to %s"));
        QCOMPARE(loc.GetS(QStringLiteral("Only %s"), QStringLiteral("A"), QStringLiteral("B")),
                 QStringLiteral("Only A"));
        QCOMPARE(LocGuru::SubstituteParameters(
                     QStringLiteral("%s %s %s"), 2,
                     {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}),
                 QStringLiteral("a b %s"));
        QCOMPARE(LocGuru::SubstituteParameters(QStringLiteral("%s"), 5, {}), QStringLiteral("%s"));
        // A parameter holding a placeholder is filled by the next one.
        QCOMPARE(loc.GetS(QStringLiteral("A %s B %s"), QStringLiteral("x%sy"), QStringLiteral("1"),
                          QStringLiteral("2")),
                 QStringLiteral("A x1y B 2"));
    }

    void lineBreakMarkers()
    {
        LocGuru loc;
        QCOMPARE(loc.GetS(QStringLiteral("one{\\r}two{\\n}three")),
                 QStringLiteral("one\rtwo\nthree"));
        // Markers that arrive through a parameter are converted as well.
        QCOMPARE(loc.GetS(QStringLiteral("a%s"), QStringLiteral("{\\r}b")), QStringLiteral("a\rb"));
        loc.setbConvertCrLf(false);
        QCOMPARE(loc.GetS(QStringLiteral("one{\\r}two")), QStringLiteral("one{\\r}two"));
    }

    void widthTest_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("padding");
        QTest::newRow("4 chars doubled") << QStringLiteral("Stop") << 4;
        QTest::newRow("1 char doubled") << QStringLiteral("X") << 1;
        QTest::newRow("12 chars, 19.2 rounds down") << QStringLiteral("Incoming ca!") << 7;
        QTest::newRow("10 chars plus 80 percent") << QStringLiteral("0123456789") << 8;
        QTest::newRow("25 chars plus 40 percent") << QString(25, QLatin1Char('a')) << 10;
        QTest::newRow("long text plus 10 percent") << QString(100, QLatin1Char('a')) << 10;
    }

    void widthTest()
    {
        QFETCH(QString, text);
        QFETCH(int, padding);
        LocGuru loc;
        loc.setbTestStrWidth(true);
        QCOMPARE(loc.GetS(text), text + QString(padding, QLatin1Char('W')));
    }

    void widthTestSettings()
    {
        LocGuru loc;
        loc.setbTestStrWidth(true);
        loc.setsPadChar(QStringLiteral("#x"));
        QCOMPARE(loc.GetS(QStringLiteral("ab")), QStringLiteral("ab##"));

        // Malformed pairs are passed over; no fitting pair means no padding.
        loc.setsStrWidthFactors(QStringLiteral("junk,3:50,x:y"));
        QCOMPARE(loc.GetS(QStringLiteral("ab")), QStringLiteral("ab#"));
        QCOMPARE(loc.GetS(QStringLiteral("abcd")), QStringLiteral("abcd"));

        // Half a character rounds to even: 3 x 1.5 = 4.5 -> 4, 5 x 1.5 = 7.5 -> 8.
        loc.setsStrWidthFactors(QStringLiteral("9999:50"));
        QCOMPARE(loc.GetS(QStringLiteral("abc")), QStringLiteral("abc#"));
        QCOMPARE(loc.GetS(QStringLiteral("abcde")), QStringLiteral("abcde###"));

        // An absurd factor is bounded instead of exhausting memory.
        loc.setsStrWidthFactors(QStringLiteral("9999:1e300"));
        QVERIFY(loc.GetS(QStringLiteral("abc")).size() < 10000);

        // The native text is padded, then its parameters are filled.
        loc.setsStrWidthFactors(QStringLiteral("4:100"));
        QCOMPARE(loc.GetS(QStringLiteral("%s"), QStringLiteral("x")), QStringLiteral("x##"));
    }

    void translatesThroughOpenSource()
    {
        FakeSource source;
        source.rows.insert(QStringLiteral("Incoming call for %s"), QStringLiteral("Anruf für %s"));
        source.rows.insert(QStringLiteral("Say \"hi\""), QStringLiteral("Sag \"hallo\""));
        source.rows.insert(QStringLiteral("Blank"), QString());
        source.rows.insert(QStringLiteral("From %s to %s"), QStringLiteral("Von %s"));
        source.rows.insert(QStringLiteral("Saved"), QStringLiteral("Gespeichert: %s"));
        LocGuru loc;
        loc.setLanguageSource(&source);

        // Not open yet: native, no lookup.
        QCOMPARE(loc.GetS(QStringLiteral("Incoming call for %s"), 5),
                 QStringLiteral("Incoming call for 5"));
        QVERIFY(source.asked.isEmpty());

        loc.setbDbIsOpen(true);
        // An empty text comes back without a lookup.
        QVERIFY(loc.GetS(QString()).isEmpty());
        QVERIFY(loc.GetS(QString(), QStringLiteral("p")).isEmpty());
        QVERIFY(source.asked.isEmpty());
        QCOMPARE(loc.GetS(QStringLiteral("Incoming call for %s"), 5),
                 QStringLiteral("Anruf für 5"));
        QCOMPARE(loc.GetS(QStringLiteral("Say \"hi\"")), QStringLiteral("Sag \"hallo\""));
        QCOMPARE(loc.GetS(QStringLiteral("Blank")), QStringLiteral("Blank"));
        QCOMPARE(loc.GetS(QStringLiteral("Not there")), QStringLiteral("Not there"));
        // A translation with another number of placeholders is not used.
        QCOMPARE(
            loc.GetS(QStringLiteral("From %s to %s"), QStringLiteral("A"), QStringLiteral("B")),
            QStringLiteral("From A to B"));
        QCOMPARE(loc.GetS(QStringLiteral("Saved")), QStringLiteral("Saved"));
        QCOMPARE(loc.lNumTextPhrases(), 5);
        loc.setLanguageSource(nullptr);
        QCOMPARE(loc.lNumTextPhrases(), 0);
        QCOMPARE(loc.GetS(QStringLiteral("Say \"hi\"")), QStringLiteral("Say \"hi\""));
        loc.setLanguageSource(&source);

        loc.setbEnabled(false);
        QCOMPARE(loc.GetS(QStringLiteral("Say \"hi\"")), QStringLiteral("Say \"hi\""));
        loc.setbEnabled(true);

        // A failing lookup falls back to the native text.
        source.failing = true;
        QCOMPARE(loc.GetS(QStringLiteral("Hello %s"), QStringLiteral("you")),
                 QStringLiteral("Hello you"));
        QCOMPARE(loc.sErrDescription(), QStringLiteral("database gone"));
    }

    void debugModeExportsOnlyUnknownTexts()
    {
        FakeSource source;
        source.rows.insert(QStringLiteral("Known"), QStringLiteral("Bekannt"));
        source.foreign.append(QStringLiteral("Schon übersetzt"));
        LocGuru loc;
        loc.setLanguageSource(&source);
        loc.setbDbIsOpen(true);

        loc.GetS(QStringLiteral("Missing"));
        QVERIFY(source.exported.isEmpty()); // only in debug mode

        loc.setbDebugMode(true);
        loc.GetS(QStringLiteral("Known"));
        loc.GetS(QStringLiteral("Schon übersetzt"));
        QCOMPARE(loc.GetS(QStringLiteral("Missing")), QStringLiteral("Missing"));
        QCOMPARE(source.exported, QStringList{QStringLiteral("Missing")});
    }
};

QTEST_GUILESS_MAIN(TestLocGuru)
#include "TestLocGuru.moc"
