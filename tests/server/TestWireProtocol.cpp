#include "server/protocol/MessageSizeGuard.h"
#include "server/protocol/WireProtocol.h"

#include <QTest>

using namespace WireProtocol;

class TestWireProtocol : public QObject
{
    Q_OBJECT

private slots:
    void arrivalsSplitAtNul_data()
    {
        QTest::addColumn<QByteArray>("arrival");
        QTest::addColumn<QList<QByteArray>>("messages");
        QTest::newRow("two pings")
            << QByteArray("ping\0ping\0", 10) << QList<QByteArray>{"ping", "ping"};
        QTest::newRow("without its NUL") << QByteArray("ping") << QList<QByteArray>{"ping"};
        QTest::newRow("rest of a message")
            << QByteArray("ping\0lis", 8) << QList<QByteArray>{"ping", "lis"};
        QTest::newRow("empty pieces") << QByteArray("\0\0ping\0\0", 8) << QList<QByteArray>{"ping"};
        QTest::newRow("nothing") << QByteArray() << QList<QByteArray>{};
    }

    void arrivalsSplitAtNul()
    {
        QFETCH(QByteArray, arrival);
        QFETCH(QList<QByteArray>, messages);
        QCOMPARE(splitArrival(arrival), messages);
    }

    // A message past the limit is dropped up to its NUL however the network
    // cut it; arrivals are still handled one by one (limit 10 here).
    void longMessagesAreDroppedAcrossArrivals_data()
    {
        QTest::addColumn<QList<QByteArray>>("arrivals");
        QTest::addColumn<QList<QByteArray>>("handled");
        QTest::addColumn<int>("dropsStarted");
        const auto bytes = [](const char* text, qsizetype size) { return QByteArray(text, size); };
        QTest::newRow("short messages") << QList<QByteArray>{"ping", bytes("\0abc", 4), "def"}
                                        << QList<QByteArray>{"ping", bytes("\0abc", 4), "def"} << 0;
        QTest::newRow("exactly the limit") << QList<QByteArray>{"01234", bytes("56789\0", 6)}
                                           << QList<QByteArray>{"01234", bytes("56789\0", 6)} << 0;
        QTest::newRow("a NUL starts the count again")
            << QList<QByteArray>{bytes("0123456\0", 8), "0123456"}
            << QList<QByteArray>{bytes("0123456\0", 8), "0123456"} << 0;
        QTest::newRow("long in one arrival") << QList<QByteArray>{bytes("0123456789A\0ping\0", 17)}
                                             << QList<QByteArray>{bytes("ping\0", 5)} << 1;
        QTest::newRow("long over three arrivals")
            << QList<QByteArray>{"0123456", "789A", bytes("BC\0ping\0", 8)}
            << QList<QByteArray>{"0123456", "", bytes("ping\0", 5)} << 1;
        QTest::newRow("dropped up to its NUL")
            << QList<QByteArray>{"0123456789AB", "CDEF", bytes("\0ping", 5)}
            << QList<QByteArray>{"", "", "ping"} << 1;
        QTest::newRow("two long ones")
            << QList<QByteArray>{bytes("0123456789AB\0ok\0", 16), bytes("0123456789AB\0", 13)}
            << QList<QByteArray>{bytes("ok\0", 3), ""} << 2;
    }

    void longMessagesAreDroppedAcrossArrivals()
    {
        QFETCH(QList<QByteArray>, arrivals);
        QFETCH(QList<QByteArray>, handled);
        QFETCH(int, dropsStarted);
        MessageSizeGuard guard(10);
        QList<QByteArray> passed;
        int started = 0;
        for (const QByteArray& arrival : arrivals) {
            const MessageSizeGuard::Passed p = guard.pass(arrival);
            passed << p.data;
            started += p.startedDropping ? 1 : 0;
            QCOMPARE(p.data.size() + p.dropped, arrival.size());
        }
        QCOMPARE(passed, handled);
        QCOMPARE(started, dropsStarted);
    }

