#include "notify/ui/SysTray.h"
#include "shell/settings/SettingsStore.h"

#include "DesktopWindows.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

// The desktop program on a screen with two device pixels to a logical one.
class TestUiHighDpi : public QObject
{
    Q_OBJECT

private slots:
    // Pictures come in the screen's resolution, never blown up from a
    // smaller one.
    void picturesAreSharp_data()
    {
        QTest::addColumn<Opener>("open");
        for (const auto& [name, open] : desktopWindows())
            if (name == QLatin1String("frmAbout") || name == QLatin1String("frmCall") ||
                name == QLatin1String("frmCallDetails"))
                QTest::newRow(qPrintable(name)) << open;
    }

    void picturesAreSharp()
    {
        QFETCH(Opener, open);
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        open(d, [](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QCOMPARE(w->devicePixelRatioF(), 2.0);
            QStringList blurred;
            int pictures = 0;
            for (const QLabel* label : w->findChildren<QLabel*>()) {
                if (!label->isVisible() || label->pixmap().isNull())
                    continue;
                ++pictures;
                const QPixmap picture = label->pixmap();
                if (picture.devicePixelRatio() != w->devicePixelRatioF())
                    blurred << QStringLiteral("%1 (%2x%3 at %4)")
                                   .arg(label->objectName())
                                   .arg(picture.width())
                                   .arg(picture.height())
                                   .arg(picture.devicePixelRatio());
            }
            QVERIFY(pictures > 0);
            QVERIFY2(blurred.isEmpty(), qPrintable(blurred.join(QStringLiteral(", "))));
        });
    }

    // The tray's icon, and the same handset in the About window and popup.
    void stateIconIsDrawnForTheScreen()
    {
        for (bool active : {false, true})
            for (int size : {22, 64, 96}) {
                const QPixmap icon = SysTray::stateIcon(active).pixmap(QSize(size, size));
                QCOMPARE(icon.size(), QSize(size, size) * 2);
                QCOMPARE(icon.devicePixelRatio(), 2.0);
            }
    }

    // Places are stored in twips of logical pixels (15 to a pixel at 96
    // dpi), so a popup comes back where and as large as it was on a screen of
    // any scale.
    void popupPlaceIsStoredInLogicalPixels()
    {
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        const auto stored = [&d](const char* name) {
            return d.program->settings()
                .GetSettingHKCU(QStringLiteral("Notification"), QString::fromLatin1(name),
                                QString())
                .toString();
        };
        const QRect place(300, 200, 420, 150);
        QPoint frame;
        const Opener popup = desktopWindows().last().second;
        popup(d, [&](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            w->setGeometry(place);
            frame = w->frameGeometry().topLeft(); // Left and Top are the frame's
            w->close();
        });
        QCOMPARE(QStringList({stored("Left"), stored("Top"), stored("Width"), stored("Height")}),
                 QStringList({QString::number(frame.x() * 15), QString::number(frame.y() * 15),
                              QStringLiteral("6300"), QStringLiteral("2250")}));
        QTRY_VERIFY(!Desktop::topLevel(QStringLiteral("frmCall")));
        auto* lines = d.program->telephony().findProvider<VirtualLineProvider>();
        for (qint32 call : lines->callIds())
            QVERIFY(lines->hangup(call));
        QVERIFY(lines->ring(0, QStringLiteral("0301234"), QStringLiteral("4711"), QString()));
        QWidget* again = nullptr;
        QTRY_VERIFY((again = Desktop::topLevel(QStringLiteral("frmCall"))));
        QCOMPARE(again->geometry(), place);
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestUiHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestUiHighDpi.moc"
