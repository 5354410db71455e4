#pragma once

#include <QMargins>
#include <QRect>
#include <QString>

// What saving and restoring a window position needs of a window, in twips
// (1/1440 inch), the unit positions have always been stored in. Lets the
// position logic run without widgets.
//
// The position is that of the window frame's top-left corner, the size that of
// the area inside the frame: a position restored is where the frame was, so a
// window saved at the top of the screen comes back with its title bar there.
class FormWindow
{
public:
    enum State
    {
        Normal = 0,
        Minimized = 1,
        Maximized = 2
    };

    virtual ~FormWindow() = default;

    virtual QString objectName() const = 0;

    // The window's current geometry. While it is minimized or maximized the
    // setters change the geometry it returns to (normalGeometry()).
    virtual int left() const = 0;
    virtual void setLeft(int twips) = 0;
    virtual int top() const = 0;
    virtual void setTop(int twips) = 0;
    virtual int width() const = 0;
    virtual void setWidth(int twips) = 0;
    virtual int height() const = 0;
    virtual void setHeight(int twips) = 0;

    // 0 normal, 1 minimized, 2 maximized.
    virtual int windowState() const = 0;
    virtual void setWindowState(int state) = 0;
    virtual bool isVisible() const = 0;

    // The frame position and inner size the window has when neither minimized
    // nor maximized.
    virtual QRect normalGeometry() const = 0;
    // What the frame adds around the inner size (none before the window was
    // first shown, when the desktop has not drawn a frame yet).
    virtual QMargins frameMargins() const = 0;
    // The desktop area windows may cover (without panels and docks) on the
    // screen where a frame at `frame` lands, or on the main screen when it lands
    // on none; empty when no screen is known.
    virtual QRect workArea(const QRect& frame) const = 0;
};
