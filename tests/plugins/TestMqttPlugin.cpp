// The MQTT plug-in against a real mosquitto broker started for each case on a
// free loopback port, watched by a small libmosquitto subscriber.
#include "RecordingPluginContext.h"
#include "TestPlugins.h"

#include "PhonavoPlugin.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPluginLoader>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <mosquitto.h>

#include <memory>
#include <optional>
#include <unistd.h>

namespace {

const QString kMosquitto = QStringLiteral("/usr/sbin/mosquitto");
const QString kPasswd = QStringLiteral("/usr/bin/mosquitto_passwd");

class TestContext : public RecordingPluginContext
{
public:
    TestContext() : RecordingPluginContext(QStringLiteral("PhonavoMqtt.Notification")) {}
};

// Below the usual ephemeral range: a port handed out for an outgoing
// connection meanwhile cannot take it before the broker binds it.
quint16 freePort()
{
    for (int i = 0; i < 200; ++i) {
        const auto candidate = quint16(20000 + QRandomGenerator::global()->bounded(12000));
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, candidate))
            return candidate;
    }
    return 0;
}

// A mosquitto process with its own folder, config and log.
class Broker
{
public:
    quint16 port = freePort();
    QTemporaryDir dir;
    QString extraConfig;

    ~Broker() { stop(); }

    bool start()
    {
        QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        QString text = QStringLiteral("listener %1 127.0.0.1\n"
                                      "persistence true\n"
                                      "persistence_location %2/\n"
                                      "log_dest stderr\n")
                           .arg(port)
                           .arg(dir.path());
        if (::getuid() == 0)
            text += QStringLiteral("user root\n");
        text += extraConfig.isEmpty() ? QStringLiteral("allow_anonymous true\n") : extraConfig;
        conf.write(text.toUtf8());
        conf.close();
        m_log.clear();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(m_process.get(), &QProcess::readyRead,
                         [this] { m_log += m_process->readAll(); });
        m_process->start(kMosquitto, {QStringLiteral("-c"), conf.fileName()});
        const bool up = QTest::qWaitFor(
            [&] { return m_log.contains("running") || m_process->state() == QProcess::NotRunning; },
            10000);
        if (!up || !m_log.contains("running"))
            qWarning("mosquitto did not start: %s", m_log.constData());
        return up && m_log.contains("running");
    }

    void stop()
    {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return;
        m_process->terminate();
        if (!QTest::qWaitFor([&] { return m_process->state() == QProcess::NotRunning; }, 10000)) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }

    int logCount(const QByteArray& part) const { return int(m_log.count(part)); }

private:
    std::unique_ptr<QProcess> m_process;
    QByteArray m_log;
};

struct Message
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};

// Subscribes to everything; driven by a timer so it shares the test's thread.
class Subscriber
{
public:
    QList<Message> messages;

    explicit Subscriber(quint16 port, const QString& id = QString()) : m_port(port)
    {
        m_mosq =
            mosquitto_new(id.isEmpty() ? nullptr : id.toUtf8().constData(), id.isEmpty(), this);
        mosquitto_message_callback_set(
            m_mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
                static_cast<Subscriber*>(self)->messages.append(
                    {QString::fromUtf8(m->topic),
                     QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
            });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Subscriber*>(self)->m_subscribed = true;
        });
        QObject::connect(&m_pump, &QTimer::timeout, [this] { mosquitto_loop(m_mosq, 0, 10); });
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_destroy(m_mosq);
    }

    bool start()
    {
        if (mosquitto_connect(m_mosq, "127.0.0.1", m_port, 60) != MOSQ_ERR_SUCCESS ||
            mosquitto_subscribe(m_mosq, nullptr, "#", 1) != MOSQ_ERR_SUCCESS)
            return false;
        m_pump.start(5);
        return QTest::qWaitFor([&] { return m_subscribed; }, 5000);
    }

    std::optional<Message> last(const QString& topic) const
    {
        for (auto it = messages.crbegin(); it != messages.crend(); ++it)
            if (it->topic == topic)
                return *it;
        return std::nullopt;
    }
    QStringList topics() const
    {
        QStringList out;
        for (const Message& m : messages)
            out.append(m.topic);
        return out;
    }

