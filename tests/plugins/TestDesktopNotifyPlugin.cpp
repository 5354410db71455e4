#include "RecordingPluginContext.h"
#include "TestPlugins.h"
#include "plugins/api/PhonavoPlugin.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QPluginLoader>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The plug-in's host: hands out calls and settings, records what comes back.
class RecordingHost : public RecordingPluginContext
{
public:
    RecordingHost() : RecordingPluginContext(QStringLiteral("PhonavoDesktopNotify.Notification")) {}
};

} // namespace

// The desktop's notification server, as the plug-in meets it on the bus.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown
    {
        uint id = 0;
        uint replacesId = 0;
        QString appIcon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    QList<Shown> shown;
    QList<uint> closed;
    QSet<uint> open; // shown and neither closed by the plug-in nor by the user
    QStringList capabilities;
    bool holdReplies = false;
    QList<QPair<QDBusMessage, uint>> held;
    uint nextId = 100;

    void reset(const QStringList& caps)
    {
        shown.clear();
        closed.clear();
        open.clear();
        held.clear();
        holdReplies = false;
        capabilities = caps;
    }
    void closeByUser(uint id)
    {
        open.remove(id);
        emit NotificationClosed(id, 2);
    }
    void releaseReplies(QDBusConnection bus)
    {
        for (const auto& [message, id] : std::as_const(held))
            bus.send(message.createReply(QVariant::fromValue(id)));
        held.clear();
    }

public slots:
    uint Notify(const QString&, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout)
    {
        const uint id = replacesId != 0 ? replacesId : nextId++;
        open.insert(id);
        shown.append({id, replacesId, appIcon, summary, body, actions, hints, timeout});
        if (holdReplies) {
            setDelayedReply(true);
            held.append({message(), id});
        }
        return id;
    }
    void CloseNotification(uint id)
    {
        closed.append(id);
        open.remove(id);
    }
    QStringList GetCapabilities() { return capabilities; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = QStringLiteral("Test");
        version = QStringLiteral("1.0");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("FakeServer");
    }

signals:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);
};

class TestDesktopNotifyPlugin : public QObject
{
    Q_OBJECT

    QProcess m_daemon;
    QTemporaryDir m_dir;
    QDBusConnection m_bus{QStringLiteral("none")};
    FakeNotificationServer m_server;
    RecordingHost m_host;
    QPluginLoader m_loader;
    phonavo::NotificationPlugin* m_plugin = nullptr;

    const QStringList allCaps{QStringLiteral("body"), QStringLiteral("body-markup"),
                              QStringLiteral("actions")};

    void startPlugin()
    {
        m_plugin = qobject_cast<phonavo::NotificationPlugin*>(m_loader.instance());
        QVERIFY2(m_plugin, qPrintable(m_loader.errorString()));
        m_plugin->SetContext(&m_host);
        QVERIFY(m_plugin->Init(&m_host));
    }
    phonavo::CallInfo addCall(qint32 callId, const QString& name, const QString& number)
    {
        phonavo::CallInfo call;
        call.callId = callId;
        call.callerName = name;
        call.callerId = number;
        call.actions = QStringList{QStringLiteral("Reject"), QStringLiteral("Note")};
        m_host.calls.insert(callId, call);
        return call;
    }
    // Rings call callId; the server's id for its notification, 0 when none came.
    uint ring(qint32 callId)
    {
        const qsizetype before = m_server.shown.size();
        addCall(callId, QStringLiteral("Anna"), QStringLiteral("0301234"));
        m_plugin->NotifyIncomingCall(callId);
        if (!QTest::qWaitFor([&] { return m_server.shown.size() > before; }))
            return 0;
        return m_server.shown.constLast().id;
    }
#define RING(id, callId)                                                                           \
    const uint id = ring(callId);                                                                  \
    QVERIFY2(id != 0, "no notification shown")

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A bus of our own that activates no real notification server.
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                   "busconfig.dtd\">\n<busconfig><type>session</type>"
                   "<listen>unix:tmpdir=/tmp</listen><policy context=\"default\">"
                   "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config,
                        QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        QVERIFY2(m_daemon.waitForReadyRead(10000), qPrintable(m_daemon.errorString()));
        const QByteArray address = m_daemon.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // The plug-in connects to "the session bus": this one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_dir.filePath(QStringLiteral("system"))));

