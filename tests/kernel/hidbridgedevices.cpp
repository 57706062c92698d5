// The emulated HID bridges: CP2112 (10c4:ea90, drivers/hid/hid-cp2112.c), MCP2221
// (04d8:00dd, drivers/hid/hid-mcp2221.c) and FT260 (0403:6030, drivers/hid/hid-ft260.c).
// Each is one HID interface with an interrupt IN and an interrupt OUT endpoint; the host
// sends commands as output reports on the OUT endpoint and the bridge answers with input
// reports on the IN endpoint (the USB/IP side of that is in usbipbridge.cpp). The CP2112
// and the FT260 also have feature reports on endpoint 0, which their drivers read while
// they bind (and the FT260's for every transfer's status).

#include "emulateddevice.h"
#include "simulatedcharger.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

namespace {
constexpr uint8_t kChargerAddress7 = 0x09;

enum class I2cResult { Ok, AddressNak, Refused };

// A vendor-defined HID interface: its descriptors and the HID class requests, with the
// charger on its I2C bus.
class HidBridge : public EmulatedDevice
{
public:
    HidBridge(std::string serial, uint16_t vendor, uint16_t product, std::string productName,
              Bytes reportDescriptor)
        : m_serial(std::move(serial))
        , m_vendor(vendor)
        , m_product(product)
        , m_productName(std::move(productName))
        , m_reportDescriptor(std::move(reportDescriptor))
    {
        std::string name = SimulatedCharger::kAdapterName;
        m_charger.AdapterOpen(name);
    }

    Bytes descriptor(uint8_t type, uint8_t index) const override
    {
        const auto size = uint16_t(m_reportDescriptor.size());
        const Bytes hid = {9, 0x21, 0x11, 0x01, 0, 1, 0x22, uint8_t(size), uint8_t(size >> 8)};
        switch (type) {
        case 1: // device: USB 2.0, class per interface, EP0 64 bytes
            return {18,
                    1,
                    0x00,
                    0x02,
                    0,
                    0,
                    0,
                    64,
                    uint8_t(m_vendor),
                    uint8_t(m_vendor >> 8),
                    uint8_t(m_product),
                    uint8_t(m_product >> 8),
                    0x00,
                    0x01,
                    1,
                    2,
                    3,
                    1};
        case 2: {
            // One HID interface with interrupt IN 0x81 and interrupt OUT 0x01, 64 bytes,
            // every 1 ms. The OUT endpoint is required: without it usbhid has no way to
            // send an output report and every transfer fails with "Error starting
            // transaction: -38" (ENOSYS).
            Bytes d = {9, 2, 41, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 2, 3, 0, 0, 0};
            d.insert(d.end(), hid.begin(), hid.end());
            d.insert(d.end(), {7, 5, 0x81, 3, 64, 0, 1, 7, 5, 0x01, 3, 64, 0, 1});
            return d;
        }
        case 3:
            return bridgeString(index, m_productName, m_serial);
        case 0x21:
            return hid;
        case 0x22:
            return m_reportDescriptor;
        }
        return {};
    }

    // Interrupt OUT 0x01 and IN 0x81.
    uint8_t outEndpoint() const override { return 1; }
    uint8_t inEndpoint() const override { return 1; }

    int32_t control(const SetupPacket &setup, const Bytes &out, Bytes &in) override
    {
        if ((setup.requestType & 0x60) != 0x20) // HID class requests only
            return -EPIPE;
        const uint8_t reportType = setup.value >> 8, reportId = uint8_t(setup.value);
        switch (setup.request) {
        case 0x0a: // SET_IDLE
            return 0;
        case 0x01: // GET_REPORT
            in = reportType == 3 ? getFeature(reportId) : Bytes{};
            return in.empty() ? -EPIPE : 0;
        case 0x09: // SET_REPORT
            return reportType == 3 && setFeature(reportId, out) ? 0 : -EPIPE;
        }
        return -EPIPE;
    }

protected:
    // A feature report: its exact bytes, report ID first; empty when unknown.
    virtual Bytes getFeature(uint8_t id)
    {
        (void)id;
        return {};
    }
    virtual bool setFeature(uint8_t id, const Bytes &data)
    {
        (void)id;
        (void)data;
        return false;
    }

