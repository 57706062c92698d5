#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The input-data file another program rewrites to steer the charger:
// "kv7320InputData.txt" beside the executable, three decimal numbers (charge current
// mA, charge voltage mV, input current mA). Only the start of the file is read, so a
// file of any size costs no more than a small one.
constexpr const char *kInputDataFileName = "kv7320InputData.txt";
constexpr int kInputDataHeadBytes = 4096;

// A file modified this recently may be in the middle of being rewritten.
constexpr int kInputDataQuietMs = 10;

// The three numbers, or nothing when the file is missing, not a regular file (a named
// pipe or a device is never opened in a way that could wait), unreadable or malformed,
// or may be half rewritten: modified within the last kInputDataQuietMs by this
// machine's clock, or changed while it was read (its contents between two reads, or
// its size, modification time or identity). A number cut by the end of the head is
// never taken. Opened and closed within the call.
std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path);

// The three numbers at the start of the input-data file (charge current, charge
// voltage, input current): decimal whole numbers that fit 16 bits, leading zeros
// allowed, each with blanks and an optional sign before it, separated by commas or
// line ends; a UTF-8 byte-order mark at the start is skipped. Whatever follows the
// third number's digits is ignored. bWholeFile says whether head is the whole file: if
// not, a number whose digits reach the end of head may be cut and is refused. Nothing
// unless all three are there and valid.
std::optional<std::array<int16_t, 3>> parseInputData(const QByteArray &head,
                                                     bool bWholeFile = true);
