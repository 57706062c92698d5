#pragma once

#include <cstdint>

// Ctrl+C (SIGINT) and SIGTERM as a request to stop: the handler only notes the signal,
// and waits end early when one comes. So a transfer in progress is never cut off; the
// program stops at the next point where it looks. While an instance lives it owns the
// two signals; the previous handlers come back when it goes.
class StopSignals
{
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // The signal that asked for the stop, 0 while none has.
    int stopSignal() const;
    // Waits nMs, or less when a stop signal comes; false when a stop has been asked for.
    bool wait(int64_t nMs) const;
};
