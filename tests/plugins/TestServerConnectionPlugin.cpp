// The server-connection plug-in against Phonavo's own server over loopback:
// the login, the calls and the requests, the calls missed while away, and a
// server that misbehaves.

#include "../server/ServerRig.h"
#include "RecordingPluginContext.h"
#include "TestPlugins.h"

#include "contacts/store/CallDatabase.h"
#include "platform/AppPaths.h"
#include "platform/db/ConnectionString.h"
#include "plugins/api/PhonavoPlugin.h"
#include "shell/startup/Program.h"

#include <QFile>
#include <QPluginLoader>
#include <QSqlQuery>
#include <QTcpServer>

namespace {

const QString kProgId = QStringLiteral("PhonavoConnectionTapiServer.Connection");
const QString kOldStamp = QStringLiteral("20000101000000");

template <qsizetype N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1); // NULs inside included
}

// The host's side of the contract, scrambling as the program does.
class TestContext : public RecordingPluginContext
{
public:
    TestContext() : RecordingPluginContext(kProgId)
    {
        scrambler = ScrambleSetting;
        unscrambler = UnscrambleSetting;
    }
};

// Records the events and gives calls ids as the host does.
class RecordingEvents : public phonavo::ConnectionEvents
{
public:
    struct Call
    {
        qint32 id;
        bool incoming;
        QStringList fields; // device, caller, caller name, called, called name, extra
        QString pictureFile;
        QByteArray picture; // the file's bytes while the host had the call announced
    };
    QList<Call> calls;
    QList<qint32> answered;
    QList<qint32> ended;
    int connected = 0;
    int disconnected = 0;
    qint32 nextId = 5000;

    qint32 evtIncomingCall(const QString& device, const QString& callerId,
                           const QString& callerName, const QString& calledId,
                           const QString& calledName, const QString& extra,
                           const QString& pictureFile) override
    {
        return record(true, {device, callerId, callerName, calledId, calledName, extra},
                      pictureFile);
    }
    qint32 evtOutgoingCall(const QString& device, const QString& callerId,
                           const QString& callerName, const QString& calledId,
                           const QString& calledName, const QString& extra, const QString&,
                           const QString& pictureFile) override
    {
        return record(false, {device, callerId, callerName, calledId, calledName, extra},
                      pictureFile);
    }
    void evtCallAnswered(qint32 id) override { answered << id; }
    void evtCallDisconnected(qint32 id) override { ended << id; }
    void evtConnected(const QString& progId) override { connected += progId == kProgId; }
    void evtDisconnected(const QString& progId) override { disconnected += progId == kProgId; }

private:
    qint32 record(bool incoming, const QStringList& fields, const QString& pictureFile)
    {
        QFile f(pictureFile);
        const QByteArray bytes =
            !pictureFile.isEmpty() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        calls.append({nextId, incoming, fields, pictureFile, bytes});
        return nextId++;
    }
};

class PictureLookup : public ContactLookup
{
public:
    QString picture;
    bool LookupNumber(QString&, QString&, QString& name, QString& pic, QString& extra,
                      QVariant&) override
    {
        name = QStringLiteral("Anna");
        pic = picture;
        extra = QStringLiteral("ACME");
        return true;
    }
};

// The plug-in as the host loads it, pointed at a server.
struct LoadedPlugin
{
    QPluginLoader loader{testPluginFile(QStringLiteral("phonavo_serverconnection"))};
    TestContext context;
    RecordingEvents events;
    phonavo::ConnectionPlugin* plugin = nullptr;

    explicit LoadedPlugin(quint16 port, const QString& password = kPassword)
    {
        plugin = qobject_cast<phonavo::ConnectionPlugin*>(loader.instance());
        context.settings = {{QStringLiteral("server"), QStringLiteral("127.0.0.1")},
                            {QStringLiteral("port"), QString::number(port)},
                            {QStringLiteral("password"), ScrambleSetting(password)}};
        if (plugin) {
            plugin->SetContext(&context);
            plugin->Init(&events);
        }
    }
    ~LoadedPlugin()
    {
        delete loader.instance(); // the root object goes with the test, and its files
        loader.unload();
    }
    bool login()
    {
        if (!plugin || !plugin->Connect())
            return false;
        return QTest::qWaitFor([this] { return events.connected > 0; }, 5000);
    }
};

