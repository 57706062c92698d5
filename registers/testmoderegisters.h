#pragma once

#include <array>
#include <cstdint>

// The six registers of the Test Mode screen: the test-mode registers 0x00 to 0x02, and
// the trim registers 0x08 to 0x0A, each with a read-only copy (0x0B to 0x0D) that a bank
// choice lets Read read. Write always writes yCommand.
struct TestModeRegister
{
    uint8_t yCommand;
    uint8_t yReadOnlyCommand; // 0: none
    bool hasBanks() const { return yReadOnlyCommand != 0; }
};

inline constexpr std::array<TestModeRegister, 6> kTestModeRegisters = {{
    {0x00, 0},
    {0x01, 0},
    {0x02, 0},
    {0x08, 0x0B},
    {0x09, 0x0C},
    {0x0A, 0x0D},
}};
