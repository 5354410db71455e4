#include "ControllerRig.h"
#include "core/pipeline/CallPipeline.h"
#include "core/pipeline/PartyName.h"

#include <QTemporaryFile>
#include <QTest>

namespace {

QString idText(qint32 id)
{
    return QLatin1Char('[') + QString::number(id) + QStringLiteral("] ");
}

// Records what the pipeline tells the parts that plug into it, in order.
struct Seams : ContactLookup, ClientNotifier, PluginHost, AddressBook
{
    QStringList events;
    bool server = true;
    bool lookupThrows = false;
    bool pluginCanReject = false;
    QString pluginActions;
    QMap<QString, QString> contacts; // number -> name

    bool LookupNumber(QString& number, QString& guid, QString& name, QString& picture,
                      QString& extra, QVariant&) override
    {
        events << QStringLiteral("lookup ") + number;
        if (lookupThrows)
            PHONAVO_THROW(QStringLiteral("contact database gone"));
        if (!contacts.contains(number))
            return false;
        name = contacts.value(number);
        guid = QStringLiteral("guid-") + number;
        extra = QStringLiteral("ACME");
        picture = QString();
        return true;
    }
    void unknownCaller(CCall& c) override
    {
        events << QStringLiteral("unknown caller ") + c.CallerID();
    }
    void unknownCallee(CCall& c) override
    {
        events << QStringLiteral("unknown callee ") + c.CalledID();
    }
    void journalCall(CCall&) override { events << QStringLiteral("journal"); }

    bool serverEnabled() const override { return server; }
    void incomingCall(const CCall& c) override
    {
        events << QStringLiteral("client incoming ") + c.CallID;
    }
    void outgoingCall(const CCall& c) override
    {
        events << QStringLiteral("client outgoing ") + c.CallID;
    }
    void callAnswered(const CCall& c) override
    {
        events << QStringLiteral("client answered ") + c.CallID;
    }
    void callDisconnected(const CCall& c) override
    {
        events << QStringLiteral("client disconnect ") + c.CallID;
    }
    int connectedClients() const override { return 0; }
    bool confirmStop() override { return true; }
    bool checkPasswordOnStart() override { return true; }
    void startServer() override { events << QStringLiteral("server start"); }
    void stopServer() override { events << QStringLiteral("server stop"); }

    void raiseIncomingCall(qint32 db) override
    {
        events << QStringLiteral("raise incoming %1").arg(db);
    }
    void raiseOutgoingCall(qint32 db) override
    {
        events << QStringLiteral("raise outgoing %1").arg(db);
    }
    void raiseCallAnswered(qint32 db) override
    {
        events << QStringLiteral("raise answered %1").arg(db);
    }
    void raiseCallDisconnected(qint32 db) override
    {
        events << QStringLiteral("raise disconnected %1").arg(db);
    }
    QString connectionPluginName(qint32 id) const override
    {
        return QStringLiteral("Plugin%1").arg(id - 1000);
    }
    qint32 connectionPluginDeviceId(const QString&) const override { return 1001; }
    bool canRejectCalls(qint32) const override { return pluginCanReject; }
    QString callerExtra(qint32) const override { return QStringLiteral("from plug-in"); }
    bool rejectCall(qint32 device, qint32 call) override
    {
        events << QStringLiteral("plugin reject %1 %2").arg(device).arg(call);
        return true;
    }
    bool anyConnectionPluginEnabled() const override { return false; }
    void startConnectionPlugins() override {}
    void stopConnectionPlugins() override {}
    QString notifyIncomingCall(const CCall&) override
    {
        events << QStringLiteral("notify plugins");
        return pluginActions;
    }
    void notifyCallAnswered(const CCall&) override {}
    void notifyCallDisconnected(const CCall&) override {}
    void notifyActionChosen(const QString& caption) override
    {
        events << QStringLiteral("action ") + caption;
    }