    // One SMBus word to or from the charger's bus.
    I2cResult writeWord(uint8_t address7, uint8_t reg, uint16_t word)
    {
        if (address7 != kChargerAddress7 || m_nak)
            return I2cResult::AddressNak;
        int16_t w = int16_t(word);
        if (m_charger.AdapterWriteWord(reg, w, SimulatedCharger::kChargerAddress) == 0)
            return I2cResult::Ok;
        std::fprintf(stderr, "usbipbridge: charger refused write to 0x%02X\n", reg);
        return I2cResult::Refused;
    }
    I2cResult readWord(uint8_t address7, uint8_t reg, uint16_t &word)
    {
        if (address7 != kChargerAddress7 || m_nak)
            return I2cResult::AddressNak;
        int16_t command = reg, w = 0;
        if (m_charger.AdapterReadWord(command, w, SimulatedCharger::kChargerAddress) != 0) {
            std::fprintf(stderr, "usbipbridge: charger refused read of 0x%02X\n", reg);
            return I2cResult::Refused;
        }
        word = uint16_t(w);
        return I2cResult::Ok;
    }

    static Bytes report(std::initializer_list<uint8_t> head)
    {
        Bytes r(head);
        r.resize(64, 0);
        return r;
    }
    static void unexpected(const char *family, const Bytes &data)
    {
        std::fprintf(stderr, "usbipbridge: %s: unknown output report 0x%02X of %zu bytes\n", family,
                     data.empty() ? 0 : data[0], data.size());
    }

private:
    std::string m_serial;
    uint16_t m_vendor, m_product;
    std::string m_productName;
    Bytes m_reportDescriptor;
    SimulatedCharger m_charger;
};

// A vendor-page report descriptor: one collection, 8-bit fields; each entry is
// (report ID, main item: 0x81 input, 0x91 output, 0xb1 feature, byte count after the ID).
Bytes reportDescriptor(const std::vector<std::array<uint8_t, 3>> &reports)
{
    Bytes d = {0x06, 0x00, 0xff, 0x09, 0x01, 0xa1, 0x01, 0x15, 0x00, 0x26, 0xff, 0x00, 0x75, 0x08};
    for (const auto &[id, item, count] : reports) {
        if (id != 0)
            d.insert(d.end(), {0x85, id});
        d.insert(d.end(), {0x95, count, 0x09, 0x01, item, 0x02});
    }
    d.push_back(0xc0);
    return d;
}

// --- CP2112 ---------------------------------------------------------------------------
// Report IDs are the commands. SMBus word transfers are a data request (0x11 write-read,
// 0x14 write), then transfer status requests (0x15) answered by 0x16, then for a read a
// force-send (0x12) answered by the data (0x13). hid-cp2112 waits only 50 ms for each
// answer: an emulator starved on a loaded host can miss that window, so it must run at
// normal priority, and the checks that time it allow one retry.
class Cp2112 : public HidBridge
{
    enum : uint8_t {
        kVersion = 0x05,
        kSmbusConfig = 0x06,
        kReadRequest = 0x10,
        kWriteReadRequest = 0x11,
        kForceSend = 0x12,
        kReadResponse = 0x13,
        kWriteRequest = 0x14,
        kStatusRequest = 0x15,
        kStatusResponse = 0x16,
        kCancel = 0x17,
        kLockByte = 0x20,
    };
    enum : uint8_t { kIdle = 0, kComplete = 2, kError = 3 };            // status 0
    enum : uint8_t { kTimeoutNack = 0, kWriteIncomplete = 4, kOk = 5 }; // status 1

public:
    explicit Cp2112(std::string serial)
        : HidBridge(std::move(serial), 0x10c4, 0xea90, "CP2112 emulated bridge",
                    // Every input report the bridge sends back must be declared: usbhid
                    // drops a report whose ID the descriptor lacks, and the driver's
                    // wait for it just times out.
                    reportDescriptor({{kVersion, 0xb1, 2},
                                      {kSmbusConfig, 0xb1, 13},
                                      {kLockByte, 0xb1, 1},
                                      {kReadRequest, 0x91, 63},
                                      {kWriteReadRequest, 0x91, 63},
                                      {kForceSend, 0x91, 63},
                                      {kWriteRequest, 0x91, 63},
                                      {kStatusRequest, 0x91, 63},
                                      {kCancel, 0x91, 63},
                                      {kReadResponse, 0x81, 63},
                                      {kStatusResponse, 0x81, 63}}))
    {}

