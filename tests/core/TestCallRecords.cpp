#include "core/calls/ColCalls.h"
#include "core/log/ErrorReport.h"

#include "ManualClock.h"

#include <QTest>

class TestCallRecords : public QObject
{
    Q_OBJECT

private slots:
    void itemCreatesAndFindsRecords()
    {
        ManualClock clock;
        ColCalls calls;
        QCOMPARE(calls.Count(), 0);
        const CallPtr first = calls.Item(12);
        QCOMPARE(first->CallID, QStringLiteral("12"));
        QCOMPARE(first->CallStart, clock.now());
        QCOMPARE(calls.Count(), 1);
        clock.advanceSeconds(1);
        const CallPtr second = calls.Item(13);
        QCOMPARE(calls.Count(), 2);
        QCOMPARE(calls.Item(12), first); // same record, not a new one
        QCOMPARE(calls.Item(0), first);  // id 0 is the oldest record
        QCOMPARE(calls.NewEnum().last(), second);
        QVERIFY(!first->Secondary && !first->Outgoing);
    }

    void addRefusesDuplicates()
    {
        ColCalls calls;
        calls.Add(5);
        QVERIFY_THROWS_EXCEPTION(PhonavoError, calls.Add(5));
        QCOMPARE(calls.Count(), 1);
    }

    void removeIgnoresMissingAndZeroRemovesOldest()
    {
        ColCalls calls;
        calls.Add(7);
        calls.Add(8);
        calls.Remove(99);
        QCOMPARE(calls.Count(), 2);
        calls.Remove(0);
        QCOMPARE(calls.Count(), 1);
        QCOMPARE(calls.Item(0)->CallID, QStringLiteral("8"));
        calls.Remove(8);
        QCOMPARE(calls.Count(), 0);
    }

    void findRespectsTheTenSecondWindow_data()
    {
        QTest::addColumn<int>("ageMs");
        QTest::addColumn<bool>("found");
        QTest::newRow("9 s") << 9000 << true;
        QTest::newRow("9.999 s") << 9999 << true;
        QTest::newRow("exactly 10 s") << 10000 << false;
        QTest::newRow("11 s") << 11000 << false;
    }

    void findRespectsTheTenSecondWindow()
    {
        QFETCH(int, ageMs);
        QFETCH(bool, found);
        ManualClock clock;
        ColCalls calls;
        const CallPtr call = calls.Item(5);
        call->OriginalCallerID = QStringLiteral("0301234567");
        call->OriginalCalledID = QStringLiteral("5551");
        clock.advanceMs(ageMs);
        const CallPtr hit = calls.Find(QStringLiteral("0301234567"), QStringLiteral("5551"), 6);
        QCOMPARE(bool(hit), found);
        QCOMPARE(calls.aliases().size(), found ? 1 : 0);
    }

    void findNeedsBothNumbersAndExactMatch()
    {
        ManualClock clock;
        ColCalls calls;
        const CallPtr empty = calls.Item(1);
        QVERIFY(
            !calls.Find(QString(), QString(), 2)); // records with empty numbers are never matched
        const CallPtr call = calls.Item(3);
        call->OriginalCallerID = QStringLiteral("abc");
        call->OriginalCalledID = QStringLiteral("5551");
        QVERIFY(!calls.Find(QStringLiteral("ABC"), QStringLiteral("5551"), 4));
        QVERIFY(!calls.Find(QStringLiteral("abc"), QString(), 4));
        QCOMPARE(calls.Find(QStringLiteral("abc"), QStringLiteral("5551"), 4), call);
    }

    void earliestMatchWinsAndOnlyOneAliasPerRecord()
    {
        ManualClock clock;
        ColCalls calls;
        for (qint32 id : {10, 11}) {
            const CallPtr c = calls.Item(id);
            c->OriginalCallerID = QStringLiteral("1");
            c->OriginalCalledID = QStringLiteral("2");
        }
        QCOMPARE(calls.Find(QStringLiteral("1"), QStringLiteral("2"), 20)->CallID,
                 QStringLiteral("10"));
        QCOMPARE(calls.Find(QStringLiteral("1"), QStringLiteral("2"), 21)->CallID,
                 QStringLiteral("10"));
        QCOMPARE(calls.aliases().size(), 1);
        QCOMPARE(calls.aliases().first(),
                 std::make_pair(QStringLiteral("K10"), QStringLiteral("K20")));
    }

