#pragma once

#include <QApplication>
#include <QPalette>
#include <QString>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

// PHONAVO_SCREENSHOT_DIR=folder makes widget tests save what their windows
// look like, for a look by eye; without it nothing is written.
inline void saveScreenshot(QWidget& widget, const QString& name, bool fitToContents = true)
{
    const QString dir = qEnvironmentVariable("PHONAVO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    if (fitToContents)
        widget.adjustSize();
    widget.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// The colours of a desktop with a dark theme: light text on dark grounds.
inline QPalette darkPalette()
{
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x24, 0x24, 0x24);
    const QColor text(0xee, 0xee, 0xee);
    const QColor dimmed(0x80, 0x80, 0x80);
    QPalette p(text, window, window.lighter(150), window.darker(200), window.darker(150), text,
               Qt::white, base, window);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dimmed);
    p.setColor(QPalette::Link, QColor(0x5e, 0xa8, 0xf0));
    p.setColor(QPalette::LinkVisited, QColor(0xb0, 0x8c, 0xf0));
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x6f, 0xb8));
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dimmed);
    return p;
}

// PHONAVO_SCREENSHOT_THEME=dark shows every window of a widget test in the
// Fusion style with the dark palette above, from the start of the test
// program on (scripts/screenshots passes it on).
inline void applyScreenshotTheme()
{
    if (qEnvironmentVariable("PHONAVO_SCREENSHOT_THEME") != QLatin1String("dark") ||
        !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
}
Q_COREAPP_STARTUP_FUNCTION(applyScreenshotTheme)
