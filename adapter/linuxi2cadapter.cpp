#include "linuxi2cadapter.h"

#include "i2cdevsyscalls.h"

#include <filesystem>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

namespace {
constexpr unsigned long kWordFunctions =
    I2C_FUNC_SMBUS_READ_WORD_DATA | I2C_FUNC_SMBUS_WRITE_WORD_DATA;

// Runs one operation so that nothing escapes the interface.
template<typename Operation>
int16_t guarded(Operation operation)
{
    try {
        return operation();
    } catch (...) {
        return LinuxI2cAdapter::kStatusInternal;
    }
}

unsigned long pointerArg(void *p)
{
    return reinterpret_cast<unsigned long>(p);
}
} // namespace

LinuxI2cAdapter::LinuxI2cAdapter() : LinuxI2cAdapter(Options{}) {}

LinuxI2cAdapter::LinuxI2cAdapter(Options options, I2cDevSyscalls *syscalls)
    : m_options(std::move(options)), m_sys(syscalls ? *syscalls : I2cDevSyscalls::system())
{
}

LinuxI2cAdapter::~LinuxI2cAdapter()
{
    closeNode();
}

int16_t LinuxI2cAdapter::errnoStatus(int error)
{
    return error > 0 && error < kStatusNotOpen ? static_cast<int16_t>(error) : kStatusInternal;
}

std::string LinuxI2cAdapter::nodePath(int bus) const
{
    return m_options.devDir + "/i2c-" + std::to_string(bus);
}

void LinuxI2cAdapter::closeNode()
{
    if (m_fd >= 0)
        m_sys.close(m_fd);
    m_fd = -1;
    m_address = -1;
}

int16_t LinuxI2cAdapter::openBridge(const I2cBridge &bridge)
{
    const int fd = m_sys.open(nodePath(bridge.busNumber));
    if (fd < 0)
        return errnoStatus(-fd);
    unsigned long functions = 0;
    const int r = m_sys.ioctl(fd, I2C_FUNCS, pointerArg(&functions));
    if (r < 0 || (functions & kWordFunctions) != kWordFunctions) {
        m_sys.close(fd);
        return r < 0 ? errnoStatus(-r) : kStatusNoWordTransfers;
    }
    m_fd = fd;
    m_address = -1;
    m_bridge = bridge;
    return 0;
}

int16_t LinuxI2cAdapter::ensureOpen()
{
    if (!m_haveBridge)
        return kStatusNotOpen;
    if (m_fd >= 0)
        return 0;
    // The node was closed because the bridge went away: reopen it if it is back.
    for (const I2cBridge &b : discoverI2cBridges(m_options.discovery))
        if (b.sameBridge(m_bridge))
            return openBridge(b);
    return kStatusBridgeGone;
}

// An error number alone does not tell an unplugged bridge from an absent chip (both
// can be ENODEV), so look at sysfs and /dev: the same bus, instance and node.
bool LinuxI2cAdapter::bridgeStillThere()
{
    std::error_code ec;
    if (!std::filesystem::exists(nodePath(m_bridge.busNumber), ec))
        return false;
    for (const I2cBridge &b : discoverI2cBridges(m_options.discovery))
        if (b.sameBridge(m_bridge))
            return b.busNumber == m_bridge.busNumber && b.instance == m_bridge.instance;
    return false;
}

int16_t LinuxI2cAdapter::wordTransfer(bool read, int16_t nCommand, uint16_t &word,
                                      int16_t nAddress)
{
    if (const int16_t s = ensureOpen())
        return s;
    auto failed = [this](int r) {
        if (!bridgeStillThere())
            closeNode();
        return errnoStatus(-r);
    };

    const int address = (nAddress & 0xFF) >> 1;
    if (address != m_address) {
        if (const int r = m_sys.ioctl(m_fd, I2C_SLAVE, static_cast<unsigned long>(address)); r < 0)
            return failed(r);
        m_address = address;
    }

    i2c_smbus_data data{};
    data.word = word;
    i2c_smbus_ioctl_data args{};
    args.read_write = read ? I2C_SMBUS_READ : I2C_SMBUS_WRITE;
    args.command = static_cast<uint8_t>(nCommand & 0xFF);
    args.size = I2C_SMBUS_WORD_DATA;
    args.data = &data;
    if (const int r = m_sys.ioctl(m_fd, I2C_SMBUS, pointerArg(&args)); r < 0)
        return failed(r);
    if (read)
        word = data.word;
    return 0;
}

int16_t LinuxI2cAdapter::AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress)
{
    m_lastWriteStatus = guarded([&] {
        uint16_t word = static_cast<uint16_t>(nWord);
        return wordTransfer(false, nCommand, word, nAddress);
    });
    return m_lastWriteStatus;
}

int16_t LinuxI2cAdapter::AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress)
{
    return guarded([&] {
        uint16_t word = 0;
        const int16_t s = wordTransfer(true, nCommand, word, nAddress);
        if (s == 0)
            nWord = static_cast<int16_t>(word);
        return s;
    });
}

int16_t LinuxI2cAdapter::AdapterOpen(std::string &sName)
{
    return guarded([&]() -> int16_t {
        closeNode();
        m_haveBridge = false;
        m_lastWriteStatus = kStatusNoWriteYet;
        for (const I2cBridge &b : discoverI2cBridges(m_options.discovery)) {
            if (b.name != sName)
                continue;
            const int16_t s = openBridge(b);
            m_haveBridge = s == 0;
            return s;
        }
        return kStatusNoSuchAdapter;
    });
}

int16_t LinuxI2cAdapter::AdapterClose()
{
    closeNode();
    m_haveBridge = false;
    return 0;
}

int16_t LinuxI2cAdapter::AdapterFindDevices(int32_t, int32_t &nCount, std::string &sNames)
{
    nCount = 0;
    sNames.clear();
    return guarded([&]() -> int16_t {
        const std::vector<I2cBridge> bridges = discoverI2cBridges(m_options.discovery);
        std::string names;
        for (const I2cBridge &b : bridges)
            names += (names.empty() ? "" : ",") + b.name;
        sNames = std::move(names);
        nCount = static_cast<int32_t>(bridges.size());
        return 0;
    });
}

int16_t LinuxI2cAdapter::AdapterWriteCheck()
{
    return m_lastWriteStatus;
}

// A charger board's bus carries SMBus words only.
int16_t LinuxI2cAdapter::AdapterByteTransfer(int32_t, int16_t &, int16_t &, int16_t &)
{
    return kStatusNotOnThisBus;
}

int16_t LinuxI2cAdapter::AdapterHdqWrite(int32_t, int16_t &, int16_t &)
{
    return kStatusNotOnThisBus;
}

int16_t LinuxI2cAdapter::AdapterHdqRead(int32_t, int16_t &, int16_t &)
{
    return kStatusNotOnThisBus;
}
