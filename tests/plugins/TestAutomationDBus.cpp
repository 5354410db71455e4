#include "AutomationRig.h"

#include "plugins/automation/ApplicationAdaptor.h"
#include "plugins/automation/AutomationBus.h"
#include "plugins/automation/AutomationObject.h"
#include "shell/startup/Program.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

const QString kService = QString::fromLatin1(AutomationBus::kService);
const QString kPath = QString::fromLatin1(AutomationBus::kPath);
const QString kInterface = QString::fromLatin1(AutomationBus::kInterface);
const QString kUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");

} // namespace

// Every signal of the automation object a client on the bus hears, but the
// log lines.
class BusListener : public QObject
{
    Q_OBJECT
public:
    QStringList heard;
    QStringList logLines;

public slots:
    void signalled(const QDBusMessage& message)
    {
        if (message.member() == QStringLiteral("evtLog")) {
            logLines << message.arguments().value(0).toString();
            return;
        }
        QStringList words{message.member()};
        for (const QVariant& arg : message.arguments())
            words << (arg.canConvert<QDBusVariant>()
                          ? arg.value<QDBusVariant>().variant().toString()
                          : arg.toString());
        heard << words.join(QLatin1Char(' '));
    }
};

// The automation object on a private session bus: what other programs see of
// it, and the headless program publishing it.
class TestAutomationDBus : public QObject
{
    Q_OBJECT

    QProcess daemon;
    QString address;
    QDBusConnection server{QString()};
    QDBusConnection client{QString()};
    std::unique_ptr<AutomationRig> rig;
    std::unique_ptr<AutomationObject> automation;
    BusListener listener;

    // A call from the client, answered while the event loop runs on.
    QDBusMessage call(const QString& method, const QVariantList& args = {},
                      const QString& interface = kInterface)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(message, 5000);
        const QDeadlineTimer deadline(6000);
        while (!pending.isFinished() && !deadline.hasExpired())
            QTest::qWait(2);
        return pending.reply();
    }
    static QVariantMap map(const QDBusMessage& reply)
    {
        return qdbus_cast<QVariantMap>(reply.arguments().value(0).value<QDBusArgument>());
    }
    bool nameOwned() { return client.interface()->isServiceRegistered(kService).value(); }
    QStringList callSignals() const
    {
        QStringList calls;
        for (const QString& s : listener.heard)
            if (s.startsWith(QStringLiteral("evtIncomingCall")) ||
                s.startsWith(QStringLiteral("evtCall")) ||
                s.startsWith(QStringLiteral("evtOutgoing")))
                calls << s;
        return calls;
    }

