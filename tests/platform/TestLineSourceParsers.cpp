#include "platform/telephony/AmiMessageParser.h"
#include "platform/telephony/RouterCallMonitorParser.h"

#include <QTest>

namespace {

QString describe(const RouterCallEvent& e)
{
    static const char* const names[] = {"RING", "CALL", "CONNECT", "DISCONNECT"};
    return QStringLiteral("%1 %2 %3 ext=%4 remote=%5 own=%6 trunk=%7 dur=%8")
        .arg(QLatin1String(names[int(e.type)]), e.time.toString(Qt::ISODate))
        .arg(e.connectionId)
        .arg(e.extension, e.remoteNumber, e.ownNumber, e.trunk)
        .arg(e.durationSeconds);
}

QStringList describeAll(const QList<RouterCallEvent>& events)
{
    QStringList out;
    for (const RouterCallEvent& e : events)
        out << describe(e);
    return out;
}

QString describe(const AmiMessage& m)
{
    QStringList parts;
    for (const auto& [key, value] : m.fields)
        parts << key + u'=' + value;
    return parts.join(u'|');
}

const QByteArray kRouterLines = "04.12.26 19:41:57;RING;0;0301234567;5551;SIP0;\r\n"
                                "04.12.26 19:42:01;CALL;1;10;5552;0407654321;SIP1\r\n"
                                "04.12.26 19:42:03;CONNECT;0;11;0301234567;\n"
                                "04.12.2026 19:43:00;DISCONNECT;0;57\r\n";

const QByteArray kAmiStream = "Asterisk Call Manager/5.0.1\r\n"
                              "Response: Success\r\nActionID: phonavo-1\r\n"
                              "Message: Authentication accepted\r\n\r\n"
                              "Event: VarSet\r\nChannel: PJSIP/100-0000002a\r\n"
                              "Variable: DIALSTATUS\r\nValue: a:b: c\r\n\r\n";

} // namespace

class TestLineSourceParsers : public QObject
{
    Q_OBJECT

private slots:
    void routerLinesInEveryField()
    {
        RouterCallMonitorParser parser;
        const auto out = parser.feed(kRouterLines);
        QVERIFY(out.problems.isEmpty());
        QCOMPARE(describeAll(out.events),
                 (QStringList{
                     QStringLiteral("RING 2026-12-04T19:41:57 0 ext= remote=0301234567 own=5551 "
                                    "trunk=SIP0 dur=0"),
                     QStringLiteral("CALL 2026-12-04T19:42:01 1 ext=10 remote=0407654321 own=5552 "
                                    "trunk=SIP1 dur=0"),
                     QStringLiteral("CONNECT 2026-12-04T19:42:03 0 ext=11 remote=0301234567 own= "
                                    "trunk= dur=0"),
                     QStringLiteral("DISCONNECT 2026-12-04T19:43:00 0 ext= remote= own= trunk= "
                                    "dur=57")}));
    }

    void routerLinesSplitAnywhere()
    {
        RouterCallMonitorParser whole;
        const QStringList expected = describeAll(whole.feed(kRouterLines).events);
        for (qsizetype cut = 1; cut < kRouterLines.size(); ++cut) {
            RouterCallMonitorParser parser;
            QList<RouterCallEvent> events = parser.feed(kRouterLines.first(cut)).events;
            events += parser.feed(kRouterLines.sliced(cut)).events;
            QCOMPARE(describeAll(events), expected);
            QCOMPARE(parser.pendingBytes(), 0);
        }
        RouterCallMonitorParser bytewise;
        QList<RouterCallEvent> events;
        for (const char c : kRouterLines)
            events += bytewise.feed(QByteArrayView(&c, 1)).events;
        QCOMPARE(describeAll(events), expected);
    }

