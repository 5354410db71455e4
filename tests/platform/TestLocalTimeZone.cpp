#include "platform/LocalTimeZone.h"

#include "TestHome.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

// The zone file the program pins stands in for /etc/localtime: local times
// follow it, and follow it again when the system's zone changes.
class TestLocalTimeZone : public QObject
{
    Q_OBJECT

    QByteArray m_tz;

    static int localHourOfNoonUtc()
    {
        return QDateTime(QDate(2030, 1, 15), QTime(12, 0), Qt::UTC).toLocalTime().time().hour();
    }

    static bool installZone(const TestHome& home, const char* zone)
    {
        const QString target = home.file(QStringLiteral("localtime"));
        QFile::remove(target + QStringLiteral(".new"));
        return QFile::copy(QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(zone),
                           target + QStringLiteral(".new")) &&
               std::rename(QFile::encodeName(target + QStringLiteral(".new")).constData(),
                           QFile::encodeName(target).constData()) == 0;
    }

private slots:
    void init() { m_tz = qgetenv("TZ"); }
    void cleanup()
    {
        if (m_tz.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_tz);
        tzset();
    }

    void localTimeFollowsTheZoneFile()
    {
        if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/Asia/Tokyo")))
            QSKIP("no time zone data (package tzdata)");
        TestHome home;
        QVERIFY(installZone(home, "Europe/Berlin"));
        qunsetenv("TZ");
        LocalTimeZone zone(home.file(QStringLiteral("localtime")));
        QVERIFY(zone.pin());
        QCOMPARE(localHourOfNoonUtc(), 13);
        QVERIFY(!zone.check()); // nothing changed

        QTest::qWait(20); // a file time the check can tell apart
        QVERIFY(installZone(home, "Asia/Tokyo"));
        QVERIFY(zone.check());
        QCOMPARE(localHourOfNoonUtc(), 21);
        QVERIFY(installZone(home, "America/New_York"));
        QVERIFY(zone.check());
        QCOMPARE(localHourOfNoonUtc(), 7);
    }

    void aZoneTheUserSetIsLeftAlone()
    {
        TestHome home;
        QVERIFY(installZone(home, "Europe/Berlin"));
        qputenv("TZ", "UTC");
        tzset();
        LocalTimeZone zone(home.file(QStringLiteral("localtime")));
        QVERIFY(!zone.pin());
        QCOMPARE(qgetenv("TZ"), QByteArray("UTC"));
        QCOMPARE(localHourOfNoonUtc(), 12);
        QVERIFY(!zone.check());
    }
};

QTEST_GUILESS_MAIN(TestLocalTimeZone)
#include "TestLocalTimeZone.moc"
