#include "core/log/LogListModel.h"
#include "core/log/ProgramLog.h"

#include "ManualClock.h"
#include "TestHome.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestProgramLog : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<ProgramLog> m_log;

    QString fileText() const
    {
        m_log->flush();
        return QString::fromUtf8(m_home->read(QStringLiteral("protocol.log")));
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_clock = std::make_unique<ManualClock>(QDateTime(QDate(2031, 1, 2), QTime(3, 4, 5)));
        m_log = std::make_unique<ProgramLog>(m_home->file(QStringLiteral("protocol.log")));
    }
    void cleanup()
    {
        m_log.reset();
        m_clock.reset();
        m_home.reset();
    }

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

    void linesCarryTheClocksStampAndFoldLineBreaks()
    {
        QSignalSpy logged(m_log.get(), &ProgramLog::lineLogged);
        const QDateTime start = m_clock->now();
        m_log->LogStr(QStringLiteral("a\r\nb"));
        m_clock->advanceSeconds(3600);
        m_log->LogStr(QStringLiteral("c\rd\ne"));
        QCOMPARE(m_log->lines(),
                 (QStringList{ProgramLog::timeStamp(start) + QStringLiteral("a | b"),
                              ProgramLog::timeStamp(start.addSecs(3600)) +
                                  QStringLiteral("c | d | e")}));
        QVERIFY(ProgramLog::timeStamp(start) != ProgramLog::timeStamp(start.addSecs(3600)));
        QCOMPARE(ProgramLog::joinLines(QStringLiteral("x\r\n\r\ny")), QStringLiteral("x |  | y"));
        // Every line is announced once, as listed.
        QCOMPARE(logged.size(), 2);
        QCOMPARE(logged.first().first().toString(), m_log->lines().first());
    }

    void fileOnlyWhileAFlagIsSet()
    {
        QVERIFY(!m_log->fileLoggingOn());
        m_log->LogStr(QStringLiteral("quiet"));
        m_log->writeFileOnly(QStringLiteral("nothing while off"));
        QCOMPARE(m_log->lines().size(), 1);
        QVERIFY(!QFile::exists(m_log->GetLogfilename()));
        // The next line after switching on goes to the file.
        m_log->setLogFlag(true);
        m_log->LogStr(QStringLiteral("first a\r\nb"));
        QCOMPARE(fileText(), m_log->lines().last() + QLatin1Char('\n'));
        QVERIFY(fileText().endsWith(QStringLiteral("first a | b\n")));
        m_log->setLogFlag(false);
        m_log->setDebugFlag(true);
        QVERIFY(m_log->fileLoggingOn());
        m_log->LogStr(QStringLiteral("second"));
        QCOMPARE(fileText().count(QLatin1Char('\n')), 2);
        // The file-only writer stamps with the general date and leaves the list alone.
        m_log->writeFileOnly(QStringLiteral("Program started"));
        QVERIFY(fileText().endsWith(ProgramLog::formatGeneralDate(m_clock->now()) +
                                    QStringLiteral(": Program started\n")));
        m_log->setDebugFlag(false);
        m_log->LogStr(QStringLiteral("third"));
        QVERIFY(!fileText().contains(QStringLiteral("third")));
        QCOMPARE(m_log->lines().size(), 4);
    }

    void fileLocationProblems()
    {
        // A missing folder is created.
        ProgramLog nested(m_home->file(QStringLiteral("state/phonavo/protocol.log")));
        nested.setLogFlag(true);
        nested.LogStr(QStringLiteral("x"));
        nested.flush();
        QVERIFY(QFile::exists(m_home->file(QStringLiteral("state/phonavo/protocol.log"))));

        // An unwritable file still leaves the lines in the list.
        m_home->write(QStringLiteral("blocker"), "a file, not a folder");
        ProgramLog blocked(m_home->file(QStringLiteral("blocker/protocol.log")));
        blocked.setLogFlag(true);
        blocked.LogStr(QStringLiteral("still listed"));
        blocked.DoLogStr(QStringLiteral("also listed"));
        blocked.flush();
        QCOMPARE(blocked.lines().size(), 2);
    }

    void deleteLogFileStartsFresh()
    {
        m_home->write(QStringLiteral("protocol.log"), "old run\n");
        const QString path = m_home->file(QStringLiteral("protocol.log"));
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        m_log->deleteLogFile();
        QVERIFY(!QFile::exists(path));
        m_log->deleteLogFile(); // nothing there: no harm
        m_log->setLogFlag(true);
        m_log->LogStr(QStringLiteral("new run"));
        QVERIFY(!fileText().contains(QStringLiteral("old run")));
    }

    // Whatever a line carries (network data, names from a line), no control
    // character or escape sequence reaches the list, the file or a terminal.
    void controlCharactersAreWrittenOut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("escape sequence") << QStringLiteral("a\x1b[2Jb") << "a\\x1B[2Jb";
        QTest::newRow("title and bell")
            << QStringLiteral("\x1b]0;owned\x07") << "\\x1B]0;owned\\x07";
        QTest::newRow("NUL, tab, backspace")
            << QStringView(u"n\0t\tb\b", 6).toString() << "n\\x00t\\x09b\\x08";
        QTest::newRow("DEL and C1") << QString(QStringLiteral("d\x7f c\x9b"
                                                              "1m\u0085"))
                                    << "d\\x7F c\\x9B1m\\x85";
        QTest::newRow("line breaks still folded") << QStringLiteral("a\r\nb\rc") << "a | b | c";
        QTest::newRow("line and paragraph separators")
            << QStringLiteral("a\u2028b\u2029c") << "a\\u2028b\\u2029c";
        QTest::newRow("direction marks and overrides")
            << QStringLiteral("\u200E\u200F\u202A\u202E\u2066\u2069")
            << "\\u200E\\u200F\\u202A\\u202E\\u2066\\u2069";
        QTest::newRow("other text untouched")
            << QStringLiteral("Müller ÿ € \u2027\u202F\u2065") << "Müller ÿ € \u2027\u202F\u2065";
    }

    void controlCharactersAreWrittenOut()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QSignalSpy logged(m_log.get(), &ProgramLog::lineLogged);
        m_log->setLogFlag(true);
        m_log->LogStr(text);
        const QString line = ProgramLog::timeStamp(m_clock->now()) + shown;
        QCOMPARE(m_log->lines(), QStringList{line});
        QCOMPARE(logged.first().first().toString(), line);
        QCOMPARE(fileText(), line + QLatin1Char('\n'));
        // The file-only writer keeps its line breaks, nothing else.
        m_log->writeFileOnly(QStringLiteral("report\r\n") + text);
        QVERIFY(fileText().endsWith(
            QStringLiteral(": report\n") +
            ProgramLog::neutralised(
                QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), true) +
            QLatin1Char('\n')));
        QVERIFY(!fileText().contains(QChar(0x1b)) && !fileText().contains(QChar(0x9b)));
    }

    // A long run keeps the newest part: a line that would take the file past
    // its limit moves it to protocol.log.1 and starts a new one; a new run
    // removes both.
    void fileIsRotatedAtItsLimit()
    {
        m_log->setLogFlag(true);
        m_log->setMaxFileBytes(1000);
        for (int i = 0; i < 60; ++i)
            m_log->LogStr(QStringLiteral("line %1 ").arg(i, 3, 10, QLatin1Char('0')) +
                          QString(20, QLatin1Char('x')));
        m_log->flush();
        const QString rotated = m_log->rotatedFilename();
        QCOMPARE(rotated, m_log->GetLogfilename() + QStringLiteral(".1"));
        QFile old(rotated);
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray oldText = old.readAll();
        old.close();
        QVERIFY(oldText.size() > 900 && oldText.size() <= 1000);
        QVERIFY(fileText().size() < 1000);
        QVERIFY(fileText().contains(QStringLiteral("line 059")));
        // The two files hold the newest lines, in order, none lost at the seam.
        const auto numbers = [](const QString& text) {
            QList<int> result;
            static const QRegularExpression number(QStringLiteral("line (\\d{3})"));
            for (auto it = number.globalMatch(text); it.hasNext();)
                result << it.next().captured(1).toInt();
            return result;
        };
        const QList<int> older = numbers(QString::fromUtf8(oldText));
        const QList<int> newer = numbers(fileText());
        QVERIFY(!older.isEmpty() && !newer.isEmpty() && older.first() > 0);
        QCOMPARE(older.last() + 1, newer.first());
        QCOMPARE(newer.last(), 59);
        m_log->deleteLogFile();
        QVERIFY(!QFile::exists(rotated) && !QFile::exists(m_log->GetLogfilename()));
    }

    // Lines reach the file together: after a short wait, when many gathered,
    // when file logging stops and when the log goes away, never lost or reordered.
    void fileGetsGatheredLines()
    {
        const QString path = m_log->GetLogfilename();
        const auto onDisk = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        m_log->setLogFlag(true);
        m_log->LogStr(QStringLiteral("first"));
        m_log->LogStr(QStringLiteral("second"));
        QVERIFY(!onDisk().contains(QLatin1String("first")));
        QTRY_VERIFY_WITH_TIMEOUT(onDisk().contains(QLatin1String("first")), 2000);
        QVERIFY(onDisk().indexOf(QLatin1String("first")) <
                onDisk().indexOf(QLatin1String("second")));

        const QString filler(1000, QLatin1Char('y'));
        int lines = 0;
        while (!onDisk().contains(filler) && lines < 1000) {
            m_log->LogStr(filler);
            ++lines;
        }
        // Each line is the filler and its time stamp.
        QVERIFY(lines >= ProgramLog::kFlushBytes / 1100 &&
                lines <= ProgramLog::kFlushBytes / 1000 + 1);

        m_log->LogStr(QStringLiteral("while on"));
        m_log->setLogFlag(false);
        QVERIFY(onDisk().contains(QLatin1String("while on")));
        m_log->setDebugFlag(true);
        m_log->LogStr(QStringLiteral("last words"));
        m_log.reset();
        QVERIFY(onDisk().endsWith(QLatin1String(": last words\n")));
    }

    void modelShowsTheLines()
    {
        LogListModel* model = m_log->model();
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        m_log->LogStr(QStringLiteral("one"));
        m_log->LogStr(QStringLiteral("two"));
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->data(model->index(1)).toString(), m_log->lines().at(1));
        QVERIFY(!model->data(model->index(5)).isValid());
        QVERIFY(!(model->flags(model->index(0)) & Qt::ItemIsEditable));
        QCOMPARE(model->rowCount(model->index(0)), 0);
    }

    void listIsCappedDroppingTheOldest()
    {
        for (int i = 0; i < ProgramLog::kMaxLines; ++i)
            m_log->LogStr(QString::number(i));
        QCOMPARE(m_log->lines().size(), ProgramLog::kMaxLines);
        QSignalSpy removed(m_log->model(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(m_log->model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(m_log->model(), &QAbstractItemModel::modelReset);
        m_log->LogStr(QStringLiteral("newest"));
        const QStringList lines = m_log->lines();
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

    // Memory, not the count of lines, bounds the list: long lines drop more
    // of the oldest ones; a new line always stays.
    void listIsBoundedByItsBytes()
    {
        LogListModel* model = m_log->model();
        model->setMaxBytes(4000);
        for (int i = 0; i < 100; ++i)
            m_log->LogStr(QString::number(i) + QString(60, QLatin1Char('x')));
        QVERIFY(model->bytes() <= 4000);
        const QStringList kept = m_log->lines();
        QVERIFY(kept.size() > 10 && kept.size() < 40);
        QVERIFY(kept.last().contains(QStringLiteral(": 99x")));
        const int before = int(kept.size());
        m_log->LogStr(QString(1000, QLatin1Char('y')));
        QVERIFY(m_log->lines().size() < before);
        QVERIFY(m_log->lines().last().endsWith(QString(1000, QLatin1Char('y'))));
        QVERIFY(model->bytes() <= 4000);
        model->setMaxBytes(1000); // lowering the bound drops at once
        QCOMPARE(m_log->lines().size(), 0);
        m_log->LogStr(QString(3000, QLatin1Char('z'))); // larger than the bound: kept alone
        QCOMPARE(m_log->lines().size(), 1);
    }

    void clearEmptiesListButNotFile()
    {
        m_log->setLogFlag(true);
        m_log->LogStr(QStringLiteral("kept in file"));
        QSignalSpy cleared(m_log.get(), &ProgramLog::linesCleared);
        QSignalSpy reset(m_log->model(), &QAbstractItemModel::modelReset);
        m_log->clear();
        QVERIFY(m_log->lines().isEmpty());
        QCOMPARE(m_log->model()->rowCount(), 0);
        QCOMPARE(cleared.size(), 1);
        QCOMPARE(reset.size(), 1);
        QVERIFY(fileText().contains(QStringLiteral("kept in file")));
    }
};

QTEST_GUILESS_MAIN(TestProgramLog)
#include "TestProgramLog.moc"
