#include "Clock.h"

namespace {
SystemClock g_systemClock;
Clock* g_clock = &g_systemClock;
} // namespace

Clock& Clock::instance()
{
    return *g_clock;
}

void Clock::setInstance(Clock* clock)
{
    g_clock = clock ? clock : &g_systemClock;
}
