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

namespace {

// How far the picture's most different pixel is from its corner, the ground
// it is drawn on, in lightness (0-255).
int contrastToGround(QLabel& picture)
{
    const QImage image = picture.grab().toImage();
    const int ground = image.pixelColor(1, 1).lightness();
    int most = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            most = std::max(most, std::abs(image.pixelColor(x, y).lightness() - ground));
    return most;
}

} // namespace

// The windows in the desktop's light and dark themes: Fusion with either
// palette.
class TestUiThemes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }
    void cleanup() { QApplication::setPalette(QApplication::style()->standardPalette()); }

    // The picture of a party without one of its own is drawn in the theme's
    // colours and stays visible on its ground.
    void placeholderPicturesStandOut_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<Opener>("open");
        QTest::addColumn<QString>("picture");
        for (const auto& [name, open] : desktopWindows())
            for (const bool dark : {false, true}) {
                const char* theme = dark ? "dark" : "light";
                if (name == QLatin1String("frmCallDetails")) {
                    QTest::addRow("%s caller, %s", qPrintable(name), theme)
                        << dark << open << QStringLiteral("imgCaller");
                    QTest::addRow("%s called party, %s", qPrintable(name), theme)
                        << dark << open << QStringLiteral("imgCalledUser");
                } else if (name == QLatin1String("frmCall")) {
                    QTest::addRow("%s, %s", qPrintable(name), theme)
                        << dark << open << QStringLiteral("imgUser");
                }
            }
    }

    void placeholderPicturesStandOut()
    {
        QFETCH(bool, dark);
        QFETCH(Opener, open);
        QFETCH(QString, picture);
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        open(d, [&](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            auto* label = w->findChild<QLabel*>(picture);
            QVERIFY(label && !label->pixmap().isNull());
            const int contrast = contrastToGround(*label);
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
