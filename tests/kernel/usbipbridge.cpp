// An emulated USB-to-I2C bridge for the virtual-machine test: plugs a USB device into
// the kernel's USB/IP virtual host controller (vhci-hcd) and answers its requests
// itself, so the kernel's own driver binds and creates /dev/i2c-N. Behind the bridge,
// at 7-bit address 0x09, stands the SimulatedCharger. Five families, each driven by
// its own kernel driver (the devices are in tinyusbdevice.cpp, hidbridgedevices.cpp and
// u2cdevice.cpp):
//   i2c-tiny-usb  0403:c631, i2c-tiny-usb, vendor requests on endpoint 0
//   cp2112        10c4:ea90, hid-cp2112, HID reports (interrupt and feature)
//   mcp2221       04d8:00dd, hid-mcp2221, HID reports (interrupt)
//   ft260         0403:6030, hid-ft260, HID reports (interrupt and feature)
//   u2c           0abf:3370, i2c-diolan-u2c, command packets on bulk endpoints
//
//   usbipbridge [--family=FAMILY] SERIAL CONTROL_FIFO [unplugged]
//
// FAMILY defaults to i2c-tiny-usb. SERIAL is the USB serial number (two instances with
// different serials are two distinguishable bridges); "unplugged" starts it detached,
// waiting for "plug". CONTROL_FIFO is created if missing and removed at exit; write one
// command per line to it:
//   stall    stop answering USB requests (unlinks are still answered, so the driver's
//            USB time-out fails the transfer: 2 s for i2c-tiny-usb, 5 s for the
//            HID bridges' output reports, 100 ms for each of the U2C's packets)
//   answer   answer again
//   nak      the charger's address NAKs like every other address
//   ack      the charger's address answers again
//   unplug   detach the device (close the USB/IP connection)
//   plug     attach again: new connection, same serial
// SIGTERM or SIGINT: detach and exit 0.
// Stdout: "USBIP-BRIDGE attached port P serial S" and "USBIP-BRIDGE detached ...".
// Stderr: anything unexpected (an unknown request, a refused register).

#include "emulateddevice.h"
#include "ioloop.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace {
const char *const kVhci = "/sys/devices/platform/vhci_hcd.0";

// USB/IP wire format (drivers/usb/usbip/usbip_common.h): 48-byte big-endian header.
enum : uint32_t { kCmdSubmit = 1, kCmdUnlink = 2, kRetSubmit = 3, kRetUnlink = 4 };
constexpr size_t kHeaderSize = 48;
constexpr uint32_t kDirIn = 1;
constexpr int kSpeedFull = 2;

volatile sig_atomic_t stopRequested = 0;
void onStop(int)
{
    stopRequested = 1;
}

uint32_t get32(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return ntohl(v);
}
void put32(uint8_t *p, uint32_t v)
{
    v = htonl(v);
    std::memcpy(p, &v, 4);
}
uint16_t le16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

bool readFull(int fd, uint8_t *buf, size_t n)
{
    return ioLoop(n, [&](size_t done, size_t left) { return read(fd, buf + done, left); }) ==
           ssize_t(n);
}

bool writeFull(int fd, const uint8_t *buf, size_t n)
{
    return ioLoop(n, [&](size_t done, size_t left) { return write(fd, buf + done, left); }) ==
           ssize_t(n);
}

using Header = std::array<uint8_t, kHeaderSize>;

class Bridge
{
public:
    Bridge(std::string serial, std::unique_ptr<EmulatedDevice> device)
        : m_serial(std::move(serial))
        , m_device(std::move(device))
    {}

    int socket() const { return m_sock; }
    bool attach();
    void detach();
    void command(const std::string &line);
    bool serveOne(); // false when the kernel closed the connection

private:
    int findFreePort() const;
    bool reply(const uint8_t *request, uint32_t command, int32_t status, const Bytes &in,
               uint32_t actualLength);
    bool sendAnswers();
    int32_t control(const uint8_t *setup, const Bytes &out, Bytes &in);
    int32_t standardRequest(uint8_t request, uint16_t value, uint16_t index, Bytes &in);

