#pragma once

#include "shell/settings/FormWindow.h"

#include <QPointer>
#include <QWidget>

// FormWindow over a top-level QWidget: twips = pixels * 1440 / logical DPI.
// The position is the frame's (QWidget::pos() and move()), the size the
// client area's (QWidget::size() and resize()), for getting and setting
// alike, so a saved position restores exactly; the work area is the available
// geometry of the screen the frame lands on.
class WidgetFormWindow : public FormWindow
{
public:
    explicit WidgetFormWindow(QWidget* widget);

    QString objectName() const override;
    int left() const override;
    void setLeft(int twips) override;
    int top() const override;
    void setTop(int twips) override;
    int width() const override;
    void setWidth(int twips) override;
    int height() const override;
    void setHeight(int twips) override;
    int windowState() const override;
    void setWindowState(int state) override;
    bool isVisible() const override;
    QRect normalGeometry() const override;
    QMargins frameMargins() const override;
    QRect workArea(const QRect& frame) const override;

private:
    int toTwipsX(int pixels) const;
    int toTwipsY(int pixels) const;
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;
    QRect toTwips(const QRect& pixels) const;
    // Frame position and client size of the normal geometry, in pixels.
    QRect normalPixels() const;
    // Places the frame and sizes the client area the window has or returns
    // to, keeping its state.
    void setNormalPixels(const QRect& pixels);
    // Remembers a minimized or maximized state for a hidden window to take
    // when it is shown.
    void deferState(Qt::WindowStates state);

    QPointer<QWidget> m_widget;
};
