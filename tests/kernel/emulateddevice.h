#pragma once

// One emulated USB-to-I2C bridge behind the USB/IP plumbing of usbipbridge.cpp: its
// descriptors, its control requests and, for the bridges that have them, the data it
// takes on its OUT endpoint and the answers it queues for its IN endpoint (interrupt
// reports for the HID bridges, bulk packets for the U2C). Behind each stands the
// SimulatedCharger at 7-bit address 0x09.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct SetupPacket
{
    uint8_t requestType, request;
    uint16_t value, index, length;
};

class EmulatedDevice
{
public:
    virtual ~EmulatedDevice() = default;

    // Descriptor of a type (1 device, 2 configuration, 3 string, 0x21 HID, 0x22 HID
    // report) and index; empty when there is none.
    virtual Bytes descriptor(uint8_t type, uint8_t index) const = 0;
    // A class or vendor request on endpoint 0: 0, or a negative errno to stall it.
    virtual int32_t control(const SetupPacket &setup, const Bytes &out, Bytes &in) = 0;
    // The endpoint numbers of its data OUT and IN endpoints (0: none).
    virtual uint8_t outEndpoint() const { return 0; }
    virtual uint8_t inEndpoint() const { return 0; }
    // Data the host sent on the OUT endpoint; the answers it causes are appended to
    // answers, to be sent in order, one per read the host makes on the IN endpoint.
    virtual int32_t dataOut(const Bytes &data, std::deque<Bytes> &answers)
    {
        (void)data;
        (void)answers;
        return -32; // EPIPE: no such endpoint
    }
    // Plugged in again: the bridge's own state starts afresh (the charger keeps its).
    virtual void reset() {}

    // The charger's address NAKs like every other address.
    bool m_nak = false;
};

// "i2c-tiny-usb", "cp2112", "mcp2221", "ft260" or "u2c"; nullptr for another name.
std::unique_ptr<EmulatedDevice> makeEmulatedDevice(const std::string &family,
                                                   const std::string &serial);

// A USB string descriptor of ASCII text.
Bytes stringDescriptor(const std::string &text);
// The string descriptors every emulated bridge has: 0 the language (English, US), 1 the
// manufacturer, 2 the product, 3 the serial number; empty for another index.
Bytes bridgeString(uint8_t index, const std::string &product, const std::string &serial);
