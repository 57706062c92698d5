// The emulated Diolan U2C-12 (0abf:3370, drivers/i2c/busses/i2c-diolan-u2c.c): one
// vendor-class interface with a bulk OUT endpoint 0x02 and a bulk IN endpoint 0x84. The
// driver queues one-byte commands (with their arguments) and sends them in one bulk
// packet when it needs an answer; the bridge then answers each command with a packet of
// its own, any data first and a result code last, which the driver reads one by one.
// The driver builds every I2C message from start, byte and stop commands: an SMBus word
// read is start, address, register, repeated start, address for reading, a byte with
// ACK (sent), a byte with NAK (sent), stop (sent); a word write is start, address,
// register, the two bytes and stop, in one packet.
//
// What i2c-diolan-u2c (Linux 6.1) does that matters here:
//  - A NAK is ENXIO when it answers the address (the second command of the packet)
//    and EIO anywhere else: a register the charger refuses is EIO. The emulator learns
//    of a refused read only when the word is read, and NAKs that byte.
//  - It waits only 100 ms for each bulk packet either way, so a bridge that stops
//    answering fails a transfer after about 200 ms (the packet, then the stop sent
//    after it): under the program's own 500 ms mark for a stall.
//  - Answers it gave up waiting for stay queued in a real U2C and would be read as the
//    answers to the next packet (the driver only flushes them while binding). The
//    emulator drops them when a new packet comes, so that a transfer that lost its
//    answers on a loaded host does not spoil the next one.

#include "emulateddevice.h"
#include "simulatedcharger.h"

#include <cerrno>
#include <cstdio>

namespace {
constexpr uint8_t kChargerAddress7 = 0x09;

enum : uint8_t {
    kGetFirmwareVersion = 0x0a,
    kGetSerial = 0x0b,
    kStart = 0x0c,
    kStop = 0x0d,
    kRepeatedStart = 0x0e,
    kPutByteAck = 0x13,
    kGetByteAck = 0x14,
    kSetSpeed = 0x1b,
    kSetClockSync = 0x24,
    kSetClockSyncTimeout = 0x26,
};
enum : uint8_t { kOk = 0x00, kFailed = 0x01, kNotImplemented = 0x06, kNack = 0x07 };

class U2cDevice : public EmulatedDevice
{
public:
    explicit U2cDevice(std::string serial)
        : m_serial(std::move(serial))
    {
        std::string name = SimulatedCharger::kAdapterName;
        m_charger.AdapterOpen(name);
    }

    Bytes descriptor(uint8_t type, uint8_t index) const override
    {
        switch (type) {
        case 1: // device: USB 2.0, class per interface, EP0 64 bytes, 0abf:3370, version 1.00
            return {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xbf, 0x0a, 0x70, 0x33, 0x00, 0x01, 1, 2, 3, 1};
        case 2: { // one vendor-class interface: bulk OUT 0x02 and bulk IN 0x84, 64 bytes
            Bytes d = {9, 2, 32, 0, 1, 1, 0, 0x80, 50};
            d.insert(d.end(), {9, 4, 0, 0, 2, 0xff, 0, 0, 0});
            d.insert(d.end(), {7, 5, 0x02, 2, 64, 0, 0, 7, 5, 0x84, 2, 64, 0, 0});
            return d;
        }
        case 3:
            return bridgeString(index, "U2C-12 emulated bridge", m_serial);
        }
        return {};
    }

    int32_t control(const SetupPacket &, const Bytes &, Bytes &) override { return -EPIPE; }

    uint8_t outEndpoint() const override { return 2; }
    uint8_t inEndpoint() const override { return 4; }

    void reset() override { m_phase = Phase::Idle; }

