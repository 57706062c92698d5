#include "chargeregisters.h"

#include <algorithm>

// clang-format off
// key, unit, warning; register, field bits, step, units per field LSB, largest value,
// warning above, Write's low limit and what a value below it becomes.
const ChargeRegister kChargeCurrent = {"charge-current", "mA", "Set to 8.064 A Maximum",
                                       0x14, 7, 12, 128, 1, 8064, 8064, 128, 0};
const ChargeRegister kChargeVoltage = {"charge-voltage", "mV", "Exceeds 19.2 V Limit",
                                       0x15, 4, 14, 16, 1, 32752, 19200, 1024, 0};
const ChargeRegister kInputCurrent = {"input-current", "mA", "Exceeds 11.004 A Limit",
                                      0x3F, 7, 12, 256, 2, 16128, 11004, 256, 256};
// clang-format on
const std::array<const ChargeRegister *, 3> kChargeRegisters = {&kChargeCurrent, &kChargeVoltage,
                                                                &kInputCurrent};

uint16_t ChargeRegister::fieldMask() const
{
    return static_cast<uint16_t>(((1u << (nHighBit + 1)) - 1) & ~((1u << nLowBit) - 1));
}

namespace {
int roundDown(int nValue, int nStep)
{
    return nValue / nStep * nStep;
}
} // namespace

int displayedValue(const ChargeRegister &r, uint16_t nWord)
{
    return r.nUnitsPerLsb * (nWord & r.fieldMask());
}

NormalisedValue normaliseTyped(const ChargeRegister &r, int nValue)
{
    if (nValue > r.nWarnAbove)
        return {std::min(nValue, r.nLargest), true};
    if (nValue > 0 && nValue < r.nWriteLowLimit)
        return {r.nWriteLowResult, false};
    return {roundDown(std::max(nValue, 0), r.nStep), false};
}

NormalisedValue normaliseFromFile(const ChargeRegister &r, int nValue)
{
    if (nValue > r.nLargest)
        return {r.nLargest, true};
    if (nValue < r.nStep)
        return {0, false};
    return {roundDown(nValue, r.nStep), false};
}

uint16_t fieldBitsFor(const ChargeRegister &r, int nValue)
{
    uint16_t bits = 0;
    int remaining = nValue;
    for (int n = r.nHighBit; n >= r.nLowBit; --n) {
        const int weight = r.bitWeight(n);
        if (weight <= remaining) {
            bits |= static_cast<uint16_t>(1u << n);
            remaining -= weight;
        }
    }
    return bits;
}

uint16_t recoveryWord(const ChargeRegister &r, int16_t nLastValue)
{
    // Limited and rounded like a good read: the raw two's-complement pattern of a
    // negative or over-range value would set a bit outside the field or a far higher
    // setting (-16 mV would go out as 0xFFF0, 32752 mV).
    return fieldBitsFor(r, normaliseFromFile(r, nLastValue).nValue);
}
