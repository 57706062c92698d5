#pragma once

#include "clock.h"

#include <cstdint>

// A clock the test sets: both times move only when told.
struct ManualClock : Clock
{
    int64_t monoMs = 1000;
    int64_t wallMsNow = 1700000000000; // November 2023
    int64_t monotonicMs() const override { return monoMs; }
    int64_t wallUs() const override { return wallMsNow * 1000; }
    void advance(int64_t ms)
    {
        monoMs += ms;
        wallMsNow += ms;
    }
};
