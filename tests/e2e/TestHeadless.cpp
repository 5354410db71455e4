#include "TestHome.h"

#include "shell/settings/SettingsStore.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const QByteArray kHives =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\n"
    "\"ConnectOnStart\"=\"1\"\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 1]\n"
    "\"Monitor\"=\"1\"\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 2]\n"
    "\"Monitor\"=\"1\"\n\"CheckMinLength\"=\"1\"\n\"CallerIDMinLength\"=\"5\"\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\MSNs\\Office]\n"
    "\"MSN\"=\"5551\"\n\"Clients\"=\"*\"\n";

const QByteArray kMachine = "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\n"
                            "\"Log\"=\"1\"\n\"InstalledVersion\"=\"2.1.0\"\n";

// A client of the server: a plain TCP socket from its own loopback address
// (the server tells clients apart by address), collecting the messages.
struct Client
{
    Client(const QString& address, quint16 port)
    {
        socket.bind(QHostAddress(address));
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(const QByteArray& message)
    {
        socket.write(message + '\0');
        socket.flush();
    }
    // Every complete message received so far, parameters joined by "|".
    QStringList messages()
    {
        received += socket.readAll();
        QStringList out;
        const QList<QByteArray> pieces = received.split('\0');
        for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
            out << QString::fromLatin1(pieces[i]).replace(QStringLiteral("\r\n"),
                                                          QStringLiteral("|"));
        return out;
    }
    QTcpSocket socket;
    QByteArray received;
};

struct LineResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

LineResult phonavoLine(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(PHONAVO_LINE_BIN), args);
    p.waitForFinished(15000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
            QString::fromUtf8(p.readAllStandardError()).trimmed()};
}

} // namespace

class TestHeadless : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QProcess> m_program;

    QString log() const { return QString::fromUtf8(m_home->read(QStringLiteral("protocol.log"))); }

    bool waitForLog(const QString& text, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (log().contains(text))
                return true;
            QTest::qWait(50);
        }
        qWarning().noquote() << "log so far:\n" << log();
        return false;
    }

    void startProgram(const QByteArray& extraUserHive = {})
    {
        m_home = std::make_unique<TestHome>();
        m_home->write(QStringLiteral("user.reg"), kHives + extraUserHive);
        m_home->write(QStringLiteral("machine.reg"), kMachine);
        m_program = std::make_unique<QProcess>();
        m_program->setProcessChannelMode(QProcess::MergedChannels);
        m_program->start(QStringLiteral(PHONAVO_BIN), {QStringLiteral("--headless")});
        QVERIFY(m_program->waitForStarted());
        QVERIFY(waitForLog(QStringLiteral("Start listen to TAPI Device: Virtual line 1 (ID: 0)")));
    }

