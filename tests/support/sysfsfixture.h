#pragma once

#include "memorytree.h"

#include <filesystem>
#include <stdexcept>
#include <string>

// A small sysfs and /dev in memory (root/sys and root/dev), laid out the way the kernel
// lays them out: devices under devices/, bus/i2c/devices/i2c-N as relative symlinks to
// them, "driver" and "subsystem" as symlinks into bus/<subsystem>/drivers. Building a
// tree it cannot build is a fault of the test, and throws.
class SysfsFixture
{
public:
    explicit SysfsFixture(std::filesystem::path root = "/")
        : m_root(std::move(root))
    {
        need(tree.makeDirectories(sys() / "bus" / "i2c" / "devices"), "bus/i2c/devices");
        need(tree.makeDirectories(dev()), "dev");
        m_pci = mkdir("devices/pci0000:00");
    }

    MemoryTree tree;

    std::filesystem::path sys() const { return m_root / "sys"; }
    std::filesystem::path dev() const { return m_root / "dev"; }

    // A device directory (relative to sys/), created with its parents.
    std::string mkdir(const std::string &rel)
    {
        need(tree.makeDirectories(sys() / rel), rel);
        return rel;
    }
    void write(const std::string &rel, const std::string &text)
    {
        need(tree.writeFile(sys() / rel, text + "\n"), rel);
    }
    // A relative symlink at rel pointing to target (both relative to sys/).
    void link(const std::string &rel, const std::string &target)
    {
        tree.remove(sys() / rel);
        need(tree.linkTo(sys() / rel, sys() / target), rel);
    }
    void bind(const std::string &device, const std::string &subsystem, const std::string &driver)
    {
        mkdir("bus/" + subsystem + "/drivers/" + driver);
        link(device + "/driver", "bus/" + subsystem + "/drivers/" + driver);
    }
    void subsystem(const std::string &device, const std::string &subsystem)
    {
        mkdir("bus/" + subsystem);
        link(device + "/subsystem", "bus/" + subsystem);
    }

    // A PCI function with a driver bound, e.g. the i801 SMBus or a graphics card.
    std::string pciDevice(const std::string &slot, const std::string &driver)
    {
        const std::string d = mkdir(m_pci + "/" + slot);
        subsystem(d, "pci");
        bind(d, "pci", driver);
        return d;
    }
    // A USB device at a port path below the xHCI root hub ("1-2", "1-4.3").
    std::string usbDevice(const std::string &port, const std::string &serial, int devnum)
    {
        const std::string hub = pciDevice("0000:00:14.0", "xhci_hcd") + "/usb1";
        mkdir(hub);
        std::string d = hub;
        // A port behind a hub nests below the hub's own device directory.
        for (size_t dot = port.find('.'); dot != std::string::npos; dot = port.find('.', dot + 1))
            d += "/" + port.substr(0, dot);
        d = mkdir(d + "/" + port);
        subsystem(d, "usb");
        bind(d, "usb", "usb");
        write(d + "/devnum", std::to_string(devnum));
        write(d + "/busnum", "1");
        if (!serial.empty())
            write(d + "/serial", serial);
        return d;
    }
    std::string usbInterface(const std::string &usbDev, int number, const std::string &driver)
    {
        const std::string name = usbDev.substr(usbDev.rfind('/') + 1);
        const std::string d = mkdir(usbDev + "/" + name + ":1." + std::to_string(number));
        subsystem(d, "usb");
        bind(d, "usb", driver);
        write(d + "/bInterfaceNumber", "0" + std::to_string(number));
        return d;
    }
    // A HID device below an interface, bound to driver (cp2112, mcp2221, ft260...).
    std::string hidDevice(const std::string &interface, const std::string &id,
                          const std::string &driver)
    {
        const std::string d = mkdir(interface + "/" + id);
        subsystem(d, "hid");
        bind(d, "hid", driver);
        return d;
    }
    // An i2c adapter i2c-N below parent (or below devices/ when parent is empty), with
    // its bus/i2c entry and, unless told otherwise, its /dev node.
    void i2cBus(int n, const std::string &parent, const std::string &name, bool node = true)
    {
        const std::string bus = "i2c-" + std::to_string(n);
        const std::string d = mkdir((parent.empty() ? "devices" : parent) + "/" + bus);
        subsystem(d, "i2c");
        write(d + "/name", name);
        link("bus/i2c/devices/" + bus, d);
        if (node)
            need(tree.writeFile(dev() / bus, std::string(1, '\0')), bus);
    }
    // Takes i2c-N out of sysfs and /dev, as an unplug does.
    void removeBus(int n, const std::string &deviceToRemove)
    {
        const std::string bus = "i2c-" + std::to_string(n);
        tree.remove(sys() / "bus/i2c/devices" / bus);
        tree.remove(dev() / bus);
        tree.removeAll(sys() / deviceToRemove);
    }

    // The three HID bridges, each with its usual topology.
    std::string addCp2112(int bus, const std::string &port = "1-2",
                          const std::string &serial = "0012A3F4", int devnum = 5,
                          const std::string &hidId = "0003:10C4:EA90.0004")
    {
        const std::string u = usbDevice(port, serial, devnum);
        const std::string h = hidDevice(usbInterface(u, 0, "usbhid"), hidId, "cp2112");
        i2cBus(bus, h, "CP2112 SMBus Bridge on hidraw0");
        return u;
    }
    std::string addMcp2221(int bus)
    {
        const std::string u = usbDevice("1-3", "", 6);
        usbInterface(u, 0, "cdc_acm");
        const std::string h =
            hidDevice(usbInterface(u, 2, "usbhid"), "0003:04D8:00DD.0005", "mcp2221");
        i2cBus(bus, h, "MCP2221 usb-i2c bridge");
        return u;
    }
    std::string addFt260(int bus)
    {
        const std::string u = usbDevice("1-4.3", "FT5VX2K1", 7);
        const std::string h =
            hidDevice(usbInterface(u, 0, "usbhid"), "0003:0403:6030.0007", "ft260");
        i2cBus(bus, h, "FT260 usb-i2c bridge");
        return u;
    }

private:
    static void need(bool done, const std::string &what)
    {
        if (!done)
            throw std::logic_error("the test's sysfs cannot hold " + what);
    }

    std::filesystem::path m_root;
    std::string m_pci;
};
