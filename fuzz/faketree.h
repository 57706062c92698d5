#pragma once

#include "support/memorytree.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>

// A small sysfs and /dev in memory (/sys and /dev), built from a script of lines:
//   d PATH            a directory (with its parents)
//   f PATH TEXT       a file holding TEXT and a line end
//   l PATH TARGET     a symbolic link to TARGET, both relative to sys/; the link holds
//                     the relative way from its folder, as the kernel's do
//   n N               the node dev/i2c-N
//   u N               takes away bus/i2c/devices/i2c-N and dev/i2c-N (an unplug)
// PATH and TARGET never hold "." or "..", so every link stays inside sys/. Lines that
// break the rules, or fail, are skipped.
class FakeTree
{
public:
    FakeTree() { reset(); }

    MemoryTree files;

    static std::string sys() { return "/sys"; }
    static std::string dev() { return "/dev"; }

    void reset()
    {
        files.clear();
        files.makeDirectories("/sys/bus/i2c/devices");
        files.makeDirectories("/dev");
    }

    void run(const std::string &script, int maxLines = 200)
    {
        std::istringstream lines(script);
        std::string line;
        for (int n = 0; n < maxLines && std::getline(lines, line); ++n)
            apply(line);
    }

    void apply(const std::string &line)
    {
        if (line.size() < 3 || line[1] != ' ')
            return;
        const std::string_view rest = std::string_view(line).substr(2);
        const size_t space = rest.find(' ');
        const std::string_view path = rest.substr(0, space);
        const std::string_view arg =
            space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        const std::string at = join("/sys/", path);
        switch (line[0]) {
        case 'd':
            if (safe(path))
                files.makeDirectories(at);
            break;
        case 'f':
            if (safe(path)) {
                files.makeDirectories(at.substr(0, at.rfind('/')));
                files.writeFile(at, join(arg, "\n"));
            }
            break;
        case 'l':
            if (safe(path) && safe(arg)) {
                files.makeDirectories(at.substr(0, at.rfind('/')));
                files.linkTo(at, join("/sys/", arg));
            }
            break;
        case 'n':
            if (isNumber(path))
                files.writeFile(join("/dev/i2c-", path), std::string(1, '\0'));
            break;
        case 'u':
            if (isNumber(path)) {
                files.remove(join("/sys/bus/i2c/devices/i2c-", path));
                files.remove(join("/dev/i2c-", path));
            }
            break;
        default:
            break;
        }
    }

private:
    static std::string join(std::string_view a, std::string_view b)
    {
        std::string joined;
        joined.reserve(a.size() + b.size());
        return joined.append(a).append(b);
    }
    static bool isNumber(std::string_view s)
    {
        return !s.empty() && s.size() < 6 &&
               s.find_first_not_of("0123456789") == std::string_view::npos;
    }
    // Not empty, not absolute, no "." or ".." between its slashes.
    static bool safe(std::string_view p)
    {
        if (p.empty() || p.size() > 300 || p[0] == '/' || p.find('\0') != std::string_view::npos)
            return false;
        for (size_t from = 0; from <= p.size();) {
            const size_t to = std::min(p.find('/', from), p.size());
            const std::string_view part = p.substr(from, to - from);
            if (part == "." || part == "..")
                return false;
            from = to + 1;
        }
        return true;
    }
};

// A machine with the motherboard's SMBus on i2c-0 and a CP2112 bridge on i2c-3.
inline const char *kCp2112Script =
    "d devices/pci0000:00/0000:00:1f.4/i2c-0\n"
    "f devices/pci0000:00/0000:00:1f.4/i2c-0/name SMBus I801 adapter at efa0\n"
    "l devices/pci0000:00/0000:00:1f.4/i2c-0/subsystem bus/i2c\n"
    "d bus/pci/drivers/i801_smbus\n"
    "l devices/pci0000:00/0000:00:1f.4/subsystem bus/pci\n"
    "l devices/pci0000:00/0000:00:1f.4/driver bus/pci/drivers/i801_smbus\n"
    "l bus/i2c/devices/i2c-0 devices/pci0000:00/0000:00:1f.4/i2c-0\n"
    "n 0\n"
    "d bus/usb/drivers/usb\n"
    "d bus/usb/drivers/usbhid\n"
    "d bus/hid/drivers/cp2112\n"
    "d devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/i2c-3\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/subsystem bus/usb\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/driver bus/usb/drivers/usb\n"
    "f devices/pci0000:00/0000:00:14.0/usb1/1-2/devnum 5\n"
    "f devices/pci0000:00/0000:00:14.0/usb1/1-2/busnum 1\n"
    "f devices/pci0000:00/0000:00:14.0/usb1/1-2/serial 0012A3F4\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/subsystem bus/usb\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/driver bus/usb/drivers/usbhid\n"
    "f devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/bInterfaceNumber 00\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/subsystem bus/hid\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/driver "
    "bus/hid/drivers/cp2112\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/i2c-3/subsystem "
    "bus/i2c\n"
    "f devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/i2c-3/name CP2112 "
    "SMBus Bridge on hidraw0\n"
    "l bus/i2c/devices/i2c-3 "
    "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/i2c-3\n"
    "n 3\n";
