#pragma once

#include "adaptercontrol.h"

#include <cstdint>

class BusLog;
class frmUSB;

// Register transfers for every screen and for kv7320ctl: one 16-bit register as two
// bytes, tried up to kBusAttempts times with no pause. The status is 0 as soon as one
// attempt succeeds, else the last attempt's failure (but an attempt failed at once as not
// tried, BusStatus::kNotAnswering, leaves the status of one that was tried). A failed read
// leaves both bytes as they were. Each call is recorded in the bus log, attempts
// included.
constexpr int kBusAttempts = 4;

// A register word and its two bytes: high (bits 15..8) and low (bits 7..0).
constexpr uint16_t joinBytes(uint8_t yMSData, uint8_t yLSData)
{
    return static_cast<uint16_t>(yMSData << 8 | yLSData);
}
constexpr uint8_t highByte(uint16_t nWord)
{
    return static_cast<uint8_t>(nWord >> 8);
}
constexpr uint8_t lowByte(uint16_t nWord)
{
    return static_cast<uint8_t>(nWord & 0xFF);
}

// The retried transfers on one adapter wrapper, recorded in one bus log; both must
// outlive it.
class BusTransactions
{
public:
    BusTransactions(frmUSB &usb, BusLog &log);

    int32_t BusReadWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData);
    int32_t BusWriteWord(uint8_t &ySubCommand, uint8_t &yMSData, uint8_t &yLSData);

    // BusReadWord and BusWriteWord for a whole word, split and joined here. A failed
    // read leaves nWord as it was.
    int32_t readRegister(uint8_t yCommand, uint16_t &nWord);
    int32_t writeRegister(uint8_t yCommand, uint16_t nWord);

    // Says what the transfers that follow are for: every handler that moves registers
    // calls it once before its first transfer (a button press: User; a timer tick: Tick).
    void beginBusAction(BusAction kind);

private:
    frmUSB &m_usb;
    BusLog &m_log;
};