    void routerOverlongLineCostsBoundedMemory()
    {
        RouterCallMonitorParser parser;
        const QByteArray piece(4096, '1');
        QStringList problems;
        for (int i = 0; i < 256; ++i) { // 1 MiB without a line end
            problems += parser.feed(piece).problems;
            QVERIFY(parser.pendingBytes() <= RouterCallMonitorParser::kMaxLineLength);
        }
        QCOMPARE(problems, QStringList{QStringLiteral("a line longer than 65536 bytes")});
        // The tail of the long line goes too; the next line is read again.
        const auto out = parser.feed(QByteArray("tail;RING;1\n" + kRouterLines.first(48)));
        QVERIFY(out.problems.isEmpty());
        QCOMPARE(out.events.size(), 1);
        QCOMPARE(out.events[0].remoteNumber, QStringLiteral("0301234567"));
    }

    void routerRejectsMalformedLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("problem");
        QTest::newRow("bad date") << QByteArray("31.02.26 10:00:00;RING;0;1;2;SIP0;")
                                  << QStringLiteral("a line with a bad time stamp");
        QTest::newRow("negative id") << QByteArray("04.12.26 10:00:00;RING;-1;1;2;SIP0;")
                                     << QStringLiteral("a line with a bad connection id");
        QTest::newRow("short CALL") << QByteArray("04.12.26 10:00:00;CALL;0;10;5552;")
                                    << QStringLiteral("a CALL with too few fields");
        QTest::newRow("lowercase is fine, unknown is not")
            << QByteArray("04.12.26 10:00:00;ringing;0;1;2;") << QStringLiteral("an unknown event");
        QTest::newRow("NUL") << QByteArray("04.12.26 10:00:00;RING;0;1\0;2;", 30)
                             << QStringLiteral("a line with control characters");
        // A lost line end runs two lines together.
        QTest::newRow("RING into the next line")
            << QByteArray("06.12.26 10:13:58;RING;0;03098706.12.26 10:14:00;RING;1;0301234567;"
                          "5551;SIP0;")
            << QStringLiteral("a RING whose caller number \"03098706.12.26 10:14:00\" is not");
        QTest::newRow("CALL into the next line")
            << QByteArray("06.12.26 10:13:58;CALL;1;10;5552;040706.12.26 10:14:00;CONNECT;1;10;")
            << QStringLiteral("a CALL whose called number \"040706.12.26 10:14:00\" is not");
        QTest::newRow("called number with letters")
            << QByteArray("04.12.26 10:00:00;RING;0;0301234567;SIP0;")
            << QStringLiteral("a RING whose called number \"SIP0\"");
        QTest::newRow("event word as a number")
            << QByteArray("04.12.26 10:00:00;CONNECT;0;10;RING;")
            << QStringLiteral("a CONNECT whose number \"RING\"");
        QTest::newRow("CALL without the dialled number")
            << QByteArray("04.12.26 10:00:00;CALL;1;10;5552;;SIP1;")
            << QStringLiteral("a CALL whose called number \"\"");
        QTest::newRow("extension not a number")
            << QByteArray("04.12.26 10:00:00;CONNECT;0;x1;0301234567;")
            << QStringLiteral("a CONNECT whose extension \"x1\"");
    }

    void routerRejectsMalformedLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, problem);
        QString why;
        QVERIFY(!RouterCallMonitorParser::parseLine(line, &why));
        QVERIFY2(why.startsWith(problem), qPrintable(why));
        QVERIFY(RouterCallMonitorParser::parseLine("04.12.26 10:00:00;ring;0;1;2", &why));
    }

    // Odd numbers are the router's to report: only a broken line is dropped.
    void routerKeepsUnusualNumbers()
    {
        for (const char* number : {"+49301234567", "**610", "*31#0301234567", "0301234567#", "",
                                   "030+1234", "anonymous", "sip:anna@example.org"}) {
            const QByteArray line =
                QByteArray("04.12.26 10:00:00;RING;0;") + number + ";+495551;SIP0;";
            QString why;
            const auto event = RouterCallMonitorParser::parseLine(line, &why);
            QVERIFY2(event, qPrintable(why));
            QCOMPARE(event->remoteNumber, QString::fromLatin1(number));
        }
    }

    void amiGreetingThenMessages()
    {
        AmiMessageParser parser;
        const auto out = parser.feed(kAmiStream);
        QCOMPARE(out.banner, QStringLiteral("Asterisk Call Manager/5.0.1"));
        QVERIFY(out.problems.isEmpty());
        QCOMPARE(out.messages.size(), 2);
        QCOMPARE(out.messages[0].value(u"actionid"), QStringLiteral("phonavo-1"));
        QCOMPARE(out.messages[1].value(u"Value"), QStringLiteral("a:b: c"));
        QVERIFY(!out.messages[1].has(u"Response"));
        // A later line like the greeting is just a line.
        const auto later = parser.feed("Asterisk Call Manager/5.0.1\r\n\r\n");
        QVERIFY(later.banner.isEmpty());
        QCOMPARE(later.problems.size(), 1);
    }

    void amiSplitAnywhere()
    {
        AmiMessageParser whole;
        const auto expected = whole.feed(kAmiStream);
        for (qsizetype cut = 1; cut < kAmiStream.size(); ++cut) {
            AmiMessageParser parser;
            auto first = parser.feed(kAmiStream.first(cut));
            const auto second = parser.feed(kAmiStream.sliced(cut));
            first.messages += second.messages;
            QCOMPARE(first.banner.isEmpty() ? second.banner : first.banner, expected.banner);
            QCOMPARE(first.messages.size(), expected.messages.size());
            for (int i = 0; i < first.messages.size(); ++i)
                QCOMPARE(describe(first.messages[i]), describe(expected.messages[i]));
        }
    }

    void amiToleratesBareLineFeedsAndRepeatedKeys()
    {
        AmiMessageParser parser;
        const auto out = parser.feed("Asterisk Call Manager/1.1\n\r\n\n"
                                     "Event: Newchannel\nVariable: a=1\nVariable: b=2\n\n");
        QCOMPARE(out.messages.size(), 1);
        QCOMPARE(describe(out.messages[0]),
                 QStringLiteral("Event=Newchannel|Variable=a=1|Variable=b=2"));
    }

    void amiOversizeMessagesAreDroppedWhole()
    {
        AmiMessageParser parser;
        parser.feed("Asterisk Call Manager/5.0.1\r\n");
        QStringList problems;
        // Many lines, each short, adding up to more than a message may hold.
        const QByteArray line = "Variable: " + QByteArray(1000, 'x') + "\r\n";
        problems += parser.feed("Event: VarSet\r\n").problems;
        for (int i = 0; i < 400; ++i) {
            problems += parser.feed(line).problems;
            QVERIFY(parser.pendingBytes() <= AmiMessageParser::kMaxMessageSize);
        }
        auto out = parser.feed("\r\nEvent: Hangup\r\nChannel: PJSIP/100-1\r\n\r\n");
        problems += out.problems;
        QCOMPARE(problems, QStringList{QStringLiteral("a message larger than 262144 bytes")});
        QCOMPARE(out.messages.size(), 1);
        QCOMPARE(out.messages[0].value(u"Event"), QStringLiteral("Hangup"));

        // A single line beyond its limit takes its message with it.
        out = parser.feed(QByteArray("Event: DialBegin\r\nChannel: " + QByteArray(100 * 1024, 'c') +
                                     "\r\nDestChannel: PJSIP/100-2\r\n\r\nEvent: Hangup\r\n\r\n"));
        QCOMPARE(out.problems.size(), 1);
        QCOMPARE(out.messages.size(), 1);
        QCOMPARE(out.messages[0].value(u"Event"), QStringLiteral("Hangup"));
    }
};

QTEST_GUILESS_MAIN(TestLineSourceParsers)
#include "TestLineSourceParsers.moc"
