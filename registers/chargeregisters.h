#pragma once

#include <array>
#include <cstdint>

// The charger on the bus: its address in the 8-bit write form the adapter takes
// (7-bit 0x09), and its identification registers.
constexpr int16_t kChargerAddress = 18;
constexpr uint8_t kManufacturerIdRegister = 0xFE;
constexpr uint8_t kDeviceIdRegister = 0xFF;

// The charger's three setting registers and the arithmetic between their words and
// the values in mA and mV. No widgets, no bus, no Qt: the window's frames add their
// layout (chargeregisterframe.cpp), kv7320ctl its words.
struct ChargeRegister
{
    // kv7320ctl's name of the register, on its command line and as a JSON key. Scripts
    // depend on it: it never changes.
    const char *sKey;
    const char *sUnit;    // "mA" or "mV"
    const char *sWarning; // what both programs say above nWarnAbove
    uint8_t yCommand;
    int nLowBit; // value field: bits nLowBit..nHighBit
    int nHighBit;
    int nStep;          // weight of the lowest field bit, in units
    int nUnitsPerLsb;   // shown value = nUnitsPerLsb * (word AND field mask)
    int nLargest;       // largest field value, in units
    int nWarnAbove;     // Write: above this the warning shows
    int nWriteLowLimit; // Write: 0 < v < this gives nWriteLowResult
    int nWriteLowResult;

    constexpr uint16_t fieldMask() const
    {
        return static_cast<uint16_t>(((1u << (nHighBit + 1)) - 1) & ~((1u << nLowBit) - 1));
    }
    bool inField(int nBit) const { return nBit >= nLowBit && nBit <= nHighBit; }
    // Weight of field bit n in units.
    int bitWeight(int nBit) const { return nStep << (nBit - nLowBit); }
};

// clang-format off
// key, unit, warning; register, field bits, step, units per field LSB, largest value,
// warning above, Write's low limit and what a value below it becomes.
inline constexpr ChargeRegister kChargeCurrent = {"charge-current", "mA", "Set to 8.064 A Maximum",
                                       0x14, 7, 12, 128, 1, 8064, 8064, 128, 0};
inline constexpr ChargeRegister kChargeVoltage = {"charge-voltage", "mV", "Exceeds 19.2 V Limit",
                                       0x15, 4, 14, 16, 1, 32752, 19200, 1024, 0};
inline constexpr ChargeRegister kInputCurrent = {"input-current", "mA", "Exceeds 11.004 A Limit",
                                      0x3F, 7, 12, 256, 2, 16128, 11004, 256, 256};
// clang-format on
inline constexpr std::array<const ChargeRegister *, 3> kChargeRegisters = {
    &kChargeCurrent, &kChargeVoltage, &kInputCurrent};

// A value and whether its warning label shows.
struct NormalisedValue
{
    int nValue;
    bool bWarning;
    bool operator==(const NormalisedValue &o) const
    {
        return nValue == o.nValue && bWarning == o.bWarning;
    }
};

// The value the frame shows for a register word.
int displayedValue(const ChargeRegister &r, uint16_t nWord);
// A typed value as the Write button limits and rounds it.
NormalisedValue normaliseTyped(const ChargeRegister &r, int nValue);
// A value from the input-data file as a tick limits and rounds it.
NormalisedValue normaliseFromFile(const ChargeRegister &r, int nValue);
// The field bits a value sets, filled from the top bit down; what is left below the
// step is dropped. Only field bits can be set.
uint16_t fieldBitsFor(const ChargeRegister &r, int nValue);
// The word sent when the input-data file cannot be read: the last value read, limited
// and rounded as a good read does, as the field bits alone.
uint16_t recoveryWord(const ChargeRegister &r, int16_t nLastValue);
