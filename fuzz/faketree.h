#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

// Where fuzzers keep their files: memory (/dev/shm) when there is one, since a run
// makes thousands of files and a disk's metadata writes would dominate it.
inline std::filesystem::path fuzzTempFolder()
{
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path(ec);
}

// A folder of this process's own, removed at exit.
struct ScratchFolder
{
    std::filesystem::path path;
    explicit ScratchFolder(const std::string &name)
        : path(fuzzTempFolder() / (name + "-" + std::to_string(::getpid())))
    {
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// A small sysfs and /dev under a temporary folder, built from a script of lines:
//   d PATH            a directory (with its parents)
//   f PATH TEXT       a file holding TEXT and a line end
//   l PATH TARGET     a symbolic link to TARGET, both relative to sys/; the link holds
//                     the relative way from its folder, as the kernel's do
//   n N               the node dev/i2c-N
//   u N               takes away bus/i2c/devices/i2c-N and dev/i2c-N (an unplug)
// PATH and TARGET never hold "..", so every link, followed from where it really lies,
// stays inside sys/: nothing outside the folder is ever read or written. Lines that
// break the rules, or fail, are skipped.
class FakeTree
{
public:
    explicit FakeTree(std::filesystem::path root) : m_root(std::move(root)) {}

    std::filesystem::path sys() const { return m_root / "sys"; }
    std::filesystem::path dev() const { return m_root / "dev"; }

    void reset()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
        std::filesystem::create_directories(sys() / "bus" / "i2c" / "devices", ec);
        std::filesystem::create_directories(dev(), ec);
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
        const std::string rest = line.substr(2);
        const size_t space = rest.find(' ');
        const std::string path = rest.substr(0, space);
        const std::string arg = space == std::string::npos ? std::string() : rest.substr(space + 1);
        std::error_code ec;
        switch (line[0]) {
        case 'd':
            if (safe(path) && inside(sys() / path))
                std::filesystem::create_directories(sys() / path, ec);
            break;
        case 'f':
            if (safe(path) && inside(sys() / path)) {
                std::filesystem::create_directories((sys() / path).parent_path(), ec);
                std::ofstream(sys() / path) << arg << "\n";
            }
            break;
        case 'l':
            if (safe(path) && safe(arg) && inside(sys() / path)) {
                const auto at = sys() / path;
                std::filesystem::create_directories(at.parent_path(), ec);
                const auto folder = std::filesystem::canonical(at.parent_path(), ec);
                if (!ec && inside(folder))
                    std::filesystem::create_symlink(
                        std::filesystem::relative(canonicalSys() / arg, folder), at, ec);
            }
            break;
        case 'n':
            if (isNumber(path))
                std::ofstream(dev() / ("i2c-" + path)).put('\0');
            break;
        case 'u':
            if (isNumber(path)) {
                std::filesystem::remove(sys() / "bus/i2c/devices" / ("i2c-" + path), ec);
                std::filesystem::remove(dev() / ("i2c-" + path), ec);
            }
            break;
        default:
            break;
        }
    }

private:
    static bool isNumber(const std::string &s)
    {
        return !s.empty() && s.size() < 6 && s.find_first_not_of("0123456789") == std::string::npos;
    }
    static bool safe(const std::string &p)
    {
        if (p.empty() || p.size() > 300 || p[0] == '/')
            return false;
        for (const auto &part : std::filesystem::path(p))
            if (part == ".." || part == ".")
                return false;
        return p.find('\0') == std::string::npos;
    }
    std::filesystem::path canonicalSys() const
    {
        std::error_code ec;
        return std::filesystem::canonical(sys(), ec);
    }
    // Where p really leads, as far as it exists, lies inside sys/.
    bool inside(const std::filesystem::path &p) const
    {
        std::error_code ec;
        const auto real = std::filesystem::weakly_canonical(p, ec);
        if (ec)
            return false;
        const std::string base = canonicalSys().string() + "/";
        return (real.string() + "/").compare(0, base.size(), base) == 0;
    }

    std::filesystem::path m_root;
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
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/driver bus/hid/drivers/cp2112\n"
    "l devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/i2c-3/subsystem bus/i2c\n"
    "f devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/i2c-3/name CP2112 SMBus Bridge on hidraw0\n"
    "l bus/i2c/devices/i2c-3 devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004/i2c-3\n"
    "n 3\n";