    void aliasLifeCycle()
    {
        ManualClock clock;
        ColCalls calls;
        const CallPtr first = calls.Item(30);
        first->OriginalCallerID = QStringLiteral("0301234567");
        first->OriginalCalledID = QStringLiteral("5551");
        QVERIFY(calls.Find(QStringLiteral("0301234567"), QStringLiteral("5551"), 31));

        const CallPtr second = calls.Item(31);
        QVERIFY(second->Secondary);
        QCOMPARE(second, first); // the second report stands for the first record
        QCOMPARE(calls.Count(), 1);

        calls.Remove(31);
        QVERIFY(calls.aliases().isEmpty());
        QCOMPARE(calls.Count(), 1); // the first call is untouched
        const CallPtr fresh = calls.Item(31);
        QVERIFY(fresh != first);
        QCOMPARE(fresh->CallID, QStringLiteral("31"));
        QCOMPARE(calls.Count(), 2);
    }

    void aliasOfAnEndedFirstCallStillReadsAsSecondary()
    {
        ManualClock clock;
        ColCalls calls;
        const CallPtr first = calls.Item(40);
        first->OriginalCallerID = QStringLiteral("1");
        first->OriginalCalledID = QStringLiteral("2");
        calls.Find(QStringLiteral("1"), QStringLiteral("2"), 41);
        calls.Remove(40);
        const CallPtr second = calls.Item(41);
        QVERIFY(second->Secondary);
        QCOMPARE(calls.Count(), 0);
    }

    void numbersAreTrimmedAndAnsweringSticks()
    {
        CCall call;
        call.setCallerID(QStringLiteral("  0301234567 \t"));
        call.setCalledID(QStringLiteral(" 5551 "));
        QCOMPARE(call.CallerID(), QStringLiteral("0301234567"));
        QCOMPARE(call.CalledID(), QStringLiteral("5551"));
        QVERIFY(!call.Answered() && !call.IsConnected());
        call.AnswerCall();
        QVERIFY(call.Answered() && call.IsConnected());
        call.setIsConnected(false);
        QVERIFY(call.Answered());
    }

    void popupLifeCycleThroughTheFactory()
    {
        struct Popup : CallPopup
        {
            QStringList* log;
            explicit Popup(QStringList* l) : log(l) {}
            void ShowCall(const QString& caller, const QString& called, const QString& first,
                          const QString& last, const QString& extra, const QString& pic,
                          const QString& actions, const QVariant&, const QString& guid) override
            {
                *log << QStringList{caller, called, first, last, extra, pic, actions, guid}.join(
                    QLatin1Char(','));
            }
            void unload() override
            {
                *log << QStringLiteral("unload");
                deleteLater();
            }
        };
        struct Factory : CallPopupFactory
        {
            QStringList log;
            CallPopup* createPopup() override { return new Popup(&log); }
        } factory;

        CCall call(nullptr, &factory);
        call.CallerGUID = QStringLiteral("g1");
        call.HideNotification(); // nothing open: nothing happens
        QVERIFY(factory.log.isEmpty());
        call.ShowCall(QStringLiteral("123"), QStringLiteral("Office"), QStringLiteral("Smith"),
                      QString(), QStringLiteral("ACME"), QStringLiteral("/pic.png"),
                      QStringLiteral("|Reject"));
        QVERIFY(call.Showing());
        QCOMPARE(call.PictureFilename, QStringLiteral("/pic.png"));
        QCOMPARE(factory.log,
                 QStringList{QStringLiteral("123,Office,Smith,,ACME,/pic.png,|Reject,g1")});
        call.HideNotification();
        QVERIFY(!call.Showing());
        QVERIFY(call.frmNotification.isNull());
        QCOMPARE(factory.log.last(), QStringLiteral("unload"));
    }
};

QTEST_GUILESS_MAIN(TestCallRecords)
#include "TestCallRecords.moc"
