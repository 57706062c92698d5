#pragma once

#include <array>
#include <cstdint>

// The charger's three setting registers and the arithmetic between their words and
// the values shown in mA and mV. Pure: no widgets, no bus.
struct ChargeRegister
{
    const char *sName;      // control names: "txt" + sName, "chk" + sName + "(n)", ...
    const char *sLabel;     // for tooltips and accessible names: "Charge current"
    const char *sCaption;   // frame caption
    const char *sUnit;      // "mA" or "mV"
    const char *sWarning;   // warning label text
    const char *sWarningName; // warning label's control name
    uint8_t yCommand;
    int nLowBit;            // value field: bits nLowBit..nHighBit
    int nHighBit;
    int nStep;              // weight of the lowest field bit, in units
    int nUnitsPerLsb;       // shown value = nUnitsPerLsb * (word AND field mask)
    int nLargest;           // largest field value, in units
    int nWarnAbove;         // Write: above this the warning shows
    int nWriteLowLimit;     // Write: 0 < v < this gives nWriteLowResult
    int nWriteLowResult;
    int nMaxLength;         // longest value text
    int nTop;               // frame top inside the screen, twips
    int nUnitTop;           // unit label top inside the frame, twips
    int nWarningHeight;     // twips
    bool bWarningHiddenAfterFailedRead;

    uint16_t fieldMask() const;
    bool inField(int nBit) const { return nBit >= nLowBit && nBit <= nHighBit; }
    // Weight of field bit n in units.
    int bitWeight(int nBit) const { return nStep << (nBit - nLowBit); }
};

extern const ChargeRegister kChargeCurrent;
extern const ChargeRegister kChargeVoltage;
extern const ChargeRegister kInputCurrent;
extern const std::array<const ChargeRegister *, 3> kChargeRegisters;

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
