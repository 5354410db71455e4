#include "contacts/manager/ContactManagerLauncher.h"
#include "contacts/manager/ContactsDatabase.h"
#include "contacts/store/CallDatabase.h"
#include "core/controller/MainForm.h"
#include "history/ui/CallDetailsWindow.h"
#include "notify/ui/MainWindow.h"
#include "shell/dialling/ui/FrmStartCall.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/Program.h"

#include "DesktopRig.h"
#include "Screenshot.h"
#include "TestHome.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray kHive =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\VirtualLines]\r\n"
    "\"Count\"=\"1\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual "
    "line 1]\r\n\"Monitor\"=\"1\"\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Warnings]\r\n"
    "\"WarnSettingsLocked\"=\"1\"\r\n\r\n";

struct Desktop : HomeWithHive, DesktopRig
{
    Desktop() : HomeWithHive(kHive) {}
    MainForm& form() const { return program->mainForm(); }

    // A call written through the real store, as the pipeline writes one.
    qint32 storeCall(const QString& caller, const QString& called, bool answered)
    {
        CCall call(form().callStore());
        call.lDeviceID = form().listedDevices().value(0);
        call.setCallerID(caller);
        call.setCalledID(called);
        call.CalledName = QStringLiteral("Office");
        call.SaveCall();
        if (answered) {
            call.AnswerCall();
            call.setIsConnected(false);
            call.SaveCall();
        }
        return call.DBCallID;
    }
    QVariant column(qint32 id, const QString& name) const
    {
        QSqlQuery q(program->callDatabase()->database());
        q.exec(QStringLiteral("SELECT %1 FROM Calls WHERE CallID=%2").arg(name).arg(id));
        return q.next() ? q.value(0) : QVariant();
    }
};

template <typename T> T* child(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qWarning("no %s", name);
    return widget;
}

QString text(QWidget* window, const char* name)
{
    return child<QLabel>(window, name)->text();
}

QByteArray pngBytes()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A contact in the shipped contact database, which the lookup reads by default.
QString addContact(const QByteArray& picture)
{
    ContactsDatabase contacts;
    if (!contacts.open())
        return QString();
    ManagedContact c;
    c.firstName = QStringLiteral("Ada");
    c.lastName = QStringLiteral("Lovelace");
    c.company = QStringLiteral("Engines Ltd");
    c.picture = picture;
    c.numbers[0] = QStringLiteral("030 1234567");
    const auto key = contacts.insert(c);
    return key ? key.value() : QString();
}

// Answers the next input box with `answer` (cancels it when null).
void answerInputBox(const QString& answer)
{
    QTimer::singleShot(0, [answer] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (answer.isNull()) {
            box->reject();
            return;
        }
        box->setTextValue(answer);
        box->accept();
    });
}

} // namespace

class TestUiCallDetails : public QObject
{
    Q_OBJECT

private slots:
    void showsAStoredCallAndItsUnknownParty()
    {
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        const qint32 id = d.storeCall(QString(), QStringLiteral("555"), true);
        QVERIFY(id > 0);
        CallDetailsWindow* w = openCallDetails(*d.program, id, nullptr);
        QVERIFY(w && w->isVisible());
        saveScreenshot(*w, QStringLiteral("frmCallDetails-unknown"));
        QCOMPARE(text(w, "lblDirection"), QStringLiteral("Incoming call"));
        QVERIFY(text(w, "lblDuration").startsWith(QStringLiteral("Duration: 00:00:")));
        QCOMPARE(text(w, "lblDevice"), QStringLiteral("Virtual line 1"));
        QCOMPARE(text(w, "lblCallerNumber"), QStringLiteral("(unknown)"));
        QCOMPARE(text(w, "lblCallerName"), QStringLiteral("(unknown)"));
        QVERIFY(child<QPushButton>(w, "btnCallCaller")->isHidden());
        QVERIFY(!child<QPushButton>(w, "btnCallCalled")->isHidden());
        QCOMPARE(text(w, "lblCalledName"), QStringLiteral("Office"));
        QVERIFY(!child<QLabel>(w, "imgCaller")->pixmap().isNull()); // the default picture
        // The contact database is the source: unknown parties may be added.
        QVERIFY(!child<QPushButton>(w, "btnAddNewCallerContact")->isHidden());
        // Dialling needs the monitor running.
        child<QPushButton>(w, "btnCallCalled")->click();
        QVERIFY(d.dialogs.shown()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral(
                        "Please start Phonavo serivces first from the main window.")));
        w->close();

