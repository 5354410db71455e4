#include "loc/LanguageSource.h"
#include "loc/LocGuru.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/dialogs/Warnings.h"
#include "shell/settings/SettingsStore.h"

#include "TestHome.h"

#include <QTest>

namespace {

const QString kKey = QStringLiteral("DontAskClearHist");
const QString kQuestion = QStringLiteral("Do you really want to clear the list of calls?");
const QString kUnset = QStringLiteral("<unset>");

class GermanSource : public LanguageSource
{
public:
    std::optional<QString> lookup(const QString& native) const override
    {
        if (native == QStringLiteral("Don't show this message again"))
            return QStringLiteral("Nicht mehr anzeigen");
        if (native == kQuestion)
            return QStringLiteral("Liste wirklich leeren?");
        return std::nullopt;
    }
};

struct Rig
{
    TestHome home;
    SettingsStore settings{home.file(QStringLiteral("user.reg")),
                           home.file(QStringLiteral("machine.reg"))};
    QStringList logged;
    ScriptedDialogs dialogs{[this](const QString& line) { logged.append(line); }};
    LocGuru loc;
    Warnings warnings{settings, dialogs, loc};

    QString stored(const QString& key) const
    {
        return settings.GetSettingHKCU(QStringLiteral("Warnings"), key, kUnset).toString();
    }
};

} // namespace

