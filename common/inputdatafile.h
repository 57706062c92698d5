#pragma once

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

// The three numbers, or nothing when the file is missing, unreadable, malformed, or
// changed while it was being read (it is read twice and both reads must agree, so a
// value is never taken from a file half rewritten). Opened and closed within the call.
std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path);
