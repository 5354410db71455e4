#include "shell/update/UpdateAnswer.h"
#include "shell/update/UpdateCheck.h"

#include "ControllerRig.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// A web server on loopback with one prepared answer, recording the requests.
class FakeSite : public QObject
{
public:
    int status = 200;
    QByteArray body;
    bool silent = false;  // accepts, never answers
    QString redirectTo;   // answers every request with a redirect there
    QStringList requests; // request lines

    FakeSite()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
            }
        });
    }
    QString url(const QString& path = QStringLiteral("/getactversion.php?prog=phonavo")) const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()) + path;
    }

private:
    void serve(QTcpSocket* s)
    {
        m_pending[s] += s->readAll();
        if (!m_pending[s].contains("\r\n\r\n"))
            return;
        requests << QString::fromLatin1(m_pending[s].left(m_pending[s].indexOf("\r\n")));
        if (silent)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " X\r\n";
        if (!redirectTo.isEmpty())
            head = "HTTP/1.1 302 Found\r\nLocation: " + redirectTo.toLatin1() + "\r\n";
        s->write(head + "Content-Type: text/xml\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
    }
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

const QByteArray kNewer = "<?xml version=\"1.0\"?><Phonavo><ActVersion>9.1</ActVersion>"
                          "<IfUpdate><AskUpdateBox>1</AskUpdateBox>"
                          "<AskUpdateBoxStyle>36</AskUpdateBoxStyle>"
                          "<UpdateURL>https://phonavo.example/download</UpdateURL></IfUpdate>"
                          "</Phonavo>";

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

    std::unique_ptr<ControllerRig> m_rig;
    std::unique_ptr<FakeSite> m_site;
    std::unique_ptr<UpdateCheck> m_check;
    QStringList m_opened;

    QString machine(const QString& name, const QString& key = QString())
    {
        return m_rig->settings.GetSettingHKLM(key, name, QStringLiteral("<none>")).toString();
    }
    // Runs one check; the result of finished(), or -1 when no check started.
    int run(bool forced = false)
    {
        QSignalSpy done(m_check.get(), &UpdateCheck::finished);
        if (!m_check->start(forced))
            return -1;
        if (done.isEmpty() && !done.wait(10000))
            return -2;
        return done.first().at(0).toBool() ? 1 : 0;
    }

private slots:
    void init()
    {
        m_rig = std::make_unique<ControllerRig>();
        m_site = std::make_unique<FakeSite>();
        m_opened.clear();
        m_rig->settings.SaveSettingHKLM(QString(), QStringLiteral("UpdateURL"), m_site->url());
        m_check = std::make_unique<UpdateCheck>(*m_rig->form, m_rig->clock,
                                                [this](const QString& url) { m_opened << url; });
        m_check->setTimeoutMs(300);
    }
    void cleanup()
    {
        m_check.reset();
        m_site.reset();
        m_rig.reset();
    }

    void versionsAreComparedPartByPart_data()
    {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("running");
        QTest::addColumn<bool>("newer");
        QTest::newRow("minor") << "0.2"
                               << "0.1.0" << true;
        QTest::newRow("same, fewer parts") << "0.1"
                                           << "0.1.0" << false;
        QTest::newRow("numeric, not text") << "0.10.0"
                                           << "0.9.9" << true;
        QTest::newRow("older") << "0.0.9.9"
                               << "0.1.0" << false;
        QTest::newRow("fourth part") << "0.1.0.1"
                                     << "0.1.0" << true;
        QTest::newRow("empty") << ""
                               << "0.1.0" << false;
    }
    void versionsAreComparedPartByPart()
    {
        QFETCH(QString, candidate);
        QFETCH(QString, running);
        QFETCH(bool, newer);
        QCOMPARE(UpdateCheck::isNewer(candidate, running), newer);
    }

    void aNewerVersionAsksAndOpensTheDownloadPage()
    {
        m_site->body = kNewer;
        m_rig->dialogs.queueAnswer(MsgResult::Yes);
        QCOMPARE(run(), 1);
        QCOMPARE(m_site->requests.size(), 1);
        QCOMPARE(m_site->requests.first(),
                 QStringLiteral("GET /getactversion.php?prog=phonavo&V=%1 HTTP/1.1")
                     .arg(UpdateCheck::runningVersion()));
        QCOMPARE(m_rig->dialogs.history().size(), 1);
        QCOMPARE(m_rig->dialogs.history().first().style, 36);
        QVERIFY(m_rig->dialogs.history().first().prompt.startsWith(
            QStringLiteral("There is a newer version 9.1 of Phonavo available.")));
        QCOMPARE(m_opened, QStringList{QStringLiteral("https://phonavo.example/download")});
        QCOMPARE(machine(QStringLiteral("LastUpdateCheck")),
                 m_rig->clock.now().toString(QStringLiteral("yyyyMMddHHmm")));
    }

    void theSameVersionStillOpensShowsAndSets()
    {
        m_site->body = "<a><ActVersion>" + UpdateCheck::runningVersion().toLatin1() +
                       "</ActVersion><IfUpdate><AskUpdateBox>1</AskUpdateBox></IfUpdate>"
                       "<ForceURL>https://phonavo.example/news</ForceURL>"
                       "<ShowMsgBox>Hello</ShowMsgBox><SetRegVal>"
                       "<RegVal id=\"0\"><Val>a</Val><Path>Options</Path><Name>N0</Name></RegVal>"
                       "<RegVal id=\"1\"><Val>b</Val><Path></Path><Name>N1</Name></RegVal>"
                       "<RegVal id=\"3\"><Val>c</Val><Path></Path><Name>N3</Name></RegVal>"
                       "</SetRegVal></a>";
        QCOMPARE(run(), 1);
        QCOMPARE(m_opened, QStringList{QStringLiteral("https://phonavo.example/news")});
        QCOMPARE(m_rig->dialogs.history().size(), 1); // the message, no question
        QCOMPARE(m_rig->dialogs.history().first().prompt, QStringLiteral("Hello"));
        QCOMPARE(machine(QStringLiteral("N0"), QStringLiteral("Options")), QStringLiteral("a"));
        QCOMPARE(machine(QStringLiteral("N1")), QStringLiteral("b"));
        QCOMPARE(machine(QStringLiteral("N3")), QStringLiteral("<none>")); // after the gap at 2
    }

    // Nothing outside the program's own key is ever written.
    void settingsOutsideTheProgramsKeyAreRefused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("climbing out") << "..\\..\\Other";
        QTest::newRow("inner climb") << "Options\\..\\..\\x";
        QTest::newRow("hive") << "HKEY_CURRENT_USER\\Software";
        QTest::newRow("absolute") << "\\Software\\Other";
        QTest::newRow("slash") << "/etc";
    }
    void settingsOutsideTheProgramsKeyAreRefused()
    {
        QFETCH(QString, path);
        m_site->body = "<a><SetRegVal><RegVal id=\"0\"><Val>evil</Val><Path>" + path.toUtf8() +
                       "</Path><Name>X</Name></RegVal></SetRegVal></a>";
        const QByteArray before = m_rig->home.read(QStringLiteral("machine.reg"));
        QCOMPARE(run(), 1);
        m_rig->settings.flush();
        QVERIFY(!m_rig->home.read(QStringLiteral("machine.reg")).contains("evil"));
        QVERIFY(m_rig->anyMessage([](const QString& m) {
            return m.contains(QLatin1String("outside the program's key"));
        }));
        Q_UNUSED(before)
    }

    void theIntervalDecidesWhetherToAsk_data()
    {
        QTest::addColumn<int>("daysAgo"); // -1: never checked
        QTest::addColumn<bool>("asks");
        QTest::newRow("3 days ago") << 3 << false;
        QTest::newRow("15 days ago") << 15 << true;
        QTest::newRow("first run") << -1 << true;
    }
    void theIntervalDecidesWhetherToAsk()
    {
        QFETCH(int, daysAgo);
        QFETCH(bool, asks);
        m_site->body = "<a/>";
        if (daysAgo >= 0)
            m_rig->settings.SaveSettingHKLM(
                QString(), QStringLiteral("LastUpdateCheck"),
                m_rig->clock.now().addDays(-daysAgo).toString(QStringLiteral("yyyyMMddHHmm")));
        QCOMPARE(run() >= 0, asks);
        QCOMPARE(m_site->requests.size(), asks ? 1 : 0);
        QCOMPARE(run(true) >= 0, true); // forced: always
    }

    // Failures end quietly with a log line and the time of the check stored.
    void badAnswersEndTheCheckQuietly_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("redirectLoop");
        QTest::newRow("404") << 404 << QByteArray("<a/>") << false << false;
        QTest::newRow("not XML") << 200 << QByteArray("<html><b>oops") << false << false;
        QTest::newRow("huge") << 200 << QByteArray(UpdateAnswer::kMaxBytes + 10, 'x') << false
                              << false;
        QTest::newRow("truncated") << 200 << QByteArray("<a><ActVersion>9</Act") << false << false;
        QTest::newRow("slow server") << 200 << QByteArray() << true << false;
        QTest::newRow("redirect loop") << 200 << QByteArray() << false << true;
    }
    void badAnswersEndTheCheckQuietly()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, silent);
        QFETCH(bool, redirectLoop);
        m_site->status = status;
        m_site->body = body;
        m_site->silent = silent;
        if (redirectLoop)
            m_site->redirectTo = m_site->url();
        QCOMPARE(run(), 0);
        QVERIFY(m_rig->dialogs.history().isEmpty());
        QVERIFY(m_opened.isEmpty());
        QVERIFY(m_rig->anyMessage([](const QString& m) { return m.startsWith("Update check: "); }));
        QCOMPARE(machine(QStringLiteral("LastUpdateCheck")),
                 m_rig->clock.now().toString(QStringLiteral("yyyyMMddHHmm")));
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "TestUpdateCheck.moc"
