#include "PopupFader.h"

#include "platform/Clock.h"

#include <algorithm>

namespace {
constexpr int kStep = 10;
}

PopupFader::PopupFader(std::function<void(int)> apply, QObject* parent)
    : QObject(parent), m_apply(std::move(apply))
{
    m_timer.setObjectName(QStringLiteral("tmrFade"));
    m_timer.setParent(this);
    connect(&m_timer, &QTimer::timeout, this, &PopupFader::step);
}

void PopupFader::set(int percent)
{
    m_timer.stop();
    m_done = nullptr;
    m_current = std::clamp(percent, 0, 100);
    m_apply(m_current);
}

void PopupFader::fadeTo(int target, int pauseMs, std::function<void()> done)
{
    m_target = std::clamp(target, 0, 100);
    m_pauseMs = std::max(pauseMs, 1);
    m_from = m_current;
    m_done = std::move(done);
    m_started = Clock::instance().now();
    m_timer.setInterval(m_pauseMs);
    m_timer.start();
    step(); // the first step is applied at once
}

void PopupFader::step()
{
    const qint64 elapsed = std::max<qint64>(0, m_started.msecsTo(Clock::instance().now()));
    const int steps = int(std::min<qint64>(elapsed / m_pauseMs, 100 / kStep + 1));
    const int direction = m_target < m_from ? -1 : 1;
    const int value = m_from + direction * kStep * steps;
    if ((direction < 0 && value > m_target) || (direction > 0 && value < m_target)) {
        if (value != m_current || steps == 0) {
            m_current = value;
            m_apply(m_current);
        }
        return;
    }
    m_timer.stop();
    m_current = m_target;
    m_apply(m_current);
    if (auto done = std::exchange(m_done, nullptr))
        done();
}