    void fieldsAreAlwaysThere()
    {
        const QStringList ping = fields("ping");
        QVERIFY(ping.size() >= 5);
        QCOMPARE(ping[0], QStringLiteral("ping"));
        QCOMPARE(ping[4], QString());
        const QStringList listen = fields("listen\r\n301;302\r\nsecret\r\nOffice-PC");
        QCOMPARE(listen.mid(0, 6),
                 (QStringList{QStringLiteral("listen"), QStringLiteral("301;302"),
                              QStringLiteral("secret"), QStringLiteral("Office-PC"), QString(),
                              QString()}));
    }

    void encodingRoundTrip()
    {
        const QByteArray wire = encode(QStringLiteral("answered"), {QStringLiteral("12")});
        QCOMPARE(wire, QByteArray("answered\r\n12\0", 13));
        QCOMPARE(encode(QStringLiteral("connect")), QByteArray("connect\0", 8));
        const QStringList params = incomingCallParameters(
            QStringLiteral("5"), QStringLiteral("0301234567"), QStringLiteral("5551"),
            QStringLiteral("Office"), QStringLiteral("Müller"), true, QStringLiteral("ACME"),
            std::nullopt);
        QCOMPARE(params.size(), 7);
        const QList<QByteArray> messages =
            splitArrival(encode(QStringLiteral("incomingcall"), params));
        QCOMPARE(messages.size(), 1);
        const QStringList back = fields(messages.first());
        QCOMPARE(back[5], QStringLiteral("Müller")); // 8-bit text survives
        QCOMPARE(back[6], QStringLiteral("1"));
    }

    void picturesTravelAsBase64Lines()
    {
        QByteArray image(1000, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 37);
        const QString text = pictureText(image);
        for (const QString& line : text.split(QStringLiteral("\r\n")).mid(0, -1))
            QVERIFY(line.size() <= 76);
        QCOMPARE(text.split(QStringLiteral("\r\n")).first().size(), 76);
        QVERIFY(!text.endsWith(QStringLiteral("\r\n")));
        const QStringList in = incomingCallParameters(
            QStringLiteral("5"), QStringLiteral("1"), QStringLiteral("2"), QString(), QString(),
            false, QString(), CallPicture{QStringLiteral("png"), text});
        QCOMPARE(in.size(), 19);
        QCOMPARE(in[17], QStringLiteral("png"));
        const QStringList out = outgoingCallParameters(QStringLiteral("5"), QStringLiteral("1"),
                                                       QString(), QStringLiteral("2"), QString(),
                                                       CallPicture{QStringLiteral("jpg"), text});
        QCOMPARE(out.size(), 17);
        const QStringList received =
            fields(splitArrival(encode(QStringLiteral("incomingcall"), in)).first());
        QCOMPARE(received[18], QStringLiteral("png"));
        QCOMPARE(pictureBytes(received, 19), image);
    }

