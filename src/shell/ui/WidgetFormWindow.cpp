#include "shell/ui/WidgetFormWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
const char* const kPendingState = "phonavoPendingWindowState";
const QString kApplierName = QStringLiteral("phonavoPendingWindowStateApplier");

// A hidden window is kept in the normal state and takes a minimized or
// maximized state only once it is shown, so that the geometry set while it
// was hidden is the one the window system restores it to. Geometry set on a
// hidden window that is already maximized does not reach the window system.
// The state follows on the next turn of the event loop: until the window is
// on the screen, its position is that of a frame Qt has not placed yet, and
// Qt would remember it as the normal geometry of the area inside the frame.
class PendingStateApplier : public QObject
{
public:
    explicit PendingStateApplier(QWidget* widget) : QObject(widget)
    {
        setObjectName(kApplierName);
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent())
            QMetaObject::invokeMethod(this, &PendingStateApplier::apply, Qt::QueuedConnection);
        return false;
    }

private:
    void apply()
    {
        auto* widget = static_cast<QWidget*>(parent());
        if (!widget->isVisible())
            return; // hidden again: for the next show
        const QVariant pending = widget->property(kPendingState);
        widget->setProperty(kPendingState, QVariant());
        // A state the caller set explicitly after the restore wins.
        if (pending.isValid() && !(widget->windowState() & kNotNormal))
            widget->setWindowState(widget->windowState() | Qt::WindowStates(pending.toInt()));
    }
};

} // namespace

WidgetFormWindow::WidgetFormWindow(QWidget* widget) : m_widget(widget) {}

QString WidgetFormWindow::objectName() const
{
    return m_widget ? m_widget->objectName() : QString();
}

int WidgetFormWindow::toTwipsX(int pixels) const
{
    return qRound(double(pixels) * kTwipsPerInch / m_widget->logicalDpiX());
}

int WidgetFormWindow::toTwipsY(int pixels) const
{
    return qRound(double(pixels) * kTwipsPerInch / m_widget->logicalDpiY());
}

int WidgetFormWindow::toPixelsX(int twips) const
{
    return qRound(double(twips) * m_widget->logicalDpiX() / kTwipsPerInch);
}

int WidgetFormWindow::toPixelsY(int twips) const
{
    return qRound(double(twips) * m_widget->logicalDpiY() / kTwipsPerInch);
}

QRect WidgetFormWindow::toTwips(const QRect& pixels) const
{
    return QRect(toTwipsX(pixels.x()), toTwipsY(pixels.y()), toTwipsX(pixels.width()),
                 toTwipsY(pixels.height()));
}

QRect WidgetFormWindow::normalPixels() const
{
    QRect client = m_widget->geometry();
    if (m_widget->windowState() & kNotNormal) {
        const QRect normal = m_widget->normalGeometry();
        if (normal.isValid())
            client = normal;
    }
    // Qt keeps the normal geometry as a client area; the frame sits around it
    // as it does around the current one.
    const QPoint frameOffset = m_widget->geometry().topLeft() - m_widget->pos();
    return QRect(client.topLeft() - frameOffset, client.size());
}

void WidgetFormWindow::setNormalPixels(const QRect& pixels)
{
    const auto place = [this, &pixels] {
        m_widget->move(pixels.topLeft());
        m_widget->resize(pixels.size());
    };
    const Qt::WindowStates state = m_widget->windowState();
    if (!(state & kNotNormal)) {
        place();
    } else if (m_widget->isVisible()) {
        // Qt only remembers a normal geometry while entering the state, so
        // step out of it, place the window and step back in.
        m_widget->setWindowState(state & ~kNotNormal);
        place();
        m_widget->setWindowState(state);
    } else {
        m_widget->setWindowState(state & ~kNotNormal);
        place();
        deferState(state & kNotNormal);
    }
}