        m_bus = QDBusConnection::connectToBus(QString::fromUtf8(address),
                                              QStringLiteral("notification-server"));
        QVERIFY(m_bus.isConnected());
        QVERIFY(m_bus.registerObject(
            kPath, &m_server, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        m_loader.setFileName(testPluginFile(QStringLiteral("phonavo_desktopnotify")));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("notification-server"));
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    void init()
    {
        m_host.reset();
        m_server.reset(allCaps);
        QVERIFY(m_bus.registerService(kService));
    }

    void cleanup()
    {
        // Every call ends; by then no notification may be left on the desktop.
        if (m_plugin) {
            for (const qint32 callId : m_host.calls.keys())
                m_plugin->NotifyCallDisconnected(callId);
        }
        const bool allClosed = QTest::qWaitFor([this] { return m_server.open.isEmpty(); }, 2000);
        delete m_loader.instance();
        m_plugin = nullptr;
        m_bus.unregisterService(kService);
        QDir(m_dir.filePath(QStringLiteral("home"))).removeRecursively();
        QVERIFY2(allClosed, "a notification outlived its call");
    }

    void metadata()
    {
        const QJsonObject meta = m_loader.metaData().value(QStringLiteral("MetaData")).toObject();
        QCOMPARE(meta.value(QStringLiteral("ProgID")).toString(),
                 QStringLiteral("PhonavoDesktopNotify.Notification"));
        QCOMPARE(meta.value(QStringLiteral("Kind")).toString(), QStringLiteral("notification"));
        QCOMPARE(meta.value(QStringLiteral("InterfaceVersion")).toString(), QStringLiteral("2"));
    }

    void incomingCallShowsOneNotification_data()
    {
        QTest::addColumn<QStringList>("caps");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<bool>("picture");
        QTest::addColumn<bool>("iconInstalled");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("actions");

        const QStringList actions{QStringLiteral("a0"), QStringLiteral("Reject"),
                                  QStringLiteral("a2"), QStringLiteral("Note")};
        QTest::addRow("markup server, name and picture")
            << allCaps << "Anna & Bo"
            << "0301234"
            << "<VIP> & co" << true << false << "Call from Anna & Bo"
            << "0301234\n&lt;VIP&gt; &amp; co\nTo: Office (100)" << actions;
        QTest::addRow("plain server, number only")
            << QStringList{QStringLiteral("body"), QStringLiteral("actions")} << ""
            << "0301234"
            << "<VIP> & co" << false << true << "Call from 0301234"
            << "<VIP> & co\nTo: Office (100)" << actions;
        QTest::addRow("server without actions, unknown caller")
            << QStringList{QStringLiteral("body")} << ""
            << ""
            << "" << false << false << "Call from (unknown)"
            << "To: Office (100)" << QStringList();
    }

    void incomingCallShowsOneNotification()
    {
        QFETCH(QStringList, caps);
        QFETCH(QString, name);
        QFETCH(QString, number);
        QFETCH(QString, extra);
        QFETCH(bool, picture);
        QFETCH(bool, iconInstalled);
        m_server.capabilities = caps;
        if (iconInstalled) {
            const QString apps = m_dir.filePath(QStringLiteral("home/icons/hicolor/48x48/apps"));
            QVERIFY(QDir().mkpath(apps));
            QFile icon(apps + QStringLiteral("/phonavo.png"));
            QVERIFY(icon.open(QIODevice::WriteOnly));
        }
        const QString pictureFile = m_dir.filePath(QStringLiteral("anna.jpg"));
        QFile pictureOnDisk(pictureFile);
        QVERIFY(pictureOnDisk.open(QIODevice::WriteOnly));
        startPlugin();
        // An earlier call: the server's capabilities are known from here on.
        QVERIFY(ring(6) != 0);
        m_plugin->NotifyCallDisconnected(6);

        phonavo::CallInfo call = addCall(7, name, number);
        call.callerExtra = extra;
        call.calledId = QStringLiteral("100");
        call.calledName = QStringLiteral("Office");
        call.pictureFile = picture ? pictureFile : m_dir.filePath(QStringLiteral("gone.jpg"));
        // The host completes the action list only after every plug-in answered.
        call.actions.clear();
        m_host.calls.insert(7, call);
        QCOMPARE(m_plugin->NotifyIncomingCall(7), QString());
        m_host.calls[7].actions =
            QStringList{QStringLiteral("Reject"), QString(), QStringLiteral("Note")};

        QTRY_COMPARE(m_server.shown.size(), 2);
        const FakeNotificationServer::Shown& n = m_server.shown.constLast();
        QTEST(n.summary, "summary");
        QTEST(n.body, "body");
        QTEST(n.actions, "actions");
        QCOMPARE(n.replacesId, 0u);
        QCOMPARE(n.appIcon,
                 iconInstalled ? QStringLiteral("phonavo") : QStringLiteral("call-start"));
        QCOMPARE(n.hints.value(QStringLiteral("image-path")).toString(),
                 picture ? QUrl::fromLocalFile(pictureFile).toString() : QString());
        QCOMPARE(n.hints.value(QStringLiteral("urgency")).toInt(), 1);
        QCOMPARE(n.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("phonavo"));
        QCOMPARE(n.hints.value(QStringLiteral("resident")), QVariant(false));
        QVERIFY(!n.hints.contains(QStringLiteral("category")));
        QCOMPARE(n.timeout, -1);
    }

    void timeoutSetting_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("expire");
        QTest::addColumn<int>("logLines");
        QTest::addRow("missing: server default") << QString() << -1 << 0;
        QTest::addRow("seconds") << "10" << 10000 << 0;
        QTest::addRow("until the call ends") << "-1" << 0 << 0;
        QTest::addRow("not a number") << "soon" << -1 << 1;
        QTest::addRow("below -1") << "-5" << -1 << 1;
    }