        QVERIFY(!openCallDetails(*d.program, 4711, nullptr));
        QVERIFY(d.dialogs.shown()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("The call 4711 was not found in the call history")));
    }

    // Lookup and number changes are written back on OK only, and only when
    // something changed.
    void editsAreWrittenBackOnOk_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addRow("lookup again, OK") << "lookup" << true << "030 1234567"
                                          << "Ada Lovelace";
        QTest::addRow("lookup again, cancel") << "lookup" << false << "0301234567"
                                              << "";
        QTest::addRow("new number, OK") << "number:0309" << true << "0309"
                                        << "";
        QTest::addRow("same number, OK") << "number:0301234567" << true << "0301234567"
                                         << "";
        QTest::addRow("input box cancelled") << "number:" << true << "0301234567"
                                             << "";
        QTest::addRow("nothing, OK") << "" << true << "0301234567"
                                     << "";
    }
    void editsAreWrittenBackOnOk()
    {
        QFETCH(QString, action);
        QFETCH(bool, ok);
        QFETCH(QString, number);
        QFETCH(QString, name);
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        const QString guid = addContact(pngBytes());
        QVERIFY(!guid.isEmpty());
        const qint32 id = d.storeCall(QStringLiteral("0301234567"), QStringLiteral("555"), false);
        CallDetailsWindow* w = openCallDetails(*d.program, id, nullptr);
        QVERIFY(w);
        // Marked behind the window's back: a write of its record would undo it.
        QSqlQuery(d.program->callDatabase()->database())
            .exec(
                QStringLiteral("UPDATE Calls SET CallerExtra='untouched' WHERE CallID=%1").arg(id));
        QCOMPARE(text(w, "lblDuration"), QStringLiteral("Not answered"));
        if (action == QLatin1String("lookup")) {
            child<QPushButton>(w, "btnLookupCallerName")->click();
            QCOMPARE(text(w, "lblCallerName"), QStringLiteral("Ada Lovelace"));
            QCOMPARE(text(w, "lblCallerExtrainfo"), QStringLiteral("Engines Ltd"));
            // The found contact is a link now, with its picture.
            QCOMPARE(child<QLabel>(w, "lblCallerName")->cursor().shape(), Qt::PointingHandCursor);
            QCOMPARE(child<QLabel>(w, "imgCaller")->pixmap().toImage().pixelColor(10, 10),
                     QColor(Qt::red));
            QVERIFY(child<QPushButton>(w, "btnAddNewCallerContact")->isHidden());
            saveScreenshot(*w, QStringLiteral("frmCallDetails-found"));
        } else if (action.startsWith(QLatin1String("number:"))) {
            const QString answer = action.mid(7);
            answerInputBox(answer.isEmpty() ? QString() : answer);
            QTest::mouseDClick(child<QLabel>(w, "lblCallerNumber"), Qt::LeftButton);
            QCOMPARE(text(w, "lblCallerNumber"), number);
        }
        const bool written =
            ok && (action == QLatin1String("lookup") || action == QLatin1String("number:0309"));
        QCOMPARE(w->details().changed(),
                 action == QLatin1String("lookup") || action == QLatin1String("number:0309"));
        child<QPushButton>(w, ok ? "btnOk" : "btnCancel")->click();
        QVERIFY(!w->isVisible());
        QCOMPARE(d.column(id, QStringLiteral("CallerID")).toString(), number);
        QCOMPARE(d.column(id, QStringLiteral("CallerName")).toString(), name);
        QCOMPARE(d.column(id, QStringLiteral("CallerGUID")).toString(),
                 name.isEmpty() ? QString() : guid);
        QCOMPARE(d.column(id, QStringLiteral("CallerExtra")).toString(),
                 !written         ? QStringLiteral("untouched")
                 : name.isEmpty() ? QString()
                                  : QStringLiteral("Engines Ltd"));
    }

    // Contact links and new contacts go through the contact manager with its
    // command lines; the call is shown again when it ends.
    void contactManagerIsRunWithThePartysValues()
    {
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        const QString guid = addContact("not an image");
        const QString argsFile = d.home.file(QStringLiteral("manager-args"));
        const QString script = d.home.file(QStringLiteral("phonavo-contacts"));
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" +
                argsFile.toUtf8() + "'\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        d.program->contactManager()->setFolder(d.home.path());

        const qint32 id = d.storeCall(QStringLiteral("0301234567"), QStringLiteral("555"), false);
        CCall linked(d.form().callStore());
        QVERIFY(linked.LoadCall(id));
        linked.CalledGUID = guid;
        QVERIFY(linked.SaveCall());
        CallDetailsWindow* w = openCallDetails(*d.program, id, nullptr);
        QVERIFY(w);
        // A picture that is not an image leaves the default one.
        QVERIFY(!child<QLabel>(w, "imgCalledUser")->pixmap().isNull());
        QVERIFY(child<QPushButton>(w, "btnAddNewCalledContact")->isHidden());

        child<QPushButton>(w, "btnAddNewCallerContact")->click();
        QTRY_COMPARE(QString::fromUtf8(d.home.read(QStringLiteral("manager-args"))),
                     QStringLiteral("/command=new\n/number=\"0301234567\"\n/name=\"\"\n"
                                    "/extra=\"\"\n"));
        QFile::remove(argsFile);
        QTest::mouseClick(child<QLabel>(w, "lblCalledName"), Qt::LeftButton);
        QTRY_COMPARE(QString::fromUtf8(d.home.read(QStringLiteral("manager-args"))),
                     QStringLiteral("/command=open\n/guid=%1\n").arg(guid));
        w->close();
    }

    void dialsAPartyThroughTheDialDialog()
    {
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        QVERIFY(d.form().startMonitoring());
        const qint32 id = d.storeCall(QStringLiteral("+49 30 1234"), QStringLiteral("555"), false);
        CallDetailsWindow* w = openCallDetails(*d.program, id, nullptr);
        QVERIFY(w);
        child<QPushButton>(w, "btnCallCaller")->click();
        auto* dial = w->findChild<FrmStartCall*>(QStringLiteral("frmStartCall"));
        QVERIFY(dial && dial->isVisible());
        QCOMPARE(dial->findChild<QLineEdit*>(QStringLiteral("txtNumber"))->text(),
                 QStringLiteral("+49301234"));
        w->close();
    }
};

QTEST_MAIN(TestUiCallDetails)
#include "TestUiCallDetails.moc"
