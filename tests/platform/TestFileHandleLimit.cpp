#include "platform/FileHandleLimit.h"

#include "TestHome.h"

#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <sys/resource.h>

class TestFileHandleLimit : public QObject
{
    Q_OBJECT

private slots:
    // Start-up lifts the usual soft limit to the hard one.
    void softLimitIsRaisedToTheHardOne()
    {
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        const auto restore = qScopeGuard([&saved] { setrlimit(RLIMIT_NOFILE, &saved); });
        if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max <= 256)
            QSKIP("the hard limit leaves nothing to raise");
        rlimit low = saved;
        low.rlim_cur = 256;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        QCOMPARE(FileHandleLimit::softLimit(), 256);

        const FileHandleLimit::Raised raised = FileHandleLimit::raiseSoftLimit();
        QVERIFY2(raised.error.isEmpty(), qPrintable(raised.error));
        QCOMPARE(raised.before, 256);
        rlimit now{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &now), 0);
        QCOMPARE(now.rlim_max, saved.rlim_max);
        QCOMPARE(qint64(now.rlim_cur), raised.after);
        QVERIFY(raised.after > 256);
        if (saved.rlim_max != RLIM_INFINITY)
            QCOMPARE(now.rlim_cur, saved.rlim_max);
        // Raised already: nothing more to do.
        const FileHandleLimit::Raised again = FileHandleLimit::raiseSoftLimit();
        QCOMPARE(again.before, again.after);
    }

    void handlesInUseAreCounted()
    {
        TestHome home;
        const int before = FileHandleLimit::inUse();
        QVERIFY(before >= 3); // at least the standard streams
        QFile file(home.file(QStringLiteral("one.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(FileHandleLimit::inUse(), before + 1);
        QCOMPARE(FileHandleLimit::available(), FileHandleLimit::softLimit() - before - 1);
        file.close();
        QCOMPARE(FileHandleLimit::inUse(), before);
    }
};

QTEST_GUILESS_MAIN(TestFileHandleLimit)
#include "TestFileHandleLimit.moc"
