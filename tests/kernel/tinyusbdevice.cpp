// The emulated i2c-tiny-usb bridge (0403:c631): vendor requests on endpoint 0, one
// I2C message each (drivers/i2c/busses/i2c-tiny-usb.c).

#include "emulateddevice.h"
#include "simulatedcharger.h"

#include <cerrno>
#include <cstdio>
#include <linux/i2c.h>

namespace {
enum : uint8_t { kEcho = 0, kGetFunc = 1, kSetDelay = 2, kGetStatus = 3, kI2cIo = 4 };
enum : uint8_t { kIdle = 0, kAddressAck = 1, kAddressNak = 2 };
constexpr uint16_t kChargerAddress7 = 0x09;

class TinyUsbDevice : public EmulatedDevice
{
public:
    explicit TinyUsbDevice(std::string serial)
        : m_serial(std::move(serial))
    {
        std::string name = SimulatedCharger::kAdapterName;
        m_charger.AdapterOpen(name);
    }

    Bytes descriptor(uint8_t type, uint8_t index) const override
    {
        switch (type) {
        case 1: // device: USB 1.1, class per interface, EP0 64 bytes, 0403:c631, version 1.04
            return {18, 1, 0x10, 0x01, 0, 0, 0, 64, 0x03, 0x04, 0x31, 0xc6, 0x04, 0x01, 1, 2, 3, 1};
        case 2: // configuration 1 with one vendor-class interface and no endpoints but EP0
            return {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xff, 0, 0, 0};
        case 3:
            return bridgeString(index, "i2c-tiny-usb emulated bridge", m_serial);
        }
        return {};
    }

    void reset() override { m_status = kIdle; }

    int32_t control(const SetupPacket &setup, const Bytes &out, Bytes &in) override
    {
        if ((setup.requestType & 0x60) != 0x40)
            return -EPIPE;
        switch (setup.request) {
        case kEcho:
            in = {uint8_t(setup.value), uint8_t(setup.value >> 8)};
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
            return i2cTransfer(setup.value, setup.index, out, setup.length, in);
        default:
            return -EPIPE;
        }
    }

private:
    int32_t i2cTransfer(uint16_t flags, uint16_t address, const Bytes &out, uint16_t length,
                        Bytes &in);

    std::string m_serial;
    SimulatedCharger m_charger;
    uint8_t m_status = kIdle;
    uint8_t m_pointer = 0; // register selected by the last write
};

// One I2C message. An absent address still completes the USB transfer; the driver
// learns of the NAK from the status it reads next. A register the charger refuses
// stalls the transfer, so the driver reports an I/O error.
int32_t TinyUsbDevice::i2cTransfer(uint16_t flags, uint16_t address, const Bytes &out,
                                   uint16_t length, Bytes &in)
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

std::unique_ptr<EmulatedDevice> makeTinyUsbDevice(const std::string &serial)
{
    return std::make_unique<TinyUsbDevice>(serial);
}
