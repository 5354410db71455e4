#include "TestHome.h"
#include "platform/AppPaths.h"
#include "shell/settings/FormPosition.h"
#include "shell/settings/FormWindow.h"
#include "shell/settings/SettingsStore.h"

#include <QTest>

using Hive = SettingsStore::Hive;

namespace {

// A window as the desktop reports it: maximized it covers the work area,
// and its setters then move the geometry it returns to. `normal` is the
// frame's position and the size inside the frame.
class FakeWindow : public FormWindow
{
public:
    QString name = QStringLiteral("MainForm");
    QRect normal{1200, 900, 9000, 6000};
    QMargins margins;
    int state = Normal;
    bool visible = true;
    QRect area{0, 0, 28800, 16200}; // 1920 x 1080 pixels at 15 twips each

    QString objectName() const override { return name; }
    int left() const override { return current().x(); }
    void setLeft(int twips) override { normal.moveLeft(twips); }
    int top() const override { return current().y(); }
    void setTop(int twips) override { normal.moveTop(twips); }
    int width() const override { return current().width(); }
    void setWidth(int twips) override { normal.setWidth(twips); }
    int height() const override { return current().height(); }
    void setHeight(int twips) override { normal.setHeight(twips); }
    int windowState() const override { return state; }
    void setWindowState(int s) override { state = s; }
    bool isVisible() const override { return visible; }
    QRect normalGeometry() const override { return normal; }
    QMargins frameMargins() const override { return margins; }
    QRect workArea(const QRect&) const override { return area; }

private:
    QRect current() const
    {
        if (state == Maximized)
            return area;
        if (state == Minimized)
            return QRect(-32000, -32000, 2400, 400);
        return normal;
    }
};

std::unique_ptr<SettingsStore> openStore()
{
    return std::make_unique<SettingsStore>(AppPaths::userHivePath(), AppPaths::machineHivePath());
}

void storePosition(SettingsStore& store, const QString& key, const QRect& r, int state = 0)
{
    store.SaveSettingHKCU(key, QStringLiteral("Left"), QString::number(r.x()));
    store.SaveSettingHKCU(key, QStringLiteral("Top"), QString::number(r.y()));
    store.SaveSettingHKCU(key, QStringLiteral("Width"), QString::number(r.width()));
    store.SaveSettingHKCU(key, QStringLiteral("Height"), QString::number(r.height()));
    store.SaveSettingHKCU(key, QStringLiteral("WindowState"), QString::number(state));
}

QStringList stored(const SettingsStore& store, const QString& key)
{
    QStringList out;
    for (const char* name : {"Left", "Top", "Width", "Height", "WindowState", "Visible"})
        out << store.getString(Hive::CurrentUser, key, QString::fromLatin1(name),
                               QStringLiteral("-"));
    return out;
}

} // namespace

