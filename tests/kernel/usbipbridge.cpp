// An emulated i2c-tiny-usb USB-to-I2C bridge for the virtual-machine test: plugs a
// USB device into the kernel's USB/IP virtual host controller (vhci-hcd) and answers
// its requests itself, so the kernel's own i2c-tiny-usb driver binds and creates
// /dev/i2c-N. Behind the bridge, at 7-bit address 0x09, stands the SimulatedCharger.
//
//   usbipbridge SERIAL CONTROL_FIFO [unplugged]
//
// SERIAL is the USB serial number (two instances with different serials are two
// distinguishable bridges); "unplugged" starts it detached, waiting for "plug".
// CONTROL_FIFO is created if missing and removed at exit; write one command per line
// to it:
//   stall    stop answering USB requests (unlinks are still answered, so the driver's
//            2 s control timeout fails the transfer)
//   answer   answer again
//   nak      the charger's address NAKs like every other address
//   ack      the charger's address answers again
//   unplug   detach the device (close the USB/IP connection)
//   plug     attach again: new connection, same serial
// SIGTERM or SIGINT: detach and exit 0.
// Stdout: "USBIP-BRIDGE attached port P serial S" and "USBIP-BRIDGE detached ...".
// Stderr: anything unexpected (an unknown request, a refused register).

#include "simulatedcharger.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/i2c.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

const char *const kVhci = "/sys/devices/platform/vhci_hcd.0";

// USB/IP wire format (drivers/usb/usbip/usbip_common.h): 48-byte big-endian header.
enum : uint32_t { kCmdSubmit = 1, kCmdUnlink = 2, kRetSubmit = 3, kRetUnlink = 4 };
constexpr size_t kHeaderSize = 48;
constexpr uint32_t kDirIn = 1;
constexpr int kSpeedFull = 2;

// i2c-tiny-usb vendor requests (drivers/i2c/busses/i2c-tiny-usb.c).
enum : uint8_t { kEcho = 0, kGetFunc = 1, kSetDelay = 2, kGetStatus = 3, kI2cIo = 4 };
enum : uint8_t { kIdle = 0, kAddressAck = 1, kAddressNak = 2 };
constexpr uint16_t kChargerAddress7 = 0x09;

volatile sig_atomic_t stopRequested = 0;
void onStop(int) { stopRequested = 1; }

uint32_t get32(const uint8_t *p) { uint32_t v; std::memcpy(&v, p, 4); return ntohl(v); }
void put32(uint8_t *p, uint32_t v) { v = htonl(v); std::memcpy(p, &v, 4); }
uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

