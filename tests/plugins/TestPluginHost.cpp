// The plug-in host with real plug-in libraries (tests/plugins/probes): which
// registrations load, what a failing plug-in costs, calls a connection plug-in
// reports, notification plug-ins, the reconnection, the guard against the own
// server and the reverse lookup's country walk.

#include "ControllerRig.h"

#include "plugins/host/PluginHostService.h"
#include "plugins/host/ShippedPlugins.h"

#include <QHostInfo>
#include <QTest>

namespace {
// CTest names the folder; a run by hand finds it beside the test.
QString probeDir()
{
    const QString dir = qEnvironmentVariable("PHONAVO_PROBE_PLUGIN_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/probe-plugins")
                         : dir;
}

const QString kA = QStringLiteral("PhonavoProbe.ConnA");
const QString kB = QStringLiteral("PhonavoProbe.ConnB");
const QString kNotify = QStringLiteral("PhonavoProbe.Notify");
const QString kServerPlugin = QStringLiteral("PhonavoConnectionTapiServer.Connection");

void registerPlugin(SettingsStore& s, const QString& list, const QString& progId,
                    const QHash<QString, QString>& values = {})
{
    const QString key = list + QLatin1Char('\\') + progId;
    s.SaveSettingHKCU(key, QStringLiteral("InterfaceVersion"), QStringLiteral("2"));
    s.SaveSettingHKCU(key, QStringLiteral("Name"), progId.section(QLatin1Char('.'), -1));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        s.SaveSettingHKCU(key, it.key(), it.value());
}

// A controller on virtual lines with the plug-in host over the probe folder.
struct HostRig
{
    std::unique_ptr<ControllerRig> rig;
    std::unique_ptr<PluginHostService> host;

    explicit HostRig(const std::function<void(SettingsStore&)>& prepare,
                     const QString& programVersion = QStringLiteral("2"))
    {
        rig = std::make_unique<ControllerRig>(
            QStringList{QStringLiteral("Virtual line 1")}, [&](SettingsStore& s) {
                s.SaveSettingHKLM(QString(), QStringLiteral("InterfaceVersion"), programVersion);
                prepare(s);
            });
        host = std::make_unique<PluginHostService>(*rig->form, QStringList{probeDir()}, true);
        rig->form->setPluginHost(host.get());
        host->connections().load();
        host->reverse().load();
        host->notifications().load(QStringLiteral("Provider=SQLite;Data Source=contacts.db"));
    }
    ~HostRig()
    {
        if (rig->form->Active())
            rig->form->stopMonitoring(false);
        rig->form->setPluginHost(nullptr);
    }
    QObject* plugin(const QString& progId) const
    {
        CConnectionPlugin* p = host->connections().byProgId(progId);
        return p ? p->object : nullptr;
    }
    // Probe lines of one plug-in, in order, without their prefix.
    QStringList probe(const QString& progId) const
    {
        const QString prefix = QStringLiteral("probe %1: ").arg(progId);
        QStringList lines;
        for (const QString& m : rig->messages())
            if (m.startsWith(prefix))
                lines << m.mid(prefix.size());
        return lines;
    }
};

int invokeInt(QObject* o, const char* method, const QString& a, const QString& b)
{
    int result = 0;
    QMetaObject::invokeMethod(o, method, Q_RETURN_ARG(int, result), Q_ARG(QString, a),
                              Q_ARG(QString, b));
    return result;
}
} // namespace

class TestPluginHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(probeDir() + QStringLiteral("/probe_conn_a.so")),
                 qPrintable(probeDir()));
    }

    void registrationsThatLoad_data()
    {
        QTest::addColumn<QString>("programVersion");
        QTest::addColumn<QString>("progId");
        QTest::addColumn<QString>("throwIn");
        QTest::addColumn<QString>("initResult");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("failure"); // what the log says after "Unable to load ..."
        QTest::newRow("same version") << "2" << kA << ""
                                      << "1" << true << "";
        QTest::newRow("2 equals 2.0") << "2.0" << kA << ""
                                      << "1" << true << "";
        QTest::newRow("other version") << "3" << kA << ""
                                       << "1" << false << "";
        QTest::newRow("parked") << "2"
                                << "_" + kA << ""
                                << "1" << false << "";
        QTest::newRow("no library") << "2"
                                    << "PhonavoProbe.Missing"
                                    << ""
                                    << "1" << false << "no plug-in library names it";
        QTest::newRow("old interface")
            << "2"
            << "PhonavoProbe.OldInterface"
            << ""
            << "1" << false << "offers the interface net.phonavo.ConnectionPlugin/1";
        QTest::newRow("Init says no") << "2" << kA << ""
                                      << "0" << false << "Init returned False";
        QTest::newRow("Init throws") << "2" << kA << "Init"
                                     << "1" << false << "Init failed";
    }
    void registrationsThatLoad()
    {
        QFETCH(QString, programVersion);
        QFETCH(QString, progId);
        QFETCH(QString, throwIn);
        QFETCH(QString, initResult);
        QFETCH(bool, loaded);
        QFETCH(QString, failure);
        HostRig h(
            [&](SettingsStore& s) {
                registerPlugin(s, QStringLiteral("ConnectionPlugins"), progId,
                               {{QStringLiteral("Throw"), throwIn},
                                {QStringLiteral("InitResult"), initResult}});
                registerPlugin(s, QStringLiteral("ConnectionPlugins"), kB);
            },
            programVersion);
        ConnectionPluginList& list = h.host->connections();
        const bool tried = h.rig->logged(QStringLiteral("Loading ") + progId);
        QCOMPARE(tried, !progId.startsWith('_') && programVersion != QLatin1String("3"));
        QCOMPARE(list.byProgId(progId) != nullptr, loaded);
        if (!failure.isEmpty())
            QVERIFY(h.rig->anyMessage([&](const QString& m) {
                return m.startsWith(
                           QStringLiteral("Unable to load plugin \"%1\".: ").arg(progId)) &&
                       m.contains(failure);
            }));
        // A plug-in that fails leaves the others alone, and the positions
        // (device ids 1000 + position) follow the list.
        const int positionOfB = loaded ? 2 : 1;
        if (programVersion == QLatin1String("3")) {
            QCOMPARE(list.count(), 0);
            return;
        }
        QCOMPARE(list.count(), positionOfB);
        QCOMPARE(list.item(positionOfB)->ComKey, kB);
        QCOMPARE(h.host->connectionPluginName(1000 + positionOfB), QStringLiteral("ConnB"));
    }

    void monitorConnectsTheCheckedPlugins()
    {
        HostRig h([](SettingsStore& s) {
            registerPlugin(s, QStringLiteral("ConnectionPlugins"), kA,
                           {{QStringLiteral("ConnectResult"), QStringLiteral("0")}});
            registerPlugin(s, QStringLiteral("ConnectionPlugins"), kB,
                           {{QStringLiteral("Enabled"), QStringLiteral("0")}});
        });
        // No line is monitored: a checked plug-in is enough to start.
        QVERIFY(h.rig->form->startMonitoring());
        QVERIFY(h.rig->logged(QStringLiteral("Initializing addon: ConnA (PhonavoProbe.ConnA)")));
        QVERIFY(h.rig->logged(QStringLiteral("Initializing failed")));
        QVERIFY(h.rig->form->stopMonitoring(false));
        QCOMPARE(h.probe(kA), (QStringList{"Init", "Connect", "Disconnect"}));
        QCOMPARE(h.probe(kB), QStringList{"Init"});

        // The check mark is kept in the registration.
        QVERIFY(h.host->connections().setEnabled(2, true));
        QCOMPARE(
            h.rig->settings.GetSettingHKCU("ConnectionPlugins\\" + kB, "Enabled", "").toString(),
            QStringLiteral("1"));
    }

    void pluginCallsGoThroughTheCallHandling()
    {
        HostRig h([](SettingsStore& s) {
            registerPlugin(s, QStringLiteral("ConnectionPlugins"), kA,
                           {{QStringLiteral("CanReject"), QStringLiteral("1")},
                            {QStringLiteral("Devices"), QStringLiteral("ISDN 1,ISDN 2")}});
            registerPlugin(s, QStringLiteral("NotificationPlugins"), kNotify,
                           {{QStringLiteral("Actions"), QStringLiteral("Note")}});
            s.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("ShowPopup"),
                              QStringLiteral("1"));
        });
        MainForm& form = *h.rig->form;
        QVERIFY(h.probe(kNotify).contains(
            QStringLiteral("SetValue DataConnection=Provider=SQLite;Data Source=contacts.db")));
        QObject* a = h.plugin(kA);
        QVERIFY(a);
        const int id = invokeInt(a, "ringIn", QStringLiteral("0301234567"), QStringLiteral("5551"));
        QVERIFY(id > 1);
        QVERIFY(form.colCalls().contains(id));
        QCOMPARE(form.colCalls().Item(id)->lDeviceID, 1001);
        QVERIFY(h.probe(kNotify).contains(
            QStringLiteral("incoming %1 from 0301234567 on ConnA").arg(id)));
        QCOMPARE(h.rig->popups.shown.value(0), QStringLiteral("0301234567/5551//|Reject|Note"));

        QMetaObject::invokeMethod(a, "answer", Q_ARG(int, id));
        QVERIFY(h.probe(kNotify).contains(QStringLiteral("answered %1").arg(id)));
        form.RaiseNotificationAction(QStringLiteral("Note"));
        QVERIFY(h.probe(kNotify).contains(QStringLiteral("chosen Note")));
        form.RaiseNotificationAction(QStringLiteral("Reject"));
        QVERIFY(h.probe(kA).contains(QStringLiteral("RejectCall %1").arg(id)));
        QMetaObject::invokeMethod(a, "hangUp", Q_ARG(int, id));
        QVERIFY(h.probe(kNotify).contains(QStringLiteral("disconnected %1").arg(id)));
        QVERIFY(!form.colCalls().contains(id));

        // A plug-in's texts are cleaned like a line source's.
        const int dirty =
            invokeInt(a, "ringIn", QStringLiteral("030\x1b[2J99\r\n"), QStringLiteral("5551"));
        QCOMPARE(form.colCalls().Item(dirty)->CallerID(), QStringLiteral("030[2J99"));

        // Dialling: the plug-in is an outgoing device of its own.
        QVERIFY(form.outgoingDeviceNames().contains(QStringLiteral("ConnA")));
        form.setOutgoingDevice(QStringLiteral("ConnA"));
        QVERIFY(form.StartCall(QStringLiteral("+49 (30) 1234")));
        QVERIFY(h.probe(kA).contains(QStringLiteral("StartCall +49301234")));
        QCOMPARE(h.host->pluginDevices(), (QList<QStringList>{{"ISDN 1", "ISDN 2"}}));

        // Unticking is told to the plug-in; the end of the program to all.
        h.host->notifications().setEnabled(1, false);
        QVERIFY(h.probe(kNotify).contains(QStringLiteral("SetValue Enabled=false")));
        h.host->shutdown();
        QCOMPARE(h.probe(kA).last(), QStringLiteral("Shutdown"));
        QCOMPARE(h.probe(kNotify).last(), QStringLiteral("Shutdown"));
    }

    // A connection plug-in speaks only of the calls it reported: an id the
    // host never gave it (unknown, 0, another source's) changes nothing.
    void pluginEventsForCallsItDidNotReport_data()
    {
        QTest::addColumn<QString>("event"); // answer or hangUp
        QTest::addColumn<QString>("which"); // unknown, zero, other
        for (const char* event : {"answer", "hangUp"})
            for (const char* which : {"unknown", "zero", "other"})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(event, which)))
                    << QString::fromLatin1(event) << QString::fromLatin1(which);
    }
    void pluginEventsForCallsItDidNotReport()
    {
        QFETCH(QString, event);
        QFETCH(QString, which);
        HostRig h([](SettingsStore& s) {
            registerPlugin(s, QStringLiteral("ConnectionPlugins"), kA);
            registerPlugin(s, QStringLiteral("ConnectionPlugins"), kB);
        });
        MainForm& form = *h.rig->form;
        const int ofA =
            invokeInt(h.plugin(kA), "ringIn", QStringLiteral("0301234567"), QStringLiteral("5551"));
        QVERIFY(form.colCalls().contains(ofA));
        const int id = which == QLatin1String("unknown") ? ofA + 4242
                       : which == QLatin1String("zero")  ? 0
                                                         : ofA;
        QObject* reporter = which == QLatin1String("other") ? h.plugin(kB) : h.plugin(kA);
        QMetaObject::invokeMethod(reporter, qPrintable(event), Q_ARG(int, id));
        QVERIFY2(form.colCalls().contains(ofA), "another source's call was ended");
        QVERIFY2(!form.colCalls().Item(ofA)->Answered(), "another source's call was answered");
        QVERIFY2(id == 0 || id == ofA || !form.colCalls().contains(id),
                 "an unknown id became a call");
    }

    void lostConnectionRetries_data()
    {
        QTest::addColumn<QString>("autoConnect"); // "-" = not set
        QTest::addColumn<bool>("retries");
        QTest::newRow("missing") << "-" << true;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("2") << "2" << false;
    }
    void lostConnectionRetries()
    {
        QFETCH(QString, autoConnect);
        QFETCH(bool, retries);
        HostRig h([&](SettingsStore& s) {
            QHash<QString, QString> values;
            if (autoConnect != QLatin1String("-"))
                values.insert(QStringLiteral("AutoConnect"), autoConnect);
            registerPlugin(s, QStringLiteral("ConnectionPlugins"), kA, values);
        });
        MainForm& form = *h.rig->form;
        QVERIFY(form.startMonitoring());
        QMetaObject::invokeMethod(h.plugin(kA), "lose");
        QTRY_VERIFY(!form.Active());
        QTimer& timer = h.host->connections().tmrReconnect();
        QCOMPARE(timer.isActive(), retries);
        QCOMPARE(h.rig->logged(QStringLiteral(
                     "Auto-Reconnect timer started. Trying to reconnect to server in 30 seconds.")),
                 retries);
        if (!retries)
            return;
        QCOMPARE(timer.interval(), 30000);
        h.host->connections().tmrReconnect_Timer();
        QVERIFY(h.rig->logged(QStringLiteral("Trying to reconnect...")));
        QVERIFY(form.Active());
        QVERIFY(!timer.isActive());
        // A start that fails keeps trying.
        QMetaObject::invokeMethod(h.plugin(kA), "lose");
        QTRY_VERIFY(!form.Active());
        h.host->connections().setEnabled(1, false); // nothing left to monitor
        h.host->connections().tmrReconnect_Timer();
        QVERIFY(!form.Active());
        QVERIFY(timer.isActive());
    }

    void serverPluginStaysOffTheOwnMachine_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("ownServerOn");
        QTest::addColumn<bool>("refused");
        QTest::newRow("LOCALHOST") << "LOCALHOST" << true << true;
        QTest::newRow("loopback") << "127.0.0.1" << true << true;
        QTest::newRow("IPv6 loopback") << "::1" << true << true;
        QTest::newRow("host name") << QHostInfo::localHostName().toUpper() << true << true;
        QTest::newRow("another loopback") << "127.1.2.3" << true << true;
        QTest::newRow("any address") << "0.0.0.0" << true << true;
        QTest::newRow("trailing dot") << "localhost." << true << true;
        QTest::newRow("another machine") << "192.0.2.7" << true << false;
        QTest::newRow("own server off") << "localhost" << false << false;
    }
    void serverPluginStaysOffTheOwnMachine()
    {
        QFETCH(QString, server);
        QFETCH(bool, ownServerOn);
        QFETCH(bool, refused);
        HostRig h([&](SettingsStore& s) {
            registerPlugin(s, QStringLiteral("ConnectionPlugins"), kServerPlugin,
                           {{QStringLiteral("server"), server},
                            {QStringLiteral("Enabled"), QStringLiteral("0")}});
        });
        h.rig->form->options().setValue(QStringLiteral("cbPhonavoServer"), ownServerOn);
        QCOMPARE(h.host->connections().setEnabled(1, true), !refused);
        QCOMPARE(h.rig->dialogLog.join('\n').contains(QStringLiteral(
                     "Phonavo Server plugin: Not allowed to connect to local machine")),
                 refused);
    }

    void reverseLookupWalksTheCountryCodes_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("answerB"); // RevB's name for any number
        QTest::addColumn<QString>("extraA");  // what RevA leaves in extra when it fails
        QTest::addColumn<bool>("found");
        QTest::addColumn<QStringList>("asked"); // plug-in letter + number, in order
        QTest::addColumn<QString>("extra");
        QTest::newRow("too short") << "1234"
                                   << ""
                                   << "" << false << QStringList{} << "";
        QTest::newRow("national: the selected one only")
            << "0301234"
            << "Jan"
            << "" << false << QStringList{"A 0301234"} << "";
        QTest::newRow("+ and the selected country")
            << "+49301234"
            << "Jan"
            << "" << false << QStringList{"A +49301234"} << "Germany";
        QTest::newRow("00 and another country")
            << "0031201234"
            << ""
            << "" << false << QStringList{"A 0031201234", "B 0031201234"} << "Netherlands";
        QTest::newRow("found in another country")
            << "+31201234"
            << "Jan"
            << "" << true << QStringList{"A +31201234", "B +31201234"} << "";
        QTest::newRow("a region found is kept")
            << "+49301234"
            << ""
            << "Berlin" << false << QStringList{"A +49301234"} << "Berlin";
    }
    void reverseLookupWalksTheCountryCodes()
    {
        QFETCH(QString, number);
        QFETCH(QString, answerB);
        QFETCH(QString, extraA);
        QFETCH(bool, found);
        QFETCH(QStringList, asked);
        QFETCH(QString, extra);
        HostRig h([&](SettingsStore& s) {
            const auto reg = [&](const QString& country, const QString& progId, int code,
                                 const QString& name, const QString& extraText) {
                const QString key = QStringLiteral("ReversePlugins\\") + country;
                s.SaveSettingHKCU(key, progId, progId.right(4));
                s.SaveSettingHKCU(key + '\\' + progId, QStringLiteral("CountryCode"),
                                  QString::number(code));
                s.SaveSettingHKCU(key + '\\' + progId, QStringLiteral("Name"), name);
                s.SaveSettingHKCU(key + '\\' + progId, QStringLiteral("Extra"), extraText);
            };
            reg(QStringLiteral("Germany"), QStringLiteral("PhonavoProbe.RevA"), 49, QString(),
                extraA);
            reg(QStringLiteral("Netherlands"), QStringLiteral("PhonavoProbe.RevB"), 31, answerB,
                QString());
            s.SaveSettingHKCU(QStringLiteral("ReversePlugins\\Netherlands"),
                              QStringLiteral("_PhonavoProbe.RevC"), QStringLiteral("parked"));
            s.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("ReverseCountry"),
                              QStringLiteral("Germany"));
            s.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("ReversePlugin"),
                              QStringLiteral("PhonavoProbe.RevA"));
        });
        ReversePluginList& reverse = h.host->reverse();
        QCOMPARE(reverse.countries(), (QStringList{"Germany", "Netherlands"}));
        QCOMPARE(reverse.countryOffset(QStringLiteral("Netherlands")), 1);
        QString name, image, extraOut;
        QCOMPARE(reverse.QueryReversePlugin(number, name, image, extraOut), found);
        QStringList lookups;
        for (const QString& p : {QStringLiteral("A"), QStringLiteral("B")})
            for (const QString& line : h.probe(QStringLiteral("PhonavoProbe.Rev") + p))
                lookups << p + line.mid(6); // "lookup <n>" -> "<p> <n>"
        std::sort(lookups.begin(), lookups.end());
        QCOMPARE(lookups, asked);
        QCOMPARE(extraOut, extra);
        if (found)
            QCOMPARE(name, answerB);
        QCOMPARE(h.rig->logged(
                     QStringLiteral("No reverse lookup: CallerID too short for reverse lookup")),
                 number.size() < 5);
    }

    void shippedPluginsAreRegisteredOnce()
    {
        ControllerRig rig;
        SettingsStore& s = rig.settings;
        s.SaveSettingHKCU(QStringLiteral("ConnectionPlugins\\_") + kB, QStringLiteral("Name"),
                          QStringLiteral("parked by the user"));
        PluginCatalog catalog({probeDir()});
        catalog.scan();
        const QStringList first = registerShippedPlugins(s, catalog, probeDir());
        // Not the parked one, not the one built for another interface, not
        // one that asks not to be.
        QVERIFY(first.contains(kA) && first.contains(kNotify));
        QVERIFY(first.contains(QStringLiteral("PhonavoProbe.RevA")));
        QVERIFY(!first.contains(kB));
        QVERIFY(!first.contains(QStringLiteral("PhonavoProbe.OldInterface")));
        QVERIFY(!first.contains(kServerPlugin));
        QCOMPARE(s.GetSettingHKCU("ConnectionPlugins\\" + kA, "Name", "").toString(),
                 QStringLiteral("Probe A"));
        QCOMPARE(s.GetSettingHKCU("ConnectionPlugins\\" + kA, "InterfaceVersion", "").toString(),
                 QStringLiteral("2"));
        QCOMPARE(
            s.GetSettingHKCU("ReversePlugins\\International", "PhonavoProbe.RevA", "").toString(),
            QStringLiteral("Probe reverse A"));
        QVERIFY(registerShippedPlugins(s, catalog, probeDir()).isEmpty());
        // Only the installation's own folder counts as shipped.
        QVERIFY(registerShippedPlugins(s, catalog, QDir::tempPath()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPluginHost)
#include "TestPluginHost.moc"