private:
    quint16 m_port;
    mosquitto* m_mosq = nullptr;
    QTimer m_pump;
    bool m_subscribed = false;
};

phonavo::CallInfo sampleCall(qint32 id, bool outgoing)
{
    phonavo::CallInfo c;
    c.callId = id;
    c.dbCallId = 500 + id;
    c.outgoing = outgoing;
    c.deviceName = QStringLiteral("Line \"1\"");
    c.callerId = QStringLiteral("+4930123456");
    c.callerName = QStringLiteral("Jörg Müller");
    c.callerExtra = QStringLiteral("Berlin");
    c.calledId = QStringLiteral("0301111");
    c.calledName = QStringLiteral("Office");
    return c;
}

} // namespace

class TestMqttPlugin : public QObject
{
    Q_OBJECT

private:
    TestContext m_context;
    std::unique_ptr<Broker> m_broker;
    QPluginLoader m_loader{testPluginFile(QStringLiteral("phonavo_mqtt"))};
    QPointer<QObject> m_instance;

    phonavo::NotificationPlugin* load()
    {
        m_instance = m_loader.instance();
        if (!m_instance)
            qWarning("%s", qPrintable(m_loader.errorString()));
        auto* plugin = qobject_cast<phonavo::NotificationPlugin*>(m_instance);
        if (plugin) {
            plugin->SetContext(&m_context);
            if (!plugin->Init(&m_context))
                return nullptr;
        }
        return plugin;
    }
    void unload() { delete m_instance; }
    bool connected() const
    {
        return m_context.logCount(QStringLiteral("MQTT: connected to the broker")) > 0;
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(kMosquitto)) {
            if (qEnvironmentVariableIsSet("PHONAVO_REQUIRE_MQTT"))
                QFAIL("PHONAVO_REQUIRE_MQTT is set but /usr/sbin/mosquitto is missing");
            QSKIP("mosquitto is not installed");
        }
        const QJsonObject meta = m_loader.metaData().value(QStringLiteral("MetaData")).toObject();
        QCOMPARE(meta.value(QStringLiteral("ProgID")).toString(),
                 QStringLiteral("PhonavoMqtt.Notification"));
        QCOMPARE(meta.value(QStringLiteral("Kind")).toString(), QStringLiteral("notification"));
    }

    void init()
    {
        m_context = TestContext();
        m_broker = std::make_unique<Broker>();
        m_context.settings = {{QStringLiteral("Broker"), QStringLiteral("127.0.0.1")},
                              {QStringLiteral("Port"), QString::number(m_broker->port)},
                              {QStringLiteral("TopicPrefix"), QStringLiteral("home/phone")},
                              {QStringLiteral("ClientId"), QStringLiteral("phonavo-test")},
                              {QStringLiteral("RetryFirstMs"), QStringLiteral("50")},
                              {QStringLiteral("RetryMaxMs"), QStringLiteral("200")}};
    }

    void cleanup()
    {
        unload();
        m_broker.reset();
    }

    void publishesEachCallEvent_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("outgoing");
        QTest::addRow("incoming") << "incoming" << false;
        QTest::addRow("outgoing") << "outgoing" << true;
        QTest::addRow("answered") << "answered" << false;
        QTest::addRow("disconnected") << "disconnected" << true;
    }
    void publishesEachCallEvent()
    {
        QFETCH(QString, event);
        QFETCH(bool, outgoing);
        QVERIFY(m_broker->start());
        Subscriber watcher(m_broker->port);
        QVERIFY(watcher.start());
        auto* plugin = load();
        QVERIFY(plugin);
        QTRY_VERIFY(connected());
        QTRY_COMPARE(watcher.last(QStringLiteral("home/phone/status")).value_or(Message()).payload,
                     QByteArray("online"));

        m_context.calls.insert(42, sampleCall(42, outgoing));
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        if (event == QLatin1String("incoming"))
            QCOMPARE(plugin->NotifyIncomingCall(42), QString());
        else if (event == QLatin1String("outgoing"))
            plugin->NotifyOutgoingCall(42);
        else if (event == QLatin1String("answered"))
            plugin->NotifyCallAnswered(42);
        else
            plugin->NotifyCallDisconnected(42);

        const QString topic = QStringLiteral("home/phone/call/") + event;
        QTRY_VERIFY(watcher.last(topic).has_value());
        const Message m = *watcher.last(topic);
        QVERIFY(!m.retained);
        QJsonParseError error;
        const QJsonObject doc = QJsonDocument::fromJson(m.payload, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(doc.value(QStringLiteral("event")).toString(), event);
        QCOMPARE(doc.value(QStringLiteral("callId")).toInt(), 42);
        QCOMPARE(doc.value(QStringLiteral("dbCallId")).toInt(), 542);
        QCOMPARE(doc.value(QStringLiteral("direction")).toString(),
                 outgoing ? QStringLiteral("outgoing") : QStringLiteral("incoming"));
        QCOMPARE(doc.value(QStringLiteral("device")).toString(), QStringLiteral("Line \"1\""));
        QCOMPARE(doc.value(QStringLiteral("callerId")).toString(), QStringLiteral("+4930123456"));
        QCOMPARE(doc.value(QStringLiteral("callerName")).toString(), QStringLiteral("Jörg Müller"));
        QCOMPARE(doc.value(QStringLiteral("callerExtra")).toString(), QStringLiteral("Berlin"));
        QCOMPARE(doc.value(QStringLiteral("calledId")).toString(), QStringLiteral("0301111"));
        QCOMPARE(doc.value(QStringLiteral("calledName")).toString(), QStringLiteral("Office"));
        const QString time = doc.value(QStringLiteral("time")).toString();
        QVERIFY2(time.endsWith(QLatin1Char('Z')), qPrintable(time));
        const QDateTime when = QDateTime::fromString(time, Qt::ISODate);
        QVERIFY(when >= before && when <= QDateTime::currentDateTimeUtc().addSecs(1));
        // Only an incoming call becomes the last call.
        QTRY_COMPARE(watcher.last(QStringLiteral("home/phone/lastcall")).has_value(),
                     event == QLatin1String("incoming"));
    }

    // A subscriber that comes later still learns the last incoming call and
    // the status; a clean shutdown turns the status to "offline".
    void retainedTopicsOutliveThePublisher()
    {
        QVERIFY(m_broker->start());
        Subscriber early(m_broker->port);
        QVERIFY(early.start());
        auto* plugin = load();
        QVERIFY(plugin);
        QTRY_VERIFY(connected());
        m_context.calls.insert(7, sampleCall(7, false));
        m_context.calls.insert(8, sampleCall(8, false));
        m_context.calls.insert(9, sampleCall(9, true));
        plugin->NotifyIncomingCall(7);
        plugin->NotifyIncomingCall(8);
        plugin->NotifyOutgoingCall(9);
        // Only once the broker has passed everything on does a subscriber count as late.
        QTRY_VERIFY(early.last(QStringLiteral("home/phone/call/outgoing")).has_value());

        Subscriber late(m_broker->port);
        QVERIFY(late.start());
        QTRY_VERIFY(late.last(QStringLiteral("home/phone/lastcall")).has_value());
        QTRY_VERIFY(late.last(QStringLiteral("home/phone/status")).has_value());
        const Message last = *late.last(QStringLiteral("home/phone/lastcall"));
        QVERIFY(last.retained);
        QCOMPARE(QJsonDocument::fromJson(last.payload).object().value("callId").toInt(), 8);
        QCOMPARE(late.last(QStringLiteral("home/phone/status"))->payload, QByteArray("online"));

        unload();
        QTRY_COMPARE(late.last(QStringLiteral("home/phone/status"))->payload,
                     QByteArray("offline"));
        Subscriber after(m_broker->port);
        QVERIFY(after.start());
        QTRY_VERIFY(after.last(QStringLiteral("home/phone/status")).has_value());
        QCOMPARE(after.last(QStringLiteral("home/phone/status"))->payload, QByteArray("offline"));
        QVERIFY(after.last(QStringLiteral("home/phone/status"))->retained);
    }

    // The broker goes away; events of that time wait and arrive in order once
    // it is back, and the outage is logged once however often the plug-in retries.
    void eventsWhileTheBrokerIsDownArriveLater()
    {
        QVERIFY(m_broker->start());
        {
            // A session that outlives the broker's restart (persistence is on),
            // so nothing published right after the restart is missed.
            Subscriber watcher(m_broker->port, QStringLiteral("watcher"));
            QVERIFY(watcher.start());
        }
        auto* plugin = load();
        QVERIFY(plugin);
        QTRY_VERIFY(connected());
        m_broker->stop();
        QTRY_COMPARE(m_context.logCount(QStringLiteral("MQTT: lost the connection")), 1);

        m_context.calls.insert(11, sampleCall(11, false));
        plugin->NotifyIncomingCall(11);
        plugin->NotifyCallAnswered(11);
        plugin->NotifyCallDisconnected(11);

        // Something that accepts and drops connections stands in the broker's
        // place for a while: every retry is seen, and each fails.
        QTcpServer dropper;
        QVERIFY(dropper.listen(QHostAddress::LocalHost, m_broker->port));
        int attempts = 0;
        connect(&dropper, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* s = dropper.nextPendingConnection()) {
                ++attempts;
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    s->readAll();
                    s->disconnectFromHost();
                });
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(attempts >= 4, 10000);
        dropper.close();

        QVERIFY(m_broker->start());
        Subscriber watcher(m_broker->port, QStringLiteral("watcher"));
        QVERIFY(watcher.start());
        QTRY_VERIFY_WITH_TIMEOUT(watcher.last(QStringLiteral("home/phone/call/disconnected")),
                                 10000);
        QStringList calls = watcher.topics().filter(QStringLiteral("/call/"));
        QCOMPARE(calls, QStringList({QStringLiteral("home/phone/call/incoming"),
                                     QStringLiteral("home/phone/call/answered"),
                                     QStringLiteral("home/phone/call/disconnected")}));
        QCOMPARE(m_context.logCount(QStringLiteral("MQTT: lost the connection")), 1);
        QCOMPARE(m_context.logCount(QStringLiteral("MQTT: cannot reach the broker")), 0);
        QCOMPARE(m_context.logCount(QStringLiteral("MQTT: connected to the broker")), 2);
    }

    // While the broker is away at most 100 messages wait; the oldest give way.
    void waitingMessagesAreBounded()
    {
        QVERIFY(m_broker->start());
        {
            Subscriber watcher(m_broker->port, QStringLiteral("watcher"));
            QVERIFY(watcher.start());
        }
        m_broker->stop();
        auto* plugin = load();
        QVERIFY(plugin);
        for (qint32 id = 1; id <= 105; ++id) {
            m_context.calls.insert(id, sampleCall(id, false));
            plugin->NotifyCallAnswered(id);
        }
        QCOMPARE(
            m_context.logCount(QStringLiteral("dropped the oldest (home/phone/call/answered)")), 5);

        QVERIFY(m_broker->start());
        Subscriber watcher(m_broker->port, QStringLiteral("watcher"));
        QVERIFY(watcher.start());
        QTRY_VERIFY_WITH_TIMEOUT(
            watcher.topics().count(QStringLiteral("home/phone/call/answered")) == 100, 10000);
        QList<int> ids;
        for (const Message& m : std::as_const(watcher.messages))
            if (m.topic.endsWith(QLatin1String("/answered")))
                ids.append(QJsonDocument::fromJson(m.payload).object().value("callId").toInt());
        QCOMPARE(ids.first(), 6);
        QCOMPARE(ids.last(), 105);
        QVERIFY(std::is_sorted(ids.cbegin(), ids.cend()));
    }

    // The headless program has no screen: settings and information only log.
    void headlessWindowsOnlyLog()
    {
        auto* plugin = load();
        QVERIFY(plugin);
        QVERIFY(plugin->HasSettings());
        plugin->ShowSettings();
        QCOMPARE(m_context.logCount(QStringLiteral("desktop program only")), 1);
        plugin->ShowInfo();
        QCOMPARE(m_context.logCount(QStringLiteral("to the broker 127.0.0.1:") +
                                    QString::number(m_broker->port) +
                                    QStringLiteral(" below the topic home/phone (not connected)")),
                 1);
    }

    void passwordIsCheckedByTheBroker_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("right") << "s3cret-pass" << true;
        QTest::addRow("wrong") << "wrong-pass" << false;
    }
    void passwordIsCheckedByTheBroker()
    {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        if (!QFile::exists(kPasswd))
            QSKIP("mosquitto_passwd is not installed");
        const QString file = m_broker->dir.filePath(QStringLiteral("passwords"));
        QCOMPARE(
            QProcess::execute(kPasswd, {QStringLiteral("-b"), QStringLiteral("-c"), file,
                                        QStringLiteral("alice"), QStringLiteral("s3cret-pass")}),
            0);
        m_broker->extraConfig =
            QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(file);
        QVERIFY(m_broker->start());
        m_context.settings.insert(QStringLiteral("User"), QStringLiteral("alice"));
        m_context.settings.insert(QStringLiteral("Password"), m_context.scramble(password));
        QVERIFY(load());

        if (accepted) {
            QTRY_VERIFY(connected());
        } else {
            // Several refusals by the broker, one line in the program's log.
            QTRY_VERIFY_WITH_TIMEOUT(m_broker->logCount("not authorised") >= 3, 10000);
            QCOMPARE(m_context.logCount(QStringLiteral("refused the connection: ")), 1);
            QVERIFY(!connected());
        }
        for (const QString& line : std::as_const(m_context.logLines))
            QVERIFY2(!line.contains(password), qPrintable(line));
    }

    // Unusable settings fall back to their defaults, and say so.
    void unusableSettingsTakeDefaults_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected"); // part of the line naming the configuration

        QTest::addRow("port text") << "Port"
                                   << "mqtt"
                                   << "192.0.2.1:1883 ";
        QTest::addRow("port range") << "Port"
                                    << "70000"
                                    << "192.0.2.1:1883 ";
        QTest::addRow("broker") << "Broker"
                                << "no such host!"
                                << "localhost:";
        QTest::addRow("wildcard prefix") << "TopicPrefix"
                                         << "home/#"
                                         << "below the topic phonavo";
        QTest::addRow("slash prefix") << "TopicPrefix"
                                      << "/home/"
                                      << "below the topic phonavo";
        QTest::addRow("control client id") << "ClientId"
                                           << "a\x01"
                                           << " as phonavo-";
        QTest::addRow("tls") << "TLS"
                             << "yes"
                             << "192.0.2.1:";
    }
    void unusableSettingsTakeDefaults()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        // An address nobody answers (TEST-NET) or a closed port: no broker is bothered.
        m_context.settings.insert(QStringLiteral("Broker"), QStringLiteral("192.0.2.1"));
        m_context.settings.remove(QStringLiteral("Port"));
        if (name == QLatin1String("Broker"))
            m_context.settings.insert(QStringLiteral("Port"), QString::number(m_broker->port));
        m_context.settings.insert(name, value);
        QVERIFY(load());
        QCOMPARE(m_context.logCount(QStringLiteral("MQTT: the setting ") + name +
                                    QStringLiteral(" has an unusable value")),
                 1);
        QCOMPARE(m_context.logCount(QStringLiteral("MQTT: publishing call events to")), 1);
        QVERIFY2(m_context.logCount(expected) >= 1, qPrintable(m_context.logLines.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestMqttPlugin)
#include "TestMqttPlugin.moc"
