#pragma once

#include "busstatus.h"

#include <cstdint>
#include <string>

// The adapter control: the nine operations the program sends to the USB interface
// adapter. Arguments are in call order; references are the caller's own variables,
// which the adapter may write. Integers are 16-bit signed, Longs 32-bit signed.
// A status of 0 means success; any other value is the adapter's failure code and is
// never interpreted above this interface.
//
// Device addresses are the charger's 8-bit write form (0x12 for 7-bit 0x09).
// What the transfers that follow are for. A user's action (a button press, a command)
// is always let through to the hardware at least once; a timer tick may be failed at
// once while the hardware is known not to answer.
enum class BusAction { Tick, User };

class AdapterControl
{
public:
    virtual ~AdapterControl() = default;

    // Not one of the nine operations: called before the first transfer of each action,
    // so that a backend can bound what one action spends on failures.
    virtual void beginAction(BusAction kind) { (void)kind; }

    // Dispatch id 1.
    virtual int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) = 0;
    // Dispatch id 2: nWord receives the register.
    virtual int16_t AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress) = 0;
    // Dispatch id 5.
    virtual int16_t AdapterOpen(std::string &sName) = 0;
    // Dispatch id 6; the result is not used.
    virtual int16_t AdapterClose() = 0;
    // Dispatch id 7: nCount receives the number of adapters, sNames their names
    // separated by ","; the result is not used.
    virtual int16_t AdapterFindDevices(int32_t nOne, int32_t &nCount, std::string &sNames) = 0;
    // Dispatch id 13: the outcome of the last write.
    virtual int16_t AdapterWriteCheck() = 0;

    // Byte and HDQ transfers: a charger board's SMBus carries words only, so every
    // backend refuses them unless it overrides them.
    // Dispatch id 12.
    virtual int16_t AdapterByteTransfer(int32_t nMode, int16_t &nAddress, int16_t &nRegister,
                                        int16_t &nData)
    {
        (void)nMode, (void)nAddress, (void)nRegister, (void)nData;
        return BusStatus::kNotSupported;
    }
    // Dispatch id 14.
    virtual int16_t AdapterHdqWrite(int32_t nOne, int16_t &nCommand, int16_t &nData)
    {
        (void)nOne, (void)nCommand, (void)nData;
        return BusStatus::kNotSupported;
    }
    // Dispatch id 15: nData is in and out.
    virtual int16_t AdapterHdqRead(int32_t nOne, int16_t &nCommand, int16_t &nData)
    {
        (void)nOne, (void)nCommand, (void)nData;
        return BusStatus::kNotSupported;
    }
};
