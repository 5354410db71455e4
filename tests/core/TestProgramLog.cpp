#include "core/log/LogListModel.h"
#include "core/log/ProgramLog.h"

#include "ManualClock.h"
#include "TestHome.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestProgramLog : public QObject
{
    Q_OBJECT

private:
    static QString fileText(const TestHome& home)
    {
        return QString::fromUtf8(home.read(QStringLiteral("protocol.log")));
    }

private slots:
    void stampFollowsTheLocale()
    {
        const QDateTime when(QDate(2026, 12, 4), QTime(19, 41, 57));
        const QString german =
            ProgramLog::timeStamp(when, QLocale(QLocale::German, QLocale::Germany));
        QVERIFY2(german.startsWith(QStringLiteral("04.12.")), qPrintable(german));
        QVERIFY2(german.endsWith(QStringLiteral(" 19:41:57: ")), qPrintable(german));

        // The long time format of en_US names the zone; the stamp must not.
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QVERIFY(us.timeFormat(QLocale::LongFormat).contains(QLatin1Char('t')));
        const QString general = ProgramLog::formatGeneralDate(when, us);
        QVERIFY2(general.endsWith(QStringLiteral("7:41:57 PM")), qPrintable(general));
        QVERIFY2(general.startsWith(QStringLiteral("12/4/")), qPrintable(general));
    }

    void lineCarriesStampAndText()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        log.LogStr(QStringLiteral("hello"));
        QCOMPARE(log.lines(),
                 QStringList{ProgramLog::timeStamp(clock.now()) + QStringLiteral("hello")});
    }

    void lineBreaksFoldIntoOneLine()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        log.LogStr(QStringLiteral("a\r\nb"));
        log.LogStr(QStringLiteral("c\rd\ne"));
        QCOMPARE(log.lines().size(), 2);
        QVERIFY(log.lines()[0].endsWith(QStringLiteral(": a | b")));
        QVERIFY(log.lines()[1].endsWith(QStringLiteral(": c | d | e")));
        QCOMPARE(ProgramLog::joinLines(QStringLiteral("x\r\n\r\ny")), QStringLiteral("x |  | y"));
    }

    void fileOnlyWhileAFlagIsSet()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        QVERIFY(!log.fileLoggingOn());
        log.LogStr(QStringLiteral("quiet"));
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(!QFile::exists(log.GetLogfilename()));

        // The next line after switching on goes to the file.
        log.setLogFlag(true);
        log.LogStr(QStringLiteral("first a\r\nb"));
        QCOMPARE(fileText(home), log.lines().last() + QLatin1Char('\n'));
        QVERIFY(fileText(home).endsWith(QStringLiteral("first a | b\n")));

        log.setLogFlag(false);
        log.setDebugFlag(true);
        QVERIFY(log.fileLoggingOn());
        log.LogStr(QStringLiteral("second"));
        QCOMPARE(fileText(home).count(QLatin1Char('\n')), 2);

        log.setDebugFlag(false);
        log.LogStr(QStringLiteral("third"));
        QVERIFY(!fileText(home).contains(QStringLiteral("third")));
        QCOMPARE(log.lines().size(), 4);
    }

    void fileOnlyWriterKeepsTheListAlone()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        log.writeFileOnly(QStringLiteral("nothing while off"));
        QVERIFY(!QFile::exists(log.GetLogfilename()));

        log.setDebugFlag(true);
        log.writeFileOnly(QStringLiteral("Program started"));
        QCOMPARE(fileText(home), ProgramLog::formatGeneralDate(clock.now()) +
                                     QStringLiteral(": Program started\n"));
        QVERIFY(log.lines().isEmpty());
    }

    void unwritableFileLeavesLineInList()
    {
        TestHome home;
        ManualClock clock;
        home.write(QStringLiteral("blocker"), "a file, not a folder");
        ProgramLog log(home.file(QStringLiteral("blocker/protocol.log")));
        log.setLogFlag(true);
        log.LogStr(QStringLiteral("still listed"));
        log.DoLogStr(QStringLiteral("also listed"));
        QCOMPARE(log.lines().size(), 2);
    }

    void missingFolderIsCreated()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("state/phonavo/protocol.log")));
        log.setLogFlag(true);
        log.LogStr(QStringLiteral("x"));
        QVERIFY(QFile::exists(home.file(QStringLiteral("state/phonavo/protocol.log"))));
    }

    void deleteLogFileStartsFresh()
    {
        TestHome home;
        ManualClock clock;
        home.write(QStringLiteral("protocol.log"), "old run\n");
        const QString path = home.file(QStringLiteral("protocol.log"));
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        ProgramLog log(path);
        log.deleteLogFile();
        QVERIFY(!QFile::exists(path));
        log.deleteLogFile(); // nothing there: no harm

        log.setLogFlag(true);
        log.LogStr(QStringLiteral("new run"));
        QVERIFY(!fileText(home).contains(QStringLiteral("old run")));
    }

    void listIsCappedDroppingTheOldest()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        for (int i = 0; i < ProgramLog::kMaxLines; ++i)
            log.LogStr(QString::number(i));
        QCOMPARE(log.lines().size(), ProgramLog::kMaxLines);

        QSignalSpy removed(log.model(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(log.model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(log.model(), &QAbstractItemModel::modelReset);
        log.LogStr(QStringLiteral("newest"));

        const QStringList lines = log.lines();
        QCOMPARE(lines.size(), ProgramLog::kMaxLines);
        QVERIFY(lines.first().endsWith(QStringLiteral(": 1")));
        QVERIFY(lines.last().endsWith(QStringLiteral(": newest")));
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.first().at(1).toInt(), 0);
        QCOMPARE(removed.first().at(2).toInt(), 0);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.first().at(1).toInt(), ProgramLog::kMaxLines - 1);
        QCOMPARE(reset.size(), 0);
    }

    void modelShowsTheLines()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        LogListModel* model = log.model();
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        log.LogStr(QStringLiteral("one"));
        log.LogStr(QStringLiteral("two"));
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->data(model->index(1)).toString(), log.lines().at(1));
        QVERIFY(!model->data(model->index(5)).isValid());
        QVERIFY(!(model->flags(model->index(0)) & Qt::ItemIsEditable));
        QCOMPARE(model->rowCount(model->index(0)), 0);
    }

    void clearEmptiesListButNotFile()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        log.setLogFlag(true);
        log.LogStr(QStringLiteral("kept in file"));
        QSignalSpy cleared(&log, &ProgramLog::linesCleared);
        QSignalSpy reset(log.model(), &QAbstractItemModel::modelReset);
        log.clear();
        QVERIFY(log.lines().isEmpty());
        QCOMPARE(log.model()->rowCount(), 0);
        QCOMPARE(cleared.size(), 1);
        QCOMPARE(reset.size(), 1);
        QVERIFY(fileText(home).contains(QStringLiteral("kept in file")));
    }

    void everyLineIsAnnounced()
    {
        TestHome home;
        ManualClock clock;
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        QSignalSpy logged(&log, &ProgramLog::lineLogged);
        log.LogStr(QStringLiteral("x\ny"));
        QCOMPARE(logged.size(), 1);
        QCOMPARE(logged.first().first().toString(), log.lines().first());
    }

    void timeComesFromTheClock()
    {
        TestHome home;
        ManualClock clock(QDateTime(QDate(2031, 1, 2), QTime(3, 4, 5)));
        ProgramLog log(home.file(QStringLiteral("protocol.log")));
        log.LogStr(QStringLiteral("a"));
        clock.advanceSeconds(3600);
        log.LogStr(QStringLiteral("b"));
        const QDateTime start(QDate(2031, 1, 2), QTime(3, 4, 5));
        QCOMPARE(log.lines()[0], ProgramLog::timeStamp(start) + QStringLiteral("a"));
        QCOMPARE(log.lines()[1], ProgramLog::timeStamp(start.addSecs(3600)) + QStringLiteral("b"));
        QVERIFY(ProgramLog::timeStamp(start) != ProgramLog::timeStamp(start.addSecs(3600)));
    }
};

QTEST_GUILESS_MAIN(TestProgramLog)
#include "TestProgramLog.moc"