    std::string m_serial;
    std::unique_ptr<EmulatedDevice> m_device;
    int m_sock = -1;
    int m_port = -1;
    bool m_stalled = false;
    // Reads on the data IN endpoint are held until there is an answer to send (usbhid
    // keeps one interrupt read pending and resubmits it as soon as it completes;
    // i2c-diolan-u2c reads one bulk packet per command it sent); answers made while no
    // read is pending wait here; both are answered in order.
    std::deque<Header> m_pendingReads;
    std::deque<Bytes> m_answers;
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
        const int n =
            std::snprintf(text, sizeof text, "%d %d %u %d", port, pair[1], devid, kSpeedFull);
        const int fd = open((std::string(kVhci) + "/attach").c_str(), O_WRONLY);
        const bool ok = fd >= 0 && write(fd, text, size_t(n)) == n;
        const int error = errno;
        if (fd >= 0)
            close(fd);
        close(pair[1]);
        if (ok) {
            m_sock = pair[0];
            m_port = port;
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
    m_pendingReads.clear();
    m_answers.clear();
    m_device->reset();
    std::printf("USBIP-BRIDGE detached port %d serial %s\n", m_port, m_serial.c_str());
}

void Bridge::command(const std::string &line)
{
    if (line == "stall")
        m_stalled = true;
    else if (line == "answer")
        m_stalled = false;
    else if (line == "nak")
        m_device->m_nak = true;
    else if (line == "ack")
        m_device->m_nak = false;
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
    Header header;
    if (!readFull(m_sock, header.data(), kHeaderSize))
        return false;
    const uint32_t command = get32(header.data());
    if (command == kCmdUnlink) {
        // The driver gave up waiting, or closed (usbhid cancels its pending interrupt
        // read then; i2c-diolan-u2c gives up a bulk read after 100 ms): let the request go, and
        // never answer it later, since vhci drops the connection on an answer to a request it no
        // longer has.
        const uint32_t seqnum = get32(header.data() + 20);
        for (auto it = m_pendingReads.begin(); it != m_pendingReads.end(); ++it)
            if (get32(it->data() + 4) == seqnum) {
                m_pendingReads.erase(it);
                break;
            }
        return reply(header.data(), kRetUnlink, -ECONNRESET, {}, 0);
    }
    if (command != kCmdSubmit) {
        std::fprintf(stderr, "usbipbridge: unknown USB/IP command %u\n", command);
        return false;
    }
    const uint32_t direction = get32(header.data() + 12), endpoint = get32(header.data() + 16);
    const int32_t length = int32_t(get32(header.data() + 24));
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
    const uint32_t inEndpoint = m_device->inEndpoint(), outEndpoint = m_device->outEndpoint();
    if (inEndpoint != 0 && endpoint == inEndpoint && direction == kDirIn) {
        m_pendingReads.push_back(header); // held even while stalled: not an answer
        return sendAnswers();
    }
    if (m_stalled)
        return true; // no answer at all: the driver's time-out unlinks it
    if (outEndpoint != 0 && endpoint == outEndpoint && direction != kDirIn) {
        const int32_t status = m_device->dataOut(out, m_answers);
        return reply(header.data(), kRetSubmit, status, {}, status == 0 ? out.size() : 0) &&
               sendAnswers();
    }
    if (endpoint != 0) {
        std::fprintf(stderr, "usbipbridge: transfer on endpoint %u\n", endpoint);
        return reply(header.data(), kRetSubmit, -EPIPE, {}, 0);
    }
    Bytes in;
    const int32_t status = control(header.data() + 40, out, in);
    if (in.size() > size_t(length))
        in.resize(size_t(length));
    const uint32_t actual = status != 0 ? 0 : direction == kDirIn ? in.size() : out.size();
    return reply(header.data(), kRetSubmit, status, in, actual);
}

// Answers pending reads with queued answers, oldest first.
bool Bridge::sendAnswers()
{
    while (!m_stalled && !m_pendingReads.empty() && !m_answers.empty()) {
        const Header read = m_pendingReads.front();
        Bytes answer = std::move(m_answers.front());
        m_pendingReads.pop_front();
        m_answers.pop_front();
        answer.resize(std::min<size_t>(answer.size(), get32(read.data() + 24)));
        if (!reply(read.data(), kRetSubmit, 0, answer, answer.size()))
            return false;
    }
    return true;
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
    const SetupPacket packet{setup[0], setup[1], le16(setup + 2), le16(setup + 4), le16(setup + 6)};
    const int32_t status = (packet.requestType & 0x60) == 0x00
                               ? standardRequest(packet.request, packet.value, packet.index, in)
                               : m_device->control(packet, out, in);
    if (status != 0)
        std::fprintf(stderr,
                     "usbipbridge: stall: bmRequestType 0x%02x bRequest %u wValue 0x%04x "
                     "wIndex 0x%04x wLength %u\n",
                     packet.requestType, packet.request, packet.value, packet.index, packet.length);
    return status;
}

int32_t Bridge::standardRequest(uint8_t request, uint16_t value, uint16_t index, Bytes &in)
{
    switch (request) {
    case 0: // GET_STATUS: bus powered, no remote wake-up
        in = {0, 0};
        return 0;
    case 6: // GET_DESCRIPTOR (the HID ones are asked of the interface)
        in = m_device->descriptor(uint8_t(value >> 8), uint8_t(value));
        return in.empty() ? -EPIPE : 0;
    case 9: // SET_CONFIGURATION
        return value <= 1 ? 0 : -EPIPE;
    case 11: // SET_INTERFACE
        return value == 0 && index == 0 ? 0 : -EPIPE;
    default:
        return -EPIPE;
    }
}
} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string family = "i2c-tiny-usb";
    if (argc > 1 && std::strncmp(argv[1], "--family=", 9) == 0) {
        family = argv[1] + 9;
        --argc;
        ++argv;
    }
    const bool startUnplugged = argc == 4 && std::string(argv[3]) == "unplugged";
    std::unique_ptr<EmulatedDevice> device = makeEmulatedDevice(family, argv[argc > 1 ? 1 : 0]);
    if ((argc != 3 && !startUnplugged) || !device) {
        std::fprintf(stderr, "usage: usbipbridge [--family=i2c-tiny-usb|cp2112|mcp2221|ft260|u2c] "
                             "SERIAL CONTROL_FIFO [unplugged]\n");
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

    Bridge bridge(argv[1], std::move(device));
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
        if (bridge.socket() >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) &&
            !bridge.serveOne()) {
            std::fprintf(stderr, "usbipbridge: connection closed by the kernel\n");
            bridge.detach();
        }
    }
    bridge.detach();
    close(fifo);
    unlink(fifoPath.c_str());
    return exitCode;
}
