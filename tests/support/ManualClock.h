#pragma once

#include "platform/Clock.h"

// A clock the test moves by hand; installs itself as the program's clock for
// its lifetime.
class ManualClock : public Clock
{
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 12, 4), QTime(19, 41, 57)))
        : m_now(std::move(start))
    {
        Clock::setInstance(this);
    }
    ~ManualClock() override { Clock::setInstance(nullptr); }

    QDateTime now() const override { return m_now; }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }
    void advanceSeconds(qint64 s) { m_now = m_now.addSecs(s); }
    void set(const QDateTime& t) { m_now = t; }

private:
    QDateTime m_now;
};
