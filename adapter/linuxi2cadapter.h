#pragma once

#include "adaptercontrol.h"
#include "busstatus.h"
#include "clock.h"
#include "i2cbridgediscovery.h"

#include <vector>

class DeviceFiles;
class I2cDevSyscalls;

// The adapter for a USB-to-I2C bridge driven through the kernel's i2c-dev
// (/dev/i2c-N). It lists and opens allow-listed bridges only, does SMBus word reads
// and writes with I2C_SMBUS, and never takes an address away from a kernel driver
// (I2C_SLAVE, not I2C_SLAVE_FORCE).
//
// Several boards: an open bridge is held with an exclusive advisory lock on its node,
// so AdapterFindDevices lists only the bridges no other copy of the program holds,
// and a second copy opens the second bridge.
//
// Unplug: after a failed transfer it looks whether its bridge is still in sysfs and
// /dev with the same instance. If not, it closes the node (which also lets the
// kernel finish removing the bus) and, at a later transfer, reopens the same bridge
// (same serial or USB port) on whatever bus number it came back on.
//
// A bridge whose driver is still binding (an MCP2221 on Linux 6.1 for about 25 s) is
// neither listed as free nor opened: opening, and transfers of a bridge waiting to be
// reopened, fail at once with BusStatus::kBridgeStarting instead of timing out in the driver.
//
// A bridge that stops answering: its driver waits for a USB reply (i2c-tiny-usb and
// the HID bridges 1 to 2 s) before a transfer fails. The guard:
//  - a failed transfer that took kStallThresholdMs or more is a stall; so are the
//    failures of one action (see BusAction) that add up to kActionFailureBudgetMs, as
//    a bridge failing slowly each time would otherwise block for seconds;
//  - while stalled, transfers fail at once with BusStatus::kNotAnswering, except the first
//    transfer of a user's action and one transfer at each probe time: kStallProbeMs
//    after the stall, then twice that each time it still fails, up to kStallProbeMaxMs;
//  - any answer that is not itself a stall ends it: a success (even a slow one), or a
//    quick refusal. Only a success starts the back-off afresh.
// So one action or tick spends at most about one driver time-out on failures.
//
// Statuses: a kernel error gives its errno value; the others are our own, from
// busstatus.h. Nothing throws.
class LinuxI2cAdapter : public AdapterControl
{
public:
    // A failed transfer that took at least this long means the bridge did not answer.
    static constexpr int64_t kStallThresholdMs = 500;
    static constexpr int64_t kStallProbeMs = 5000;
    static constexpr int64_t kStallProbeMaxMs = 60000;
    static constexpr int64_t kActionFailureBudgetMs = 1500;

    struct Options
    {
        // sysfs root and where sysfs and /dev are read; non-USB buses for the kernel test only
        I2cDiscoveryOptions discovery;
        std::string devDir = "/dev";
        // When set, only the bridge with this listed name, serial number or USB port.
        std::string bridge;
    };

    // What a bridge is to this program right now.
    enum class BridgeState {
        Free,
        OpenHere,
        InUse,
        NoPermission,
        NoWordTransfers,
        Starting, // its driver is still binding (I2cBridge::starting)
        Unusable
    };
    struct BridgeListing
    {
        I2cBridge bridge;
        BridgeState state = BridgeState::Unusable;
        int error = 0;    // errno for NoPermission and Unusable
        std::string node; // /dev/i2c-N
        // "cp2112 at USB 1-2 serial 0012A3F4: free (/dev/i2c-3)"
        std::string describe() const;
        // What the state means here, for people: "in use by another program".
        std::string stateText() const;
    };
    // The state as one word for scripts: "free", "in-use", ...
    static const char *stateKey(BridgeState state);

    // The real sysfs, /dev and kernel.
    LinuxI2cAdapter();
    // syscalls defaults to the real kernel, clock to the real one (how long a transfer
    // took tells a bridge that did not answer from a chip that refused); both must
    // outlive the adapter.
    explicit LinuxI2cAdapter(Options options, I2cDevSyscalls *syscalls = nullptr,
                             const Clock *clock = nullptr);
    ~LinuxI2cAdapter() override;
    LinuxI2cAdapter(const LinuxI2cAdapter &) = delete;
    LinuxI2cAdapter &operator=(const LinuxI2cAdapter &) = delete;

    void beginAction(BusAction kind) override;
    int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterOpen(std::string &sName) override;
    int16_t AdapterClose() override;
    // Lists the bridges that are free: not held by another program, openable, with
    // SMBus words.
    int16_t AdapterFindDevices(int32_t nOne, int32_t &nCount, std::string &sNames) override;
    int16_t AdapterWriteCheck() override;

    // Every bridge the options allow, with its state (each node is opened and closed
    // again to find out).
    std::vector<BridgeListing> listBridges();

    // The bus number of the open node, -1 when none is open (tests and diagnostics).
    int openBusNumber() const { return m_fd >= 0 ? m_bridge.busNumber : -1; }

    // A kernel errno as a status.
    static int16_t errnoStatus(int error);

private:
    // The discovery options, holding the open bridge back from a serial read.
    I2cDiscoveryOptions discoveryOptions() const;
    std::vector<I2cBridge> selectedBridges() const;
    int16_t openBridge(const I2cBridge &bridge);
    void closeNode();
    int16_t ensureOpen();
    int16_t wordTransfer(bool read, int16_t nCommand, uint16_t &word, int16_t nAddress);
    int16_t stallGate();
    void noteTransferTime(bool failed, int64_t startMs);
    bool bridgeStillThere();
    std::string nodePath(int bus) const;
    DeviceFiles &files() const;

    Options m_options;
    I2cDevSyscalls &m_sys;
    const Clock &m_clock;
    I2cBridge m_bridge; // the bridge AdapterOpen chose
    bool m_haveBridge = false;
    int m_fd = -1;
    int m_address = -1; // 7-bit address last set with I2C_SLAVE on m_fd
    int16_t m_lastWriteStatus = BusStatus::kNoWriteYet;
    bool m_stalled = false;        // the bridge did not answer the last transfer it was sent
    int64_t m_probeIntervalMs = 0; // 0 until a stall; back to 0 at a success
    int64_t m_nextProbeMs = 0;
    int64_t m_actionFailedMs = 0; // what this action's failures took
    bool m_userAsks = false;      // a user's action that has not reached the bridge yet
};
