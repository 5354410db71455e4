#pragma once

#include <QDateTime>

// The one place the program reads the time from, so that tests can move time
// instead of sleeping (repeat windows, client time-outs, buffer ages).
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // Process-wide clock; the system clock unless a test replaced it.
    static Clock& instance();
    static void setInstance(Clock* clock); // nullptr restores the system clock
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