// The rig's server speaks this build's version, as a server of the same release does.
void sameVersion(ServerRig& rig)
{
    rig.settings.SaveSettingHKLM(QString(), QStringLiteral("InstalledVersion"),
                                 Program::versionText());
}

std::unique_ptr<CallDatabase> databaseWith(const TestHome& home, const QStringList& dates)
{
    const QString file = home.file(QStringLiteral("data.db"));
    if (!CallDatabase::createSQLiteDatabase(
            file, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), nullptr))
        return nullptr;
    auto db = std::make_unique<CallDatabase>([](const QString& e) { qWarning() << e; });
    QString connection = ConnectionString::forSQLite(file);
    if (!db->OpenCallDatabase(connection, QString()))
        return nullptr;
    QSqlQuery q(db->database());
    q.prepare(QStringLiteral("INSERT INTO Calls (CallID, CallDate, Incoming, Answered, CallerID, "
                             "CallerName, CalledID, CalledDevice) VALUES (?, ?, 1, 0, ?, 'Bob', "
                             "'301', 'Virtual line 1')"));
    for (int i = 0; i < dates.size(); ++i) {
        q.addBindValue(i + 1);
        q.addBindValue(dates[i]);
        q.addBindValue(QStringLiteral("03000%1").arg(i + 1));
        if (!q.exec())
            return nullptr;
    }
    return db;
}

} // namespace

class TestServerConnectionPlugin : public QObject
{
    Q_OBJECT

private slots:
    // Login, a call rung on the server's line with its answer and end under
    // the host's id, the server's dial-out devices, and dialling through it.
    void callsArriveUnderTheHostsIds()
    {
        ServerRig rig;
        sameVersion(rig);
        PictureLookup lookup;
        rig.form->setContactLookup(&lookup);
        QVERIFY(rig.start());
        LoadedPlugin p(rig.port());
        QVERIFY(p.plugin);
        // Nothing since then: the server has no call database to look in.
        p.context.settings[QStringLiteral("LastStamp")] = kOldStamp;
        QVERIFY(!p.plugin->CanRejectCall());
        QVERIFY(p.login());
        QVERIFY(p.plugin->CanRejectCall());
        QCOMPARE(p.context.settings.value(QStringLiteral("LastStamp")), kOldStamp);
        QVERIFY(p.context.logged(QStringLiteral("Connected to Phonavo Server 127.0.0.1:")));
        QVERIFY(rig.anyMessage(
            [](const QString& l) { return l.startsWith(QLatin1String("Client connected: ")); }));
        QTRY_COMPARE(p.plugin->GetDevices(),
                     (QStringList{QStringLiteral("Virtual line 1 (Phonavo Server)"),
                                  QStringLiteral("Virtual line 2 (Phonavo Server)")}));

        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QTRY_COMPARE(p.events.calls.size(), 1);
        const RecordingEvents::Call call = p.events.calls.constFirst();
        QCOMPARE(call.id, 5000);
        QVERIFY(call.incoming);
        QCOMPARE(call.fields,
                 (QStringList{QStringLiteral("Phonavo Server"), QStringLiteral("0301234567"),
                              QStringLiteral("Anna"), QStringLiteral("5551"),
                              QStringLiteral("5551"), QStringLiteral("ACME")}));
        QCOMPARE(p.plugin->CallerExtra(), QStringLiteral("ACME"));
        const QString stamp = p.context.settings.value(QStringLiteral("LastStamp"));
        QVERIFY2(stamp > QStringLiteral("20000101000000") && stamp.size() == 14, qPrintable(stamp));
        QVERIFY(rig.lines().answerCall(id).value());
        rig.settle();
        QTRY_COMPARE(p.events.answered, QList<qint32>{5000});
        QVERIFY(rig.lines().hangup(id).value());
        rig.settle();
        QTRY_COMPARE(p.events.ended, QList<qint32>{5000});
        QCOMPARE(p.plugin->CallerExtra(), QString());

        rig.form->setOutgoingDevice(QStringLiteral("Virtual line 1"));
        p.plugin->StartCall(QStringLiteral("0301 999\r\n"));
        QTRY_COMPARE(p.events.calls.size(), 2);
        QVERIFY(!p.events.calls[1].incoming);
        QCOMPARE(p.events.calls[1].fields.value(3), QStringLiteral("0301999"));
        QCOMPARE(p.events.disconnected, 0);
        rig.form->setContactLookup(nullptr);
    }