    void reset() override
    {
        m_status0 = kIdle;
        m_status1 = kOk;
        m_data.clear();
    }

    int32_t dataOut(const Bytes &out, std::deque<Bytes> &reports) override
    {
        const size_t n = out.size();
        if (n >= 6 && out[0] == kWriteReadRequest && out[4] == 1 && out[2] == 0 && out[3] == 2) {
            uint16_t word = 0;
            finish(readWord(out[1] >> 1, out[5], word));
            if (m_status0 == kComplete)
                m_data = {uint8_t(word), uint8_t(word >> 8)};
        } else if (n >= 6 && out[0] == kWriteRequest && out[2] == 3) {
            finish(writeWord(out[1] >> 1, out[3], uint16_t(out[4] | out[5] << 8)));
        } else if (n >= 2 && out[0] == kStatusRequest) {
            const uint16_t length = uint16_t(m_data.size());
            reports.push_back(report({kStatusResponse, m_status0, m_status1, 0, 0,
                                      uint8_t(length >> 8), uint8_t(length)}));
        } else if (n >= 3 && out[0] == kForceSend) {
            Bytes r = report({kReadResponse, kComplete, uint8_t(m_data.size())});
            std::copy(m_data.begin(), m_data.end(), r.begin() + 3);
            reports.push_back(r);
            m_data.clear();
        } else if (n >= 1 && out[0] == kCancel) {
            reset();
        } else {
            unexpected("cp2112", out);
            return -EPIPE;
        }
        return 0;
    }

protected:
    // The driver compares each reply's length with its own structure: the byte counts
    // here are exact (report ID included).
    Bytes getFeature(uint8_t id) override
    {
        switch (id) {
        case kVersion:
            return {kVersion, 0x0c, 0x02}; // part number, version 2 (repeated start)
        case kSmbusConfig:
            return m_smbusConfig;
        case kLockByte:
            return {kLockByte, 0xff}; // nothing programmed yet
        }
        return {};
    }
    bool setFeature(uint8_t id, const Bytes &data) override
    {
        if (id != kSmbusConfig || data.size() != m_smbusConfig.size())
            return false;
        m_smbusConfig = data;
        return true;
    }

private:
    // A NAK of the address is a "timeout, address not acknowledged" (the driver makes it
    // ETIMEDOUT); a register the charger refuses is an incomplete write (EIO).
    void finish(I2cResult result)
    {
        m_data.clear();
        m_status0 = result == I2cResult::Ok ? kComplete : kError;
        m_status1 = result == I2cResult::Ok           ? kOk
                    : result == I2cResult::AddressNak ? kTimeoutNack
                                                      : kWriteIncomplete;
    }

    // 100 kHz, address 0x02, no auto-send, no time-outs, no SCL-low time-out, no retry limit.
    Bytes m_smbusConfig = {kSmbusConfig, 0, 1, 0x86, 0xa0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0};
    uint8_t m_status0 = kIdle, m_status1 = kOk;
    Bytes m_data;
};

// --- MCP2221 --------------------------------------------------------------------------
// No report IDs: byte 0 of every 64-byte report is the command, echoed in the answer.
// A word read is a write without stop (0x94, the register), a read with repeated start
// (0x93), then get-data (0x40) until the bytes are in, then a status request (0x10); a
// word write is 0x90 and a status request. The driver learns of a NAK from the status
// (byte 20 bit 6) or from get-data (byte 2 0x25).
//
// hid-mcp2221 on Linux 6.1 sends its probe commands (set speed, then one GPIO query per
// pin) before the HID core passes input reports to it, so it loses every answer and
// waits out its 4 s time-out on each: the i2c bus appears after about 8 s, and binding
// ends about 16 s later. Transfers in between fail after 4 s with ETIMEDOUT.
class Mcp2221 : public HidBridge
{
    enum : uint8_t {
        kStatus = 0x10,
        kCancel = 0x10,
        kSetSpeed = 0x20,
        kGetData = 0x40,
        kGpioSet = 0x50,
        kGpioGet = 0x51,
        kGetSram = 0x61,
        kWrite = 0x90,
        kReadData = 0x91,
        kReadRepeated = 0x93,
        kWriteNoStop = 0x94,
    };
    enum : uint8_t { kAddressNack = 0x25, kReadComplete = 0x55, kNackBit = 0x40 };
    // An engine state the driver has no name for: it reports EIO. Used for a register the
    // charger refuses.
    static constexpr uint8_t kRefusedState = 0x47;

public:
    explicit Mcp2221(std::string serial)
        : HidBridge(std::move(serial), 0x04d8, 0x00dd, "MCP2221 emulated bridge",
                    reportDescriptor({{0, 0x81, 64}, {0, 0x91, 64}}))
    {}

