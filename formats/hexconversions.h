#pragma once

#include <QString>

#include <cstdint>

// Hexadecimal text of a number: upper case, no prefix, at least two digits
// (5 -> "05", 171 -> "AB", 256 -> "100").
QString HexByteText(int32_t nValue);

// The value of the leading hexadecimal digits of a text, in either case, up to the
// first other character; no leading digit gives 0. Up to four digits read as a signed
// 16-bit number (8000..FFFF are negative), five to eight as a signed 32-bit number;
// more than eight do not fit and give 0.
int32_t HexTextValue(const QString &sText);

// 0..255 for a text of at most two hexadecimal digits (the empty text gives 0),
// else -1.
int16_t ParseHexByte(const QString &sText);

// High and low byte of a word written as 1 to 4 hexadecimal digits, right-aligned.
// Returns 0 when every part is valid, else 1; a part that is not valid sets its
// output to 0. An empty or over-long text changes neither output.
int16_t ParseHexWord(const QString &sText, int16_t &nHigh, int16_t &nLow);

// Key filters for typed characters: the key code when it passes, else 0 (dropped).
constexpr int16_t kKeyBackspace = 8;
constexpr int16_t kKeyEnter = 13;
int16_t FilterHexKey(int16_t nKey);
int16_t FilterDecimalKey(int16_t nKey);
