#include "clock.h"

#include <ctime>

int64_t Clock::monotonicMs() const
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int64_t Clock::wallUs() const
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

const Clock &Clock::system()
{
    static const Clock clock;
    return clock;
}