class TestWarnings : public QObject
{
    Q_OBJECT

private slots:
    void storedAnswerDecidesWhetherToAsk_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("asks");
        QTest::newRow("1") << QStringLiteral("1") << false;
        QTest::newRow("any other text") << QStringLiteral("yes") << false;
        QTest::newRow("lower-case false is true") << QStringLiteral("false") << false;
        QTest::newRow("0") << QStringLiteral("0") << true;
        QTest::newRow("False") << QStringLiteral("False") << true;
        QTest::newRow("Falsch") << QStringLiteral("Falsch") << true;
    }

    void storedAnswerDecidesWhetherToAsk()
    {
        QFETCH(QString, value);
        QFETCH(bool, asks);
        Rig rig;
        rig.settings.SaveSettingHKCU(QStringLiteral("Warnings"), kKey, value);
        rig.settings.SaveSettingHKCU(QStringLiteral("Warnings"),
                                     QStringLiteral("WarnSettingsLocked"), value);
        // A remembered question answers Yes without asking; unanswered, Yes is the default.
        QVERIFY(rig.warnings.askQuestion(kKey, kQuestion));
        rig.warnings.showNotice(QStringLiteral("WarnSettingsLocked"), QStringLiteral("Info"));
        QCOMPARE(rig.dialogs.history().size(), asks ? 2 : 0);
        if (!asks)
            QCOMPARE(rig.stored(kKey), value);
    }

    void questionShowsTheWarningBox()
    {
        Rig rig;
        rig.warnings.askQuestion(QStringLiteral("DontAskExitWithConnectedClients"),
                                 QStringLiteral("There are %s clients connected.{\\r}Really stop "
                                                "the Phonavo server?"),
                                 {QStringLiteral("3")});
        const auto& box = rig.dialogs.history().first();
        QCOMPARE(box.kind, ScriptedDialogs::Kind::Warning);
        QCOMPARE(box.style, 36);
        QCOMPARE(box.title, QStringLiteral("Phonavo"));
        QCOMPARE(box.prompt, QStringLiteral("There are 3 clients connected.\rReally stop the "
                                            "Phonavo server?"));
        QCOMPARE(box.checkBoxCaption, QStringLiteral("Don't show this message again"));
        QVERIFY(!rig.logged.isEmpty());
        QVERIFY(rig.logged.first().contains(QStringLiteral("answered Yes")));
    }

    void confirmedQuestionWritesTheBox_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ticked") << true << QStringLiteral("1");
        QTest::newRow("not ticked") << false << QStringLiteral("0");
    }

    void confirmedQuestionWritesTheBox()
    {
        QFETCH(bool, ticked);
        QFETCH(QString, expected);
        Rig rig;
        rig.dialogs.queueAnswer(MsgResult::Yes, ticked);
        QVERIFY(rig.warnings.askQuestion(kKey, kQuestion));
        QCOMPARE(rig.stored(kKey), expected);
    }

    void declinedQuestionWritesNothing()
    {
        Rig rig;
        rig.dialogs.queueAnswer(MsgResult::No, true);
        QVERIFY(!rig.warnings.askQuestion(kKey, kQuestion));
        QCOMPARE(rig.stored(kKey), kUnset);

        // Asked again next time, and a ticked "Yes" is then remembered.
        rig.dialogs.queueAnswer(MsgResult::Yes, true);
        QVERIFY(rig.warnings.askQuestion(kKey, kQuestion));
        QCOMPARE(rig.stored(kKey), QStringLiteral("1"));
        QVERIFY(rig.warnings.askQuestion(kKey, kQuestion));
        QCOMPARE(rig.dialogs.history().size(), 2);
    }

    void noticeWritesTheBoxWhateverTheButton_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("OK ticked") << MsgResult::OK << true << QStringLiteral("1");
        QTest::newRow("OK not ticked") << MsgResult::OK << false << QStringLiteral("0");
        QTest::newRow("closed otherwise, ticked")
            << MsgResult::Cancel << true << QStringLiteral("1");
    }

    void noticeWritesTheBoxWhateverTheButton()
    {
        QFETCH(int, button);
        QFETCH(bool, ticked);
        QFETCH(QString, expected);
        Rig rig;
        rig.dialogs.queueAnswer(button, ticked);
        rig.warnings.showNotice(QStringLiteral("DontWarnOnlyHideOnX"),
                                QStringLiteral("The main window will only be hidden."));
        QCOMPARE(rig.dialogs.history().first().style, 64);
        QCOMPARE(rig.stored(QStringLiteral("DontWarnOnlyHideOnX")), expected);
    }

    void textsAreTranslated()
    {
        Rig rig;
        GermanSource source;
        rig.loc.setLanguageSource(&source);
        rig.loc.setbDbIsOpen(true);
        rig.warnings.askQuestion(kKey, kQuestion);
        const auto& box = rig.dialogs.history().first();
        QCOMPARE(box.prompt, QStringLiteral("Liste wirklich leeren?"));
        QCOMPARE(box.checkBoxCaption, QStringLiteral("Nicht mehr anzeigen"));
    }

    void scriptedAnswersFollowTheStyle()
    {
        ScriptedDialogs dialogs;
        QCOMPARE(dialogs.messageBox(QStringLiteral("a"), MsgStyle::YesNo, QString()),
                 MsgResult::Yes);
        QCOMPARE(dialogs.messageBox(QStringLiteral("b"),
                                    MsgStyle::YesNoCancel + MsgStyle::DefaultButton3, QString()),
                 MsgResult::Cancel);
        QCOMPARE(dialogs.messageBox(QStringLiteral("c"),
                                    MsgStyle::RetryCancel + MsgStyle::DefaultButton2,
                                    QStringLiteral("Own")),
                 MsgResult::Cancel);
        // A default the box does not have falls back to the first button.
        QCOMPARE(dialogs.timedBox(QStringLiteral("d"), MsgStyle::OK + MsgStyle::DefaultButton3,
                                  QString(), 10),
                 MsgResult::OK);
        QCOMPARE(defaultButtonResult(MsgStyle::AbortRetryIgnore + MsgStyle::DefaultButton2),
                 MsgResult::Retry);
        QCOMPARE(dialogs.shown(), (QStringList{QStringLiteral("a"), QStringLiteral("b"),
                                               QStringLiteral("c"), QStringLiteral("d")}));
        QCOMPARE(dialogs.history()[2].title, QStringLiteral("Own"));

        // Unanswered warning boxes keep the check box as it came in.
        bool checked = true;
        dialogs.warningBox(QStringLiteral("e"), 36, QString(), {}, QStringLiteral("cb"), checked);
        QVERIFY(checked);
        dialogs.queueAnswer(MsgResult::No, false);
        QCOMPARE(dialogs.warningBox(QStringLiteral("f"), 36, QString(), {}, QStringLiteral("cb"),
                                    checked),
                 MsgResult::No);
        QVERIFY(!checked);
        QCOMPARE(dialogs.pendingAnswers(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWarnings)
#include "TestWarnings.moc"
