#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QTabBar>
#include <QWidget>

// The texts of `window` that its layout cuts off as it is shown now: labels
// without word wrap, buttons, check boxes, group boxes, tab titles and column
// headers narrower than their texts need, each as "name (has < needs)".
inline QStringList clippedTexts(const QWidget& window)
{
    QStringList clipped;
    const auto note = [&clipped](const QWidget* w, const QString& what, int has, int needs) {
        if (has < needs)
            clipped
                << QStringLiteral("%1%2 (%3 < %4)").arg(w->objectName(), what).arg(has).arg(needs);
    };
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        const auto* label = qobject_cast<const QLabel*>(w);
        if ((label && !label->wordWrap() && label->pixmap().isNull()) ||
            qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w) ||
            qobject_cast<const QGroupBox*>(w))
            note(w, QString(), w->width(), w->minimumSizeHint().width());
        // A push button's hint keeps the style's minimum width and margins:
        // clipped is a caption wider than the inside of its frame.
        if (const auto* button = qobject_cast<const QPushButton*>(w)) {
            const QStyle* style = button->style();
            const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
            note(w, QString(), w->width(),
                 button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() + icon +
                     2 * (style->pixelMetric(QStyle::PM_DefaultFrameWidth) +
                          style->pixelMetric(QStyle::PM_ButtonDefaultIndicator)));
        }
        if (const auto* tabs = qobject_cast<const QTabBar*>(w))
            note(w, QStringLiteral(" tabs"), tabs->width(), tabs->sizeHint().width());
        if (const auto* header = qobject_cast<const QHeaderView*>(w)) {
            // The hint keeps room for the sort arrow, which only the sorted
            // column draws.
            const int arrow =
                header->isSortIndicatorShown()
                    ? header->height() + header->style()->pixelMetric(QStyle::PM_HeaderMargin)
                    : 0;
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i))
                    continue;
                const int needs =
                    header->sectionSizeHint(i) - (i == header->sortIndicatorSection() ? 0 : arrow);
                note(w,
                     QLatin1Char(' ') +
                         header->model()->headerData(i, header->orientation()).toString(),
                     header->sectionSize(i), needs);
            }
        }
    }
    return clipped;
}