    void reset() override
    {
        m_result = I2cResult::Ok;
        m_data.clear();
    }

    int32_t dataOut(const Bytes &out, std::deque<Bytes> &reports) override
    {
        if (out.empty()) {
            unexpected("mcp2221", out);
            return -EPIPE;
        }
        const uint8_t command = out[0];
        const size_t n = out.size();
        if (command == kStatus && n >= 5) {
            Bytes r = report({kStatus, 0});
            if (out[2] == kCancel)
                reset();
            if (out[3] == kSetSpeed) {
                r[3] = kSetSpeed;
                r[4] = out[4];
            }
            r[8] = m_result == I2cResult::Refused ? kRefusedState : 0;
            r[20] = m_result == I2cResult::AddressNak ? kNackBit : 0;
            reports.push_back(r);
        } else if ((command == kWrite || command == kWriteNoStop) && n >= 5) {
            // Length in bytes 1-2, address (8-bit form) in 3, then the data.
            const uint8_t address7 = out[3] >> 1, length = out[1];
            m_data.clear();
            if (length == 3 && n >= 7)
                m_result = writeWord(address7, out[4], uint16_t(out[5] | out[6] << 8));
            else if (length == 1)
                m_result =
                    address7 == kChargerAddress7 && !m_nak ? I2cResult::Ok : I2cResult::AddressNak;
            else
                unexpected("mcp2221 write", out);
            m_pointer = out[4];
            reports.push_back(report({command, 0}));
        } else if ((command == kReadRepeated || command == kReadData) && n >= 4) {
            uint16_t word = 0;
            if (m_result == I2cResult::Ok)
                m_result = readWord(out[3] >> 1, m_pointer, word);
            m_data = {uint8_t(word), uint8_t(word >> 8)};
            m_data.resize(std::min<size_t>(out[1], 2));
            reports.push_back(report({command, 0}));
        } else if (command == kGetData) {
            Bytes r = report({kGetData, 0});
            if (m_result == I2cResult::AddressNak) {
                r[2] = kAddressNack;
            } else if (m_result == I2cResult::Refused) {
                r[3] = 127; // the driver's "read error"
            } else {
                r[2] = kReadComplete;
                r[3] = uint8_t(m_data.size());
                std::copy(m_data.begin(), m_data.end(), r.begin() + 4);
                m_data.clear();
            }
            reports.push_back(r);
        } else if (command == kGpioGet) {
            // Four pins, each value 0 and direction 1 (input): plain GPIOs.
            reports.push_back(report({kGpioGet, 0, 0, 1, 0, 1, 0, 1, 0, 1}));
        } else if (command == kGpioSet || command == kGetSram) {
            reports.push_back(report({command, 0})); // no pin set to an ADC or DAC
        } else {
            unexpected("mcp2221", out);
            return -EPIPE;
        }
        return 0;
    }

private:
    I2cResult m_result = I2cResult::Ok;
    uint8_t m_pointer = 0;
    Bytes m_data;
};

// --- FT260 ----------------------------------------------------------------------------
// Report IDs are the commands. An I2C write is an output report 0xD0-0xDE (address,
// condition flags, length, data); a read is a read request 0xC2 (address, flags, length)
// answered by an input report 0xD0-0xDE (length, data). After each, hid-ft260 reads the
// I2C status as a feature report (0xC0) until the controller is no longer busy, and
// resets the I2C controller (feature 0xA1, request 0x20) after any error. An SMBus word
// read is a write of the register without a stop, then a read with a repeated start and
// a stop; a word write is one write with start and stop.
//
// What hid-ft260 on Linux 6.1 (Debian's, with the fixes of later kernels) does that
// matters here:
//  - It has no name for a NAK: any error bit in the status is EIO, so a charger that
//    does not acknowledge and a register it refuses both come out as EIO.
//  - Binding, it reads the chip version (13 bytes), the system status (25 bytes) and
//    the I2C status, whose clock it divides by for every write's wait: a status with
//    clock 0 would divide by zero, so the emulator always reports 100 kHz. A reply
//    shorter than the driver's structure fails the bind.
//    Nothing of its probe needs an input report, so, unlike the MCP2221, it binds at
//    once and has no starting state.
//  - After a write without a stop the FT260 keeps the bus for the repeated start (bus
//    busy bit); the driver takes that as done for such a write, and waits out the bit
//    only after a write with a stop.
//  - When 4.8 s passed since it last read the status, it reads it twice, to wake a
//    bridge from power saving; both reads get the same answer here.
//  - It picks the report ID of a write from the payload length in plain I2C writes but
//    from the length with the 4-byte header in SMBus writes (a word write's 3 bytes go
//    as 0xD1, not 0xD0); the FT260 goes by the length byte, and so does the emulator.
//  - A bridge that stops answering costs two USB time-outs a transfer: usbhid's 5 s for
//    the output report, then 5 s more for the I2C reset the driver sends on the control
//    pipe when that fails.
class Ft260 : public HidBridge
{
    enum : uint8_t {
        kChipVersion = 0xa0,
        kSystemSettings = 0xa1,
        kI2cStatus = 0xc0,
        kReadRequest = 0xc2,
        kDataFirst = 0xd0, // 4 bytes of payload more for each later ID
        kDataLast = 0xde,
    };
    // Requests of a feature report 0xA1 the driver (or its sysfs files) sends.
    enum : uint8_t {
        kSetClock = 0x01,
        kSetI2cMode = 0x02,
        kSetUartMode = 0x03,
        kResetI2c = 0x20,
        kSetI2cSpeed = 0x22
    };
    enum : uint8_t { // the I2C status byte
        kControllerBusy = 0x01,
        kError = 0x02,
        kAddressNack = 0x04,
        kDataNack = 0x08,
        kControllerIdle = 0x20,
        kBusBusy = 0x40,
    };
    enum : uint8_t { kStop = 0x04 }; // condition flags: 0x02 start, 0x03 repeated start