private slots:
    void cleanup()
    {
        if (m_program && m_program->state() != QProcess::NotRunning) {
            m_program->terminate();
            QVERIFY(m_program->waitForFinished(10000));
            QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_program->exitCode(), 0);
        }
        m_program.reset();
        m_home.reset();
    }

    void callsDrivenByPhonavoLine()
    {
        startProgram();
        const LineResult list = phonavoLine({QStringLiteral("list")});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.out, QStringLiteral("0\tVirtual line 1\n1\tVirtual line 2"));

        const LineResult ring = phonavoLine(
            {QStringLiteral("ring"), QStringLiteral("Virtual line 1"), QStringLiteral("0301234567"),
             QStringLiteral("5551"), QStringLiteral("--name"), QStringLiteral("Smith")});
        QCOMPARE(ring.exitCode, 0);
        const QString id = ring.out;
        QVERIFY(id.toInt() > 1);
        QVERIFY(waitForLog(
            QLatin1Char('[') + id +
            QStringLiteral("] Incoming call from: Smith (0301234567). Callee: Office (5551)")));
        QCOMPARE(phonavoLine({QStringLiteral("answer"), id}).exitCode, 0);
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), id}).exitCode, 0);
        QVERIFY(waitForLog(
            QLatin1Char('[') + id +
            QStringLiteral("] Disconnected call from Smith (0301234567). Callee: Office (5551)")));

        const LineResult dial =
            phonavoLine({QStringLiteral("dial"), QStringLiteral("0"), QStringLiteral("0409876")});
        QCOMPARE(dial.exitCode, 0);
        QVERIFY(waitForLog(QLatin1Char('[') + dial.out +
                           QStringLiteral("] Outgoing call: Virtual line 1 called: 0409876")));

        const LineResult shortCall = phonavoLine({QStringLiteral("ring"), QStringLiteral("1"),
                                                  QStringLiteral("1234"), QStringLiteral("5551")});
        QVERIFY(waitForLog(QLatin1Char('[') + shortCall.out +
                           QStringLiteral("] Ignoring call: too short (1234 <- 5)")));

        // Bad commands get a clear error; the program keeps running.
        const LineResult bad = phonavoLine({QStringLiteral("answer"), QStringLiteral("424242")});
        QCOMPARE(bad.exitCode, 1);
        QCOMPARE(bad.err, QStringLiteral("phonavo-line: no call 424242"));
        QCOMPARE(phonavoLine({QStringLiteral("frobnicate")}).exitCode, 1);
        QCOMPARE(phonavoLine({QStringLiteral("list")}).exitCode, 0);

        // A second start is refused; the running program and its log stay as they are.
        const QString logBefore = log();
        QProcess second;
        second.start(QStringLiteral(PHONAVO_BIN), {QStringLiteral("--headless")});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError())
                    .contains(QLatin1String(
                        "Phonavo or Phonavo Setup Wizard already running. Please close both "
                        "before starting this application.")));
        QCOMPARE(log(), logBefore);
        QCOMPARE(phonavoLine({QStringLiteral("list")}).exitCode, 0);
    }

    void serverDeliversCallsToTheEntitledClientOnly()
    {
        quint16 port = 0;
        {
            QTcpServer probe; // a free port for the server
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
        }
        startProgram("\n[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Server]\n"
                     "\"Enabled\"=\"1\"\n\"Port\"=\"" +
                     QByteArray::number(port) + "\"\n\"Pass\"=\"\"\n");
        QVERIFY(waitForLog(QStringLiteral("Enabled server")));

        Client kitchen(QStringLiteral("127.0.0.2"), port);
        Client office(QStringLiteral("127.0.0.3"), port);
        QVERIFY(kitchen.socket.waitForConnected(5000) && office.socket.waitForConnected(5000));
        kitchen.send("listen\r\n5551\r\n\r\nkitchen\r\n\r\n2.1.0");
        office.send("listen\r\n999\r\n\r\noffice\r\n\r\n2.1.0");
        QTRY_VERIFY_WITH_TIMEOUT(kitchen.messages().contains(QStringLiteral("accepted|")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(office.messages().contains(QStringLiteral("accepted|")), 10000);
        kitchen.send("ping");
        office.send("ping");

        const QString id = phonavoLine({QStringLiteral("ring"), QStringLiteral("0"),
                                        QStringLiteral("0301234567"), QStringLiteral("5551")})
                               .out;
        QVERIFY(waitForLog(QLatin1Char('[') + id + QStringLiteral("] Incoming call from")));
        QCOMPARE(phonavoLine({QStringLiteral("answer"), id}).exitCode, 0);
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), id}).exitCode, 0);
        const QStringList expected = {
            QStringLiteral("connect"), QStringLiteral("accepted|"),
            QStringLiteral("incomingcall|%1|0301234567|5551|Office||1|").arg(id),
            QStringLiteral("answered|") + id, QStringLiteral("disconnect|") + id};
        QTRY_COMPARE_WITH_TIMEOUT(kitchen.messages(), expected, 10000);
        QVERIFY(waitForLog(QStringLiteral("office does not match filter for 5551")));
        QCOMPARE(office.messages(),
                 (QStringList{QStringLiteral("connect"), QStringLiteral("accepted|")}));

        // No dialling device was ever stored: the first line is the one.
        kitchen.send("startcall\r\n\r\n0409876");
        QVERIFY(waitForLog(
            QStringLiteral("Starting outgoing call on device 0=Virtual line 1: 0409876")));
    }

    void routerCallMonitorOnLoopback()
    {
        QTcpServer router;
        QVERIFY(router.listen(QHostAddress::LocalHost));
        const QByteArray config =
            "\n[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\LineSources\\Routers\\Home]"
            "\n"
            "\"Label\"=\"Home router\"\n\"Host\"=\"127.0.0.1\"\n\"Port\"=\"" +
            QByteArray::number(router.serverPort()) +
            "\"\n\n[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Home router]\n"
            "\"Monitor\"=\"1\"\n";
        startProgram(config);
        QVERIFY(waitForLog(QStringLiteral("Start listen to TAPI Device: Home router (ID: 2)")));
        // The connection may already have been taken in while the test waited for the log.
        QTRY_VERIFY_WITH_TIMEOUT(router.hasPendingConnections(), 10000);
        QTcpSocket* peer = router.nextPendingConnection();
        peer->write("05.12.26 19:41:57;RING;0;0301234567;5551;SIP0;\r\n");
        peer->flush();
        QVERIFY(
            waitForLog(QStringLiteral("Incoming call from: 0301234567. Callee: Office (5551)")));
        peer->write("05.12.26 19:42:10;DISCONNECT;0;0;\r\n05.12.26 "
                    "19:43:00;CALL;1;10;5551;0409876;SIP0\r\n");
        peer->flush();
        QVERIFY(
            waitForLog(QStringLiteral("Disconnected call from 0301234567. Callee: Office (5551)")));
        QVERIFY(waitForLog(QStringLiteral("Outgoing call: Office (5551) called: 0409876")));
        // The router's line cannot be dialled through phonavo-line: it is not a virtual line.
        QCOMPARE(phonavoLine(
                     {QStringLiteral("dial"), QStringLiteral("Home router"), QStringLiteral("1")})
                     .exitCode,
                 1);
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "TestHeadless.moc"