    void timeoutSetting()
    {
        QFETCH(QString, setting);
        if (!setting.isNull())
            m_host.settings.insert(QStringLiteral("Timeout"), setting);
        startPlugin();
        RING(id, 7);
        Q_UNUSED(id)
        QTEST(m_server.shown.constFirst().timeout, "expire");
        QTEST(m_host.logCount(QStringLiteral("Timeout setting")), "logLines");
    }

    void actionInvokedChoosesTheCaption()
    {
        startPlugin();
        RING(first, 7);
        RING(second, 8);
        emit m_server.ActionInvoked(first + 50, QStringLiteral("a0")); // not ours
        emit m_server.ActionInvoked(second, QStringLiteral("default"));
        emit m_server.ActionInvoked(second, QStringLiteral("a9"));
        emit m_server.ActionInvoked(second, QStringLiteral("a1"));
        emit m_server.ActionInvoked(first, QStringLiteral("a0"));
        using Chosen = QList<QPair<qint32, QString>>;
        QTRY_COMPARE(m_host.chosen.size(), 2);
        QCOMPARE(m_host.chosen,
                 (Chosen{{8, QStringLiteral("Note")}, {7, QStringLiteral("Reject")}}));
    }

    void endedCallClosesItsNotification_data()
    {
        QTest::addColumn<bool>("holdReply");
        QTest::addRow("after the server answered") << false;
        QTest::addRow("before the server answered") << true;
    }

    void endedCallClosesItsNotification()
    {
        QFETCH(bool, holdReply);
        startPlugin();
        m_server.holdReplies = holdReply;
        RING(id, 7);
        if (!holdReply)
            QVERIFY(ring(8) != 0); // the plug-in has the first answer by now
        m_plugin->NotifyCallDisconnected(7);
        m_host.calls.remove(7);
        if (holdReply)
            m_server.releaseReplies(m_bus);
        QTRY_COMPARE(m_server.closed, QList<uint>{id});
    }

    void callEndedBeforeItWasShown()
    {
        startPlugin();
        addCall(7, QStringLiteral("Early"), QStringLiteral("1"));
        m_plugin->NotifyIncomingCall(7);
        m_plugin->NotifyCallDisconnected(7);
        m_host.calls.remove(7);
        QVERIFY(ring(8) != 0);
        QCOMPARE(m_server.shown.size(), 1);
        QCOMPARE(m_server.shown.constFirst().summary, QStringLiteral("Call from Anna"));
    }