    static std::vector<std::array<uint8_t, 3>> reports()
    {
        std::vector<std::array<uint8_t, 3>> r = {{kChipVersion, 0xb1, 12},
                                                 {kSystemSettings, 0xb1, 24},
                                                 {kI2cStatus, 0xb1, 4},
                                                 {kReadRequest, 0x91, 63}};
        // Every input report the bridge sends back must be declared (see the CP2112).
        for (uint8_t id = kDataFirst; id <= kDataLast; ++id) {
            r.push_back({id, 0x81, 63});
            r.push_back({id, 0x91, 63});
        }
        return r;
    }

public:
    explicit Ft260(std::string serial)
        : HidBridge(std::move(serial), 0x0403, 0x6030, "FT260 emulated bridge",
                    reportDescriptor(reports()))
    {}

    void reset() override
    {
        m_status = kControllerIdle;
        m_clockKhz = 100;
        m_pointer = 0;
    }

    int32_t dataOut(const Bytes &out, std::deque<Bytes> &reports) override
    {
        const size_t n = out.size();
        if (n >= 4 && out[0] >= kDataFirst && out[0] <= kDataLast) {
            const uint8_t length = out[3];
            if (length == 0 || n < size_t(4 + length) || length > 4 * (out[0] - kDataFirst + 1)) {
                unexpected("ft260 write", out);
                return -EPIPE;
            }
            write(out[1], out[2], Bytes(out.begin() + 4, out.begin() + 4 + length));
        } else if (n >= 5 && out[0] == kReadRequest) {
            const uint16_t length = uint16_t(out[3] | out[4] << 8);
            if (length < 1 || length > 2) {
                unexpected("ft260 read", out);
                return -EPIPE;
            }
            reports.push_back(read(out[1], uint8_t(length)));
        } else {
            unexpected("ft260", out);
            return -EPIPE;
        }
        return 0;
    }

protected:
    Bytes getFeature(uint8_t id) override
    {
        switch (id) {
        case kChipVersion: // chip code 0260, then 8 reserved bytes
            return {kChipVersion, 0x02, 0x60, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
        case kSystemSettings: {
            // I2C only (DCNF0), 48 MHz, not suspended, ready, I2C on, UART off, no HID
            // over I2C, plain GPIOs, no wake-up interrupt, no power saving; 10 reserved.
            Bytes r = {kSystemSettings, 1, 2, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            r.resize(25, 0);
            return r;
        }
        case kI2cStatus:
            return {kI2cStatus, m_status, uint8_t(m_clockKhz), uint8_t(m_clockKhz >> 8), 0};
        }
        return {};
    }
    bool setFeature(uint8_t id, const Bytes &data) override
    {
        if (id != kSystemSettings || data.size() < 2)
            return false;
        switch (data[1]) {
        case kResetI2c:
            m_status = kControllerIdle;
            return true;
        case kSetI2cSpeed:
            if (data.size() < 4 || (data[2] | data[3] << 8) == 0)
                return false;
            m_clockKhz = uint16_t(data[2] | data[3] << 8);
            return true;
        case kSetClock:
        case kSetI2cMode:
        case kSetUartMode:
            return data.size() >= 3;
        }
        return false;
    }

private:
    // One I2C write: the register alone (without a stop before a read, or with one), or
    // the register and a word.
    void write(uint8_t address7, uint8_t flags, const Bytes &data)
    {
        if (address7 != kChargerAddress7 || m_nak) {
            m_status = kError | kAddressNack | kControllerIdle;
            return;
        }
        m_pointer = data[0];
        if (data.size() == 1) {
            m_status = flags & kStop ? kControllerIdle : kControllerIdle | kBusBusy;
        } else if (data.size() == 3 && (flags & kStop)) {
            const I2cResult r = writeWord(address7, data[0], uint16_t(data[1] | data[2] << 8));
            m_status = r == I2cResult::Ok ? kControllerIdle : kError | kDataNack | kControllerIdle;
        } else {
            unexpected("ft260 write", data);
            m_status = kError | kControllerIdle;
        }
    }

    // One I2C read of the register the last write selected. The input report always
    // comes, so that the driver's wait ends at once; a failure is in the status it reads
    // next (a register the charger refuses shows as a NAK of the data).
    Bytes read(uint8_t address7, uint8_t length)
    {
        uint16_t word = 0;
        const I2cResult r = readWord(address7, m_pointer, word);
        m_status = r == I2cResult::Ok           ? kControllerIdle
                   : r == I2cResult::AddressNak ? kError | kAddressNack | kControllerIdle
                                                : kError | kDataNack | kControllerIdle;
        if (r != I2cResult::Ok)
            word = 0;
        Bytes answer = report({uint8_t(kDataFirst + (length - 1) / 4), length, uint8_t(word)});
        if (length == 2)
            answer[3] = uint8_t(word >> 8);
        return answer;
    }

    uint8_t m_status = kControllerIdle;
    uint16_t m_clockKhz = 100;
    uint8_t m_pointer = 0;
};
} // namespace

std::unique_ptr<EmulatedDevice> makeTinyUsbDevice(const std::string &serial);
std::unique_ptr<EmulatedDevice> makeU2cDevice(const std::string &serial);

std::unique_ptr<EmulatedDevice> makeEmulatedDevice(const std::string &family,
                                                   const std::string &serial)
{
    if (family == "i2c-tiny-usb")
        return makeTinyUsbDevice(serial);
    if (family == "cp2112")
        return std::make_unique<Cp2112>(serial);
    if (family == "mcp2221")
        return std::make_unique<Mcp2221>(serial);
    if (family == "ft260")
        return std::make_unique<Ft260>(serial);
    if (family == "u2c")
        return makeU2cDevice(serial);
    return nullptr;
}

Bytes bridgeString(uint8_t index, const std::string &product, const std::string &serial)
{
    switch (index) {
    case 0:
        return {4, 3, 0x09, 0x04};
    case 1:
        return stringDescriptor("kv7320 test bench");
    case 2:
        return stringDescriptor(product);
    case 3:
        return stringDescriptor(serial);
    }
    return {};
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
