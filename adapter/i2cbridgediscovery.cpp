#include "i2cbridgediscovery.h"

#include "devicefiles.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {
// Bridge drivers bind either to the USB interface itself (i2c-tiny-usb, dln2, ljca,
// i2c-diolan-u2c) or to a HID device below it (cp2112, mcp2221, ft260); the i2c cells
// of dln2 and ljca are listed by their module names as well.
constexpr std::string_view kBridgeDrivers[] = {
    "cp2112",   "mcp2221",        "ft260", "i2c-tiny-usb", "dln2",
    "i2c-dln2", "i2c-diolan-u2c", "ljca",  "i2c-ljca",
};

// The HID bridge drivers that add their i2c bus first and a GPIO chip last in their
// probe; until the chip is there, they drop the bridge's answers (hid-mcp2221 on Linux
// 6.1 sends its probe commands before it may receive, and waits out a 4 s time-out on
// each: its bus appears after about 8 s, the GPIO chip about 16 s later).
constexpr std::string_view kGpioChipLastDrivers[] = {"cp2112", "mcp2221"};

// Whether the driver bound to dir is still in its probe: a GPIO chip driver without its
// chip, on a kernel with GPIO support (bus/gpio).
bool driverStarting(DeviceFiles &files, const std::string &root, const std::string &dir,
                    const std::string &driver)
{
    if (std::find(std::begin(kGpioChipLastDrivers), std::end(kGpioChipLastDrivers), driver) ==
        std::end(kGpioChipLastDrivers))
        return false;
    if (!files.isDirectory(root + "/bus/gpio"))
        return false;
    for (const std::string &name : files.list(dir))
        if (name.rfind("gpiochip", 0) == 0)
            return false;
    return true;
}

std::string readAttribute(DeviceFiles &files, const std::string &file)
{
    std::string text = files.readLine(file);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

// What follows the last "/" of a path: a name, or "" after a "/" at the end.
std::string lastName(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

// The folder holding a canonical path ("/" holds itself).
std::string parentOf(const std::string &path)
{
    const size_t cut = path.rfind('/');
    return cut == 0 || cut == std::string::npos ? "/" : path.substr(0, cut);
}

// Whether a canonical path lies below the canonical folder dir.
bool isBelow(const std::string &path, const std::string &dir)
{
    if (dir == "/")
        return path.size() > 1 && path[0] == '/';
    return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
           path[dir.size()] == '/';
}

// The basename of a symlink's target ("driver", "subsystem"), empty when absent.
std::string linkBasename(DeviceFiles &files, const std::string &link)
{
    return lastName(files.readLink(link));
}

bool isUsbInterface(DeviceFiles &files, const std::string &dir)
{
    return linkBasename(files, dir + "/subsystem") == "usb" &&
           files.exists(dir + "/bInterfaceNumber");
}

// A name that fits the comma-separated list and one line.
std::string listable(std::string text)
{
    for (char &c : text)
        if (c == ',' || std::iscntrl(static_cast<unsigned char>(c)))
            c = '_';
    return text;
}

std::optional<int> busNumberOf(const std::string &entry)
{
    constexpr std::string_view prefix = "i2c-";
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const std::string digits = entry.substr(prefix.size());
    // The kernel writes bus numbers without leading zeros: "i2c-03" is not bus 3.
    if (digits.size() > 6 || (digits.size() > 1 && digits[0] == '0') ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoi(digits);
}

// Walks from the bus's own sysfs directory up towards <root>/devices.
std::optional<I2cBridge> inspectBus(DeviceFiles &files, const I2cDiscoveryOptions &options,
                                    const std::string &devicesDir, const std::string &entry,
                                    int bus)
{
    const std::string &root = options.sysfsRoot;
    const std::string busDir = files.canonical(entry);
    if (!isBelow(busDir, devicesDir))
        return std::nullopt; // gone, or not a device below <root>/devices

    std::string driver;
    std::string driverDir;
    for (std::string dir = busDir; dir != devicesDir; dir = parentOf(dir)) {
        if (driver.empty()) {
            const std::string bound = linkBasename(files, dir + "/driver");
            if (isBridgeDriver(bound)) {
                driver = bound;
                driverDir = dir;
            }
        }
        if (!isUsbInterface(files, dir))
            continue;
        if (driver.empty())
            return std::nullopt; // on USB, but not a bridge we know (a TV tuner, say)
        const std::string usbDevice = parentOf(dir);
        I2cBridge bridge;
        bridge.busNumber = bus;
        bridge.driver = driver;
        bridge.usbPort = lastName(usbDevice);
        // While a driver below it binds, the kernel holds the USB device's lock, and
        // reading its serial number waits for that lock (16 s for an MCP2221 on 6.1):
        // a bridge still starting is named by its port alone. The same lock is held
        // while the device is removed: the bridge this process holds keeps the serial
        // it was opened with (see I2cDiscoveryOptions::held).
        bridge.starting = driverStarting(files, root, driverDir, driver);
        bridge.instance = busDir + "#" + readAttribute(files, usbDevice + "/devnum");
        if (options.held && options.held->instance == bridge.instance)
            bridge.serial = options.held->serial;
        else if (!bridge.starting)
            bridge.serial = readAttribute(files, usbDevice + "/serial");
        bridge.name = listable(driver + " at USB " + bridge.usbPort +
                               (bridge.serial.empty() ? "" : " serial " + bridge.serial));
        return bridge;
    }
    if (!options.acceptNonUsbBuses)
        return std::nullopt;
    I2cBridge plain;
    plain.busNumber = bus;
    plain.instance = busDir;
    plain.name =
        listable("i2c-" + std::to_string(bus) + " " + readAttribute(files, busDir + "/name"));
    return plain;
}
} // namespace

bool I2cBridge::sameBridge(const I2cBridge &other) const
{
    if (driver != other.driver)
        return false;
    if (driver.empty()) // a non-USB bus has nothing but its number
        return busNumber == other.busNumber;
    if (!serial.empty() && !other.serial.empty())
        return serial == other.serial;
    return usbPort == other.usbPort;
}

bool isBridgeDriver(std::string_view driver)
{
    return std::find(std::begin(kBridgeDrivers), std::end(kBridgeDrivers), driver) !=
           std::end(kBridgeDrivers);
}

std::vector<I2cBridge> discoverI2cBridges(const I2cDiscoveryOptions &options)
{
    std::vector<I2cBridge> bridges;
    try {
        DeviceFiles &files = options.files ? *options.files : DeviceFiles::system();
        const std::string devicesDir = files.canonical(options.sysfsRoot + "/devices");
        if (devicesDir.empty())
            return bridges;
        const std::string busesDir = options.sysfsRoot + "/bus/i2c/devices";
        for (const std::string &entry : files.list(busesDir)) {
            const std::optional<int> bus = busNumberOf(entry);
            if (!bus)
                continue; // a client such as "3-0050"
            if (auto bridge = inspectBus(files, options, devicesDir, busesDir + "/" + entry, *bus))
                bridges.push_back(std::move(*bridge));
        }
        std::sort(bridges.begin(), bridges.end(),
                  [](const I2cBridge &a, const I2cBridge &b) { return a.busNumber < b.busNumber; });
    } catch (...) {
        bridges.clear();
    }
    return bridges;
}
