#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "loc/LanguageSource.h"
#include "loc/LocGuru.h"
#include "shell/dialogs/ScriptedDialogs.h"

#include "ManualClock.h"
#include "TestHome.h"

#include <QTest>

#include <stdexcept>

namespace {

const QString kApology = QStringLiteral(
    "Restarting or reinstalling the program helps in most cases.{\\r}Sorry for the inconvenience.");

class ApologySource : public LanguageSource
{
public:
    std::optional<QString> lookup(const QString& native) const override
    {
        if (native == kApology)
            return QStringLiteral("Entschuldigung.");
        return std::nullopt;
    }
};

// The whole reporting chain on a fresh home.
struct Rig
{
    TestHome home;
    ManualClock clock;
    ProgramLog log{home.file(QStringLiteral("protocol.log"))};
    LocGuru loc;
    ScriptedDialogs dialogs;
    ErrorReporter reporter{log, loc, dialogs};
};

void throwingHelper()
{
    PHONAVO_THROW(QStringLiteral("The key is taken"));
}

} // namespace

class TestErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void reportLines()
    {
        LocGuru loc;
        const ErrorInfo full{53, QStringLiteral("File not found"), QStringLiteral("MainForm"), 120};
        QCOMPARE(ErrorReporter::buildReport(QStringLiteral("Opening"), full, false, loc),
                 QStringLiteral("Opening\r\nFile not found\r\n#53\r\n"
                                "Source: MainForm - Line: 120\r\n"));

        // Number 0 and -1 have no "#" line; line 0 has no "Source: " line.
        QCOMPARE(ErrorReporter::buildReport(
                     QStringLiteral("T"), ErrorInfo{0, QStringLiteral("D"), QStringLiteral("S"), 0},
                     false, loc),
                 QStringLiteral("T\r\nD\r\n"));
        QCOMPARE(
            ErrorReporter::buildReport(
                QString(), ErrorInfo{-1, QStringLiteral("D"), QStringLiteral("S"), 7}, false, loc),
            QStringLiteral("D\r\nSource: S - Line: 7\r\n"));

        // Text only; the apology belongs to an error object.
        QCOMPARE(ErrorReporter::buildReport(QStringLiteral("Just saying"), std::nullopt, true, loc),
                 QStringLiteral("Just saying\r\n"));
        QVERIFY(ErrorReporter::buildReport(QString(), std::nullopt, false, loc).isEmpty());
    }

    void apologyIsTranslated()
    {
        LocGuru loc;
        const ErrorInfo error{0, QStringLiteral("D"), QString(), 0};
        QCOMPARE(ErrorReporter::buildReport(QString(), error, true, loc),
                 QStringLiteral("D\r\n\r\nRestarting or reinstalling the program helps in most "
                                "cases.\rSorry for the inconvenience.\r\n"));

        ApologySource source;
        loc.setLanguageSource(&source);
        loc.setbDbIsOpen(true);
        QCOMPARE(ErrorReporter::buildReport(QString(), error, true, loc),
                 QStringLiteral("D\r\n\r\nEntschuldigung.\r\n"));
    }

    void beforeMainWindowGoesToFileOnly()
    {
        Rig rig;
        rig.log.setDebugFlag(true);
        rig.reporter.RaiseError(QStringLiteral("Early"),
                                ErrorInfo{5, QStringLiteral("Boom"), {}, 0});
        QVERIFY(rig.log.lines().isEmpty());
        rig.log.flush();
        const QString file = QString::fromUtf8(rig.home.read(QStringLiteral("protocol.log")));
        QVERIFY2(file.contains(QStringLiteral(": RaiseError: Early\nBoom\n#5\n")),
                 qPrintable(file));

        const auto& box = rig.dialogs.history().last();
        QCOMPARE(box.kind, ScriptedDialogs::Kind::Timed);
        QCOMPARE(box.prompt, QStringLiteral("Early\r\nBoom\r\n#5\r\n"));
        QCOMPARE(box.style, 64);
        QCOMPARE(box.title, QStringLiteral("Phonavo"));
        QCOMPARE(box.seconds, 10);
    }

    void afterMainWindowGoesToTheList()
    {
        Rig rig;
        rig.reporter.setMainWindowLoaded(true);
        rig.reporter.RaiseError(QStringLiteral("Late"),
                                ErrorInfo{0, QStringLiteral("Why"), QStringLiteral("X"), 3});
        QCOMPARE(rig.log.lines().size(), 1);
        QVERIFY(rig.log.lines().first().endsWith(
            QStringLiteral(": RaiseError: Late | Why | Source: X - Line: 3 | ")));
        QCOMPARE(rig.dialogs.shown(),
                 QStringList{QStringLiteral("Late\r\nWhy\r\nSource: X - Line: 3\r\n")});
    }

    void thrownErrorCarriesItsPlace()
    {
        try {
            throwingHelper();
            QFAIL("no exception");
        } catch (const PhonavoError& e) {
            QCOMPARE(e.info().number, -1);
            QCOMPARE(e.info().description, QStringLiteral("The key is taken"));
            QVERIFY2(e.info().source.startsWith(QStringLiteral("TestErrorReport.cpp")),
                     qPrintable(e.info().source));
            QVERIFY(e.info().source.contains(QStringLiteral("throwingHelper")));
            QVERIFY(e.info().line > 0);
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("The key is taken"));
        }
    }

    void trapReportsAndTheNextStepRuns()
    {
        Rig rig;
        rig.reporter.setMainWindowLoaded(true);
        QStringList ran;

        QVERIFY(!trapErrors(rig.reporter, QStringLiteral("CallPipeline.step1"), [&] {
            ran << QStringLiteral("1");
            throwingHelper();
            ran << QStringLiteral("never");
        }));
        QVERIFY(!trapErrors(rig.reporter, QStringLiteral("CallPipeline.step2"), [&] {
            ran << QStringLiteral("2");
            throw std::out_of_range("index 7");
        }));
        QVERIFY(!trapErrors(rig.reporter, QStringLiteral("CallPipeline.step3"), [&] {
            ran << QStringLiteral("3");
            throw 42;
        }));
        QVERIFY(trapErrors(rig.reporter, QStringLiteral("CallPipeline.step4"),
                           [&] { ran << QStringLiteral("4"); }));

        QCOMPARE(ran, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                   QStringLiteral("4")}));
        const QStringList shown = rig.dialogs.shown();
        QCOMPARE(shown.size(), 3);
        QVERIFY(shown[0].startsWith(QStringLiteral("CallPipeline.step1\r\nThe key is taken\r\n"
                                                   "Source: TestErrorReport.cpp")));
        QCOMPARE(shown[1], QStringLiteral("CallPipeline.step2\r\nindex 7\r\n"));
        QCOMPARE(shown[2], QStringLiteral("CallPipeline.step3\r\nUnknown error\r\n"));
        QCOMPARE(rig.log.lines().size(), 3);
        for (const QString& line : rig.log.lines())
            QVERIFY(line.contains(QStringLiteral(": RaiseError: CallPipeline.step")));
    }

    void failingBoxDoesNotEscape()
    {
        class BrokenDialogs : public ScriptedDialogs
        {
        public:
            int timedBox(const QString&, int, const QString&, int) override
            {
                throw std::runtime_error("no display");
            }
        };
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        LocGuru loc;
        BrokenDialogs dialogs;
        ErrorReporter reporter(log, loc, dialogs);
        reporter.setMainWindowLoaded(true);
        QVERIFY(!trapErrors(reporter, QStringLiteral("x"), [] { throw std::logic_error("y"); }));
        QCOMPARE(log.lines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestErrorReport)
#include "TestErrorReport.moc"
