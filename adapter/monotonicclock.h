#pragma once

#include <cstdint>
#include <ctime>

// Milliseconds on the system's monotonic clock: it never goes back and setting the date
// does not move it. The coarse clock (a few ms resolution) is plenty for every timing
// the program makes (periods, time-outs, back-offs), and it is read from memory even
// where reading the precise one costs a system call (under QEMU without acceleration).
inline int64_t monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
