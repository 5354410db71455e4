#include "server/msn/ColMSNs.h"

#include "ControllerRig.h"

#include <QTest>

namespace {

MSNPtr entry(ColMSNs& table, const QString& name, const QString& msn, const QString& clients)
{
    MSNPtr e = table.Add(name);
    e->MSN = msn;
    e->Clients = clients;
    return e;
}

} // namespace

class TestOwnNumbers : public QObject
{
    Q_OBJECT

private slots:
    void delivery_data()
    {
        QTest::addColumn<QString>("msn");
        QTest::addColumn<QString>("clients");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("gets");
        // name|msn|clients|number|ip|host|gets
        for (const char* row : {"default entry|*|*|anything|10.0.0.9|box|1",
                                "listed number, listed ip|301;302|10.0.0.5|302|10.0.0.5||1",
                                "longer number|301;302|10.0.0.5|3021|10.0.0.5||0",
                                "other client|301;302|10.0.0.5|302|10.0.0.6||0",
                                "host in capitals|301|OFFICE-PC|301|10.1.1.1|office-pc|1",
                                "number case and blanks| 301 |*|301 |1.1.1.1||1",
                                "any number, one client|*|10.0.0.5;laptop|5|10.0.0.7|LAPTOP|1",
                                "part of a listed name|*|10.0.0.5;laptop2|5|10.0.0.7|laptop|0",
                                "blank inside the list|*|10.0.0.5; laptop|5|10.0.0.7|laptop|0",
                                "blanks around the client| * |*| 5|10.0.0.7| Laptop |1",
                                "empty part, no host name|*|10.0.0.5;;x|5|10.0.0.7||1",
                                "host name holding a ;|*|a;b;c|5|10.0.0.7|A;B|1"}) {
            const QStringList f = QString::fromLatin1(row).split(QLatin1Char('|'));
            QTest::newRow(qPrintable(f[0]))
                << f[1] << f[2] << f[3] << f[4] << f[5] << (f[6] == QLatin1String("1"));
        }
    }

    void delivery()
    {
        QFETCH(QString, msn);
        QFETCH(QString, clients);
        QFETCH(QString, number);
        QFETCH(QString, ip);
        QFETCH(QString, host);
        QFETCH(bool, gets);
        ColMSNs table;
        entry(table, QStringLiteral("Office"), msn, clients);
        QCOMPARE(table.ClientGetsNotification(number, ClientAddress{ip, host}), gets);
    }

    void emptyTableDeliversNothingAndLaterEntriesCount()
    {
        ColMSNs table;
        QVERIFY(!table.ClientGetsNotification(QStringLiteral("1"),
                                              {QStringLiteral("1.2.3.4"), QString()}));
        entry(table, QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("9.9.9.9"));
        entry(table, QStringLiteral("B"), QStringLiteral("1"), QStringLiteral("1.2.3.4"));
        QVERIFY(table.ClientGetsNotification(QStringLiteral("1"),
                                             {QStringLiteral("1.2.3.4"), QString()}));
    }

    void namesForCalledNumbers()
    {
        ColMSNs table;
        const QString def = QStringLiteral("(default)");
        const QString given = QStringLiteral("fallback");
        QCOMPARE(table.nameForMSN(QStringLiteral("5551"), def), QStringLiteral("5551"));
        QCOMPARE(table.nameForMSN(QStringLiteral("5551"), def, &given), given);
        entry(table, def, QStringLiteral("*"), QStringLiteral("*"));
        QCOMPARE(table.nameForMSN(QStringLiteral("5551"), def), QStringLiteral("5551"));
        const QString empty;
        QCOMPARE(table.nameForMSN(QStringLiteral("5551"), def, &empty), QString());
        entry(table, QStringLiteral("Both"), QStringLiteral("5551;5552"), QStringLiteral("*"));
        entry(table, QStringLiteral("Office"), QStringLiteral(" 5551 "), QStringLiteral("*"));
        // A whole-text match only: the two-number entry names neither number.
        QCOMPARE(table.nameForMSN(QStringLiteral("5551"), def), QStringLiteral("Office"));
        QCOMPARE(table.nameForMSN(QStringLiteral("5552"), def), QStringLiteral("5552"));
        entry(table, QStringLiteral("Home"), QStringLiteral("*"), QStringLiteral("*"));
        QCOMPARE(table.nameForMSN(QStringLiteral("5552"), def), QStringLiteral("Home"));
    }

