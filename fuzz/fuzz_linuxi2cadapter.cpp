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

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <algorithm>
#include <map>
#include <memory>

namespace {
constexpr int kErrnos[] = {0, EIO, ENXIO, ENODEV, ETIMEDOUT, EAGAIN, EREMOTEIO, EPROTO, EINTR};

class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    bool atEnd() const { return m_pos >= m_size; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A kernel whose answers come from the input: each call first takes a byte that says
// whether it fails and with which errno.
class FuzzedKernel : public I2cDevSyscalls
{
public:
    explicit FuzzedKernel(Input &in) : m_in(in) {}

    std::map<int, int> fds; // fd -> 7-bit address set with I2C_SLAVE, -1 none
    std::map<uint8_t, uint16_t> chip;
    unsigned long functions = I2C_FUNC_I2C | I2C_FUNC_SMBUS_READ_WORD_DATA
                              | I2C_FUNC_SMBUS_WRITE_WORD_DATA;

    int open(const std::string &) override
    {
        if (const int e = error())
            return -e;
        fds[m_next] = -1;
        return m_next++;
    }
    int close(int fd) override
    {
        FUZZ_CHECK(fds.erase(fd) == 1);
        return 0;
    }
    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        auto it = fds.find(fd);
        FUZZ_CHECK(it != fds.end());
        if (const int e = error())
            return -e;
        switch (request) {
        case I2C_FUNCS:
            *reinterpret_cast<unsigned long *>(arg) = functions;
            return 0;
        case I2C_SLAVE:
            FUZZ_CHECK(arg <= 0x7F);
            it->second = int(arg);
            return 0;
        case I2C_SMBUS: {
            auto &args = *reinterpret_cast<i2c_smbus_ioctl_data *>(arg);
            FUZZ_CHECK(args.size == I2C_SMBUS_WORD_DATA && args.data);
            FUZZ_CHECK(args.read_write == I2C_SMBUS_READ || args.read_write == I2C_SMBUS_WRITE);
            FUZZ_CHECK(it->second >= 0);
            if (it->second != 0x09)
                return -ENXIO;
            if (args.read_write == I2C_SMBUS_WRITE)
                chip[args.command] = args.data->word;
            else
                args.data->word = chip[args.command];
            return 0;
        }
        default:
            FUZZ_CHECK(false && "unexpected ioctl");
            return -ENOTTY;
        }
    }

private:
    int error()
    {
        const uint8_t b = m_in.byte();
        // Mostly answers: one call in four fails.
        return (b & 3) == 3 ? kErrnos[(b >> 2) % std::size(kErrnos)] : 0;
    }

    Input &m_in;
    int m_next = 3;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The machine as it starts, built again only after an input unplugged the bridge.
    static FakeTree tree;
    static bool changed = true;
    if (changed) {
        tree.reset();
        tree.run(kCp2112Script);
        changed = false;
    }

    Input in(data, size);
    FuzzedKernel kernel(in);
    LinuxI2cAdapter::Options options;
    options.discovery.sysfsRoot = tree.sys().string();
    options.discovery.files = &tree.files;
    options.devDir = tree.dev().string();
    auto adapter = std::make_unique<LinuxI2cAdapter>(options, &kernel);
    int bus = 3;
    int16_t lastWrite = LinuxI2cAdapter::kStatusNoWriteYet;

    for (int step = 0; step < 64 && !in.atEnd(); ++step) {
        const uint8_t op = in.byte();
        const auto command = static_cast<uint8_t>(in.byte() % 4);
        const auto address = static_cast<int16_t>(in.byte() & 1 ? 0x12 : in.byte());
        switch ((op & 0x7F) % 10) {
        case 0: {
            int32_t count = -1;
            std::string names;
            FUZZ_CHECK(adapter->AdapterFindDevices(1, count, names) == 0);
            FUZZ_CHECK(count == (names.empty() ? 0 : 1 + int(std::count(names.begin(), names.end(), ','))));
            break;
        }
        case 1: {
            std::string name = op & 0x80 ? "cp2112 at USB 1-2 serial 0012A3F4" : "cp2112 at USB 9-9";
            const int16_t s = adapter->AdapterOpen(name);
            if (!(op & 0x80))
                FUZZ_CHECK(s == LinuxI2cAdapter::kStatusNoSuchAdapter);
            lastWrite = LinuxI2cAdapter::kStatusNoWriteYet;
            break;
        }
        case 2:
            FUZZ_CHECK(adapter->AdapterClose() == 0);
            FUZZ_CHECK(kernel.fds.empty());
            break;
        case 3: {
            int16_t word = static_cast<int16_t>(in.byte() << 8 | in.byte());
            const int16_t written = word;
            lastWrite = adapter->AdapterWriteWord(command, word, address);
            if (lastWrite == 0) {
                FUZZ_CHECK((address & 0xFF) >> 1 == 0x09);
                FUZZ_CHECK(kernel.chip[command] == uint16_t(written));
            }
            break;
        }
        case 4: {
            int16_t c = command;
            int16_t word = 0x5A5A;
            const int16_t s = adapter->AdapterReadWord(c, word, address);
            if (s == 0)
                FUZZ_CHECK(uint16_t(word) == kernel.chip[command]);
            else
                FUZZ_CHECK(word == 0x5A5A);
            break;
        }
        case 5:
            FUZZ_CHECK(adapter->AdapterWriteCheck() == lastWrite);
            break;
        case 6: {
            int16_t a = 0, r = 0, d = 0;
            FUZZ_CHECK(adapter->AdapterByteTransfer(1, a, r, d) == LinuxI2cAdapter::kStatusNotOnThisBus);
            FUZZ_CHECK(adapter->AdapterHdqRead(1, r, d) == LinuxI2cAdapter::kStatusNotOnThisBus);
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
            tree.apply("f devices/pci0000:00/0000:00:14.0/usb1/1-2/devnum " + std::to_string(bus + 2));
            tree.apply("l bus/i2c/devices/i2c-" + std::to_string(bus) + " " + hid + "/i2c-"
                       + std::to_string(bus));
            tree.apply("n " + std::to_string(bus));
            break;
        }
        default: // the bus loses or regains SMBus words
            kernel.functions ^= I2C_FUNC_SMBUS_READ_WORD_DATA;
            break;
        }
        FUZZ_CHECK(kernel.fds.size() <= 1);
        FUZZ_CHECK((adapter->openBusNumber() >= 0) == (kernel.fds.size() == 1));
    }
    adapter.reset();
    FUZZ_CHECK(kernel.fds.empty());
    return 0;
}
