#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

// Fades a window's transparency in steps of ten percent with a pause between
// steps. The steps follow the program's clock, so a late timer never slows a
// fade down and tests move time by hand; nothing blocks meanwhile.
class PopupFader : public QObject
{
    Q_OBJECT
public:
    // apply: sets the transparency in percent (0 opaque, 100 invisible).
    explicit PopupFader(std::function<void(int percent)> apply, QObject* parent = nullptr);

    int transparency() const { return m_current; }
    // Applies a value at once, ending a fade under way.
    void set(int percent);
    // Steps from the current value to `target`, `pauseMs` apart; `done` runs
    // once the target is applied (also at once when there is nothing to do).
    void fadeTo(int target, int pauseMs, std::function<void()> done = {});
    bool fading() const { return m_timer.isActive(); }

private:
    void step();

    std::function<void(int)> m_apply;
    std::function<void()> m_done;
    QTimer m_timer;
    QDateTime m_started;
    int m_from = 0;
    int m_current = 0;
    int m_target = 0;
    int m_pauseMs = 0;
};