    int32_t dataOut(const Bytes &out, std::deque<Bytes> &answers) override
    {
        answers.clear(); // see above: answers the driver gave up on
        for (size_t i = 0; i < out.size();) {
            const uint8_t command = out[i++];
            // The arguments each command takes.
            const size_t arguments = command == kPutByteAck || command == kGetByteAck ||
                                             command == kSetSpeed || command == kSetClockSync
                                         ? 1
                                     : command == kSetClockSyncTimeout ? 2
                                                                       : 0;
            if (i + arguments > out.size()) {
                std::fprintf(stderr, "usbipbridge: u2c: command 0x%02X cut short\n", command);
                answers.push_back({kFailed});
                break;
            }
            const uint8_t argument = arguments ? out[i] : 0;
            i += arguments;
            switch (command) {
            case kStart:
            case kRepeatedStart:
                m_phase = Phase::Address;
                answers.push_back({kOk});
                break;
            case kStop:
                m_phase = Phase::Idle;
                answers.push_back({kOk});
                break;
            case kPutByteAck:
                answers.push_back({putByte(argument)});
                break;
            case kGetByteAck:
                answers.push_back(getByte());
                break;
            case kSetSpeed:
            case kSetClockSync:
            case kSetClockSyncTimeout:
                answers.push_back({kOk});
                break;
            case kGetFirmwareVersion:
                answers.push_back({2, 0, kOk});
                break;
            case kGetSerial: // a number of its own, little-endian; the USB serial is a string
                answers.push_back({0x20, 0x73, 0, 0, kOk});
                break;
            default:
                std::fprintf(stderr, "usbipbridge: u2c: unknown command 0x%02X\n", command);
                answers.push_back({kNotImplemented});
                return 0;
            }
        }
        return 0;
    }

private:
    // What the next byte on the bus is: the address after a start, then register and
    // word for a write, the word for a read.
    enum class Phase { Idle, Address, Write, Read, Refused };

    uint8_t putByte(uint8_t byte)
    {
        switch (m_phase) {
        case Phase::Address:
            if ((byte >> 1) != kChargerAddress7 || m_nak) {
                m_phase = Phase::Refused;
                return kNack;
            }
            m_phase = byte & 1 ? Phase::Read : Phase::Write;
            m_written.clear();
            m_readIndex = 0;
            return kOk;
        case Phase::Write:
            m_written.push_back(byte);
            if (m_written.size() == 1)
                m_pointer = byte;
            if (m_written.size() < 3)
                return kOk;
            if (m_written.size() == 3) {
                int16_t word = int16_t(m_written[1] | m_written[2] << 8);
                if (m_charger.AdapterWriteWord(m_pointer, word,
                                               SimulatedCharger::kChargerAddress) == 0)
                    return kOk;
                std::fprintf(stderr, "usbipbridge: charger refused write to 0x%02X\n", m_pointer);
            } else {
                std::fprintf(stderr, "usbipbridge: u2c: write longer than a word\n");
            }
            m_phase = Phase::Refused;
            return kNack;
        default:
            return kNack;
        }
    }

    Bytes getByte()
    {
        if (m_phase != Phase::Read)
            return {kFailed};
        if (m_readIndex == 0) {
            int16_t command = m_pointer, word = 0;
            if (m_charger.AdapterReadWord(command, word, SimulatedCharger::kChargerAddress) != 0) {
                std::fprintf(stderr, "usbipbridge: charger refused read of 0x%02X\n", m_pointer);
                m_phase = Phase::Refused;
                return {kNack};
            }
            m_word = uint16_t(word);
        }
        const uint8_t byte = m_readIndex == 0 ? uint8_t(m_word) : uint8_t(m_word >> 8);
        ++m_readIndex;
        return {byte, kOk};
    }

    std::string m_serial;
    SimulatedCharger m_charger;
    Phase m_phase = Phase::Idle;
    Bytes m_written;
    uint8_t m_pointer = 0;
    int m_readIndex = 0;
    uint16_t m_word = 0;
};
} // namespace

std::unique_ptr<EmulatedDevice> makeU2cDevice(const std::string &serial)
{
    return std::make_unique<U2cDevice>(serial);
}
