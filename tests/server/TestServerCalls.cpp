// Live call events over loopback: who hears which call, the picture in
// "incomingcall", and the clients' requests that act on lines.

#include "OnePluginHost.h"
#include "ServerRig.h"

#include "core/pipeline/CallSeams.h"

#include <QFile>

namespace {

// Every caller gets the same contact, with a picture.
class PictureLookup : public ContactLookup
{
public:
    QString picture;
    bool LookupNumber(QString&, QString& guid, QString& name, QString& pic, QString& extra,
                      QVariant&) override
    {
        guid = QStringLiteral("g1");
        name = QStringLiteral("Anna");
        pic = picture;
        extra = QStringLiteral("ACME");
        return true;
    }
};

} // namespace

class TestServerCalls : public QObject
{
    Q_OBJECT

private slots:
    // Listen lists and own-number entries together decide, per client.
    void liveDeliveryFollowsListenListsAndOwnNumbers()
    {
        ServerRig rig;
        rig.form->colMSNs().Clear();
        MSNPtr office = rig.form->colMSNs().Add(QStringLiteral("Office"));
        office->MSN = QStringLiteral("301;302;30");
        office->Clients = QStringLiteral("127.0.0.2;127.0.0.3");
        QVERIFY(rig.start());
        auto listening = rig.verifiedClient(2, QStringLiteral("301;302"));
        auto all = rig.verifiedClient(3);
        auto unlisted = rig.verifiedClient(4);
        QVERIFY(listening && all && unlisted);

        const qint32 id302 =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("302")).value();
        rig.settle();
        QVERIFY(listening->waitFor(QStringLiteral("incomingcall")));
        QCOMPARE(listening->last().mid(1, 7),
                 (QStringList{QString::number(id302), QStringLiteral("0301234567"),
                              // an entry of several numbers names none of them
                              QStringLiteral("302"), QStringLiteral("302"), QString(),
                              QStringLiteral("1"), QString()}));
        QVERIFY(all->waitFor(QStringLiteral("incomingcall")));
        QVERIFY(
            rig.logged(QStringLiteral("[%1] 127.0.0.4 does not match filter for 302").arg(id302)));

        const qint32 id30 =
            rig.lines().ring(0, QStringLiteral("0401234567"), QStringLiteral("30")).value();
        rig.settle();
        QVERIFY(all->waitFor(QStringLiteral("incomingcall")));
        QCOMPARE(all->last().value(1), QString::number(id30));
        QVERIFY(rig.logged(
            QStringLiteral("[%1] 127.0.0.2 does not match filter for 30 (Listen: 301;302)")
                .arg(id30)));

