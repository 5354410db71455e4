// The password throttle's table: whose failures count together, and how far
// the table grows.

#include "server/connections/LoginThrottle.h"

#include <QHostAddress>
#include <QTest>

class TestLoginThrottle : public QObject
{
    Q_OBJECT

private slots:
    // An IPv6 host picks addresses from its /64 at will: they count as one.
    void addressesThatCountTogether_data()
    {
        QTest::addColumn<QString>("guesser");
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("together");
        QTest::newRow("same /64") << "2001:db8:1:2::1"
                                  << "2001:db8:1:2:ffff:ffff:ffff:fffe" << true;
        QTest::newRow("next /64") << "2001:db8:1:2::1"
                                  << "2001:db8:1:3::1" << false;
        QTest::newRow("IPv4 neighbours") << "10.0.0.1"
                                         << "10.0.0.2" << false;
        QTest::newRow("IPv4 same") << "10.0.0.1"
                                   << "10.0.0.1" << true;
    }

    void addressesThatCountTogether()
    {
        QFETCH(QString, guesser);
        QFETCH(QString, other);
        QFETCH(bool, together);
        LoginThrottle throttle;
        const QDateTime now(QDate(2026, 12, 4), QTime(19, 0));
        throttle.failed(guesser, now);
        QCOMPARE(throttle.mayCheck(other), !together);
        throttle.answered(guesser);
        QCOMPARE(throttle.failed(other, now).failures, together ? 2 : 1);
    }

    // The table is bounded: the address idle longest is forgotten first, and
    // one whose listens wait for their turn is kept.
    void tableIsBounded()
    {
        LoginThrottle throttle;
        const QDateTime start(QDate(2026, 12, 4), QTime(19, 0));
        const auto address = [](int i) {
            return QHostAddress(quint32(0x0A000000 + i)).toString(); // 10.x.y.z
        };
        throttle.failed(address(0), start); // still busy: its answer is pending
        int waited = 0;
        throttle.wait(address(0), [&waited] { ++waited; });
        for (int i = 1; i < LoginThrottle::kMaxAddresses + 10; ++i) {
            throttle.failed(address(i), start.addSecs(i));
            throttle.answered(address(i));
        }
        QCOMPARE(throttle.size(), LoginThrottle::kMaxAddresses);
        QCOMPARE(throttle.failures(address(0)), 1);
        QCOMPARE(throttle.failures(address(1)), 0);
        QCOMPARE(throttle.failures(address(10)), 0);
        QCOMPARE(throttle.failures(address(11)), 1);
        QCOMPARE(throttle.failures(address(LoginThrottle::kMaxAddresses + 9)), 1);
        throttle.answered(address(0));
        QCOMPARE(waited, 1);
    }
};

QTEST_GUILESS_MAIN(TestLoginThrottle)
#include "TestLoginThrottle.moc"
