#pragma once

#include "adaptercontrol.h"

#include <cstdint>

// Register transfers for every screen: one 16-bit register as two bytes, tried up to
// kBusAttempts times with no pause. The status is 0 as soon as one attempt succeeds,
// else the last attempt's failure. A failed read leaves both bytes as they were.
// Each call is recorded in BusLog::instance(), attempts included.
constexpr int kBusAttempts = 4;

int32_t BusReadWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData);
int32_t BusWriteWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData);

// Says what the transfers that follow are for: every handler that moves registers calls
// it once before its first transfer (a button press: User; a timer tick: Tick).
void beginBusAction(BusAction kind);
