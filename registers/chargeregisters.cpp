#include "chargeregisters.h"

#include <algorithm>

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