void WidgetFormWindow::deferState(Qt::WindowStates state)
{
    m_widget->setProperty(kPendingState, state ? QVariant(int(state)) : QVariant());
    if (state && !m_widget->findChild<QObject*>(kApplierName, Qt::FindDirectChildrenOnly))
        new PendingStateApplier(m_widget);
}

int WidgetFormWindow::left() const
{
    return m_widget ? toTwipsX(m_widget->pos().x()) : 0;
}

void WidgetFormWindow::setLeft(int twips)
{
    if (!m_widget)
        return;
    QRect r = normalPixels();
    r.moveLeft(toPixelsX(twips));
    setNormalPixels(r);
}

int WidgetFormWindow::top() const
{
    return m_widget ? toTwipsY(m_widget->pos().y()) : 0;
}

void WidgetFormWindow::setTop(int twips)
{
    if (!m_widget)
        return;
    QRect r = normalPixels();
    r.moveTop(toPixelsY(twips));
    setNormalPixels(r);
}

int WidgetFormWindow::width() const
{
    return m_widget ? toTwipsX(m_widget->geometry().width()) : 0;
}

void WidgetFormWindow::setWidth(int twips)
{
    if (!m_widget)
        return;
    QRect r = normalPixels();
    r.setWidth(std::max(1, toPixelsX(twips)));
    setNormalPixels(r);
}

int WidgetFormWindow::height() const
{
    return m_widget ? toTwipsY(m_widget->geometry().height()) : 0;
}

void WidgetFormWindow::setHeight(int twips)
{
    if (!m_widget)
        return;
    QRect r = normalPixels();
    r.setHeight(std::max(1, toPixelsY(twips)));
    setNormalPixels(r);
}

int WidgetFormWindow::windowState() const
{
    if (!m_widget)
        return Normal;
    Qt::WindowStates state = m_widget->windowState();
    // Until it is applied, a pending state is the window's state.
    const QVariant pending = m_widget->property(kPendingState);
    if (pending.isValid() && !(state & kNotNormal))
        state |= Qt::WindowStates(pending.toInt());
    if (state & Qt::WindowMinimized)
        return Minimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return Maximized;
    return Normal;
}

void WidgetFormWindow::setWindowState(int state)
{
    if (!m_widget)
        return;
    const Qt::WindowStates wanted = state == Minimized   ? Qt::WindowMinimized
                                    : state == Maximized ? Qt::WindowMaximized
                                                         : Qt::WindowNoState;
    const Qt::WindowStates others = m_widget->windowState() & ~kNotNormal;
    if (m_widget->isVisible()) {
        m_widget->setProperty(kPendingState, QVariant());
        m_widget->setWindowState(others | wanted);
        return;
    }
    m_widget->setWindowState(others);
    deferState(wanted);
}

bool WidgetFormWindow::isVisible() const
{
    return m_widget && m_widget->isVisible();
}

QRect WidgetFormWindow::normalGeometry() const
{
    return m_widget ? toTwips(normalPixels()) : QRect();
}

QMargins WidgetFormWindow::frameMargins() const
{
    if (!m_widget)
        return QMargins();
    const QRect frame = m_widget->frameGeometry();
    const QRect client = m_widget->geometry();
    return QMargins(toTwipsX(client.left() - frame.left()), toTwipsY(client.top() - frame.top()),
                    toTwipsX(frame.right() - client.right()),
                    toTwipsY(frame.bottom() - client.bottom()));
}

QRect WidgetFormWindow::workArea(const QRect& frame) const
{
    if (!m_widget)
        return QRect();
    const QRect pixels(toPixelsX(frame.x()), toPixelsY(frame.y()), toPixelsX(frame.width()),
                       toPixelsY(frame.height()));
    // Where the title bar begins decides; a window whose corner lies between
    // screens goes by its middle.
    const QScreen* screen = QGuiApplication::screenAt(pixels.topLeft());
    if (!screen)
        screen = QGuiApplication::screenAt(pixels.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? toTwips(screen->availableGeometry()) : QRect();
}
