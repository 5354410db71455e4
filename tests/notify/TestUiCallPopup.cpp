#include "contacts/manager/ContactManagerLauncher.h"
#include "notify/ui/CallPopupWindow.h"
#include "notify/ui/FormControlPos.h"

#include "ControllerRig.h"
#include "Screenshot.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A controller with the real popups in place of the recording ones.
struct PopupRig : ControllerRig
{
    explicit PopupRig(int transparency = 0, bool autoHide = false)
    {
        form->options().setValue(QStringLiteral("slTransparency"), transparency);
        form->options().setValue(QStringLiteral("cbAutoHide"), autoHide);
        CallPopupContext context;
        context.form = form.get();
        context.contactManager = [this] { return &manager; };
        context.contactEditingTakenOver = [this] { return takenOver; };
        windows = std::make_unique<CallPopupWindows>(context);
        form->setPopupFactory(windows.get());
    }
    ~PopupRig() { form->setPopupFactory(nullptr); }

    CallPopupWindow* show(const QString& caller = QStringLiteral("030 1234"),
                          const QString& called = QStringLiteral("4711"),
                          const QString& actions = QString(), const QString& picture = QString(),
                          const QString& key = QString())
    {
        auto* popup = static_cast<CallPopupWindow*>(windows->createPopup());
        popup->ShowCall(caller, called, QStringLiteral("John"), QStringLiteral("Smith"),
                        QStringLiteral("ACME"), picture, actions, QVariant(), key);
        return popup;
    }

    ContactManagerLauncher manager{loc, errors};
    bool takenOver = false;
    std::unique_ptr<CallPopupWindows> windows;
};

QLabel* label(CallPopupWindow* popup, const char* name)
{
    return popup->window()->findChild<QLabel*>(QString::fromLatin1(name));
}

QList<QLabel*> actions(CallPopupWindow* popup)
{
    QList<QLabel*> list(CallPopupWindow::kActionCount);
    for (QLabel* l : popup->window()->findChildren<QLabel*>(QStringLiteral("lblAction")))
        list[l->property("Index").toInt()] = l;
    return list;
}

void fire(QObject* owner, const char* timerName)
{
    auto* timer = owner->findChild<QTimer*>(QString::fromLatin1(timerName));
    QVERIFY2(timer && timer->isActive(), timerName);
    QMetaObject::invokeMethod(timer, "timeout");
}

void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(widget, button, {}, widget->rect().center());
}

int twips(QWidget* w, int value)
{
    return int(std::lround(value * w->logicalDpiX() / 1440.0));
}

QString writePicture(const QTemporaryDir& dir, const QString& name, QColor colour)
{
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    image.save(path);
    return path;
}

