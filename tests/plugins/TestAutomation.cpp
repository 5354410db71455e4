#include "AutomationRig.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// The automation object in the process: its members, its guard and the order
// and timing of its events for calls that run through the real controller.
class TestAutomation : public QObject
{
    Q_OBJECT

    std::unique_ptr<AutomationRig> rig;

    Application& app() { return Helper::GetApplication(); }
    // Every event the object raises, in order.
    QStringList events;
    void record()
    {
        Application& a = app();
        const auto note = [this](const QString& what) {
            return [this, what](qint32 id) {
                events << what + QLatin1Char(' ') + QString::number(id);
            };
        };
        connect(&a, &Application::evtIncomingCall, this, note(QStringLiteral("evtIncomingCall")));
        connect(&a, &Application::evtOutgoingCall, this, note(QStringLiteral("evtOutgoingCall")));
        connect(&a, &Application::evtCallAnswered, this, note(QStringLiteral("evtCallAnswered")));
        connect(&a, &Application::evtCallDisconnected, this,
                note(QStringLiteral("evtCallDisconnected")));
        connect(&a, &Application::evtUniversal, this,
                [this](const QString& key) { events << QStringLiteral("evtUniversal ") + key; });
        connect(&a, &Application::evtLog, this,
                [this](const QString& text) { events << QStringLiteral("evtLog ") + text; });
        connect(&a, &Application::evtExit, this, [this] { events << QStringLiteral("evtExit"); });
    }
    QStringList callEvents() const
    {
        QStringList calls;
        for (const QString& e : events)
            if (!e.startsWith(QStringLiteral("evtLog")))
                calls << e;
        return calls;
    }

private slots:
    void init()
    {
        Helper::destroyApplication();
        events.clear();
        rig = std::make_unique<AutomationRig>();
        record();
    }
    void cleanup()
    {
        Helper::destroyApplication();
        rig.reset();
    }

    void sharedInstance()
    {
        Application* first = &Helper::GetApplication();
        QCOMPARE(&Helper::GetApplication(), first);
        QCOMPARE(first->APIVersion(), 2);
        Helper::destroyApplication();
        QVERIFY(!Helper::hasApplication());
        QVERIFY(!Helper::GetApplication().connected());
    }

    void logWritesTheLineAndRaisesItsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("raised");
        QTest::addRow("empty") << QString() << QString();
        QTest::addRow("plain") << QStringLiteral("plug-in says hello")
                               << QStringLiteral("plug-in says hello");
        QTest::addRow("two lines") << QStringLiteral("a\r\nb") << QStringLiteral("a | b");
    }
    void logWritesTheLineAndRaisesItsText()
    {
        QFETCH(QString, text);
        QFETCH(QString, raised);
        app().linkMainForm(rig->form.get());
        const qsizetype before = rig->log.lines().size();
        app().Log(text);
        QCOMPARE(rig->log.lines().size(), before + 1);
        QVERIFY(rig->log.lines().last().endsWith(QStringLiteral(": ") + raised));
        QCOMPARE(events, QStringList{QStringLiteral("evtLog ") + raised});
    }

    void everyLogLineIsRaisedOnceEvenWhenAReceiverLogs()
    {
        app().linkMainForm(rig->form.get());
        // A receiver that logs what it hears must not go round forever.
        connect(&app(), &Application::evtLog, this, [this](const QString& text) {
            if (text == QStringLiteral("first"))
                app().Log(QStringLiteral("echo"));
        });
        rig->form->LogStr(QStringLiteral("first"));
        QCOMPARE(events, QStringList{QStringLiteral("evtLog first")});
        QVERIFY(rig->logged(QStringLiteral("echo")));
        rig->form->LogStr(QStringLiteral("second"));
        QCOMPARE(events.last(), QStringLiteral("evtLog second"));
    }

    void notConnectedRaisesNothingAndReports_data()
    {
        QTest::addColumn<int>("which");
        QTest::addRow("incoming call") << 0;
        QTest::addRow("outgoing call") << 1;
        QTest::addRow("answered") << 2;
        QTest::addRow("disconnected") << 3;
        QTest::addRow("universal") << 4;
        QTest::addRow("log") << 5;
        QTest::addRow("GetCallByID") << 6;
    }
    void notConnectedRaisesNothingAndReports()
    {
        QFETCH(int, which);
        Application& a = app();
        a.setErrorReporter(&rig->errors);
        QVERIFY(!a.connected());
        switch (which) {
        case 0:
            a.RaiseIncomingCall(7);
            break;
        case 1:
            a.RaiseOutgoingCall(7);
            break;
        case 2:
            a.RaiseCallAnswered(7);
            break;
        case 3:
            a.RaiseCallDisconnected(7);
            break;
        case 4:
            a.raiseUniversal(QStringLiteral("key"), 1);
            break;
        case 5:
            a.raiseLog(QStringLiteral("line"));
            break;
        case 6:
            QVERIFY(a.GetCallByID(1).isEmpty());
            break;
        }
        QTest::qWait(20); // several timer ticks: nothing may be on its way
        QCOMPARE(events, QStringList());
        QCOMPARE(rig->dialogs.history().size(), 1);
        QCOMPARE(rig->dialogs.history().first().prompt.trimmed(),
                 QStringLiteral("API not connected"));
        QVERIFY(rig->anyMessage([](const QString& m) {
            return m.startsWith(QStringLiteral("RaiseError: API not connected"));
        }));

        // A client's Connect counts as connected too.
        QVERIFY(a.Connect(QStringLiteral("Tool")));
        a.RaiseIncomingCall(8);
        QTRY_COMPARE(events, QStringList{QStringLiteral("evtIncomingCall 8")});
    }

    void callEventsFollowTheirHandlersInOrder_data()
    {
        QTest::addColumn<bool>("outgoing");
        QTest::addRow("incoming") << false;
        QTest::addRow("outgoing") << true;
    }
    void callEventsFollowTheirHandlersInOrder()
    {
        QFETCH(bool, outgoing);
        QStringList trail;
        rig->host.trail = &trail;
        app().linkMainForm(rig->form.get());
        connect(&app(), &Application::evtIncomingCall, this,
                [&] { trail << QStringLiteral("event"); });
        connect(&app(), &Application::evtOutgoingCall, this,
                [&] { trail << QStringLiteral("event"); });
        connect(&app(), &Application::evtCallAnswered, this,
                [&] { trail << QStringLiteral("event"); });
        connect(&app(), &Application::evtCallDisconnected, this,
                [&] { trail << QStringLiteral("event"); });

        const QStringList args = {QStringLiteral("line"), QStringLiteral("0301234"), QString(),
                                  QStringLiteral("5551"), QString()};
        const qint32 id = outgoing
                              ? app().ShowOutgoingCall(args[0], args[1], args[2], args[3], args[4])
                              : app().ShowIncomingCall(args[0], args[1], args[2], args[3], args[4]);
        trail << QStringLiteral("shown");
        QVERIFY(id > 0);
        QVERIFY(rig->form->colCalls().contains(id));
        QVERIFY(app().SetCallAnswered(id));
        trail << QStringLiteral("answered");
        QVERIFY(app().SetCallDisconnected(id));
        trail << QStringLiteral("disconnected");
        QVERIFY(!rig->form->colCalls().contains(id));

        const QString first = outgoing ? QStringLiteral("outgoing") : QStringLiteral("incoming");
        // Every event waits for its handler to end, and they come in the handlers' order.
        QTRY_COMPARE(trail.size(), 9);
        QCOMPARE(trail, (QStringList{QStringLiteral("raise ") + first, QStringLiteral("shown"),
                                     QStringLiteral("raise answered"), QStringLiteral("answered"),
                                     QStringLiteral("raise disconnected"),
                                     QStringLiteral("disconnected"), QStringLiteral("event"),
                                     QStringLiteral("event"), QStringLiteral("event")}));
        // The events name the call's row in the history.
        const QString db = QString::number(rig->history.rows.lastKey());
        QCOMPARE(callEvents(), (QStringList{(outgoing ? QStringLiteral("evtOutgoingCall ")
                                                      : QStringLiteral("evtIncomingCall ")) +
                                                db,
                                            QStringLiteral("evtCallAnswered ") + db,
                                            QStringLiteral("evtCallDisconnected ") + db}));
        QCOMPARE(rig->history.rows.size(), 1);
        QVERIFY(rig->history.rows.first().Answered());
    }

    void unknownCallIdsMakeNoCall_data()
    {
        QTest::addColumn<qint32>("id");
        QTest::addColumn<bool>("answered");
        QTest::addRow("answered, unknown") << 4711 << true;
        QTest::addRow("disconnected, unknown") << 4711 << false;
        // 0 would name the first active call in the list.
        QTest::addRow("answered, 0") << 0 << true;
        QTest::addRow("disconnected, 0") << 0 << false;
    }
    void unknownCallIdsMakeNoCall()
    {
        QFETCH(qint32, id);
        QFETCH(bool, answered);
        app().linkMainForm(rig->form.get());
        const qint32 going = app().ShowIncomingCall(QStringLiteral("line"), QStringLiteral("0301"),
                                                    QString(), QStringLiteral("5551"), QString());
        const qsizetype saves = rig->history.saves.size();
        QVERIFY(!(answered ? app().SetCallAnswered(id) : app().SetCallDisconnected(id)));
        QCOMPARE(rig->form->colCalls().Count(), 1);
        QVERIFY(rig->form->colCalls().contains(going));
        QVERIFY(!rig->form->colCalls().NewEnum().first()->Answered());
        QCOMPARE(rig->history.saves.size(), saves);
        QVERIFY(rig->logged(QStringLiteral("Automation object: there is no active call ") +
                            QString::number(id)));
        QTRY_COMPARE(callEvents(), QStringList{QStringLiteral("evtIncomingCall 1")});
    }

    void getCallByIdReadsTheHistory()
    {
        app().linkMainForm(rig->form.get());
        QStringList asked;
        app().setPictureLookup([&asked](const QString& guid) -> QString {
            asked << guid;
            return QStringLiteral("/tmp/") + guid + QStringLiteral(".png");
        });
        QVERIFY(app().GetCallByID(1).isEmpty()); // nothing stored yet
        const qint32 id = app().ShowIncomingCall(QStringLiteral("line"), QStringLiteral("0301234"),
                                                 QString(), QStringLiteral("5551"), QString());
        app().SetCallAnswered(id);
        const qint32 db = rig->history.rows.lastKey();
        QVariantMap call = app().GetCallByID(db);
        QCOMPARE(call.value(QStringLiteral("DBCallID")).toInt(), db);
        QCOMPARE(call.value(QStringLiteral("CallerID")).toString(), QStringLiteral("0301234"));
        QCOMPARE(call.value(QStringLiteral("CallerName")).toString(),
                 QStringLiteral("Ada Lovelace"));
        QCOMPARE(call.value(QStringLiteral("CalledID")).toString(), QStringLiteral("5551"));
        QCOMPARE(call.value(QStringLiteral("Outgoing")).toBool(), false);
        QCOMPARE(call.value(QStringLiteral("Answered")).toBool(), true);
        QCOMPARE(call.value(QStringLiteral("IsConnected")).toBool(), true);
        QCOMPARE(call.value(QStringLiteral("PictureFilename")).toString(),
                 QStringLiteral("/tmp/guid-0301234.png"));
        QCOMPARE(asked, QStringList{QStringLiteral("guid-0301234")});
        QVERIFY(
            QDateTime::fromString(call.value(QStringLiteral("CallStart")).toString(), Qt::ISODate)
                .isValid());

        app().SetCallDisconnected(id);
        call = app().GetCallByID(db);
        QCOMPARE(call.value(QStringLiteral("IsConnected")).toBool(), false);
        QVERIFY(app().GetCallByID(db + 100).isEmpty());
    }

    void vntUniversalReturnsNothing_data()
    {
        QTest::addColumn<bool>("inProcess");
        QTest::addRow("box for a caller here") << true;
        QTest::addRow("log line for a caller on the bus") << false;
    }
    void vntUniversalReturnsNothing()
    {
        QFETCH(bool, inProcess);
        app().linkMainForm(rig->form.get());
        const QVariant result = app().vntUniversal(
            QStringLiteral("GetContacts"), QStringLiteral("x"),
            inProcess ? Application::ReportTo::User : Application::ReportTo::Log);
        QVERIFY(!result.isValid());
        const QString text = QStringLiteral("GetContacts: Not implemented");
        QCOMPARE(rig->dialogs.history().size(), inProcess ? 1 : 0);
        if (inProcess)
            QCOMPARE(rig->dialogs.history().first().prompt, text);
        QCOMPARE(rig->logged(text), !inProcess);
    }

    void startCallAnnouncesTheNumberAndDials()
    {
        app().linkMainForm(rig->form.get());
        app().StartCall(QStringLiteral("0301234"), Application::ReportTo::Log);
        QCOMPARE(events.first(), QStringLiteral("evtLog API StartCall: NumberToDial: 0301234"));
        QVERIFY(rig->anyMessage([](const QString& m) {
            return m.startsWith(QStringLiteral("Starting outgoing call on device")) &&
                   m.endsWith(QStringLiteral(": 0301234"));
        }));
    }

    void connectLogsTheClient()
    {
        app().linkMainForm(rig->form.get());
        QVERIFY(app().Connect(QStringLiteral("CRM\x1b[2J")));
        QVERIFY(rig->logged(QStringLiteral("API connection established (CRM[2J)")));
    }

    void exitEndsTheEvents()
    {
        app().linkMainForm(rig->form.get());
        app().RaiseIncomingCall(5); // still on its way when the program ends
        app().raiseExit();
        app().raiseExit();
        app().RaiseCallAnswered(5);
        rig->form->LogStr(QStringLiteral("after the end"));
        QTest::qWait(20);
        QCOMPARE(events, QStringList{QStringLiteral("evtExit")});
        QCOMPARE(rig->dialogs.history().size(), 0); // ending is not an error
    }
};

QTEST_GUILESS_MAIN(TestAutomation)
#include "TestAutomation.moc"