    void answeredCall_data()
    {
        QTest::addColumn<QString>("closeOnAnswer");
        QTest::addColumn<bool>("holdReply");
        QTest::addRow("replaced") << "0" << false;
        QTest::addRow("replaced once the server answered") << "0" << true;
        QTest::addRow("closed") << "1" << false;
        QTest::addRow("closed once the server answered") << "1" << true;
    }

    void answeredCall()
    {
        QFETCH(QString, closeOnAnswer);
        QFETCH(bool, holdReply);
        m_host.settings.insert(QStringLiteral("CloseOnAnswer"), closeOnAnswer);
        startPlugin();
        m_server.holdReplies = holdReply;
        RING(id, 7);
        m_host.calls[7].answered = true;
        m_plugin->NotifyCallAnswered(7);
        if (holdReply) {
            m_server.holdReplies = false;
            m_server.releaseReplies(m_bus);
        }
        if (closeOnAnswer == u"1") {
            QTRY_COMPARE(m_server.closed, QList<uint>{id});
            QCOMPARE(m_server.shown.size(), 1);
            return;
        }
        QTRY_COMPARE(m_server.shown.size(), 2);
        const FakeNotificationServer::Shown& n = m_server.shown.constLast();
        QCOMPARE(n.replacesId, id);
        QCOMPARE(n.body, QStringLiteral("0301234\nCall answered"));
        QCOMPARE(n.actions, QStringList());
        m_plugin->NotifyCallDisconnected(7);
        QTRY_COMPARE(m_server.closed, QList<uint>{id});
    }

    void notificationClosedByTheServerIsForgotten()
    {
        startPlugin();
        RING(first, 7);
        m_server.closeByUser(first);
        RING(second, 8); // the signal went out before this answer
        emit m_server.ActionInvoked(first, QStringLiteral("a0"));
        m_plugin->NotifyCallDisconnected(7);
        m_plugin->NotifyCallDisconnected(8);
        QTRY_COMPARE(m_server.closed, QList<uint>{second});
        QVERIFY(m_host.chosen.isEmpty());
    }

    void unloadingClosesWhatIsShown()
    {
        startPlugin();
        RING(id, 7);
        emit m_server.ActionInvoked(id, QStringLiteral("a0"));
        QTRY_COMPARE(m_host.chosen.size(), 1); // the plug-in knows the id now
        m_plugin->Shutdown();                  // the program's end, while its loop runs
        delete m_loader.instance();
        m_plugin = nullptr;
        QTRY_COMPARE(m_server.closed, QList<uint>{id});
    }

    void noNotificationServer()
    {
        m_bus.unregisterService(kService);
        startPlugin();
        addCall(7, QStringLiteral("Anna"), QStringLiteral("1"));
        QCOMPARE(m_plugin->NotifyIncomingCall(7), QString());
        QTRY_COMPARE(m_host.logCount(QStringLiteral("no notification server")), 1);
        addCall(8, QStringLiteral("Bo"), QStringLiteral("2"));
        m_plugin->NotifyIncomingCall(8);
        QTest::qWait(200);
        QCOMPARE(m_host.logCount(QStringLiteral("no notification server")), 1);
        // A server that starts later is used from the next call on.
        QVERIFY(m_bus.registerService(kService));
        m_plugin->NotifyCallDisconnected(7);
        m_plugin->NotifyCallDisconnected(8);
        QVERIFY(ring(9) != 0);
        QCOMPARE(m_server.shown.constFirst().summary, QStringLiteral("Call from Anna"));
        QCOMPARE(m_server.shown.size(), 1);
    }

    void headlessInfoAndSettingsGoToTheLog()
    {
        startPlugin();
        // Two calls: the plug-in has the server's information by now.
        QVERIFY(ring(7) != 0);
        QVERIFY(ring(8) != 0);
        m_plugin->ShowInfo();
        m_plugin->ShowSettings();
        QCOMPARE(m_host.logCount(QStringLiteral("Notification server: FakeServer Test 1.0")), 1);
        QCOMPARE(m_host.logCount(QStringLiteral("settings need the desktop program")), 1);
        QVERIFY(m_plugin->HasSettings());
    }
};

QTEST_GUILESS_MAIN(TestDesktopNotifyPlugin)
#include "TestDesktopNotifyPlugin.moc"
