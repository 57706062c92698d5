#pragma once

#include <string>
#include <string_view>
#include <vector>

// One i2c bus the Linux backend may open: a USB-to-I2C bridge found in sysfs.
struct I2cBridge
{
    int busNumber = -1;   // N of /dev/i2c-N; may change when the bridge is replugged
    std::string driver;   // the allow-listed driver on the way to the USB interface
    std::string usbPort;  // the USB device's port path, e.g. "1-2" or "3-1.4"
    std::string serial;   // the USB device's serial number, empty when it has none
    std::string instance; // changes on every replug (resolved sysfs path and USB devnum)
    std::string name;     // what AdapterFindDevices lists; never contains a comma
    // Its driver has made the bus but has not finished binding: transfers would only
    // time out (hid-mcp2221 on Linux 6.1 takes about 16 s after the bus appears). Its
    // serial is left empty then: reading it would wait for the binding to end.
    bool starting = false;

    // Whether two entries are the same physical bridge: same driver and, when both
    // have a serial number, the same serial, else the same USB port path.
    bool sameBridge(const I2cBridge &other) const;
};

class DeviceFiles;

struct I2cDiscoveryOptions
{
    std::string sysfsRoot = "/sys";
    // Where sysfs and /dev are read (the backend's node checks too); nullptr: the real
    // file system. It must outlive every use of the options.
    DeviceFiles *files = nullptr;
    // Also list buses that are not on USB (by bus number and adapter name). Only the
    // kernel test sets it, to reach i2c-stub; the program never does.
    bool acceptNonUsbBuses = false;
    // The bridge this process holds open, if any: its serial number is taken from here,
    // never read again. While the kernel removes an unplugged USB device it holds the
    // device's lock, which reading the serial waits for, and the removal of the bridge's
    // bus waits until its node is closed: a read from the process holding the node would
    // never return (the kernel test saw it hang a run).
    const I2cBridge *held = nullptr;
};

// Whether a kernel driver name is one of the USB-to-I2C bridge drivers we drive.
bool isBridgeDriver(std::string_view driver);

// The i2c buses under <sysfsRoot>/bus/i2c/devices whose sysfs ancestry passes through
// a USB interface with an allow-listed driver bound at or below it, sorted by bus
// number. Motherboard SMBus, display buses, USB TV tuners and virtual buses are left
// out. Never throws; an unreadable tree gives an empty list.
std::vector<I2cBridge> discoverI2cBridges(const I2cDiscoveryOptions &options);
