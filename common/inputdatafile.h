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

// The three numbers, or nothing when the file is missing, unreadable or malformed, or
// may be half rewritten: modified within the last kInputDataQuietMs, or different
// between two reads. So a value is never taken from a file another program is still
// writing (a prefix of the new text, or new text over the tail of the old). Opened and
// closed within the call.
std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path);

// The three numbers at the start of the input-data file (charge current, charge
// voltage, input current): decimal whole numbers that fit 16 bits, each with blanks
// and an optional sign before it, separated by commas or line ends. Anything after
// the third number is ignored. Nothing unless all three are there and valid.
std::optional<std::array<int16_t, 3>> parseInputData(const QByteArray &head);
