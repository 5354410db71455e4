// The fan-out benchmark's own parts: the epoll clients read every call from
// each server they measure (the two floors and the program's server), a
// client that keeps logging in again is left out of the receipts, and the
// table scripts/bench prints holds each figure to its goal.

#include "BenchKit.h"
#include "FanoutClients.h"
#include "FanoutHarness.h"
#include "server/protocol/WireProtocol.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryFile>
#include <QtTest>

using namespace bench;

Q_DECLARE_METATYPE(bench::Kind)

class TestFanout : public QObject
{
    Q_OBJECT

private slots:
    void everyClientReadsEveryCall_data();
    void everyClientReadsEveryCall();
    void rejoiningClientIsLeftOut();
    void tableHoldsFiguresToGoals_data();
    void tableHoldsFiguresToGoals();
};

namespace {

constexpr int kClients = 6;

struct Bench
{
    QString text;
    QTextStream out{&text};
    PhonavoRig rig{out};
    FanoutHarness harness{out, rig, kClients};
    bool ready = rig.start() && harness.listen();
};

} // namespace

void TestFanout::everyClientReadsEveryCall_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("Qt floor") << Kind::Qt;
    QTest::newRow("epoll floor") << Kind::Epoll;
    QTest::newRow("Phonavo") << Kind::Phonavo;
}

void TestFanout::everyClientReadsEveryCall()
{
    QFETCH(Kind, kind);
    Bench b;
    QVERIFY2(b.ready, qPrintable(b.text));
    // Twice: the second round's clients log in where the first round's left.
    for (int round = 0; round < 2; ++round) {
        const std::optional<Round> r = b.harness.run(kind, 4, 60);
        QVERIFY2(r, qPrintable(b.text));
        QCOMPARE(r->calls, 4);
        QCOMPARE(r->incomplete, 0);
        QCOMPARE(r->lost, 0);
        QCOMPARE(r->rejoins, 0);
        QVERIFY(r->firstP50 > 0);
        QVERIFY(r->firstP50 <= r->lastP50);
        QVERIFY2(r->lastP99 < 1000, qPrintable(QString::number(r->lastP99)));
    }
}

void TestFanout::rejoiningClientIsLeftOut()
{
    Bench b;
    QVERIFY2(b.ready, qPrintable(b.text));
    // A stamp from before the calls: each login replays the calls made so far.
    const QString stamp = WireProtocol::FormatStamp(QDateTime::currentDateTime().addSecs(-60));
    const std::optional<Round> r = b.harness.run(Kind::Phonavo, 15, 100, stamp);
    QVERIFY2(r, qPrintable(b.text));
    QCOMPARE(r->calls, 15);
    QCOMPARE(r->incomplete, 0);
    QCOMPARE(r->lost, 0);
    QVERIFY2(r->rejoins >= 2, qPrintable(QString::number(r->rejoins)));
    QVERIFY(r->rejoinP50 > 0);
}

void TestFanout::tableHoldsFiguresToGoals_data()
{
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("row");
    QTest::newRow("ratio within") << "fanout.ratio.qt.last.p50 1.02 x\nfanout.phonavo.last.p50 "
                                     "2.04 ms\nfanout.qt.last.p50 2 ms\nfanout.clients 256 clients"
                                  << "| last of 256 clients, p50, to the Qt floor | ≤ 1.05× | 1.02 "
                                     "x (2.04 ms vs 2 ms) | 0.97 met |";
    QTest::newRow("ratio beyond") << "fanout.ratio.qt.first.p50 1.8 x"
                                  << "| 1.8 x | 1.50 MISSED |";
    QTest::newRow("below: just under") << "replay.all.log0 999 ms\nreplay.all.rows 100000 calls"
                                       << "| replay of 100000 calls, Log=0 | < 1 s | 999 ms | "
                                          "1.00 met |";
    QTest::newRow("below: the limit misses") << "replay.all.log0 1000 ms"
                                             << "| 1000 ms | 1.00 MISSED |";
    QTest::newRow("at most: the limit meets") << "callstore.save3.median 0.15 ms"
                                              << "| 0.15 ms | 1.00 met |";
    QTest::newRow("no goal") << "dbus.p50 0.8 ms"
                             << "| ShowIncomingCall over D-Bus, p50 | — | "
                                "0.8 ms | |";
    QTest::newRow("not measured") << "dbus.p50 0.8 ms"
                                  << "| < 5 ms | not measured | |";
}

void TestFanout::tableHoldsFiguresToGoals()
{
    QFETCH(QString, results);
    QFETCH(QString, row);
    QTemporaryFile file;
    QVERIFY(file.open());
    for (const QString& line : results.split(QLatin1Char('\n')))
        file.write("RESULT " + line.toUtf8() + '\n');
    file.close();
    QProcess script;
    script.start(QStringLiteral(PHONAVO_SOURCE_DIR "/scripts/bench"),
                 {QStringLiteral("--table"), file.fileName()});
    QVERIFY(script.waitForFinished(10'000));
    const QString table = QString::fromUtf8(script.readAllStandardOutput());
    QVERIFY2(table.startsWith(QStringLiteral("| what | goal | figure | ratio |\n")),
             qPrintable(table));
    QVERIFY2(table.contains(row), qPrintable(table));
}

int main(int argc, char* argv[])
{
    // The harness starts this program again as its client process.
    if (argc > 3 && qstrcmp(argv[1], "--clients") == 0) {
        QCoreApplication app(argc, argv);
        return runFanoutClients({QString::fromLatin1(argv[2]).toInt(),
                                 quint16(QString::fromLatin1(argv[3]).toUInt()),
                                 argc > 4 ? QString::fromLatin1(argv[4]) : QString(), 500});
    }
    QCoreApplication app(argc, argv);
    TestFanout test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFanout.moc"
