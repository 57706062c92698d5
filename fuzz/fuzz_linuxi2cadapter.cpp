// The i2c-dev backend against a fake kernel that fails calls as the input says, while
// the bridge is unplugged and plugged back on other bus numbers: the backend makes no
// request the kernel would refuse (no ioctl on a closed descriptor, no address above
// 0x7F, no transfer other than an SMBus word, none before I2C_SLAVE), holds at most
// one descriptor and none after AdapterClose, and every transfer it calls a success
// is one the chip saw: a read gives the chip's word, a write leaves it there.
#include "faketree.h"
#include "fuzzproperty.h"
#include "i2cdevsyscalls.h"
#include "linuxi2cadapter.h"
#include "support/fakekernel.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <memory>

namespace {
constexpr int kErrnos[] = {0, EIO, ENXIO, ENODEV, ETIMEDOUT, EAGAIN, EREMOTEIO, EPROTO, EINTR};

class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {}
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    bool atEnd() const { return m_pos >= m_size; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Whether a call fails, and with which errno: one byte of the input for each call.
int errorFrom(Input &in)
{
    const uint8_t b = in.byte();
    // Mostly answers: one call in four fails.
    return (b & 3) == 3 ? kErrnos[(b >> 2) % std::size(kErrnos)] : 0;
}

// Every request the backend made so far is one the kernel takes.
void checkRequests(const FakeKernel &kernel)
{
    if (!kernel.faults.empty())
        std::fprintf(stderr, "%s", kernel.faultList().c_str());
    FUZZ_CHECK(kernel.faults.empty());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The machine as it starts, kept from input to input: one that unplugs or replugs the
    // bridge builds it again at its end, so that what a run allocates it frees (or
    // libFuzzer would look for a leak).
    static FakeTree tree;
    static bool built = false;
    if (!built)
        tree.run(kCp2112Script);
    built = true;
    bool changed = false;

    Input in(data, size);
    FakeKernel kernel;
    kernel.functions =
        I2C_FUNC_I2C | I2C_FUNC_SMBUS_READ_WORD_DATA | I2C_FUNC_SMBUS_WRITE_WORD_DATA;
    kernel.failure = [&in](FakeKernel::Call) { return errorFrom(in); };
    LinuxI2cAdapter::Options options;
    options.discovery.sysfsRoot = tree.sys();
    options.discovery.files = &tree.files;
    options.devDir = tree.dev();
    auto adapter = std::make_unique<LinuxI2cAdapter>(options, &kernel, &kernel);
    int bus = 3;
    int16_t lastWrite = BusStatus::kNoWriteYet;

    for (int step = 0; step < 64 && !in.atEnd(); ++step) {
        const uint8_t op = in.byte();
        const auto command = static_cast<uint8_t>(in.byte() % 4);
        const auto address = static_cast<int16_t>(in.byte() & 1 ? 0x12 : in.byte());
        switch ((op & 0x7F) % 10) {
        case 0: {
            int32_t count = -1;
            std::string names;
            FUZZ_CHECK(adapter->AdapterFindDevices(1, count, names) == 0);
            FUZZ_CHECK(count ==
                       (names.empty() ? 0 : 1 + int(std::count(names.begin(), names.end(), ','))));
            break;
        }
        case 1: {
            std::string name =
                op & 0x80 ? "cp2112 at USB 1-2 serial 0012A3F4" : "cp2112 at USB 9-9";
            const int16_t s = adapter->AdapterOpen(name);
            if (!(op & 0x80))
                FUZZ_CHECK(s == BusStatus::kNoSuchAdapter);
            lastWrite = BusStatus::kNoWriteYet;
            break;
        }
        case 2:
            FUZZ_CHECK(adapter->AdapterClose() == 0);
            FUZZ_CHECK(kernel.openCount() == 0);
            break;
        case 3: {
            int16_t word = static_cast<int16_t>(in.byte() << 8 | in.byte());
            const int16_t written = word;
            lastWrite = adapter->AdapterWriteWord(command, word, address);
            if (lastWrite == 0) {
                FUZZ_CHECK((address & 0xFF) >> 1 == 0x09);
                FUZZ_CHECK(kernel.words[command] == uint16_t(written));
            }
            break;
        }
        case 4: {
            int16_t c = command;
            int16_t word = 0x5A5A;
            const int16_t s = adapter->AdapterReadWord(c, word, address);
            if (s == 0)
                FUZZ_CHECK(uint16_t(word) == kernel.words[command]);
            else
                FUZZ_CHECK(word == 0x5A5A);
            break;
        }
        case 5:
            FUZZ_CHECK(adapter->AdapterWriteCheck() == lastWrite);
            break;
        case 6: {
            int16_t a = 0, r = 0, d = 0;
            FUZZ_CHECK(adapter->AdapterByteTransfer(1, a, r, d) == BusStatus::kNotSupported);
            FUZZ_CHECK(adapter->AdapterHdqRead(1, r, d) == BusStatus::kNotSupported);
            break;
        }
        case 7: // unplugged
            changed = true;
            tree.apply("u " + std::to_string(bus));
            break;
        case 8: { // plugged back, on the next bus number, with a new USB device number
            changed = true;
            tree.apply("u " + std::to_string(bus));
            ++bus;
            const std::string hid =
                "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0004";
            tree.apply("d " + hid + "/i2c-" + std::to_string(bus));
            tree.apply("l " + hid + "/i2c-" + std::to_string(bus) + "/subsystem bus/i2c");
            tree.apply("f devices/pci0000:00/0000:00:14.0/usb1/1-2/devnum " +
                       std::to_string(bus + 2));
            tree.apply("l bus/i2c/devices/i2c-" + std::to_string(bus) + " " + hid + "/i2c-" +
                       std::to_string(bus));
            tree.apply("n " + std::to_string(bus));
            break;
        }
        default: // the bus loses or regains SMBus words
            kernel.functions ^= I2C_FUNC_SMBUS_READ_WORD_DATA;
            break;
        }
        checkRequests(kernel);
        FUZZ_CHECK(kernel.openCount() <= 1);
        FUZZ_CHECK((adapter->openBusNumber() >= 0) == (kernel.openCount() == 1));
    }
    adapter.reset();
    checkRequests(kernel);
    FUZZ_CHECK(kernel.openCount() == 0);
    if (changed) {
        tree.reset();
        tree.run(kCp2112Script);
    }
    return 0;
}
