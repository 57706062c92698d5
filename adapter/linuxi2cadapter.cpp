#include "linuxi2cadapter.h"

#include "devicefiles.h"
#include "i2cdevsyscalls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <utility>

namespace {
constexpr unsigned long kWordFunctions =
    I2C_FUNC_SMBUS_READ_WORD_DATA | I2C_FUNC_SMBUS_WRITE_WORD_DATA;

// Runs one operation so that nothing escapes the interface.
template<typename Operation> int16_t guarded(Operation operation)
{
    try {
        return operation();
    } catch (...) {
        return BusStatus::kInternal;
    }
}

unsigned long pointerArg(void *p)
{
    return reinterpret_cast<unsigned long>(p);
}
} // namespace

LinuxI2cAdapter::LinuxI2cAdapter()
    : LinuxI2cAdapter(Options{})
{}

LinuxI2cAdapter::LinuxI2cAdapter(Options options, I2cDevSyscalls *syscalls, const Clock *clock)
    : m_options(std::move(options))
    , m_sys(syscalls ? *syscalls : I2cDevSyscalls::system())
    , m_clock(clock ? *clock : Clock::system())
{}

LinuxI2cAdapter::~LinuxI2cAdapter()
{
    closeNode();
}

int16_t LinuxI2cAdapter::errnoStatus(int error)
{
    return error > 0 && error < BusStatus::kNotOpen ? static_cast<int16_t>(error)
                                                    : BusStatus::kInternal;
}

DeviceFiles &LinuxI2cAdapter::files() const
{
    return m_options.discovery.files ? *m_options.discovery.files : DeviceFiles::system();
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
    m_stalled = false;
}

namespace {
// Opens and locks a bridge's node and checks that it does SMBus words. Gives the
// descriptor, or -errno, or a negative status (BusStatus::kInUse, BusStatus::kNoWordTransfers).
int openLocked(I2cDevSyscalls &sys, const std::string &node)
{
    const int fd = sys.open(node);
    if (fd < 0)
        return fd;
    int r = sys.lock(fd);
    if (r < 0) {
        sys.close(fd);
        return r == -EWOULDBLOCK || r == -EAGAIN ? -BusStatus::kInUse : r;
    }
    unsigned long functions = 0;
    r = sys.ioctl(fd, I2C_FUNCS, pointerArg(&functions));
    if (r < 0 || (functions & kWordFunctions) != kWordFunctions) {
        sys.close(fd);
        return r < 0 ? r : -BusStatus::kNoWordTransfers;
    }
    return fd;
}

bool isOwnStatus(int negative)
{
    return -negative == BusStatus::kInUse || -negative == BusStatus::kNoWordTransfers;
}
} // namespace

int16_t LinuxI2cAdapter::openBridge(const I2cBridge &bridge)
{
    if (bridge.starting)
        return BusStatus::kBridgeStarting;
    const int fd = openLocked(m_sys, nodePath(bridge.busNumber));
    if (fd < 0)
        return isOwnStatus(fd) ? static_cast<int16_t>(-fd) : errnoStatus(-fd);
    m_fd = fd;
    m_address = -1;
    m_bridge = bridge;
    m_stalled = false;
    m_probeIntervalMs = 0;
    return 0;
}

I2cDiscoveryOptions LinuxI2cAdapter::discoveryOptions() const
{
    I2cDiscoveryOptions options = m_options.discovery;
    if (m_fd >= 0)
        options.held = &m_bridge; // never wait on the lock of a device we keep from going
    return options;
}

std::vector<I2cBridge> LinuxI2cAdapter::selectedBridges() const
{
    std::vector<I2cBridge> bridges = discoverI2cBridges(discoveryOptions());
    const std::string &wanted = m_options.bridge;
    if (!wanted.empty()) {
        bridges.erase(std::remove_if(bridges.begin(), bridges.end(),
                                     [&](const I2cBridge &b) {
                                         // One still starting may be the one asked for
                                         // by serial: kept, never opened.
                                         return b.name != wanted && b.usbPort != wanted &&
                                                (b.serial.empty() || b.serial != wanted) &&
                                                !b.starting;
                                     }),
                      bridges.end());
    }
    return bridges;
}