        QVERIFY(rig.lines().answerCall(id302).value());
        QVERIFY(rig.lines().hangup(id302).value());
        rig.settle();
        QVERIFY(listening->waitFor(QStringLiteral("disconnect")));
        QCOMPARE(listening->commands(),
                 (QStringList{QStringLiteral("connect"), QStringLiteral("accepted"),
                              QStringLiteral("incomingcall"), QStringLiteral("answered"),
                              QStringLiteral("disconnect")}));
        QCOMPARE(listening->last().value(1), QString::number(id302));
        QVERIFY(all->waitFor(QStringLiteral("disconnect")));
        rig.spin(50);
        QCOMPARE(unlisted->commands(),
                 (QStringList{QStringLiteral("connect"), QStringLiteral("accepted")}));
    }

    void pictureTravelsAsBase64()
    {
        ServerRig rig;
        QByteArray image;
        for (int i = 0; i < 1000; ++i)
            image.append(char(i % 256)); // NUL and 0xFF included
        const QString file = rig.home.file(QStringLiteral("anna.png"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(image) == image.size());
        f.close();
        PictureLookup lookup;
        lookup.picture = file;
        rig.form->setContactLookup(&lookup);
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"));
        rig.settle();
        QVERIFY(client->waitFor(QStringLiteral("incomingcall")));
        const QStringList m = client->last();
        QVERIFY(m.size() > 20); // the Base64 text comes in lines
        QCOMPARE(m.mid(5, 3), (QStringList{QStringLiteral("Anna"), QStringLiteral("1"),
                                           QStringLiteral("ACME")}));
        QCOMPARE(m.mid(8, 10), QStringList(10, QString()));
        QCOMPARE(m[18], QStringLiteral("png"));
        for (int i = 19; i < m.size() - 1; ++i)
            QCOMPARE(m[i].size(), 76);
        QCOMPARE(WireProtocol::pictureBytes(m, 19), image);
        rig.form->setContactLookup(nullptr);
    }

    void rejectAnswersAndDropsTheLineCall()
    {
        ServerRig rig;
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        const qint32 id =
            rig.lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        rig.settle();
        QVERIFY(client->waitFor(QStringLiteral("incomingcall")));
        client->send(QStringLiteral("rejectcall"));
        QVERIFY(client->waitFor(QStringLiteral("answered")));
        QVERIFY(client->waitFor(QStringLiteral("disconnect")));
        QVERIFY(!rig.lines().hasCall(id));
        QVERIFY(rig.logged(QStringLiteral("[%1] Rejecting call on Virtual line 1").arg(id)));
    }

    void rejectOfAPluginCall_data()
    {
        QTest::addColumn<bool>("canReject");
        QTest::newRow("plug-in rejects") << true;
        QTest::newRow("plug-in cannot reject") << false;
    }

    void rejectOfAPluginCall()
    {
        QFETCH(bool, canReject);
        ServerRig rig;
        OnePluginHost plugin;
        plugin.canReject = canReject;
        rig.form->setPluginHost(&plugin);
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        rig.form->evtIncomingCall(77, QStringLiteral("ISDN"), QStringLiteral("0301234567"),
                                  QString(), QStringLiteral("5551"), QString(), QString(),
                                  QString());
        QVERIFY(client->waitFor(QStringLiteral("incomingcall")));
        QCOMPARE(client->last().value(6), canReject ? QStringLiteral("1") : QStringLiteral("0"));
        client->send(QStringLiteral("rejectcall"));
        client->send(QStringLiteral("getoutgoingdevices")); // to know the reject was handled
        QVERIFY(client->waitFor(QStringLiteral("outgoingdevices")));
        const QList<QPair<qint32, qint32>> expected =
            canReject ? QList<QPair<qint32, qint32>>{{1001, 77}} : QList<QPair<qint32, qint32>>{};
        QCOMPARE(plugin.rejected, expected);
        rig.form->setPluginHost(nullptr);
    }

    void startCallDialsOnTheOutgoingLine()
    {
        ServerRig rig;
        rig.form->setOutgoingDevice(QStringLiteral("Virtual line 2"));
        QVERIFY(rig.monitor({0, 1}));
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        client->send(QStringLiteral("startcall"),
                     {QStringLiteral("ignored"), QStringLiteral("0301 234-567")});
        QVERIFY(client->waitFor(QStringLiteral("outgoingcall")));
        QCOMPARE(client->last().value(4), QStringLiteral("0301234567"));
        QVERIFY(rig.logged(
            QStringLiteral("Starting outgoing call on device 1=Virtual line 2: 0301234567")));
        QCOMPARE(rig.lines().callIds().size(), 1);
        QCOMPARE(rig.lines().deviceOfCall(rig.lines().callIds().first()), 1);
    }

    void outgoingDevicesListLinesThenPlugins()
    {
        ServerRig rig(nullptr, {QStringLiteral("Line A"), QStringLiteral("IPCONF line"),
                                QStringLiteral("Line B")});
        rig.server->setPluginDevices([] {
            return QList<QStringList>{{}, {QStringLiteral("ISDN 1"), QStringLiteral("ISDN 2")}};
        });
        QVERIFY(rig.start());
        auto client = rig.verifiedClient(2);
        QVERIFY(client);
        client->send(QStringLiteral("getoutgoingdevices"));
        QVERIFY(client->waitFor(QStringLiteral("outgoingdevices")));
        const QString end(QChar(0xFF));
        QCOMPARE(client->last().value(1), QStringLiteral("500|Line A (Phonavo Server)") + end +
                                              QStringLiteral("502|Line B (Phonavo Server)") + end +
                                              QStringLiteral("2|ISDN 1 (Phonavo Server)") + end +
                                              QStringLiteral("2|ISDN 2 (Phonavo Server)") + end);
    }
};

QTEST_GUILESS_MAIN(TestServerCalls)
#include "TestServerCalls.moc"