private slots:
    void initTestCase()
    {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--print-address"),
                      QStringLiteral("--nofork")});
        QVERIFY2(daemon.waitForStarted(), "dbus-daemon is needed for these tests");
        QTRY_VERIFY(daemon.canReadLine());
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        // The program under test reaches this bus as its session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        server = QDBusConnection::connectToBus(address, QStringLiteral("phonavo-test-server"));
        client = QDBusConnection::connectToBus(address, QStringLiteral("phonavo-test-client"));
        QVERIFY(server.isConnected());
        QVERIFY(client.isConnected());
        QVERIFY(client.connect(QString(), kPath, kInterface, QString(), &listener,
                               SLOT(signalled(QDBusMessage))));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("phonavo-test-server"));
        QDBusConnection::disconnectFromBus(QStringLiteral("phonavo-test-client"));
        daemon.terminate();
        daemon.waitForFinished();
    }
    void init()
    {
        Helper::destroyApplication();
        listener.heard.clear();
        listener.logLines.clear();
        rig = std::make_unique<AutomationRig>();
        automation = std::make_unique<AutomationObject>(*rig->form, server);
        QVERIFY(automation->bus().published());
        QVERIFY(nameOwned());
    }
    void cleanup()
    {
        automation.reset();
        rig.reset();
    }

    void introspection_data()
    {
        QTest::addColumn<QString>("part");
        const QStringList parts = {
            QStringLiteral("<interface name=\"net.phonavo.Application\">"),
            QStringLiteral("<property name=\"APIVersion\" type=\"i\" access=\"read\"/>"),
            QStringLiteral("<property name=\"Version\" type=\"s\" access=\"read\"/>"),
            QStringLiteral("<method name=\"Connect\">"),
            QStringLiteral("<arg name=\"AppName\" type=\"s\" direction=\"in\"/>"),
            QStringLiteral("<method name=\"GetCallByID\">"),
            QStringLiteral("<arg type=\"a{sv}\" direction=\"out\"/>"),
            QStringLiteral("<arg name=\"NumberToDial\" type=\"s\" direction=\"in\"/>"),
            QStringLiteral("<arg name=\"Params\" type=\"v\" direction=\"in\"/>"),
            QStringLiteral("<method name=\"ShowIncomingCall\">"),
            QStringLiteral("<method name=\"ShowOutgoingCall\">"),
            QStringLiteral("<arg name=\"CalledName\" type=\"s\" direction=\"in\"/>"),
            QStringLiteral("<arg name=\"CallID\" type=\"i\" direction=\"in\"/>"),
            QStringLiteral("<signal name=\"evtCallDisconnected\">"),
            QStringLiteral("<arg name=\"UniversalData\" type=\"v\" direction=\"out\"/>"),
            QStringLiteral("<arg name=\"LogText\" type=\"s\" direction=\"out\"/>"),
            QStringLiteral("<signal name=\"evtExit\">"),
        };
        for (const QString& part : parts)
            QTest::addRow("%s", qPrintable(part)) << part;
    }
    void introspection()
    {
        QFETCH(QString, part);
        const QDBusMessage reply = call(QStringLiteral("Introspect"), {},
                                        QStringLiteral("org.freedesktop.DBus.Introspectable"));
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QVERIFY2(reply.arguments().value(0).toString().contains(part),
                 qPrintable(reply.arguments().value(0).toString()));
    }

    void versionsAsMethodsAndProperties()
    {
        QCOMPARE(call(QStringLiteral("APIVersion")).arguments().value(0).toInt(), 2);
        const QString version = call(QStringLiteral("Version")).arguments().value(0).toString();
        QVERIFY(
            QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(version).hasMatch());
        const QString props = QStringLiteral("org.freedesktop.DBus.Properties");
        const QVariantMap all = map(call(QStringLiteral("GetAll"), {kInterface}, props));
        QCOMPARE(all.value(QStringLiteral("APIVersion")).toInt(), 2);
        QCOMPARE(all.value(QStringLiteral("Version")).toString(), version);
        // Read-only.
        const QDBusMessage set =
            call(QStringLiteral("Set"),
                 {kInterface, QStringLiteral("APIVersion"), QVariant::fromValue(QDBusVariant(3))},
                 props);
        QCOMPARE(set.type(), QDBusMessage::ErrorMessage);
    }

    void callReportedOverTheBus()
    {
        const QDBusMessage shown = call(QStringLiteral("ShowIncomingCall"),
                                        {QStringLiteral("line"), QStringLiteral("0301234"),
                                         QString(), QStringLiteral("5551"), QString()});
        QCOMPARE(shown.type(), QDBusMessage::ReplyMessage);
        const int id = shown.arguments().value(0).toInt();
        QVERIFY(rig->form->colCalls().contains(id));
        QVERIFY(rig->logged(QLatin1Char('[') + QString::number(id) +
                            QStringLiteral("] Incoming call from: 0301234. Callee: 5551")));
        const QString db = QString::number(rig->history.rows.lastKey());
        QTRY_COMPARE(callSignals(), QStringList{QStringLiteral("evtIncomingCall ") + db});

        QCOMPARE(map(call(QStringLiteral("GetCallByID"), {db.toInt()}))
                     .value(QStringLiteral("CallerName"))
                     .toString(),
                 QStringLiteral("Ada Lovelace"));
        QVERIFY(call(QStringLiteral("SetCallAnswered"), {id}).arguments().value(0).toBool());
        QVERIFY(call(QStringLiteral("SetCallDisconnected"), {id}).arguments().value(0).toBool());
        QTRY_COMPARE(callSignals(), (QStringList{QStringLiteral("evtIncomingCall ") + db,
                                                 QStringLiteral("evtCallAnswered ") + db,
                                                 QStringLiteral("evtCallDisconnected ") + db}));
        QVERIFY(!rig->form->colCalls().contains(id));
        // Every log line reaches the bus as well, its text without the time stamp.
        QVERIFY(listener.logLines.contains(
            QLatin1Char('[') + QString::number(id) +
            QStringLiteral("] Incoming call from: 0301234. Callee: 5551")));
    }

    void logAndUniversalOverTheBus()
    {
        QCOMPARE(call(QStringLiteral("Log"), {QString()}).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY(listener.logLines.contains(QString()));
        // Nothing comes back, and nobody is asked to click a box for a caller far away.
        const QDBusMessage universal =
            call(QStringLiteral("vntUniversal"),
                 {QStringLiteral("Contacts"), QVariant::fromValue(QDBusVariant(42))});
        QCOMPARE(universal.type(), QDBusMessage::ReplyMessage);
        QVERIFY(universal.arguments().isEmpty());
        QVERIFY(rig->logged(QStringLiteral("Contacts: Not implemented")));
        QCOMPARE(rig->dialogs.history().size(), 0);
        Helper::GetApplication().raiseUniversal(QStringLiteral("key"), QVariant());
        Helper::GetApplication().raiseUniversal(QStringLiteral("count"), 3);
        QTRY_COMPARE(listener.heard, (QStringList{QStringLiteral("evtUniversal key "),
                                                  QStringLiteral("evtUniversal count 3")}));
    }

    void badCallsGetErrors_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("error");
        QTest::addRow("numbers for texts")
            << QStringLiteral("ShowIncomingCall") << QVariantList{1, 2, 3, 4, 5} << kUnknownMethod;
        QTest::addRow("too few texts")
            << QStringLiteral("ShowOutgoingCall")
            << QVariantList{QStringLiteral("line"), QStringLiteral("0301")} << kUnknownMethod;
        QTest::addRow("text for a call id") << QStringLiteral("SetCallAnswered")
                                            << QVariantList{QStringLiteral("12")} << kUnknownMethod;
        QTest::addRow("id too wide")
            << QStringLiteral("GetCallByID") << QVariantList{qint64(1) << 40} << kUnknownMethod;
        QTest::addRow("answered, unknown call")
            << QStringLiteral("SetCallAnswered") << QVariantList{4711}
            << QString::fromLatin1(ApplicationAdaptor::kUnknownCall);
        QTest::addRow("disconnected, unknown call")
            << QStringLiteral("SetCallDisconnected") << QVariantList{0}
            << QString::fromLatin1(ApplicationAdaptor::kUnknownCall);
        QTest::addRow("no such member")
            << QStringLiteral("Dial") << QVariantList{} << kUnknownMethod;
    }
    void badCallsGetErrors()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, args);
        QFETCH(QString, error);
        const QDBusMessage reply = call(method, args);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), error);
        QCOMPARE(rig->form->colCalls().Count(), 0);
        QCOMPARE(rig->history.saves.size(), 0);
        QCOMPARE(call(QStringLiteral("APIVersion")).arguments().value(0).toInt(), 2);
        // An unknown call is not found in the history either.
        QVERIFY(map(call(QStringLiteral("GetCallByID"), {4711})).isEmpty());
    }

    void gdbusCommandLine_data()
    {
        QTest::addColumn<QStringList>("member");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addRow("ShowIncomingCall")
            << QStringList{QStringLiteral("net.phonavo.Application.ShowIncomingCall"),
                           QStringLiteral("line"),
                           QStringLiteral("0301234"),
                           QString(),
                           QStringLiteral("5551"),
                           QString()}
            << 0 << QStringLiteral("^\\((\\d+),\\)$");
        QTest::addRow("unknown call")
            << QStringList{QStringLiteral("net.phonavo.Application.SetCallAnswered"),
                           QStringLiteral("4711")}
            << 1 << QStringLiteral("net\\.phonavo\\.Error\\.UnknownCall");
    }
    void gdbusCommandLine()
    {
        QFETCH(QStringList, member);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcess gdbus;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        gdbus.setProcessEnvironment(env);
        gdbus.start(QStringLiteral("gdbus"),
                    QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                QStringLiteral("--dest"), kService, QStringLiteral("--object-path"),
                                kPath, QStringLiteral("--method")} +
                        member);
        QVERIFY2(gdbus.waitForStarted(), "gdbus (libglib2.0-bin) is needed for this test");
        // The loop must run meanwhile: this process answers the call.
        QTRY_COMPARE_WITH_TIMEOUT(gdbus.state(), QProcess::NotRunning, 10000);
        QCOMPARE(gdbus.exitCode(), exitCode);
        const QString said =
            QString::fromUtf8(gdbus.readAllStandardOutput() + gdbus.readAllStandardError())
                .trimmed();
        const QRegularExpressionMatch found = QRegularExpression(output).match(said);
        QVERIFY2(found.hasMatch(), qPrintable(said));
        if (exitCode == 0)
            QVERIFY(rig->form->colCalls().contains(found.captured(1).toInt()));
        else
            QCOMPARE(rig->form->colCalls().Count(), 0);
    }

    void busProblemsAreLoggedOnce_data()
    {
        QTest::addColumn<bool>("noBus");
        QTest::addColumn<QString>("line");
        QTest::addRow("name taken")
            << false
            << QStringLiteral("The automation object is not on D-Bus: "
                              "net.phonavo.Phonavo is taken by another program");
        QTest::addRow("no bus") << true
                                << QStringLiteral(
                                       "The automation object is not on D-Bus: no session bus (");
    }
    void busProblemsAreLoggedOnce()
    {
        QFETCH(bool, noBus);
        QFETCH(QString, line);
        const QString name = QStringLiteral("phonavo-test-second");
        {
            Application second;
            second.linkMainForm(rig->form.get());
            AutomationBus bus(
                second, noBus ? QDBusConnection::connectToBus(
                                    QStringLiteral("unix:path=/nonexistent/phonavo-bus"), name)
                              : QDBusConnection::connectToBus(address, name));
            QVERIFY(!bus.publish());
            QVERIFY(!bus.published());
        }
        QDBusConnection::disconnectFromBus(name);
        const QStringList messages = rig->messages();
        QCOMPARE(std::count_if(messages.cbegin(), messages.cend(),
                               [&](const QString& m) { return m.startsWith(line); }),
                 1);
        // The first owner keeps serving.
        QCOMPARE(client.interface()->serviceOwner(kService).value(), server.baseService());
        QCOMPARE(call(QStringLiteral("APIVersion")).arguments().value(0).toInt(), 2);
    }

    void endingSaysExitAndLeavesTheBus()
    {
        automation->end();
        QTRY_COMPARE(listener.heard, QStringList{QStringLiteral("evtExit")});
        QTRY_VERIFY(!nameOwned());
        QCOMPARE(call(QStringLiteral("APIVersion")).type(), QDBusMessage::ErrorMessage);
    }

    // The headless program publishes the object on its session bus and takes
    // it off when it unloads.
    void headlessProgramPublishes()
    {
        automation.reset();
        rig.reset();
        QVERIFY(!nameOwned());
        TestHome home;
        Program::FrontEnd frontEnd;
        frontEnd.headless = true;
        Program program(frontEnd);
        QCOMPARE(program.start(), 0);
        QTRY_VERIFY(nameOwned());
        const QDBusMessage shown = call(QStringLiteral("ShowIncomingCall"),
                                        {QStringLiteral("line"), QStringLiteral("0301234"),
                                         QString(), QStringLiteral("5551"), QString()});
        QCOMPARE(shown.type(), QDBusMessage::ReplyMessage);
        const int id = shown.arguments().value(0).toInt();
        QVERIFY(program.mainForm().colCalls().contains(id));
        // The program's call handling raises the call's events on the bus.
        QCOMPARE(call(QStringLiteral("SetCallAnswered"), {id}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(call(QStringLiteral("SetCallDisconnected"), {id}).type(),
                 QDBusMessage::ReplyMessage);
        const auto events = [&] {
            QStringList names;
            for (const QString& heard : listener.heard)
                names << heard.section(QLatin1Char(' '), 0, 0);
            return names;
        };
        QTRY_COMPARE(events(), (QStringList{QStringLiteral("evtIncomingCall"),
                                            QStringLiteral("evtCallAnswered"),
                                            QStringLiteral("evtCallDisconnected")}));
        program.shutdown();
        QTRY_VERIFY(listener.heard.contains(QStringLiteral("evtExit")));
        QTRY_VERIFY(!nameOwned());
    }
};

QTEST_GUILESS_MAIN(TestAutomationDBus)
#include "TestAutomationDBus.moc"