    void findMsnMakesUnlistedEntry()
    {
        ColMSNs table;
        entry(table, QStringLiteral("Office"), QStringLiteral("5551"), QStringLiteral("*"));
        QCOMPARE(table.FindMSN(QStringLiteral("5551"))->Name, QStringLiteral("Office"));
        const MSNPtr made = table.FindMSN(QStringLiteral("777"), QStringLiteral("10.0.0.1"));
        QCOMPARE(made->Name, QStringLiteral("777"));
        QCOMPARE(made->Clients, QStringLiteral("10.0.0.1"));
        QCOMPARE(table.Count(), 1);
    }

    void saveReplacesAllEntries()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        ColMSNs table;
        MSNPtr office =
            entry(table, QStringLiteral("Office"), QStringLiteral("5551"), QStringLiteral("*"));
        entry(table, QString(), QStringLiteral("9"), QStringLiteral("*")); // nameless: skipped
        entry(table, QStringLiteral("Fax"), QStringLiteral("5559"), QStringLiteral("10.0.0.2"));
        table.Save(settings);
        office->Name = QStringLiteral("Front desk");
        table.Save(settings);

        ColMSNs loaded;
        loaded.Load(settings);
        QCOMPARE(loaded.Count(), 2);
        QStringList names;
        for (const MSNPtr& e : loaded.NewEnum())
            names << e->Name + QLatin1Char('=') + e->MSN + QLatin1Char('@') + e->Clients;
        // The old sub-key is gone; entries come back in key order.
        QCOMPARE(names, (QStringList{QStringLiteral("Fax=5559@10.0.0.2"),
                                     QStringLiteral("Front desk=5551@*")}));
    }

    void duplicateNamesEndAsOneEntry()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        ColMSNs table;
        entry(table, QStringLiteral("Office"), QStringLiteral("1"), QStringLiteral("*"));
        entry(table, QStringLiteral("Office"), QStringLiteral("2"), QStringLiteral("*"));
        table.Save(settings);
        ColMSNs loaded;
        loaded.Load(settings);
        QCOMPARE(loaded.Count(), 1);
        QCOMPARE(loaded.Item(1)->MSN, QStringLiteral("2"));
        QVERIFY(!loaded.Item(0));
        QVERIFY(!loaded.Item(2));
    }

    void controllerOperations()
    {
        ControllerRig rig;
        // An empty table shows the built-in default entry.
        QCOMPARE(rig.form->colMSNs().Count(), 1);
        QCOMPARE(rig.form->colMSNs().Item(1)->Name, QStringLiteral("(default)"));
        QCOMPARE(rig.form->getNameForMSN(QStringLiteral("5551")), QStringLiteral("5551"));

        bool askedClients = true;
        QString offeredName, offeredMsn;
        rig.editors.onMsn = [&](CMSN& m, bool showClients) {
            askedClients = showClients;
            offeredName = m.Name;
            offeredMsn = m.MSN;
            m.Name = QStringLiteral("Office");
            m.MSN = QStringLiteral("5551");
            return true;
        };
        QVERIFY(rig.form->newMSN());
        QVERIFY(!askedClients); // the server is off
        QCOMPARE(offeredName, QStringLiteral("(new)"));
        QCOMPARE(offeredMsn, QStringLiteral("*"));
        QCOMPARE(rig.form->getNameForMSN(QStringLiteral("5551")), QStringLiteral("Office"));

        rig.editors.onMsn = [](CMSN&, bool) { return false; };
        QVERIFY(!rig.form->newMSN());
        QCOMPARE(rig.form->colMSNs().Count(), 2);

        rig.dialogs.queueAnswer(MsgResult::No);
        QVERIFY(!rig.form->deleteMSN(2));
        QCOMPARE(rig.form->colMSNs().Count(), 2);
        rig.dialogs.queueAnswer(MsgResult::Yes);
        QVERIFY(rig.form->deleteMSN(2));
        QCOMPARE(rig.form->colMSNs().Count(), 1);
        ColMSNs stored;
        stored.Load(rig.settings);
        QCOMPARE(stored.Count(), 1); // the default entry was saved with the table

        // Deleting the last entry brings the default entry back at once, so
        // clients keep hearing calls.
        rig.dialogs.queueAnswer(MsgResult::Yes);
        QVERIFY(rig.form->deleteMSN(1));
        QCOMPARE(rig.form->colMSNs().Count(), 1);
        QCOMPARE(rig.form->colMSNs().Item(1)->MSN, QStringLiteral("*"));
        QVERIFY(rig.form->colMSNs().ClientGetsNotification(
            QStringLiteral("5551"), {QStringLiteral("10.0.0.5"), QStringLiteral("kitchen")}));
    }
};

QTEST_GUILESS_MAIN(TestOwnNumbers)
#include "TestOwnNumbers.moc"
