#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

// Moves and scales the controls of a window when the window is resized. Each
// control records its geometry and font at registration; every layout is
// computed from those values and the window's inner size at Init, so resizing
// back and forth never accumulates rounding.
class FormControlPos : public QObject
{
    Q_OBJECT
public:
    enum Mode
    {
        Keep = 0,  // the value from registration
        Shift = 1, // plus the change of the window's inner width or height
        Scale = 2  // times the ratio of the new to the initial inner size
    };

    explicit FormControlPos(QObject* parent = nullptr);

    // Records the window's inner size and follows its resizes from now on.
    void Init(QWidget* window);
    void Add(QWidget* control, Mode left, Mode top, Mode width, Mode height, bool scaleFont);
    void AddProportional(QWidget* control) { Add(control, Scale, Scale, Scale, Scale, true); }

    // Lays the registered controls out for the window's current inner size.
    void apply();
    QSize initialSize() const { return m_initial; }

signals:
    // After every layout (the owner places what it computes itself).
    void applied();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Control
    {
        QPointer<QWidget> widget;
        QRect geometry;
        qreal fontPointSize = -1;
        int fontPixelSize = -1;
        Mode left, top, width, height;
        bool scaleFont = false;
    };

    QPointer<QWidget> m_window;
    QSize m_initial;
    Qt::WindowStates m_state;
    QList<Control> m_controls;
};
