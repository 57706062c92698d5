#pragma once

#include "adaptercontrol.h"
#include "i2cbridgediscovery.h"

class I2cDevSyscalls;

// The adapter for a USB-to-I2C bridge driven through the kernel's i2c-dev
// (/dev/i2c-N). It lists and opens allow-listed bridges only, does SMBus word reads
// and writes with I2C_SMBUS, and never takes an address away from a kernel driver
// (I2C_SLAVE, not I2C_SLAVE_FORCE).
//
// Unplug: after a failed transfer it looks whether its bridge is still in sysfs and
// /dev with the same instance. If not, it closes the node (which also lets the
// kernel finish removing the bus) and, at a later transfer, reopens the same bridge
// (same serial or USB port) on whatever bus number it came back on.
//
// Statuses: a kernel error gives its errno value; the kStatus values below are our
// own. Nothing throws.
class LinuxI2cAdapter : public AdapterControl
{
public:
    static constexpr int16_t kStatusNotOpen = 1001;
    static constexpr int16_t kStatusNoSuchAdapter = 1002;   // AdapterOpen: name not listed
    static constexpr int16_t kStatusNoWordTransfers = 1003; // bus lacks SMBus word read/write
    static constexpr int16_t kStatusBridgeGone = 1004;      // unplugged and not back yet
    static constexpr int16_t kStatusNotOnThisBus = 1005;    // byte and HDQ operations
    static constexpr int16_t kStatusNoWriteYet = 1006;      // AdapterWriteCheck before a write
    static constexpr int16_t kStatusInternal = 1007;        // an unexpected failure inside

    struct Options
    {
        I2cDiscoveryOptions discovery; // sysfs root; non-USB buses for the kernel test only
        std::string devDir = "/dev";
    };

    // The real sysfs, /dev and kernel.
    LinuxI2cAdapter();
    // syscalls defaults to the real kernel; it must outlive the adapter.
    explicit LinuxI2cAdapter(Options options, I2cDevSyscalls *syscalls = nullptr);
    ~LinuxI2cAdapter() override;
    LinuxI2cAdapter(const LinuxI2cAdapter &) = delete;
    LinuxI2cAdapter &operator=(const LinuxI2cAdapter &) = delete;

    int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress) override;
    int16_t AdapterOpen(std::string &sName) override;
    int16_t AdapterClose() override;
    int16_t AdapterFindDevices(int32_t nOne, int32_t &nCount, std::string &sNames) override;
    int16_t AdapterByteTransfer(int32_t nMode, int16_t &nAddress, int16_t &nRegister,
                                int16_t &nData) override;
    int16_t AdapterWriteCheck() override;
    int16_t AdapterHdqWrite(int32_t nOne, int16_t &nCommand, int16_t &nData) override;
    int16_t AdapterHdqRead(int32_t nOne, int16_t &nCommand, int16_t &nData) override;

    // The bus number of the open node, -1 when none is open (tests and diagnostics).
    int openBusNumber() const { return m_fd >= 0 ? m_bridge.busNumber : -1; }

    // A kernel errno as a status.
    static int16_t errnoStatus(int error);

private:
    int16_t openBridge(const I2cBridge &bridge);
    void closeNode();
    int16_t ensureOpen();
    int16_t wordTransfer(bool read, int16_t nCommand, uint16_t &word, int16_t nAddress);
    bool bridgeStillThere();
    std::string nodePath(int bus) const;

    Options m_options;
    I2cDevSyscalls &m_sys;
    I2cBridge m_bridge;       // the bridge AdapterOpen chose
    bool m_haveBridge = false;
    int m_fd = -1;
    int m_address = -1;       // 7-bit address last set with I2C_SLAVE on m_fd
    int16_t m_lastWriteStatus = kStatusNoWriteYet;
};
