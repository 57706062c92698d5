#pragma once

#include <cstdint>

// The program's two clocks, behind one seam: every rule that depends on time takes a
// Clock, and tests hand in one they set by hand.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds on the system's monotonic clock: it never goes back and setting the
    // date does not move it. The coarse clock (a few ms resolution) is plenty for every
    // timing the program makes (periods, time-outs, back-offs), and it is read from
    // memory even where reading the precise one costs a system call (under QEMU without
    // acceleration).
    virtual int64_t monotonicMs() const;
    // The wall clock, microseconds since 1970 UTC: what file times and the bus log's
    // time stamps are compared with and shown as.
    virtual int64_t wallUs() const;
    int64_t wallMs() const { return wallUs() / 1000; }

    // The real clocks.
    static const Clock &system();
};