    void stamps_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<bool>("valid");
        QTest::newRow("good") << "20261204194157" << true;
        QTest::newRow("short") << "2026120419415" << false;
        QTest::newRow("letters") << "2026120419415x" << false;
        QTest::newRow("no such day") << "20260231120000" << false;
        QTest::newRow("empty") << "" << false;
    }

    void stamps()
    {
        QFETCH(QString, stamp);
        QFETCH(bool, valid);
        const auto parsed = parseStamp(stamp);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(FormatStamp(*parsed), stamp);
        QCOMPARE(FormatStamp(QDateTime()), QString());
    }

    void recordsEndWithByte255()
    {
        const QString list = deviceRecord(500, QStringLiteral("Virtual line 1 (Phonavo Server)")) +
                             deviceRecord(1, QStringLiteral("Plugin"));
        const QByteArray wire = list.toLatin1();
        QCOMPARE(wire.count(kRecordEnd), 2);
        QVERIFY(wire.endsWith(kRecordEnd));
        QCOMPARE(wire.split(kRecordEnd).first(), QByteArray("500|Virtual line 1 (Phonavo Server)"));
    }

    void listenLists_data()
    {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("admitted");
        QTest::newRow("listed") << "301;302"
                                << "302" << true;
        QTest::newRow("prefix") << "301;302"
                                << "30" << false;
        QTest::newRow("empty list") << ""
                                    << "30" << true;
        QTest::newRow("case sensitive") << "abc"
                                        << "ABC" << false;
    }

    void listenLists()
    {
        QFETCH(QString, listen);
        QFETCH(QString, number);
        QFETCH(bool, admitted);
        QCOMPARE(listenAdmits(listen, number), admitted);
    }

    // Every listen's password field is masked, right or wrong, wherever the
    // listen stands; one cut in two by the network is masked in both arrivals.
    void passwordsAreMaskedInTheLog_data()
    {
        QTest::addColumn<QList<QByteArray>>("arrivals");
        QTest::addColumn<QStringList>("logged");
        QTest::newRow("listen")
            << QList<QByteArray>{"listen\r\n301\r\nsecret\r\nOffice-PC\r\n\r\n1.0"}
            << QStringList{"listen | 301 | ***** | Office-PC |  | 1.0"};
        QTest::newRow("after a ping, and twice")
            << QList<QByteArray>{QByteArrayLiteral("ping\0listen\r\n\r\npw1\0listen\r\n\r\npw2")}
            << QStringList{"ping\\0listen |  | *****\\0listen |  | *****"};
        QTest::newRow("other commands keep their fields")
            << QList<QByteArray>{"startcall\r\nsecret\r\n123"}
            << QStringList{"startcall | secret | 123"};
        QTest::newRow("no password field")
            << QList<QByteArray>{"listen\r\n301"} << QStringList{"listen | 301"};
        QTest::newRow("cut in the password")
            << QList<QByteArray>{"listen\r\n301\r\nsec", QByteArrayLiteral("ret\r\nPC\0ping\0")}
            << QStringList{"listen | 301 | *****", "***** | PC\\0ping\\0"};
        QTest::newRow("cut before it")
            << QList<QByteArray>{QByteArrayLiteral("ping\0lis"), "ten\r\n301\r\nsecret\r\nPC"}
            << QStringList{"ping\\0lis", "ten | 301 | ***** | PC"};
        QTest::newRow("cut in a line break") << QList<QByteArray>{"listen\r", "\n301\r\nsecret"}
                                             << QStringList{"listen\r", "\n301 | *****"};
        QTest::newRow("the next arrival is a listen of its own")
            << QList<QByteArray>{"listen\r\n", "listen\r\n1\r\nsecret"}
            << QStringList{"listen | ", "listen | ***** | *****"};
        QTest::newRow("ended before the cut")
            << QList<QByteArray>{QByteArrayLiteral("listen\r\n\r\npw\r\nPC\0"), "secret\r\nx"}
            << QStringList{"listen |  | ***** | PC\\0", "secret | x"};
    }

    void passwordsAreMaskedInTheLog()
    {
        QFETCH(QList<QByteArray>, arrivals);
        QFETCH(QStringList, logged);
        QByteArray carry;
        QStringList shown;
        for (const QByteArray& arrival : arrivals) {
            const QByteArray masked = maskPasswords(arrival, &carry);
            QCOMPARE(splitArrival(masked).size(), splitArrival(arrival).size());
            shown << displayText(masked);
        }
        QCOMPARE(shown, logged);
        // The first arrival has nothing carried into it: read alone, it shows the same.
        QCOMPARE(logText(arrivals.first()), logged.first());
    }
};

QTEST_GUILESS_MAIN(TestWireProtocol)
#include "TestWireProtocol.moc"