QColor centreOf(QLabel* picture)
{
    const QImage image = picture->pixmap().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TestUiCallPopup : public QObject
{
    Q_OBJECT

private slots:
    void showsTheCallerAndTitle_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<QString>("called");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("title");
        QTest::newRow("known") << "030 1234"
                               << "4711"
                               << "030 1234"
                               << "Incoming call for 4711";
        QTest::newRow("no caller id") << ""
                                      << "4711"
                                      << "(unknown)"
                                      << "Incoming call for 4711";
        QTest::newRow("no called number") << "030 1234"
                                          << ""
                                          << "030 1234"
                                          << "Incoming call";
    }
    void showsTheCallerAndTitle()
    {
        QFETCH(QString, caller);
        QFETCH(QString, called);
        QFETCH(QString, number);
        QFETCH(QString, title);
        PopupRig rig;
        CallPopupWindow* popup = rig.show(caller, called);
        QWidget* w = popup->window();
        QCOMPARE(w->objectName(), QStringLiteral("frmCall"));
        QVERIFY(w->isVisible());
        QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(w->testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(w->windowTitle(), title);
        QCOMPARE(label(popup, "lblCallerNumber")->text(), number);
        QCOMPARE(label(popup, "lblCallerName")->text(), QStringLiteral("John Smith"));
        QCOMPARE(label(popup, "lblExtrainfo")->text(), QStringLiteral("ACME"));
        QCOMPARE(w->windowOpacity(), 1.0);
        QVERIFY(rig.anyMessage([&](const QString& line) {
            return line.startsWith(QStringLiteral("Showing callerID notification: title: \"") +
                                   w->windowTitle() + QStringLiteral("\" number: \""));
        }));
        // A double click copies the whole text of a line.
        QTest::mouseDClick(label(popup, "lblCallerName"), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("John Smith"));
        saveScreenshot(*w, QStringLiteral("frmCall-") + QTest::currentDataTag(), false);
    }

    void actionsAreLaidOutFromTheRight_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("shown"); // per label; empty = hidden
        QTest::newRow("two") << "Reject|Mute" << QStringList{"Reject", "Mute"};
        QTest::newRow("gap") << "Reject||Mute" << QStringList{"Reject", "", "Mute"};
        QTest::newRow("leading separator") << "|Reject" << QStringList{"", "Reject"};
        QTest::newRow("none") << "" << QStringList{};
    }
    void actionsAreLaidOutFromTheRight()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, shown);
        PopupRig rig;
        CallPopupWindow* popup = rig.show(QStringLiteral("030 1234"), QString(), list);
        const QList<QLabel*> labels = actions(popup);
        int right = popup->window()->width() - twips(popup->window(), 300);
        for (int i = 0; i < CallPopupWindow::kActionCount; ++i) {
            const QString caption = shown.value(i);
            QCOMPARE(labels[i]->isVisible(), !caption.isEmpty());
            if (caption.isEmpty())
                continue;
            QCOMPARE(labels[i]->text(), caption);
            QVERIFY2(labels[i]->geometry().right() + 1 <= right, qPrintable(caption));
            right = labels[i]->x();
        }
    }

    // Clicking a caption goes through the controller: "Reject" answers and
    // drops the call on its line.
    void actionReachesTheController()
    {
        PopupRig rig;
        QVERIFY(rig.monitor({0}));
        const auto ringing = rig.lines().ring(0, QStringLiteral("0301234"), QStringLiteral("4711"),
                                              QStringLiteral("John Smith"));
        QVERIFY(ringing);
        rig.settle();
        const QList<CallPopupWindow*> open = rig.windows->openPopups();
        QCOMPARE(open.size(), 1);
        QLabel* reject = actions(open.first())[1];
        QCOMPARE(reject->text(), QStringLiteral("Reject"));
        click(reject);
        QVERIFY(rig.anyMessage([](const QString& line) {
            return line.contains(QStringLiteral("Rejecting call on"));
        }));
        QTRY_VERIFY(!rig.lines().hasCall(ringing.value()));
    }

    void countdownClosesThePopup_data()
    {
        QTest::addColumn<bool>("clickCountdown");
        QTest::newRow("runs out") << false;
        QTest::newRow("clicked: stays") << true;
    }
    void countdownClosesThePopup()
    {
        QFETCH(bool, clickCountdown);
        PopupRig rig(0, true);
        rig.form->options().setValue(QStringLiteral("txtAutoHideSeconds"), QStringLiteral("10"));
        QPointer<CallPopupWindow> popup = rig.show();
        QLabel* countdown = label(popup, "lblCountDown");
        QVERIFY(countdown->isVisible());
        QCOMPARE(countdown->text(), QStringLiteral("10"));
        QCOMPARE(popup->findChild<QTimer*>(QStringLiteral("tmrClose"))->interval(), 1000);
        rig.clock.advanceSeconds(1);
        fire(popup, "tmrClose");
        QCOMPARE(countdown->text(), QStringLiteral("9"));
        if (clickCountdown) {
            click(countdown);
            QVERIFY(!countdown->isVisible());
            QVERIFY(!popup->findChild<QTimer*>(QStringLiteral("tmrClose"))->isActive());
            rig.clock.advanceSeconds(60);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(popup && popup->window()->isVisible());
            return;
        }
        rig.clock.advanceSeconds(8);
        fire(popup, "tmrClose");
        QCOMPARE(countdown->text(), QStringLiteral("1"));
        QVERIFY(popup->window()->isVisible());
        rig.clock.advanceSeconds(1);
        fire(popup, "tmrClose");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!popup);
        QVERIFY(rig.windows->openPopups().isEmpty());
    }

    // With transparency the popup fades in from invisible in ten-percent
    // steps 30 ms apart, and out again in 20 ms steps when it closes.
    void fadesInAndOut()
    {
        PopupRig rig(20);
        QPointer<CallPopupWindow> popup = rig.show();
        QWidget* w = popup->window();
        const auto percent = [w] { return int(std::lround((1.0 - w->windowOpacity()) * 100)); };
        QList<int> seen{percent()};
        for (int step = 0; step < 12 && percent() != 20; ++step) {
            rig.clock.advanceMs(30);
            fire(popup, "tmrFade");
            seen << percent();
        }
        QCOMPARE(seen, (QList<int>{100, 90, 80, 70, 60, 50, 40, 30, 20}));
        QVERIFY(!popup->findChild<QTimer*>(QStringLiteral("tmrFade"))->isActive());

        popup->unload();
        QVERIFY(w->isVisible());
        rig.clock.advanceMs(20);
        fire(popup, "tmrFade");
        QCOMPARE(percent(), 30);
        rig.clock.advanceMs(200);
        fire(popup, "tmrFade");
        QVERIFY(!w->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!popup);
    }

    void controlPosModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("left");  // twips after 4650 -> 9300
        QTest::addColumn<int>("width"); // twips
        QTest::newRow("keep") << int(FormControlPos::Keep) << 300 << 1500;
        QTest::newRow("shift") << int(FormControlPos::Shift) << 4950 << 6150;
        QTest::newRow("scale") << int(FormControlPos::Scale) << 600 << 3000;
    }
    void controlPosModes()
    {
        QFETCH(int, mode);
        QFETCH(int, left);
        QFETCH(int, width);
        QWidget window;
        const auto px = [&](int t) { return twips(&window, t); };
        window.resize(px(4650), px(1770));
        window.show(); // a hidden window gets its resize only when shown
        auto* control = new QLabel(QStringLiteral("text"), &window);
        control->setGeometry(px(300), px(150), px(1500), px(300));
        QFont font = control->font();
        font.setPointSizeF(10);
        control->setFont(font);
        FormControlPos resizer;
        resizer.Init(&window);
        const auto m = FormControlPos::Mode(mode);
        resizer.Add(control, m, FormControlPos::Keep, m, FormControlPos::Keep, mode == 2);
        window.resize(px(9300), px(1770));
        QCOMPARE(control->geometry(), QRect(px(left), px(150), px(width), px(300)));
        QCOMPARE(control->font().pointSizeF(), 10.0); // the height did not change
        // Any number of resizes: back to the start gives the start exactly.
        for (int width : {5001, 7333, 3100, 4650})
            window.resize(px(width), px(1770));
        QCOMPARE(control->geometry(), QRect(px(300), px(150), px(1500), px(300)));
    }

    // The popup's own controls scale with it, fonts included.
    void popupScalesItsControls()
    {
        PopupRig rig;
        CallPopupWindow* popup = rig.show();
        QWidget* w = popup->window();
        QLabel* name = label(popup, "lblCallerName");
        const QRect before = name->geometry();
        const qreal size = name->font().pointSizeF();
        w->resize(w->size() * 2);
        QVERIFY(std::abs(name->width() - 2 * before.width()) <= 1);
        QVERIFY(std::abs(name->x() - 2 * before.x()) <= 1);
        QCOMPARE(name->font().pointSizeF(), size * 2);
        saveScreenshot(*w, QStringLiteral("frmCall-double"), false);
    }

    void restoreDefaultSizeAndRememberedPosition()
    {
        PopupRig rig;
        CallPopupWindow* popup = rig.show();
        QWidget* w = popup->window();
        const QSize defaultSize = w->size();
        QVERIFY(defaultSize.width() >= twips(w, 4650) && defaultSize.height() >= twips(w, 1770));
        w->setGeometry(QRect(QPoint(40, 50), defaultSize + QSize(90, 30)));
        const QPoint at = w->pos();
        popup->unload();
        QCOMPARE(
            rig.settings
                .GetSettingHKCU(QStringLiteral("Notification"), QStringLiteral("Width"), QString())
                .toInt(),
            int(std::lround((defaultSize.width() + 90) * 1440.0 / w->logicalDpiX())));

        CallPopupWindow* next = rig.show();
        QCOMPARE(next->window()->size(), defaultSize + QSize(90, 30));
        QCOMPARE(next->window()->pos(), at);
        QAction* restore = next->window()->findChild<QAction*>(QStringLiteral("mnuRestore"));
        QCOMPARE(restore->text(), QStringLiteral("&Restore default size"));
        restore->trigger();
        const QRect area = next->window()->screen()->availableGeometry();
        const QRect frame = next->window()->frameGeometry();
        QCOMPARE(next->window()->size(), defaultSize);
        QCOMPARE(frame.right(), area.right() - twips(w, 100));
        QCOMPARE(frame.bottom(), area.bottom() - twips(w, 100));
    }

    void severalPopupsDoNotOverlap()
    {
        PopupRig rig;
        QList<CallPopupWindow*> popups;
        for (int i = 0; i < 3; ++i)
            popups << rig.show(QStringLiteral("030 %1").arg(i));
        const QRect area = popups.first()->window()->screen()->availableGeometry();
        for (int i = 0; i < popups.size(); ++i) {
            const QRect frame = popups[i]->window()->frameGeometry();
            QVERIFY(area.contains(frame));
            if (i > 0)
                QVERIFY(frame.bottom() < popups[i - 1]->window()->frameGeometry().top());
        }
        const QPoint first = popups.first()->window()->pos();
        // The stacked one closing last does not move the place of the next.
        popups[0]->unload();
        popups[2]->unload();
        QCOMPARE(rig.show()->window()->pos(), first);
    }

    // A popup made ready ahead of a call stays unseen; the call then shows in
    // that very window, with the call's own texts.
    void popupMadeReadyAheadServesTheNextCall()
    {
        PopupRig rig;
        rig.windows->prepareSpare();
        const auto callWindows = [] {
            QList<QWidget*> found;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("frmCall"))
                    found << w;
            return found;
        };
        const QList<QWidget*> ready = callWindows();
        QCOMPARE(ready.size(), 1);
        QVERIFY(!ready.first()->isVisible());
        QVERIFY(rig.windows->openPopups().isEmpty());

        CallPopupWindow* popup = rig.show(QStringLiteral("030 999"));
        QCOMPARE(popup->window(), ready.first());
        QVERIFY(popup->window()->isVisible());
        QCOMPARE(label(popup, "lblCallerNumber")->text(), QStringLiteral("030 999"));
        QCOMPARE(rig.windows->openPopups(), QList<CallPopupWindow*>{popup});
        // The next call without one ready gets a window of its own.
        CallPopupWindow* second = rig.show(QStringLiteral("030 111"));
        QVERIFY(second->window() != popup->window());
        QCOMPARE(label(second, "lblCallerNumber")->text(), QStringLiteral("030 111"));
    }

    void badPictureFallsBack_data()
    {
        QTest::addColumn<QString>("picture"); // a file name in the folder, or ""
        QTest::addColumn<bool>("unknownImage");
        QTest::addColumn<QColor>("expected"); // invalid: the drawn default picture
        QTest::addColumn<QString>("logged");
        QTest::newRow("caller's") << "red.png" << true << QColor(Qt::red) << "";
        QTest::newRow("missing, unknown")
            << "gone.png" << true << QColor(Qt::blue) << "Picture not shown, no such file";
        QTest::newRow("not an image, default")
            << "text.png" << false << QColor() << "Picture %1 not shown:";
        QTest::newRow("none") << "" << false << QColor() << "";
    }
    void badPictureFallsBack()
    {
        QFETCH(QString, picture);
        QFETCH(QColor, expected);
        QFETCH(QString, logged);
        QTemporaryDir dir;
        writePicture(dir, QStringLiteral("red.png"), Qt::red);
        QFile text(dir.filePath(QStringLiteral("text.png")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a picture");
        text.close();
        PopupRig rig;
        QFETCH(bool, unknownImage);
        if (unknownImage)
            rig.settings.SaveSettingHKCU(QStringLiteral("Options"),
                                         QStringLiteral("NotifyUnknownImage"),
                                         writePicture(dir, QStringLiteral("blue.png"), Qt::blue));
        const QString path = picture.isEmpty() ? QString() : dir.filePath(picture);
        CallPopupWindow* popup = rig.show(QStringLiteral("1"), QString(), QString(), path);
        QLabel* image = label(popup, "imgUser");
        QVERIFY(!image->pixmap().isNull());
        const QColor centre = centreOf(image);
        if (expected.isValid())
            QCOMPARE(centre, expected);
        else
            QVERIFY(centre != QColor(Qt::red) && centre != QColor(Qt::blue));
        if (!logged.isEmpty())
            QVERIFY(rig.anyMessage(
                [&](const QString& line) { return line.startsWith(logged.arg(path)); }));
    }

    void contactActionsStartTheContactManager_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("takenOver");
        QTest::addColumn<QString>("arguments"); // empty: nothing started
        QTest::newRow("new") << "" << false
                             << " /command=new /number=\"030 1234\" /name=\"John Smith\"";
        QTest::newRow("open") << "abc-1" << false << " /command=open /guid=abc-1";
        QTest::newRow("editing taken over") << "abc-1" << true << "";
    }
    void contactActionsStartTheContactManager()
    {
        QFETCH(QString, arguments);
        PopupRig rig;
        rig.form->options().setValue(QStringLiteral("cmbDataConnection"), 1);
        QFETCH(bool, takenOver);
        QFETCH(QString, key);
        rig.takenOver = takenOver;
        QTemporaryDir folder;
        const QString record = folder.filePath(QStringLiteral("arguments"));
        const QString script =
            folder.filePath(QString::fromLatin1(ContactManagerLauncher::kProgramName));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nfor a in \"$@\"; do printf ' %s' \"$a\"; done > \"$0.tmp\"\n"
                   "mv \"$0.tmp\" \"" +
                   record.toUtf8() + "\"\n");
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
        rig.manager.setFolder(folder.path());

        CallPopupWindow* popup =
            rig.show(QStringLiteral("030 1234"), QString(), QString(), QString(), key);
        QCOMPARE(popup->clickable(), arguments.size() > 0);
        click(label(popup, "lblCallerName"));
        if (arguments.isEmpty()) {
            QTest::qWait(100);
            QVERIFY(!QFile::exists(record));
            return;
        }
        QTRY_VERIFY(QFile::exists(record));
        QFile recorded(record);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(recorded.readAll()), arguments);
    }
};

QTEST_MAIN(TestUiCallPopup)
#include "TestUiCallPopup.moc"