bool readFull(int fd, uint8_t *buf, size_t n)
{
    while (n > 0) {
        const ssize_t r = read(fd, buf, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        buf += r;
        n -= size_t(r);
    }
    return true;
}

bool writeFull(int fd, const uint8_t *buf, size_t n)
{
    while (n > 0) {
        const ssize_t r = write(fd, buf, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        buf += r;
        n -= size_t(r);
    }
    return true;
}

Bytes stringDescriptor(const std::string &text)
{
    Bytes d{uint8_t(2 + 2 * text.size()), 3};
    for (char c : text) { // ASCII to UTF-16LE
        d.push_back(uint8_t(c));
        d.push_back(0);
    }
    return d;
}

class Bridge
{
public:
    explicit Bridge(std::string serial) : m_serial(std::move(serial))
    {
        std::string name = SimulatedCharger::kAdapterName;
        m_charger.AdapterOpen(name);
    }

    int socket() const { return m_sock; }
    bool attach();
    void detach();
    void command(const std::string &line);
    bool serveOne(); // false when the kernel closed the connection

private:
    int findFreePort() const;
    bool reply(const uint8_t *request, uint32_t command, int32_t status, const Bytes &in,
               uint32_t actualLength);
    int32_t control(const uint8_t *setup, const Bytes &out, Bytes &in);
    int32_t standardRequest(uint8_t request, uint16_t value, uint16_t index, Bytes &in);
    int32_t vendorRequest(uint8_t request, uint16_t value, uint16_t index, const Bytes &out,
                          uint16_t length, Bytes &in);
    int32_t i2cTransfer(uint16_t flags, uint16_t address, const Bytes &out, uint16_t length,
                        Bytes &in);
    Bytes descriptor(uint8_t type, uint8_t index) const;

    std::string m_serial;
    SimulatedCharger m_charger;
    int m_sock = -1;
    int m_port = -1;
    bool m_stalled = false;
    bool m_nak = false;
    uint8_t m_status = kIdle;
    uint8_t m_pointer = 0; // register selected by the last write
};

// A free port of the USB 2 root hub: "hs  0000 004 ..." in vhci_hcd.0/status (4: free).
int Bridge::findFreePort() const
{
    std::ifstream status(std::string(kVhci) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string hub;
        int port = -1, state = -1;
        if (fields >> hub >> port >> state && hub == "hs" && state == 4)
            return port;
    }
    return -1;
}

bool Bridge::attach()
{
    for (int attempt = 0; attempt < 20; ++attempt) { // another instance may take the port
        const int port = findFreePort();
        int pair[2];
        if (port < 0 || socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
            std::fprintf(stderr, "usbipbridge: no free vhci port or socket: %s\n",
                         std::strerror(errno));
            usleep(100000);
            continue;
        }
        // pair[1] goes to the kernel, which takes its own reference on the socket.
        char text[64];
        const uint32_t devid = (1u << 16) | uint32_t(port + 2);
        const int n = std::snprintf(text, sizeof text, "%d %d %u %d", port, pair[1], devid,
                                    kSpeedFull);
        const int fd = open((std::string(kVhci) + "/attach").c_str(), O_WRONLY);
        const bool ok = fd >= 0 && write(fd, text, size_t(n)) == n;
        const int error = errno;
        if (fd >= 0)
            close(fd);
        close(pair[1]);
        if (ok) {
            m_sock = pair[0];
            m_port = port;
            m_status = kIdle;
            std::printf("USBIP-BRIDGE attached port %d serial %s\n", port, m_serial.c_str());
            return true;
        }
        close(pair[0]);
        std::fprintf(stderr, "usbipbridge: attach to port %d failed: %s\n", port,
                     std::strerror(error));
        usleep(100000);
    }
    return false;
}

void Bridge::detach()
{
    if (m_sock < 0)
        return;
    close(m_sock); // vhci sees the connection close and disconnects the port
    m_sock = -1;
    std::printf("USBIP-BRIDGE detached port %d serial %s\n", m_port, m_serial.c_str());
}

void Bridge::command(const std::string &line)
{
    if (line == "stall")
        m_stalled = true;
    else if (line == "answer")
        m_stalled = false;
    else if (line == "nak")
        m_nak = true;
    else if (line == "ack")
        m_nak = false;
    else if (line == "unplug")
        detach();
    else if (line == "plug" && m_sock < 0)
        attach();
    else if (line == "plug")
        std::fprintf(stderr, "usbipbridge: plug: already attached\n");
    else if (!line.empty())
        std::fprintf(stderr, "usbipbridge: unknown command '%s'\n", line.c_str());
}

bool Bridge::serveOne()
{
    uint8_t header[kHeaderSize];
    if (!readFull(m_sock, header, kHeaderSize))
        return false;
    const uint32_t command = get32(header);
    if (command == kCmdUnlink) // the driver gave up waiting: let its urb go
        return reply(header, kRetUnlink, -ECONNRESET, {}, 0);
    if (command != kCmdSubmit) {
        std::fprintf(stderr, "usbipbridge: unknown USB/IP command %u\n", command);
        return false;
    }
    const uint32_t direction = get32(header + 12), endpoint = get32(header + 16);
    const int32_t length = int32_t(get32(header + 24));
    if (length < 0 || length > 4096) {
        std::fprintf(stderr, "usbipbridge: bad transfer length %d\n", length);
        return false;
    }
    Bytes out;
    if (direction != kDirIn) {
        out.resize(size_t(length));
        if (!readFull(m_sock, out.data(), out.size()))
            return false;
    }
    if (m_stalled)
        return true; // no answer at all: the driver's timeout unlinks it
    if (endpoint != 0) {
        std::fprintf(stderr, "usbipbridge: transfer on endpoint %u\n", endpoint);
        return reply(header, kRetSubmit, -EPIPE, {}, 0);
    }
    Bytes in;
    const int32_t status = control(header + 40, out, in);
    if (in.size() > size_t(length))
        in.resize(size_t(length));
    const uint32_t actual = status != 0 ? 0 : direction == kDirIn ? in.size() : out.size();
    return reply(header, kRetSubmit, status, in, actual);
}

bool Bridge::reply(const uint8_t *request, uint32_t command, int32_t status, const Bytes &in,
                   uint32_t actualLength)
{
    uint8_t header[kHeaderSize] = {};
    put32(header, command);
    std::memcpy(header + 4, request + 4, 16); // seqnum, devid, direction, endpoint
    put32(header + 20, uint32_t(status));
    put32(header + 24, actualLength); // RET_SUBMIT only; start frame, packets, errors 0
    Bytes message(header, header + kHeaderSize);
    if (command == kRetSubmit && get32(request + 12) == kDirIn)
        message.insert(message.end(), in.begin(), in.begin() + actualLength);
    return writeFull(m_sock, message.data(), message.size());
}

int32_t Bridge::control(const uint8_t *setup, const Bytes &out, Bytes &in)
{
    const uint8_t type = setup[0] & 0x60, request = setup[1];
    const uint16_t value = le16(setup + 2), index = le16(setup + 4), length = le16(setup + 6);
    int32_t status = -EPIPE;
    if (type == 0x00)
        status = standardRequest(request, value, index, in);
    else if (type == 0x40)
        status = vendorRequest(request, value, index, out, length, in);
    if (status != 0)
        std::fprintf(stderr,
                     "usbipbridge: stall: bmRequestType 0x%02x bRequest %u wValue 0x%04x "
                     "wIndex 0x%04x wLength %u\n",
                     setup[0], request, value, index, length);
    return status;
}

int32_t Bridge::standardRequest(uint8_t request, uint16_t value, uint16_t index, Bytes &in)
{
    switch (request) {
    case 0: // GET_STATUS: bus powered, no remote wake-up
        in = {0, 0};
        return 0;
    case 6: // GET_DESCRIPTOR
        in = descriptor(uint8_t(value >> 8), uint8_t(value));
        return in.empty() ? -EPIPE : 0;
    case 9: // SET_CONFIGURATION
        return value <= 1 ? 0 : -EPIPE;
    case 11: // SET_INTERFACE
        return value == 0 && index == 0 ? 0 : -EPIPE;
    default:
        return -EPIPE;
    }
}

Bytes Bridge::descriptor(uint8_t type, uint8_t index) const
{
    switch (type) {
    case 1: // device: USB 1.1, class per interface, EP0 64 bytes, 0403:c631, version 1.04
        return {18, 1, 0x10, 0x01, 0, 0, 0, 64, 0x03, 0x04, 0x31, 0xc6, 0x04, 0x01, 1, 2, 3, 1};
    case 2: // configuration 1 with one vendor-class interface and no endpoints but EP0
        return {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xff, 0, 0, 0};
    case 3:
        switch (index) {
        case 0:
            return {4, 3, 0x09, 0x04}; // English (US)
        case 1:
            return stringDescriptor("kv7320 test bench");
        case 2:
            return stringDescriptor("i2c-tiny-usb emulated bridge");
        case 3:
            return stringDescriptor(m_serial);
        }
    }
    return {};
}

int32_t Bridge::vendorRequest(uint8_t request, uint16_t value, uint16_t index, const Bytes &out,
                              uint16_t length, Bytes &in)
{
    switch (request) {
    case kEcho:
        in = {uint8_t(value), uint8_t(value >> 8)};
        return 0;
    case kGetFunc: {
        const uint32_t func = I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;
        in = {uint8_t(func), uint8_t(func >> 8), uint8_t(func >> 16), uint8_t(func >> 24)};
        return 0;
    }
    case kSetDelay:
        return 0;
    case kGetStatus:
        in = {m_status};
        return 0;
    case kI2cIo: // with or without the BEGIN (1) and END (2) flags
    case kI2cIo | 1:
    case kI2cIo | 2:
    case kI2cIo | 3:
        return i2cTransfer(value, index, out, length, in);
    default:
        return -EPIPE;
    }
}

// One I2C message. An absent address still completes the USB transfer; the driver
// learns of the NAK from the status it reads next. A register the charger refuses
// stalls the transfer, so the driver reports an I/O error.
int32_t Bridge::i2cTransfer(uint16_t flags, uint16_t address, const Bytes &out, uint16_t length,
                            Bytes &in)
{
    const bool isRead = flags & I2C_M_RD;
    if (address != kChargerAddress7 || m_nak) {
        m_status = kAddressNak;
        in.assign(isRead ? length : 0, 0xff);
        return 0;
    }
    m_status = kAddressAck;
    const int16_t charger8 = SimulatedCharger::kChargerAddress;
    if (!isRead && out.size() <= 1) { // address only, or the register for a read
        if (!out.empty())
            m_pointer = out[0];
        return 0;
    }
    if (!isRead && out.size() == 3) { // word write: register, low byte, high byte
        m_pointer = out[0];
        int16_t word = int16_t(out[1] | out[2] << 8);
        if (m_charger.AdapterWriteWord(m_pointer, word, charger8) == 0)
            return 0;
        std::fprintf(stderr, "usbipbridge: charger refused write to 0x%02X\n", m_pointer);
        return -EPIPE;
    }
    if (isRead && (length == 1 || length == 2)) {
        int16_t command = m_pointer, word = 0;
        if (m_charger.AdapterReadWord(command, word, charger8) != 0) {
            std::fprintf(stderr, "usbipbridge: charger refused read of 0x%02X\n", m_pointer);
            return -EPIPE;
        }
        in = {uint8_t(word), uint8_t(uint16_t(word) >> 8)};
        in.resize(length);
        return 0;
    }
    std::fprintf(stderr, "usbipbridge: unsupported I2C message: %s of %zu bytes\n",
                 isRead ? "read" : "write", isRead ? size_t(length) : out.size());
    return -EPIPE;
}
} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool startUnplugged = argc == 4 && std::string(argv[3]) == "unplugged";
    if (argc != 3 && !startUnplugged) {
        std::fprintf(stderr, "usage: usbipbridge SERIAL CONTROL_FIFO [unplugged]\n");
        return 2;
    }
    const std::string fifoPath = argv[2];
    if (mkfifo(fifoPath.c_str(), 0600) != 0 && errno != EEXIST) {
        std::perror("usbipbridge: mkfifo");
        return 1;
    }
    // Read-write, so the FIFO never reports end of file between two writers.
    const int fifo = open(fifoPath.c_str(), O_RDWR | O_NONBLOCK);
    if (fifo < 0) {
        std::perror("usbipbridge: control FIFO");
        return 1;
    }

    // SIGTERM is only delivered inside ppoll, so a request is never cut in half.
    struct sigaction action = {};
    action.sa_handler = onStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);

    Bridge bridge(argv[1]);
    int exitCode = startUnplugged || bridge.attach() ? 0 : 1;
    std::string pending;
    while (exitCode == 0 && !stopRequested) {
        pollfd fds[2] = {{fifo, POLLIN, 0}, {bridge.socket(), POLLIN, 0}};
        if (ppoll(fds, bridge.socket() >= 0 ? 2 : 1, nullptr, &waiting) < 0)
            continue; // EINTR: the signal flag is checked above
        // Commands first: one written before a request was sent applies to it.
        if (fds[0].revents & POLLIN) {
            char buf[256];
            const ssize_t n = read(fifo, buf, sizeof buf);
            pending.append(buf, n > 0 ? size_t(n) : 0);
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                bridge.command(pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
        if (bridge.socket() >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            && !bridge.serveOne()) {
            std::fprintf(stderr, "usbipbridge: connection closed by the kernel\n");
            bridge.detach();
        }
    }
    bridge.detach();
    close(fifo);
    unlink(fifoPath.c_str());
    return exitCode;
}