std::vector<LinuxI2cAdapter::BridgeListing> LinuxI2cAdapter::listBridges()
{
    std::vector<BridgeListing> list;
    for (const I2cBridge &b : selectedBridges()) {
        BridgeListing entry;
        entry.bridge = b;
        entry.node = nodePath(b.busNumber);
        if (m_fd >= 0 && b.instance == m_bridge.instance) {
            entry.state = BridgeState::OpenHere;
        } else if (b.starting) {
            entry.state = BridgeState::Starting;
        } else if (const int fd = openLocked(m_sys, entry.node); fd >= 0) {
            m_sys.close(fd);
            entry.state = BridgeState::Free;
        } else if (-fd == BusStatus::kInUse) {
            entry.state = BridgeState::InUse;
        } else if (-fd == BusStatus::kNoWordTransfers) {
            entry.state = BridgeState::NoWordTransfers;
        } else {
            entry.error = -fd;
            entry.state =
                -fd == EACCES || -fd == EPERM ? BridgeState::NoPermission : BridgeState::Unusable;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

const char *LinuxI2cAdapter::stateKey(BridgeState state)
{
    switch (state) {
    case BridgeState::Free:
        return "free";
    case BridgeState::OpenHere:
        return "open-here";
    case BridgeState::InUse:
        return "in-use";
    case BridgeState::NoPermission:
        return "no-permission";
    case BridgeState::NoWordTransfers:
        return "no-word-transfers";
    case BridgeState::Unusable:
        return "unusable";
    case BridgeState::Starting:
        return "starting";
    }
    return "unusable";
}

std::string LinuxI2cAdapter::BridgeListing::describe() const
{
    return bridge.name + ": " + stateText() + " (" + node + ")";
}

std::string LinuxI2cAdapter::BridgeListing::stateText() const
{
    std::string state;
    switch (this->state) {
    case BridgeState::Free:
        state = "free";
        break;
    case BridgeState::OpenHere:
        state = "open in this program";
        break;
    case BridgeState::InUse:
        state = "in use by another program";
        break;
    case BridgeState::NoPermission:
        state = "no permission to open " + node +
                " (install the udev rule: see DIAGNOSTICS in man kv7320ev)";
        break;
    case BridgeState::NoWordTransfers:
        state = "its bus does no SMBus word transfers";
        break;
    case BridgeState::Starting:
        state = "its driver is still starting (an MCP2221 can take half a minute after it is "
                "plugged in, and tells its serial number only then); try again in a moment";
        break;
    case BridgeState::Unusable:
        state = "cannot be opened: " + std::string(std::strerror(error));
        break;
    }
    return state;
}

int16_t LinuxI2cAdapter::ensureOpen()
{
    if (!m_haveBridge)
        return BusStatus::kNotOpen;
    if (m_fd >= 0)
        return 0;
    // The node was closed because the bridge went away: reopen it if it is back. One
    // of its kind still starting, whose serial cannot be read yet, may be it.
    bool maybeBack = false;
    for (const I2cBridge &b : selectedBridges()) {
        if (b.sameBridge(m_bridge))
            return openBridge(b);
        maybeBack |= b.starting && b.driver == m_bridge.driver;
    }
    return maybeBack ? BusStatus::kBridgeStarting : BusStatus::kBridgeGone;
}

// An error number alone does not tell an unplugged bridge from an absent chip (both
// can be ENODEV), so look at sysfs and /dev: the same bus, instance and node.
bool LinuxI2cAdapter::bridgeStillThere()
{
    if (!files().exists(nodePath(m_bridge.busNumber)))
        return false;
    for (const I2cBridge &b : discoverI2cBridges(discoveryOptions()))
        if (b.sameBridge(m_bridge))
            return b.busNumber == m_bridge.busNumber && b.instance == m_bridge.instance;
    return false;
}

int16_t LinuxI2cAdapter::wordTransfer(bool read, int16_t nCommand, uint16_t &word, int16_t nAddress)
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

    if (const int16_t s = stallGate())
        return s;
    i2c_smbus_data data{};
    data.word = word;
    i2c_smbus_ioctl_data args{};
    args.read_write = read ? I2C_SMBUS_READ : I2C_SMBUS_WRITE;
    args.command = static_cast<uint8_t>(nCommand & 0xFF);
    args.size = I2C_SMBUS_WORD_DATA;
    args.data = &data;
    const int64_t start = m_clock.monotonicMs();
    const int r = m_sys.ioctl(m_fd, I2C_SMBUS, pointerArg(&args));
    noteTransferTime(r < 0, start);
    if (r < 0)
        return failed(r);
    if (read)
        word = data.word;
    return 0;
}

void LinuxI2cAdapter::beginAction(BusAction kind)
{
    m_actionFailedMs = 0; // each action has a budget of its own
    m_userAsks = kind == BusAction::User;
}

// While the bridge is not answering, fail at once, unless it is gone (then close, so
// that it can be reopened when it is back), a user asks, or it is time to try again.
int16_t LinuxI2cAdapter::stallGate()
{
    const bool userAsks = std::exchange(m_userAsks, false);
    if (!m_stalled)
        return 0;
    // Only the node, not a walk of sysfs: this runs for every attempt while stalled.
    if (!files().exists(nodePath(m_bridge.busNumber))) {
        closeNode();
        return BusStatus::kBridgeGone;
    }
    return userAsks || m_clock.monotonicMs() >= m_nextProbeMs ? 0 : BusStatus::kNotAnswering;
}

void LinuxI2cAdapter::noteTransferTime(bool failed, int64_t startMs)
{
    if (!failed) { // an answer, however slow
        m_stalled = false;
        m_probeIntervalMs = 0; // a later stall starts the back-off afresh
        m_actionFailedMs = 0;
        return;
    }
    const int64_t now = m_clock.monotonicMs();
    m_actionFailedMs += now - startMs;
    if (now - startMs < kStallThresholdMs && m_actionFailedMs < kActionFailureBudgetMs) {
        m_stalled = false; // it answered, if only to refuse
        return;
    }
    m_probeIntervalMs =
        m_probeIntervalMs == 0 ? kStallProbeMs : std::min(2 * m_probeIntervalMs, kStallProbeMaxMs);
    m_stalled = true;
    m_nextProbeMs = now + m_probeIntervalMs;
    m_actionFailedMs = 0;
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
        m_lastWriteStatus = BusStatus::kNoWriteYet;
        for (const I2cBridge &b : selectedBridges()) {
            if (b.name != sName)
                continue;
            const int16_t s = openBridge(b);
            m_haveBridge = s == 0;
            return s;
        }
        return BusStatus::kNoSuchAdapter;
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
        std::string names;
        int32_t count = 0;
        for (const BridgeListing &entry : listBridges()) {
            if (entry.state != BridgeState::Free)
                continue;
            names += (names.empty() ? "" : ",") + entry.bridge.name;
            ++count;
        }
        sNames = std::move(names);
        nCount = count;
        return 0;
    });
}

int16_t LinuxI2cAdapter::AdapterWriteCheck()
{
    return m_lastWriteStatus;
}
