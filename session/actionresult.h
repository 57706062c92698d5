#pragma once

#include <cstdint>
#include <string>

// What one register transfer that someone asked for came to: what was asked, the
// status with its text, and whether a value came of it to be shown. Every view tells a
// failure from this, the same way.
struct ActionResult
{
    bool bWrite = false;
    uint8_t yCommand = 0;
    uint16_t nWord = 0; // the word written, or the word read when the read worked
    int32_t nStatus = 0;

    bool ok() const { return nStatus == 0; }
    // A value to show: a read that worked.
    bool hasValue() const { return !bWrite && ok(); }
    // "status 1010 (the charger did not accept the register)".
    std::string statusText() const;
    // "Read of 3F failed: status 1001 (no adapter open)", "Write of 1234 to 0B failed:
    // status 1010 (...)"; empty when it worked.
    std::string failureText() const;
};

// Four upper-case hex digits of a word, two of a command: "0B", "1234".
std::string hexText(unsigned nValue, int nDigits);
