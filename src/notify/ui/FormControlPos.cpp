#include "FormControlPos.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

int place(int initial, FormControlPos::Mode mode, int initialExtent, int extent)
{
    switch (mode) {
    case FormControlPos::Shift:
        return initial + extent - initialExtent;
    case FormControlPos::Scale:
        return initialExtent > 0 ? int(std::lround(double(initial) * extent / initialExtent))
                                 : initial;
    case FormControlPos::Keep:
        break;
    }
    return initial;
}

} // namespace

FormControlPos::FormControlPos(QObject* parent) : QObject(parent) {}

void FormControlPos::Init(QWidget* window)
{
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    m_controls.clear();
    if (!window)
        return;
    m_initial = window->size();
    m_state = window->windowState();
    window->installEventFilter(this);
}

void FormControlPos::Add(QWidget* control, Mode left, Mode top, Mode width, Mode height,
                         bool scaleFont)
{
    if (!control)
        return;
    Control c{control,
              control->geometry(),
              control->font().pointSizeF(),
              control->font().pixelSize(),
              left,
              top,
              width,
              height,
              scaleFont};
    m_controls << c;
}

void FormControlPos::apply()
{
    if (!m_window || m_initial.isEmpty())
        return;
    const QSize now = m_window->size();
    // Text must still fit when width and height change by different factors:
    // the font follows the smaller ratio.
    const double fontRatio = std::min(double(now.width()) / m_initial.width(),
                                      double(now.height()) / m_initial.height());
    for (const Control& c : std::as_const(m_controls)) {
        if (!c.widget)
            continue;
        const int x = place(c.geometry.x(), c.left, m_initial.width(), now.width());
        const int y = place(c.geometry.y(), c.top, m_initial.height(), now.height());
        const int w = place(c.geometry.width(), c.width, m_initial.width(), now.width());
        const int h = place(c.geometry.height(), c.height, m_initial.height(), now.height());
        c.widget->setGeometry(x, y, std::max(w, 0), std::max(h, 0));
        if (c.scaleFont && fontRatio > 0) {
            QFont font = c.widget->font();
            if (c.fontPointSize > 0)
                font.setPointSizeF(std::max(1.0, c.fontPointSize * fontRatio));
            else if (c.fontPixelSize > 0)
                font.setPixelSize(std::max(1, int(std::lround(c.fontPixelSize * fontRatio))));
            c.widget->setFont(font);
        }
    }
    emit applied();
}

bool FormControlPos::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Resize) {
            apply();
        } else if (event->type() == QEvent::WindowStateChange) {
            const Qt::WindowStates was = m_state;
            m_state = m_window->windowState();
            // Back to normal: the size may have changed while minimized.
            if (was != m_state && !(m_state & (Qt::WindowMinimized | Qt::WindowMaximized)))
                apply();
        }
    }
    return QObject::eventFilter(watched, event);
}
