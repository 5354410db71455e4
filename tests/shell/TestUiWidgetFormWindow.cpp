#include "TestHome.h"
#include "platform/AppPaths.h"
#include "shell/settings/FormPosition.h"
#include "shell/settings/SettingsStore.h"
#include "shell/ui/WidgetFormWindow.h"

#include <QScreen>
#include <QTest>
#include <QWidget>

namespace {

int toPixels(int twips, int dpi)
{
    return qRound(double(twips) * dpi / 1440);
}

} // namespace

class TestUiWidgetFormWindow : public QObject
{
    Q_OBJECT

private slots:
    void convertsTwipsWithTheLogicalDpi()
    {
        QWidget widget;
        widget.setObjectName(QStringLiteral("MainForm"));
        WidgetFormWindow window(&widget);
        const int dpiX = widget.logicalDpiX();
        const int dpiY = widget.logicalDpiY();

        window.setLeft(1440);
        window.setTop(2880);
        window.setWidth(5760);
        window.setHeight(4320);
        QCOMPARE(widget.geometry(), QRect(dpiX, 2 * dpiY, 4 * dpiX, 3 * dpiY));
        QCOMPARE(window.left(), 1440);
        QCOMPARE(window.top(), 2880);
        QCOMPARE(window.width(), 5760);
        QCOMPARE(window.height(), 4320);
        QCOMPARE(window.normalGeometry(), QRect(1440, 2880, 5760, 4320));
        QCOMPARE(window.objectName(), QStringLiteral("MainForm"));

        const QRect area = widget.screen()->availableGeometry();
        const QRect twips = window.workArea(window.normalGeometry());
        QCOMPARE(toPixels(twips.x(), dpiX), area.x());
        QCOMPARE(toPixels(twips.width(), dpiX), area.width());
        QCOMPARE(toPixels(twips.height(), dpiY), area.height());
    }

    void maximizedWindowRestoresOverItsNormalGeometry()
    {
        TestHome home;
        SettingsStore store(AppPaths::userHivePath(), AppPaths::machineHivePath());
        const QRect normalTwips(1440, 1440, 5760, 4320);
        {
            QWidget widget;
            widget.setObjectName(QStringLiteral("CallHistWin"));
            WidgetFormWindow window(&widget);
            window.setLeft(normalTwips.x());
            window.setTop(normalTwips.y());
            window.setWidth(normalTwips.width());
            window.setHeight(normalTwips.height());
            widget.show();
            QVERIFY(QTest::qWaitForWindowExposed(&widget));
            FormPosition::SaveFormPos(store, window, QString());
            widget.showMaximized();
            QTRY_COMPARE(window.windowState(), int(FormWindow::Maximized));
            FormPosition::SaveFormPos(store, window, QString());
        }
        QCOMPARE(store.getInt(SettingsStore::Hive::CurrentUser, QStringLiteral("CallHistWin"),
                              QStringLiteral("WindowState"), -1),
                 2);

        QWidget widget;
        widget.setObjectName(QStringLiteral("CallHistWin"));
        widget.setGeometry(10, 10, 200, 100);
        WidgetFormWindow window(&widget);
        FormPosition::RestoreFormPos(store, window, QString(), true);
        QCOMPARE(window.windowState(), int(FormWindow::Maximized));
        QCOMPARE(window.normalGeometry(), normalTwips);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QVERIFY(widget.windowState() & Qt::WindowMaximized);
        QCOMPARE(window.normalGeometry(), normalTwips);
        widget.showNormal();
        QTRY_COMPARE(window.windowState(), int(FormWindow::Normal));
        QTRY_COMPARE(window.normalGeometry(), normalTwips);
    }
};

QTEST_MAIN(TestUiWidgetFormWindow)
#include "TestUiWidgetFormWindow.moc"
