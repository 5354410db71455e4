#include "shell/ui/GuiDialogs.h"

#include "Screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs `act` on the message box once it is open (the box's exec() blocks the
// test until something closes it). A failed check inside `act` would leave the
// box open, so each box is closed after a while in any case.
void whenBoxOpens(std::function<void(QMessageBox*)> act)
{
    QTimer::singleShot(0, qApp, [act = std::move(act)] {
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())));
        QTimer::singleShot(10000, box, [box] { box->done(0); });
        act(box);
    });
}

QPushButton* button(QMessageBox* box, const QString& name)
{
    return box->findChild<QPushButton*>(name);
}

} // namespace

class TestUiGuiDialogs : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxFollowsTheStyle()
    {
        GuiDialogs dialogs;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString defaultName;
        int buttons = 0;
        whenBoxOpens([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            defaultName = box->defaultButton() ? box->defaultButton()->objectName() : QString();
            buttons = static_cast<int>(box->buttons().size());
            QCOMPARE(box->objectName(), QStringLiteral("frmMessageBox"));
            saveScreenshot(*box, QStringLiteral("frmMessageBox"), false);
            button(box, QStringLiteral("btnCancel"))->click();
        });
        const int result = dialogs.messageBox(
            QStringLiteral("Line one\r\nLine two"),
            MsgStyle::YesNoCancel + MsgStyle::Exclamation + MsgStyle::DefaultButton2, QString());
        QCOMPARE(result, MsgResult::Cancel);
        QCOMPARE(title, QStringLiteral("Phonavo"));
        QCOMPARE(text, QStringLiteral("Line one\nLine two"));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(defaultName, QStringLiteral("btnNo"));
        QCOMPARE(buttons, 3);
    }

    void timedBoxClosesItselfThroughTheDefault()
    {
        GuiDialogs dialogs;
        QString objectName;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenBoxOpens([&](QMessageBox* box) {
            objectName = box->objectName();
            icon = box->icon();
        });
        QElapsedTimer elapsed;
        elapsed.start();
        const int result =
            dialogs.timedBox(QStringLiteral("Something failed"),
                             MsgStyle::OKCancel + MsgStyle::Information + MsgStyle::DefaultButton2,
                             QStringLiteral("Phonavo"), 1);
        QCOMPARE(result, MsgResult::Cancel);
        QVERIFY2(elapsed.elapsed() >= 900, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(objectName, QStringLiteral("frmTimedBox"));
        QCOMPARE(icon, QMessageBox::Information);
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

    void timedBoxTakesTheUsersButton()
    {
        GuiDialogs dialogs;
        whenBoxOpens([](QMessageBox* box) { button(box, QStringLiteral("btnRetry"))->click(); });
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(dialogs.timedBox(QStringLiteral("x"), MsgStyle::RetryCancel, QString(), 5),
                 MsgResult::Retry);
        QVERIFY(elapsed.elapsed() < 4000);
    }

    void warningBoxReturnsTheCheckBox()
    {
        GuiDialogs dialogs;
        QStringList captions;
        bool initiallyTicked = true;
        whenBoxOpens([&](QMessageBox* box) {
            QCOMPARE(box->objectName(), QStringLiteral("frmWarningBox"));
            auto* checkBox = box->findChild<QCheckBox*>(QStringLiteral("chkDontShowAgain"));
            QVERIFY(checkBox);
            QCOMPARE(checkBox->text(), QStringLiteral("Don't show this message again"));
            initiallyTicked = checkBox->isChecked();
            saveScreenshot(*box, QStringLiteral("frmWarningBox"), false);
            for (QAbstractButton* b : box->buttons())
                captions << b->text();
            checkBox->click();
            button(box, QStringLiteral("btnYes"))->click();
        });
        bool checked = false;
        const int result = dialogs.warningBox(
            QStringLiteral("Really?"), 36, QString(), {QStringLiteral("Quit now"), QString()},
            QStringLiteral("Don't show this message again"), checked);
        QCOMPARE(result, MsgResult::Yes);
        QVERIFY(checked);
        QVERIFY(!initiallyTicked);
        QVERIFY(captions.contains(QStringLiteral("Quit now")));
        QCOMPARE(captions.size(), 2);
    }

    void warningBoxKeepsAnUntouchedCheckBox()
    {
        GuiDialogs dialogs;
        whenBoxOpens([](QMessageBox* box) { button(box, QStringLiteral("btnNo"))->click(); });
        bool checked = true;
        QCOMPARE(dialogs.warningBox(QStringLiteral("Sure?"), 36, QStringLiteral("Own title"), {},
                                    QStringLiteral("Don't show this message again"), checked),
                 MsgResult::No);
        QVERIFY(checked);
    }

    void boxSurvivesItsOwnerGoingAway()
    {
        auto* owner = new QWidget;
        owner->setObjectName(QStringLiteral("frmOwner"));
        GuiDialogs dialogs(owner);
        whenBoxOpens([owner](QMessageBox* box) {
            QCOMPARE(box->parentWidget(), owner);
            delete owner;
        });
        bool checked = false;
        const int result = dialogs.warningBox(QStringLiteral("Gone"), 36, QString(), {},
                                              QStringLiteral("cb"), checked);
        QVERIFY(result == MsgResult::Yes || result == MsgResult::No);
        QVERIFY(!checked);
    }
};

QTEST_MAIN(TestUiGuiDialogs)
#include "TestUiGuiDialogs.moc"
