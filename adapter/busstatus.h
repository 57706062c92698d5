#pragma once

#include <cstdint>
#include <string>

// The one vocabulary of transfer statuses, whatever the backend. 0 is success. Every
// other number has one meaning:
//   1 to 999     a Linux kernel error number, handed on by the i2c-dev backend as the
//                driver returned it (ENXIO: no answer at the address, ETIMEDOUT: a
//                time-out, which is also how a CP2112 reports a NAK, ...);
//   1001 and up  the program's own, below; the simulated charger uses these and the
//                kernel's ENXIO for a charger that does not answer, as a bridge would.
namespace BusStatus {
constexpr int32_t kOk = 0;

constexpr int32_t kNotOpen = 1001;         // no adapter is open
constexpr int32_t kNoSuchAdapter = 1002;   // open: no adapter of that name
constexpr int32_t kNoWordTransfers = 1003; // the bus lacks SMBus word read and write
constexpr int32_t kBridgeGone = 1004;      // unplugged and not back yet
constexpr int32_t kNotSupported = 1005;    // byte and HDQ operations
constexpr int32_t kNoWriteYet = 1006;      // write check before any write
constexpr int32_t kInternal = 1007;        // an unexpected failure inside the backend
constexpr int32_t kInUse = 1008;           // another program holds the bridge
constexpr int32_t kNotAnswering = 1009;    // the bridge timed out; not asked again yet
constexpr int32_t kRegisterRefused = 1010; // the charger refused the register
constexpr int32_t kInjectedFault = 1011;   // a fault a test told the simulator to make
constexpr int32_t kAdapterFault = 1012;    // the adapter raised an error instead of a status
constexpr int32_t kNotAByte = 1013;        // a byte read gave a value that is not a byte
constexpr int32_t kUnplugged = 1014;       // the simulated charger is unplugged
constexpr int32_t kBridgeStarting = 1015;  // the bridge's driver has not finished binding

// The kernel's "no such device or address" (ENXIO on Linux): nothing acknowledged the
// address. The simulated charger gives it for any address but its own.
constexpr int32_t kNoAcknowledge = 6;

// A short text for people: "the charger did not accept the register". Never empty;
// an unknown number says so with its number.
std::string text(int32_t status);
// "status 1010 (the charger did not accept the register)".
std::string describe(int32_t status);
} // namespace BusStatus
