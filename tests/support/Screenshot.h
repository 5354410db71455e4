#pragma once

#include <QString>
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
