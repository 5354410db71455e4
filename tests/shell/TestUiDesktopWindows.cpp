#include "notify/ui/SysTray.h"

#include "ClippedTexts.h"
#include "DesktopWindows.h"
#include "Screenshot.h"

#include <QApplication>
#include <QTest>

namespace {

const char* const kLanguages[] = {"English",   "German", "Spanish", "Dutch",
                                  "Norwegian", "French", "Swedish"};

} // namespace

class TestUiDesktopWindows : public QObject
{
    Q_OBJECT

private slots:
    // Every window of the desktop program shows its texts in full in each
    // language of the language menu, at the size it opens with, and fits a
    // 1366x768 screen.
    void windowsShowTheirTextsInFull_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<Opener>("open");
        QTest::addColumn<bool>("switchWhileOpen");
        for (const auto& [name, open] : desktopWindows()) {
            // The popup shows the caller's data, not texts of its own.
            if (name == QLatin1String("frmCall"))
                continue;
            const bool isModal =
                !QStringList{QStringLiteral("frmCallHistory"), QStringLiteral("frmStartCall"),
                             QStringLiteral("frmSimulateCall"), QStringLiteral("frmCallDetails")}
                     .contains(name);
            for (const char* language : kLanguages) {
                QTest::addRow("%s %s", qPrintable(name), language)
                    << QString::fromLatin1(language) << open << false;
                // A window open at a change of language takes the new texts.
                if (!isModal)
                    QTest::addRow("%s %s, switched while open", qPrintable(name), language)
                        << QString::fromLatin1(language) << open << true;
            }
        }
    }

    void windowsShowTheirTextsInFull()
    {
        QFETCH(QString, language);
        QFETCH(Opener, open);
        QFETCH(bool, switchWhileOpen);
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        const QString switchLanguage = QStringLiteral("mnuSetLang") + language;
        if (!switchWhileOpen)
            d.trigger(switchLanguage);
        QStringList clipped;
        open(d, [&](QWidget* w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            if (switchWhileOpen) {
                d.trigger(switchLanguage);
                QApplication::processEvents();
            }
            const QSize hint = w->minimumSizeHint();
            if (hint.width() > 1366 || hint.height() > 740)
                clipped
                    << QStringLiteral("the window (%1x%2)").arg(hint.width()).arg(hint.height());
            clipped << clippedTexts(*w);
            // The smallest the user can make it cuts no text either.
            const QSize shown = w->size();
            w->resize(w->minimumSize());
            QApplication::processEvents();
            for (const QString& text : clippedTexts(*w))
                clipped << text + QStringLiteral(" at the smallest size");
            w->resize(shown);
            if (qEnvironmentVariable("PHONAVO_SCREENSHOT_LANGUAGES") == QLatin1String("all"))
                saveScreenshot(*w, QStringLiteral("%1-%2").arg(w->objectName(), language), false);
        });
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
    }

    // The taskbar and window list show the program's icon for each window.
    void windowsCarryTheProgramIcon_data()
    {
        QTest::addColumn<Opener>("open");
        for (const auto& [name, open] : desktopWindows())
            QTest::newRow(qPrintable(name)) << open;
    }

    void windowsCarryTheProgramIcon()
    {
        QFETCH(Opener, open);
        Desktop d;
        QCOMPARE(d.program->start(), 0);
        const QImage expected = SysTray::stateIcon(true).pixmap(QSize(32, 32), 1.0).toImage();
        open(d, [&](QWidget* w) {
            QCOMPARE(w->windowIcon().pixmap(QSize(32, 32), 1.0).toImage(), expected);
        });
    }
};

QTEST_MAIN(TestUiDesktopWindows)
#include "TestUiDesktopWindows.moc"
