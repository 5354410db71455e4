#include "history/HistoryColumns.h"
#include "history/ui/FrmCallHistory.h"

#include "DesktopWindows.h"
#include "Screenshot.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTreeView>

// The windows in the desktop's light and dark themes: Fusion with either
// palette.
class TestUiThemes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }
    void cleanup() { QApplication::setPalette(QApplication::style()->standardPalette()); }

    // The picture of a party without one of its own is drawn in the theme's
    // colours and stays visible on its ground, also when the desktop changes
    // its theme while the window is open.
    void placeholderPicturesStandOut_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("switchWhileOpen");
        QTest::addColumn<Opener>("open");
        QTest::addColumn<QString>("picture");
        const QList<std::pair<QString, QString>> pictures = {{"frmCallDetails", "imgCaller"},
                                                             {"frmCallDetails", "imgCalledUser"},
                                                             {"frmCall", "imgUser"}};
        for (const auto& [name, open] : desktopWindows())
            for (const auto& [window, picture] : pictures)
                for (const bool dark : {false, true})
                    for (const bool switched : {false, true})
                        if (window == name)
                            QTest::addRow("%s %s, %s%s", qPrintable(name), qPrintable(picture),
                                          dark ? "dark" : "light",
                                          switched ? " after a switch" : "")
                                << dark << switched << open << picture;
    }

    void placeholderPicturesStandOut()
    {
        QFETCH(bool, dark);
        QFETCH(bool, switchWhileOpen);
        QFETCH(Opener, open);
        QFETCH(QString, picture);
        const auto theme = [](bool dark) {
            return dark ? darkPalette() : QApplication::style()->standardPalette();
        };
        QApplication::setPalette(theme(switchWhileOpen ? !dark : dark));
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        open(d, [&](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            if (switchWhileOpen) {
                QApplication::setPalette(theme(dark));
                QApplication::processEvents();
            }
            auto* label = w->findChild<QLabel*>(picture);
            QVERIFY(label && !label->pixmap().isNull());
            const QImage image = label->grab().toImage();
            const int ground = image.pixelColor(1, 1).lightness();
            // Drawn on the ground of an entry field or of the window itself.
            const QPalette now = theme(dark);
            QVERIFY2(std::abs(ground - now.color(QPalette::Base).lightness()) < 30 ||
                         std::abs(ground - now.color(QPalette::Window).lightness()) < 30,
                     qPrintable(QString::number(ground)));
            int contrast = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    contrast =
                        std::max(contrast, std::abs(image.pixelColor(x, y).lightness() - ground));
            QVERIFY2(contrast >= 60, qPrintable(QString::number(contrast)));
        });
    }

    // The call history draws its group rows itself: their captions come in
    // the palette's text colour, in either theme.
    void groupRowsAreDrawnInTheThemesText_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void groupRowsAreDrawnInTheThemesText()
    {
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        QVERIFY(d.storeCall() > 0);
        const Opener history = fromMenu("mnuCallHist", "frmCallHistory");
        history(d, [](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            auto* window = qobject_cast<FrmCallHistory*>(w);
            window->groupBy(HistoryColumns::Caller);
            QCOMPARE(window->model().rowCount(), 1);
            QTreeView* grid = window->grid();
            const QRect row = grid->visualRect(window->model().index(0, HistoryColumns::CallDate));
            const QImage image =
                grid->viewport()
                    ->grab(QRect(0, row.y(), grid->viewport()->width(), row.height()))
                    .toImage();
            const QColor text = grid->palette().color(QPalette::Text);
            int inkPixels = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    inkPixels +=
                        std::abs(image.pixelColor(x, y).lightness() - text.lightness()) < 40;
            QVERIFY2(inkPixels > 20, qPrintable(QString::number(inkPixels)));
        });
    }
};

QTEST_MAIN(TestUiThemes)
#include "TestUiThemes.moc"