    void refusedLogin_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("sameVersion");
        QTest::addColumn<QString>("logged");
        QTest::newRow("wrong password")
            << QStringLiteral("hunter2") << true << QStringLiteral("refused the password");
        QTest::newRow("other version") << kPassword << false
                                       << QStringLiteral("refused the version of this program (%1)")
                                              .arg(Program::versionText());
    }
    // One clear line, never the password, and the host learns the connection is gone.
    void refusedLogin()
    {
        QFETCH(QString, password);
        QFETCH(bool, sameVersion);
        QFETCH(QString, logged);
        ServerRig rig;
        if (sameVersion)
            ::sameVersion(rig);
        QVERIFY(rig.start());
        LoadedPlugin p(rig.port(), password);
        QVERIFY(p.plugin->Connect());
        QTRY_COMPARE(p.events.disconnected, 1);
        QCOMPARE(p.events.connected, 0);
        QVERIFY2(p.context.logged(logged), qPrintable(p.context.logLines.join(QLatin1Char('\n'))));
        QVERIFY(!p.context.logged(password));
        QVERIFY(!p.plugin->CanRejectCall());
    }

    void serverGoes_data()
    {
        QTest::addColumn<bool>("disconnectFirst");
        QTest::newRow("server stops") << false;
        QTest::newRow("plug-in disconnected before") << true;
    }
    // A lost server is reported; our own Disconnect() is not.
    void serverGoes()
    {
        QFETCH(bool, disconnectFirst);
        ServerRig rig;
        sameVersion(rig);
        QVERIFY(rig.start());
        LoadedPlugin p(rig.port());
        QVERIFY(p.login());
        if (disconnectFirst)
            p.plugin->Disconnect();
        rig.server->stopServer();
        rig.spin(100);
        QTRY_COMPARE(p.events.disconnected, disconnectFirst ? 0 : 1);
        QCOMPARE(p.context.logged(QStringLiteral("Connection to Phonavo Server 127.0.0.1:")),
                 !disconnectFirst);
        QVERIFY(!p.plugin->CanRejectCall());
    }

    void nothingToConnectTo()
    {
        LoadedPlugin p(5773);
        p.context.settings[QStringLiteral("server")] = QString();
        QVERIFY(!p.plugin->Connect());
        QVERIFY(p.context.logged(QStringLiteral("no server is set")));
        p.context.settings[QStringLiteral("server")] = QStringLiteral("127.0.0.1");
        p.context.settings[QStringLiteral("port")] = QStringLiteral("70000");
        QVERIFY(!p.plugin->Connect());
        QVERIFY(p.context.logged(QStringLiteral("the port 70000 is not valid")));
        QCOMPARE(p.events.disconnected, 0);
    }

    // RejectCall with the host's id reaches the server's reject; other ids send nothing.
    void rejectGoesToTheServer()
    {
        ServerRig rig;
        sameVersion(rig);
        QVERIFY(rig.start());
        LoadedPlugin p(rig.port());
        QVERIFY(p.login());
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QTRY_COMPARE(p.events.calls.size(), 1);
        p.plugin->RejectCall(4999);
        rig.spin(100);
        QVERIFY(rig.lines().hasCall(id));
        p.plugin->RejectCall(5000);
        QTRY_VERIFY(!rig.lines().hasCall(id));
        QVERIFY(rig.logged(QStringLiteral("[%1] Rejecting call on Virtual line 1").arg(id)));
        QTRY_COMPARE(p.events.ended, QList<qint32>{5000});
    }

    // The picture lands in a private file that lives as long as the call.
    void pictureArrivesAsAFile()
    {
        ServerRig rig;
        sameVersion(rig);
        QByteArray image;
        for (int i = 0; i < 3000; ++i)
            image.append(char(i * 7 % 256));
        const QString file = rig.home.file(QStringLiteral("anna.png"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(image) == image.size());
        f.close();
        PictureLookup lookup;
        lookup.picture = file;
        rig.form->setContactLookup(&lookup);
        QVERIFY(rig.start());
        LoadedPlugin p(rig.port());
        QVERIFY(p.login());
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QTRY_COMPARE(p.events.calls.size(), 1);
        const RecordingEvents::Call call = p.events.calls.constFirst();
        QCOMPARE(call.picture, image);
        QVERIFY(call.pictureFile.endsWith(QLatin1String(".png")));
        QVERIFY(call.pictureFile != file);
        QCOMPARE(QFile::permissions(call.pictureFile) &
                     (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
        QVERIFY(rig.lines().hangup(id).value());
        rig.settle();
        QTRY_COMPARE(p.events.ended, QList<qint32>{5000});
        QVERIFY(!QFile::exists(call.pictureFile));
        rig.form->setContactLookup(nullptr);
    }

    // The own numbers of ListenNumbers go to the server, which sends only their calls.
    void listenNumbersFilterAtTheServer()
    {
        ServerRig rig;
        sameVersion(rig);
        QVERIFY(rig.monitor({0, 1}) && rig.server->isListening());
        LoadedPlugin p(rig.port());
        rig.form->colMSNs().Clear();
        MSNPtr office = rig.form->colMSNs().Add(QStringLiteral("Office"));
        office->MSN = QStringLiteral("30;301;302");
        office->Clients = QStringLiteral("*");
        p.context.settings[QStringLiteral("ListenNumbers")] = QStringLiteral(" 301, 302,,");
        QVERIFY(p.login());
        QCOMPARE(rig.server->connections().Item(QStringLiteral("127.0.0.1"))->ListenNumber,
                 QStringLiteral("301;302"));
        rig.lines().ring(0, QStringLiteral("0401111"), QStringLiteral("30"));
        rig.lines().ring(1, QStringLiteral("0402222"), QStringLiteral("302"));
        rig.settle();
        QTRY_COMPARE(p.events.calls.size(), 1);
        rig.spin(100);
        QCOMPARE(p.events.calls.size(), 1);
        QCOMPARE(p.events.calls.constFirst().fields.value(3), QStringLiteral("302"));
    }

    // The stamp of the last call received makes a new login bring only what
    // came since; the next one brings nothing.
    void loginReplaysOnlyMissedCalls()
    {
        TestHome dbHome;
        auto db = databaseWith(dbHome, {QStringLiteral("2026-12-01T10:00:00.000"),
                                        QStringLiteral("2026-12-03T08:00:00.000"),
                                        QStringLiteral("2026-12-03T09:30:05.000")});
        QVERIFY(db);
        ServerRig rig(db.get());
        sameVersion(rig);
        QVERIFY(rig.start());
        LoadedPlugin p(rig.port());
        p.context.settings[QStringLiteral("LastStamp")] = QStringLiteral("20261202000000");
        QVERIFY(p.login());
        const QStringList missed = p.context.logLines.filter(QStringLiteral("Missed call: "));
        QCOMPARE(
            missed,
            (QStringList{QStringLiteral("Missed call: on 2026-12-03 08:00:00, Bob (030002) called "
                                        "301 (answered: no)"),
                         QStringLiteral("Missed call: on 2026-12-03 09:30:05, Bob (030003) called "
                                        "301 (answered: no)")}));
        QCOMPARE(p.context.settings.value(QStringLiteral("LastStamp")),
                 QStringLiteral("20261203093006"));

        p.plugin->Disconnect();
        p.context.logLines.clear();
        QVERIFY(p.plugin->Connect());
        QTRY_COMPARE(p.events.connected, 2);
        QVERIFY(!p.context.logged(QStringLiteral("Missed call: ")));
        QCOMPARE(p.events.disconnected, 0);
    }

    // The server's time-out rule holds while the plug-in is idle: it pings.
    void pingsKeepTheConnection()
    {
        ServerRig rig;
        sameVersion(rig);
        QVERIFY(rig.start());
        LoadedPlugin p(rig.port());
        p.context.settings[QStringLiteral("Timeout")] = QStringLiteral("1"); // pings every 250 ms
        QVERIFY(p.login());
        for (int round = 0; round < 2; ++round) {
            rig.clock.advanceSeconds(100);
            QTest::qWait(400);
            rig.server->tmrCleanClients_Timer();
        }
        rig.spin(100);
        QCOMPARE(p.events.disconnected, 0);
        QVERIFY(rig.server->connections().Item(QStringLiteral("127.0.0.1"))->Verified);
    }

    void misbehavingServer_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<bool>("dropped");
        const QByteArray accepted = bytes("connect\0accepted\r\n\0");
        QTest::newRow("endless message")
            << accepted + QByteArray(1024 * 1024 + 10, 'x') << QStringLiteral("too long") << true;
        QTest::newRow("silence") << bytes("connect\0") << QStringLiteral("did not answer in time")
                                 << true;
        QTest::newRow("call without id") << accepted + bytes("incomingcall\r\n\r\n0301\0")
                                         << QStringLiteral("malformed \"incomingcall\"") << false;
        QTest::newRow("unknown call ended")
            << accepted + bytes("disconnect\r\n42\0disconnect\r\n42\0")
            << QStringLiteral("\"disconnect\" for the unknown call 42 ignored") << false;
        QTest::newRow("event before login")
            << bytes("incomingcall\r\n7\r\n1\r\n2\r\n\r\n\r\n0\r\n\0")
            << QStringLiteral("(not logged in yet)") << false;
    }
    // A server is untrusted too: bounded, logged, and nothing reaches the host raw.
    void misbehavingServer()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, logged);
        QFETCH(bool, dropped);
        QTcpServer fake;
        QVERIFY(fake.listen(QHostAddress::LocalHost));
        LoadedPlugin p(fake.serverPort());
        p.context.settings[QStringLiteral("Timeout")] = QStringLiteral("1");
        QVERIFY(p.plugin->Connect());
        QVERIFY(fake.waitForNewConnection(5000));
        QTcpSocket* peer = fake.nextPendingConnection();
        peer->write(sent);
        QTRY_VERIFY2(p.context.logged(logged),
                     qPrintable(p.context.logLines.join(QLatin1Char('\n'))));
        QTest::qWait(50);
        QCOMPARE(p.events.disconnected, dropped ? 1 : 0);
        QCOMPARE(p.context.logLines.filter(logged).size(), 1);
        QVERIFY(p.events.calls.isEmpty());
    }

    // Control characters of the server's texts never reach the host.
    void textsAreCleaned()
    {
        QTcpServer fake;
        QVERIFY(fake.listen(QHostAddress::LocalHost));
        LoadedPlugin p(fake.serverPort());
        QVERIFY(p.plugin->Connect());
        QVERIFY(fake.waitForNewConnection(5000));
        QTcpSocket* peer = fake.nextPendingConnection();
        QByteArray listen;
        QTRY_VERIFY2((listen += peer->readAll()).startsWith("listen\r\n"), listen.constData());
        peer->write(bytes("accepted\r\n\0"));
        peer->write(bytes("incomingcall\r\n9\r\n03\x1b[2J01\r\n5551\r\nHome\r\nEve\x07\x85"
                          "\r\n1\r\nx\ty\0"));
        QTRY_COMPARE(p.events.calls.size(), 1);
        QCOMPARE(
            p.events.calls[0].fields.mid(1),
            (QStringList{QStringLiteral("03[2J01"), QStringLiteral("Eve"), QStringLiteral("5551"),
                         QStringLiteral("Home"), QStringLiteral("xy")}));
    }
};

QTEST_GUILESS_MAIN(TestServerConnectionPlugin)
#include "TestServerConnectionPlugin.moc"