class TestFormPosition : public QObject
{
    Q_OBJECT

private slots:
    void savesGeometryOnlyOfANormalWindow_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("normal") << 0 << true
                                << QStringList{QStringLiteral("2000"), QStringLiteral("1500"),
                                               QStringLiteral("7000"), QStringLiteral("5000"),
                                               QStringLiteral("0"),    QStringLiteral("1")};
        QTest::newRow("maximized")
            << 2 << true
            << QStringList{QStringLiteral("1200"), QStringLiteral("900"), QStringLiteral("9000"),
                           QStringLiteral("6000"), QStringLiteral("2"),   QStringLiteral("1")};
        QTest::newRow("minimized, hidden")
            << 1 << false
            << QStringList{QStringLiteral("1200"), QStringLiteral("900"), QStringLiteral("9000"),
                           QStringLiteral("6000"), QStringLiteral("1"),   QStringLiteral("0")};
    }

    void savesGeometryOnlyOfANormalWindow()
    {
        QFETCH(int, state);
        QFETCH(bool, visible);
        QFETCH(QStringList, expected);
        TestHome home;
        auto store = openStore();
        FakeWindow window;
        FormPosition::SaveFormPos(*store, window, QString());
        window.normal = QRect(2000, 1500, 7000, 5000);
        window.state = state;
        window.visible = visible;
        FormPosition::SaveFormPos(*store, window, QString());
        QCOMPARE(stored(*store, QStringLiteral("MainForm")), expected);
    }

    void maximizedWindowComesBackMaximizedOverItsNormalPlace()
    {
        TestHome home;
        auto store = openStore();
        FakeWindow window;
        window.name = QStringLiteral("frmCallHist");
        FormPosition::SaveFormPos(*store, window, QStringLiteral("CallHistWin"));
        window.state = FormWindow::Maximized;
        FormPosition::SaveFormPos(*store, window, QStringLiteral("CallHistWin"));
        QVERIFY(!store->RegKeyExists(Hive::CurrentUser,
                                     SettingsStore::rootKey() + QStringLiteral("\\frmCallHist")));

        FakeWindow restored;
        restored.normal = QRect(0, 0, 3000, 2000);
        FormPosition::RestoreFormPos(*store, restored, QStringLiteral("CallHistWin"), true);
        QCOMPARE(restored.state, int(FormWindow::Maximized));
        QCOMPARE(restored.normal, QRect(1200, 900, 9000, 6000));
    }

    void restorePullsTheWindowOntoTheWorkArea_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("expected");
        QTest::addColumn<QMargins>("frame");
        const QRect screen(0, 0, 28800, 16200);
        const QRect panels(900, 450, 27900, 15300); // panels on the left and top
        const QMargins titleBar(60, 450, 60, 60);

        QTest::newRow("on screen") << screen << QRect(3000, 2000, 9000, 6000)
                                   << QRect(3000, 2000, 9000, 6000) << QMargins();
        QTest::newRow("beyond the right edge") << screen << QRect(40000, 2000, 9000, 6000)
                                               << QRect(19800, 2000, 9000, 6000) << QMargins();
        QTest::newRow("beyond the bottom edge") << screen << QRect(3000, 30000, 9000, 6000)
                                                << QRect(3000, 10200, 9000, 6000) << QMargins();
        QTest::newRow("beyond both, offset area") << panels << QRect(60000, 60000, 9000, 6000)
                                                  << QRect(19800, 9750, 9000, 6000) << QMargins();
        QTest::newRow("left of and above the area") << panels << QRect(-5000, -200, 9000, 6000)
                                                    << QRect(900, 450, 9000, 6000) << QMargins();
        // Only a window whose left edge is past the right edge is moved.
        QTest::newRow("partly off the right edge") << screen << QRect(25000, 2000, 9000, 6000)
                                                   << QRect(25000, 2000, 9000, 6000) << QMargins();
        QTest::newRow("too small")
            << screen << QRect(3000, 2000, 100, 50) << QRect(3000, 2000, 1500, 1000) << QMargins();
        QTest::newRow("left edge on the right edge")
            << screen << QRect(28800, 2000, 9000, 6000) << QRect(19800, 2000, 9000, 6000)
            << QMargins();
        // The frame counts: its right and bottom edges meet the area's, and
        // its top-left corner, where the title bar begins, is always on it.
        QTest::newRow("frame beyond the bottom right")
            << screen << QRect(40000, 30000, 9000, 6000) << QRect(19680, 9690, 9000, 6000)
            << titleBar;
        QTest::newRow("wider and taller than the area")
            << panels << QRect(40000, 30000, 30000, 20000) << QRect(900, 450, 30000, 20000)
            << titleBar;
        QTest::newRow("no work area known") << QRect() << QRect(40000, 30000, 9000, 6000)
                                            << QRect(40000, 30000, 9000, 6000) << QMargins();
    }

    void restorePullsTheWindowOntoTheWorkArea()
    {
        QFETCH(QRect, area);
        QFETCH(QRect, saved);
        QFETCH(QRect, expected);
        QFETCH(QMargins, frame);
        TestHome home;
        auto store = openStore();
        storePosition(*store, QStringLiteral("MainForm"), saved);
        FakeWindow window;
        window.area = area;
        window.margins = frame;
        FormPosition::RestoreFormPos(*store, window, QString(), true);
        QCOMPARE(window.normal, expected);
        QCOMPARE(window.state, int(FormWindow::Normal));
    }

    void restoreKeepsWhatIsNotStored()
    {
        TestHome home;
        auto store = openStore();
        FakeWindow window;
        window.state = FormWindow::Minimized;
        FormPosition::RestoreFormPos(*store, window, QStringLiteral("StartCallWin"), true);
        QCOMPARE(window.normal, QRect(1200, 900, 9000, 6000));
        QCOMPARE(window.state, int(FormWindow::Minimized));

        // Without size only the position and state are taken.
        storePosition(*store, QStringLiteral("StartCallWin"), QRect(2400, 1800, 20000, 10000), 0);
        FormPosition::RestoreFormPos(*store, window, QStringLiteral("StartCallWin"), false);
        QCOMPARE(window.normal, QRect(2400, 1800, 9000, 6000));
        QCOMPARE(window.state, int(FormWindow::Normal));

        // A state the window cannot take is ignored.
        store->SaveSettingHKCU(QStringLiteral("StartCallWin"), QStringLiteral("WindowState"),
                               QStringLiteral("7"));
        window.state = FormWindow::Maximized;
        FormPosition::RestoreFormPos(*store, window, QStringLiteral("StartCallWin"), false);
        QCOMPARE(window.state, int(FormWindow::Maximized));
    }

    void saveThenRestoreRoundTrips()
    {
        TestHome home;
        {
            auto store = openStore();
            FakeWindow window;
            window.name = QStringLiteral("CallDetailsWin");
            window.normal = QRect(4500, 3000, 12000, 8000);
            FormPosition::SaveFormPos(*store, window, QString());
        }
        auto store = openStore();
        FakeWindow window;
        window.name = QStringLiteral("CallDetailsWin");
        FormPosition::RestoreFormPos(*store, window, QString(), true);
        QCOMPARE(window.normal, QRect(4500, 3000, 12000, 8000));
        QCOMPARE(store->getBool(Hive::CurrentUser, QStringLiteral("CallDetailsWin"),
                                QStringLiteral("Visible"), false),
                 true);
    }
};

QTEST_GUILESS_MAIN(TestFormPosition)
#include "TestFormPosition.moc"