    void attach(MainForm& form)
    {
        form.setContactLookup(this);
        form.setClientNotifier(this);
        form.setPluginHost(this);
        form.setAddressBook(this);
    }
};

} // namespace

class TestCallPipeline : public QObject
{
    Q_OBJECT

private slots:
    void formatPartyName_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        for (const char* row :
             {"both|123|Smith|Smith (123)", "number only|123||123",
              "name equals number|123|123|123", "name only||Smith|Smith", "nothing|||(unknown)"}) {
            const QStringList f = QString::fromLatin1(row).split(QLatin1Char('|'));
            QTest::newRow(qPrintable(f[0])) << f[1] << f[2] << f[3];
        }
    }

    void formatPartyName()
    {
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        LocGuru loc;
        QCOMPARE(FormatPartyName(loc, number, name), expected);
    }

    // The controller's translation call for windows and plug-ins fills every
    // placeholder it has a parameter for, empty ones included.
    void getTranslationFillsEmptyParameters()
    {
        ControllerRig rig;
        QCOMPARE(rig.form->getTranslation(QStringLiteral("%s called %s"), QStringLiteral("Anna")),
                 QStringLiteral("Anna called "));
        QCOMPARE(rig.form->getTranslation(QStringLiteral("[%s|%s|%s|%s|%s]"), QString(),
                                          QStringLiteral("b"), QString(), QStringLiteral("d")),
                 QStringLiteral("[|b||d|%s]"));
    }

    void acceptedNumberFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("called");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("listed") << QStringLiteral("10;20") << QStringLiteral("20") << true;
        QTest::newRow("prefix of a listed one")
            << QStringLiteral("10;20") << QStringLiteral("201") << false;
        QTest::newRow("empty filter") << QString() << QStringLiteral("201") << true;
        QTest::newRow("single") << QStringLiteral("5551") << QStringLiteral("5551") << true;
    }

    void acceptedNumberFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QString, called);
        QFETCH(bool, accepted);
        ControllerRig rig;
        rig.form->options().setValue(QStringLiteral("txtAcceptedNumber"), filter);
        rig.monitor({0});
        const qint32 id = rig.lines().ring(0, QStringLiteral("0301234567"), called).value();
        rig.settle();
        QCOMPARE(rig.logged(idText(id) +
                            QStringLiteral("Incoming call from: 0301234567. Callee: ") + called),
                 accepted);
        QCOMPARE(rig.logged(idText(id) + QStringLiteral("Call from: 0301234567. Callee: ") +
                            called + QStringLiteral(" not accepted by filter")),
                 !accepted);
        QCOMPARE(rig.popups.shown.size(), accepted ? 1 : 0);
        QCOMPARE(rig.form->colCalls().Count(), 1); // a refused call stays until it ends
    }

    void minimumCallerLength()
    {
        ControllerRig rig(QStringList{QStringLiteral("Virtual line 1")}, [](SettingsStore& s) {
            const QString key = QStringLiteral("Options\\Devices\\Virtual line 1");
            s.SaveSettingHKCU(key, QStringLiteral("CheckMinLength"), QStringLiteral("1"));
            s.SaveSettingHKCU(key, QStringLiteral("CallerIDMinLength"), QStringLiteral("5"));
            s.SaveSettingHKCU(key, QStringLiteral("CutIncoming"), QStringLiteral("0"));
        });
        rig.monitor({0});
        const qint32 shortOne =
            rig.lines().ring(0, QStringLiteral("01234"), QStringLiteral("5551")).value();
        const qint32 longEnough =
            rig.lines().ring(0, QStringLiteral("12345"), QStringLiteral("5552")).value();
        rig.settle();
        QVERIFY(
            rig.logged(idText(shortOne) + QStringLiteral("Ignoring call: too short (1234 <- 5)")));
        QVERIFY(rig.logged(idText(longEnough) +
                           QStringLiteral("Incoming call from: 12345. Callee: 5552")));
        QCOMPARE(rig.popups.shown.size(), 1);
    }

    // The settings are written with every call, also one that goes no further.
    void everyCallSavesTheSettings_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<QString>("acceptedNumber");
        QTest::newRow("announced") << QStringLiteral("0301234567") << QString();
        QTest::newRow("too short") << QStringLiteral("01") << QString();
        QTest::newRow("not accepted") << QStringLiteral("0301234567") << QStringLiteral("9999");
    }

    void everyCallSavesTheSettings()
    {
        QFETCH(QString, caller);
        QFETCH(QString, acceptedNumber);
        ControllerRig rig(QStringList{QStringLiteral("Virtual line 1")}, [](SettingsStore& s) {
            const QString key = QStringLiteral("Options\\Devices\\Virtual line 1");
            s.SaveSettingHKCU(key, QStringLiteral("CheckMinLength"), QStringLiteral("1"));
        });
        rig.form->options().setValue(QStringLiteral("txtAcceptedNumber"), acceptedNumber);
        rig.monitor({0});
        rig.form->options().setValue(QStringLiteral("txtCountryCode"), QStringLiteral("41"));
        const auto stored = [&] {
            return rig.settings
                .GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("CountryCode"), QString())
                .toString();
        };
        QVERIFY(stored() != QLatin1String("41"));
        rig.lines().ring(0, caller, QStringLiteral("5551"));
        rig.settle();
        QCOMPARE(stored(), QStringLiteral("41"));
    }

    void numberRulesOfTheDevice()
    {
        ControllerRig rig(QStringList{QStringLiteral("Virtual line 1")}, [](SettingsStore& s) {
            const QString key = QStringLiteral("Options\\Devices\\Virtual line 1");
            s.SaveSettingHKCU(key, QStringLiteral("CutIncoming"), QStringLiteral("0"));
            s.SaveSettingHKCU(key, QStringLiteral("PrependIncoming"), QStringLiteral("+49"));
            s.SaveSettingHKCU(key, QStringLiteral("CutCalled"), QStringLiteral("030"));
        });
        rig.monitor({0});
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("0305551")).value();
        rig.settle();
        QVERIFY(rig.logged(idText(id) +
                           QStringLiteral("Incoming call from: +49301234567. Callee: 5551")));
        const CallPtr call = rig.form->colCalls().Item(id);
        QCOMPARE(call->OriginalCallerID, QStringLiteral("0301234567"));
        QCOMPARE(call->OriginalCalledID, QStringLiteral("0305551"));
        QCOMPARE(call->CallerID(), QStringLiteral("+49301234567"));
    }

    void stepsRunInOrder()
    {
        QTemporaryFile ring;
        QVERIFY(ring.open());
        ControllerRig rig(QStringList{QStringLiteral("Virtual line 1")}, [&](SettingsStore& s) {
            s.SaveSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 1"),
                              QStringLiteral("Sound"), ring.fileName());
        });
        Seams seams;
        seams.attach(*rig.form);
        seams.contacts.insert(QStringLiteral("0301234567"), QStringLiteral("Smith"));
        seams.pluginActions = QStringLiteral("|Note");
        rig.monitor({0});
        seams.events.clear();
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        const qint32 db = rig.form->colCalls().Item(id)->DBCallID;
        QVERIFY(db > 0);
        // Named by the lookup but without an address-book contact: the
        // address book may still make one.
        QCOMPARE(seams.events, (QStringList{QStringLiteral("lookup 0301234567"),
                                            QStringLiteral("unknown caller 0301234567"),
                                            QStringLiteral("raise incoming %1").arg(db),
                                            QStringLiteral("client incoming %1").arg(id),
                                            QStringLiteral("notify plugins")}));
        QCOMPARE(rig.sound.played, QStringList{QStringLiteral("sound:") + ring.fileName()});
        QCOMPARE(rig.popups.shown,
                 QStringList{QStringLiteral("0301234567/5551/Smith/|Reject|Note")});
        QVERIFY(rig.logged(idText(id) +
                           QStringLiteral("Incoming call from: 0301234567. Callee: 5551")));
        const CallPtr call = rig.form->colCalls().Item(id);
        QCOMPARE(call->CallerGUID, QStringLiteral("guid-0301234567"));
        QCOMPARE(call->CallerExtra, QStringLiteral("ACME"));
        QCOMPARE(rig.store.saves.last().callerName, QStringLiteral("Smith"));
        QVERIFY(rig.form->trayToolTip().startsWith(QStringLiteral("Phonavo\r\nLatest call on ")));
        QVERIFY(rig.form->trayToolTip().endsWith(QStringLiteral(" from Smith (0301234567)")));
        QCOMPARE(rig.settings.GetSettingHKCU(QString(), QStringLiteral("LastCall"), QString())
                     .toString(),
                 rig.clock.now().toString(QStringLiteral("yyyyMMddHHmmss")));

        seams.events.clear();
        rig.lines().answerCall(id);
        rig.lines().hangup(id);
        rig.settle();
        QCOMPARE(seams.events, (QStringList{QStringLiteral("raise answered %1").arg(db),
                                            QStringLiteral("client answered %1").arg(id),
                                            QStringLiteral("journal"),
                                            QStringLiteral("raise disconnected %1").arg(db),
                                            QStringLiteral("client disconnect %1").arg(id)}));
    }

    void withoutPopupEverythingElseStillHappens()
    {
        ControllerRig rig;
        Seams seams;
        seams.attach(*rig.form);
        rig.form->options().setValue(QStringLiteral("cbPopup"), false);
        rig.monitor({0});
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(rig.popups.shown.isEmpty());
        QCOMPARE(rig.sound.played.size(), 1);
        QVERIFY(seams.events.contains(QStringLiteral("client incoming %1").arg(id)));
        QVERIFY(seams.events.contains(QStringLiteral("notify plugins")));
        QVERIFY(seams.events.contains(QStringLiteral("unknown caller 0301234567")));
    }

    void aFailingStepDoesNotStopTheAnnouncement()
    {
        ControllerRig rig;
        Seams seams;
        seams.attach(*rig.form);
        seams.lookupThrows = true;
        rig.monitor({0});
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY2(rig.anyMessage([](const QString& l) {
            return l.startsWith(QLatin1String("RaiseError: ")) &&
                   l.contains(QLatin1String("contact database gone"));
        }),
                 qPrintable(rig.messages().join(QLatin1Char(10))));
        QVERIFY(seams.events.contains(QStringLiteral("client incoming %1").arg(id)));
        QCOMPARE(rig.popups.shown.size(), 1);
        QVERIFY(rig.form->trayToolTip().endsWith(QStringLiteral(" from 0301234567")));
    }

    void rejectAnswersThenDropsAfterAPause()
    {
        ControllerRig rig;
        rig.log.setLogFlag(true);
        rig.monitor({0});
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QElapsedTimer timer;
        timer.start();
        rig.form->RaiseNotificationAction(QStringLiteral("Reject"));
        QVERIFY(rig.logged(QStringLiteral("NotificationAction: Reject")));
        QVERIFY(rig.logged(idText(id) + QStringLiteral("Rejecting call on Virtual line 1")));
        QCOMPARE(rig.lines().callInfo(0, id, CallInfoField::CallState).toInt(),
                 qint32(LineCallState::Connected));
        QVERIFY(rig.lines().hasCall(id)); // not dropped yet: the pauses come first
        QTRY_VERIFY(!rig.lines().hasCall(id));
        QVERIFY(timer.elapsed() >= 2 * CallPipeline::kRejectStepMs - 10);
        rig.settle();
        QCOMPARE(rig.form->colCalls().Count(), 0);
    }

    void pluginReportedCalls()
    {
        ControllerRig rig;
        Seams seams;
        seams.attach(*rig.form);
        seams.pluginCanReject = false;
        rig.form->evtIncomingCall(77, QStringLiteral("Plugin1"), QStringLiteral("0301234567"),
                                  QStringLiteral("Smith"), QStringLiteral("5551"),
                                  QStringLiteral("Office"), QString(), QString());
        QVERIFY2(rig.logged(QStringLiteral(
                     "[77] Incoming call from: Smith (0301234567). Callee: Office (5551)")),
                 qPrintable(rig.messages().join(QLatin1Char(10))));
        QCOMPARE(rig.popups.shown.last(), QStringLiteral("0301234567/Office/Smith/")); // no Reject
        const CallPtr first = rig.form->colCalls().Item(77);
        QCOMPARE(first->lDeviceID, 1001);
        QCOMPARE(first->CallerExtra, QStringLiteral("from plug-in"));

        // The same id again while still connected: the old record is closed and saved first.
        const int saves = int(rig.store.saves.size());
        seams.pluginCanReject = true;
        rig.form->evtIncomingCall(77, QStringLiteral("Plugin1"), QStringLiteral("0409876"),
                                  QString(), QStringLiteral("5552"), QString(), QString(),
                                  QString());
        QVERIFY(!first->IsConnected());
        QCOMPARE(rig.store.saves.at(saves).callId, QStringLiteral("77"));
        QVERIFY(!rig.store.saves.at(saves).connected);
        QVERIFY(rig.form->colCalls().Item(77) != first);
        QCOMPARE(rig.popups.shown.last(), QStringLiteral("0409876/5552//|Reject"));

        rig.form->RaiseNotificationAction(QStringLiteral("Reject"));
        QVERIFY(seams.events.contains(QStringLiteral("plugin reject 1001 77")));
        QVERIFY(rig.logged(QStringLiteral("[77] Rejecting call on Plugin1")));
        rig.form->RaiseNotificationAction(QStringLiteral("Note"));
        QVERIFY(seams.events.contains(QStringLiteral("action Note")));

        rig.form->evtCallAnswered(77);
        QVERIFY(rig.logged(QStringLiteral("[77] Call was answered from 0409876. Callee: 5552")));
        rig.form->evtCallDisconnected(77);
        QVERIFY(rig.logged(QStringLiteral("[77] Disconnected call from 0409876. Callee: 5552")));
        QCOMPARE(rig.form->colCalls().Count(), 0);
        QVERIFY(seams.events.contains(QStringLiteral("client disconnect 77")));
    }

    void outgoingCallsAreNamedAndRewritten()
    {
        ControllerRig rig(QStringList{QStringLiteral("Virtual line 1")}, [](SettingsStore& s) {
            s.SaveSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 1"),
                              QStringLiteral("CutCalled"), QStringLiteral("0"));
            s.SaveSettingHKCU(QStringLiteral("Options\\Devices\\Virtual line 1"),
                              QStringLiteral("PrependCalled"), QStringLiteral("+49"));
        });
        Seams seams;
        seams.attach(*rig.form);
        seams.contacts.insert(QStringLiteral("+49301234567"), QStringLiteral("Smith"));
        rig.monitor({0});
        const qint32 id = rig.lines().dialOut(0, QStringLiteral("030 123-4567")).value();
        rig.settle();
        QVERIFY2(rig.logged(idText(id) +
                            QStringLiteral("Outgoing call: Virtual line 1 called: +49301234567")),
                 qPrintable(rig.messages().join(QLatin1Char('\n'))));
        const CallPtr call = rig.form->colCalls().Item(id);
        QCOMPARE(call->CalledName, QStringLiteral("Smith"));
        QVERIFY(call->Outgoing);
        QVERIFY(seams.events.contains(QStringLiteral("client outgoing %1").arg(id)));
        QCOMPARE(rig.form->OriginalCalledID(), QStringLiteral("030 123-4567"));
    }
};

QTEST_GUILESS_MAIN(TestCallPipeline)
#include "TestCallPipeline.moc"
