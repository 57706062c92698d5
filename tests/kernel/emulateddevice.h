#pragma once

// One emulated USB-to-I2C bridge behind the USB/IP plumbing of usbipbridge.cpp: its
// descriptors, its control requests and, for the HID bridges, its interrupt reports.
// Behind each stands the SimulatedCharger at 7-bit address 0x09.

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
    // Data the host sent on the interrupt OUT endpoint; the input reports it causes are
    // appended to reports, to be sent in order on the interrupt IN endpoint.
    virtual int32_t interruptOut(const Bytes &data, std::deque<Bytes> &reports)
    {
        (void)data;
        (void)reports;
        return -32; // EPIPE: no such endpoint
    }
    // Plugged in again: the bridge's own state starts afresh (the charger keeps its).
    virtual void reset() {}

    // The charger's address NAKs like every other address.
    bool m_nak = false;
};

// "i2c-tiny-usb", "cp2112" or "mcp2221"; nullptr for another name.
std::unique_ptr<EmulatedDevice> makeEmulatedDevice(const std::string &family,
                                                   const std::string &serial);

// A USB string descriptor of ASCII text.
Bytes stringDescriptor(const std::string &text);
// The string descriptors every emulated bridge has: 0 the language (English, US), 1 the
// manufacturer, 2 the product, 3 the serial number; empty for another index.
Bytes bridgeString(uint8_t index, const std::string &product, const std::string &serial);
