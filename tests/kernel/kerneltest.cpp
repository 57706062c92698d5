// Runs inside a small virtual machine against the kernel's own i2c-dev and i2c-stub
// (see scripts/kernel-test). Static, without Qt: it uses the backend exactly as the
// program does, through frmUSB and the bus transactions.
//
//   kerneltest words    i2c-stub chip_addr=0x09,0x50 with at24 bound at 0x50
//   kerneltest nowords  i2c-stub without SMBus word functions
//
// Prints one line per check and exits 0 only when every check passed.

#include "bustransactions.h"
#include "frmusb.h"
#include "linuxi2cadapter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
int failures = 0;

void check(bool ok, const std::string &what, long got = 0, long expected = 0)
{
    if (ok)
        std::printf("PASS %s\n", what.c_str());
    else
        std::printf("FAIL %s (got %ld, expected %ld)\n", what.c_str(), got, expected);
    failures += ok ? 0 : 1;
}

LinuxI2cAdapter::Options stubOptions()
{
    LinuxI2cAdapter::Options options;
    options.discovery.acceptNonUsbBuses = true; // i2c-stub is not on USB
    return options;
}

double nowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

// Microseconds per transfer for count transfers.
template<typename Transfer>
double perWordUs(int count, Transfer transfer)
{
    const double start = nowUs();
    for (int i = 0; i < count; ++i)
        transfer();
    return (nowUs() - start) / count;
}

// The three paths take turns, round after round, and each keeps its best round, so
// that a slow spell of the emulator does not fall on one path only.
void measure(LinuxI2cAdapter &adapter)
{
    constexpr int kRounds = 15, kCount = 4000;
    const int fd = open("/dev/i2c-0", O_RDWR);
    check(fd >= 0 && ioctl(fd, I2C_SLAVE, 0x09) == 0, "plain descriptor for the timing loop");
    if (fd < 0)
        return;
    bool allOk = true;
    auto plainRead = [&] {
        i2c_smbus_data data{};
        i2c_smbus_ioctl_data args{I2C_SMBUS_READ, 0x15, I2C_SMBUS_WORD_DATA, &data};
        allOk &= ioctl(fd, I2C_SMBUS, &args) == 0;
    };
    auto backendRead = [&] {
        int16_t command = 0x15, word = 0;
        allOk &= adapter.AdapterReadWord(command, word, 0x12) == 0;
    };
    auto programRead = [&] {
        uint8_t command = 0x15, ms = 0, ls = 0;
        allOk &= BusReadWord(command, ms, ls) == 0;
    };
    double plain = 1e300, backend = 1e300, program = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        plain = std::min(plain, perWordUs(kCount, plainRead));
        backend = std::min(backend, perWordUs(kCount, backendRead));
        program = std::min(program, perWordUs(kCount, programRead));
    }
    close(fd);
    check(allOk, "every timed transfer succeeded");
    std::printf("TIMING plain ioctl loop: %.2f us/word\n", plain);
    std::printf("TIMING LinuxI2cAdapter::AdapterReadWord: %.2f us/word (ratio %.2f)\n", backend,
                backend / plain);
    std::printf("TIMING BusReadWord through frmUSB: %.2f us/word (ratio %.2f)\n", program,
                program / plain);
}

void wordsPhase()
{
    // Nothing on USB here: the program's own configuration must list nothing.
    {
        LinuxI2cAdapter plain;
        int32_t count = -1;
        std::string names = "x";
        plain.AdapterFindDevices(1, count, names);
        check(count == 0 && names.empty(), "without the test option the stub bus is not listed",
              count, 0);
        std::string busName = "i2c-0 SMBus stub driver";
        check(plain.AdapterOpen(busName) == LinuxI2cAdapter::kStatusNoSuchAdapter,
              "without the test option the stub bus cannot be opened");
    }

    auto owned = std::make_unique<LinuxI2cAdapter>(stubOptions());
    LinuxI2cAdapter &adapter = *owned;
    frmUSB::instance().setAdapter(std::move(owned));

    int32_t count = 0;
    std::string names;
    adapter.AdapterFindDevices(1, count, names);
    std::printf("INFO found %d: %s\n", count, names.c_str());
    check(count == 1 && names.rfind("i2c-0 ", 0) == 0, "stub bus listed as i2c-0", count, 1);
    check(frmUSB::instance().OpenFirstFreeDevice(), "OpenFirstFreeDevice opens it");
    check(adapter.openBusNumber() == 0, "node /dev/i2c-0 is open", adapter.openBusNumber(), 0);

    // Round trips through the program's own path, including the sign bit.
    nDeviceAddress = 0x12;
    const uint16_t words[] = {0x1234, 0x8001, 0xFFFF, 0x0000};
    for (uint16_t w : words) {
        uint8_t command = 0x14, ms = uint8_t(w >> 8), ls = uint8_t(w & 0xFF);
        const int32_t ws = BusWriteWord(command, ms, ls);
        uint8_t rms = 0xAA, rls = 0x55;
        const int32_t rs = BusReadWord(command, rms, rls);
        char what[80];
        std::snprintf(what, sizeof what, "word 0x%04X written and read back", w);
        check(ws == 0 && rs == 0 && rms == (w >> 8) && rls == (w & 0xFF), what,
              (rms << 8) | rls, w);
    }
    {
        // Two registers keep their own words.
        int16_t a = 0x0102, b = 0x0304, command = 0x08, word = 0;
        adapter.AdapterWriteWord(0x08, a, 0x12);
        adapter.AdapterWriteWord(0x09, b, 0x12);
        const int16_t s = adapter.AdapterReadWord(command, word, 0x12);
        check(s == 0 && word == 0x0102, "registers are independent", word, 0x0102);
        check(adapter.AdapterWriteCheck() == 0, "write check after a good write");
    }

    // The kernel's own status for an absent chip is ENODEV: non-zero, and not an unplug.
    {
        int16_t command = 0x14, word = 0x2222, w = 0x1111;
        const int16_t rs = adapter.AdapterReadWord(command, word, 0x14); // 7-bit 0x0A
        check(rs == ENODEV, "read from an absent address gives ENODEV", rs, ENODEV);
        check(word == 0x2222, "failed read leaves the word as it was", word, 0x2222);
        const int16_t ws = adapter.AdapterWriteWord(0x14, w, 0x14);
        check(ws != 0 && adapter.AdapterWriteCheck() == ws, "write to an absent address fails");
        check(adapter.openBusNumber() == 0, "bus still open after the absent-address errors");
        uint8_t c = 0x14, ms = 0, ls = 0;
        nDeviceAddress = 0x14;
        check(BusReadWord(c, ms, ls) != 0, "BusReadWord to an absent address fails");
        nDeviceAddress = 0x12;
        check(BusReadWord(c, ms, ls) == 0, "and the charger's address works right after");
    }

    // An address held by a kernel driver (at24 at 0x50) is never taken over.
    {
        int16_t command = 0x00, word = 0;
        const int16_t s = adapter.AdapterReadWord(command, word, 0xA0);
        check(s == EBUSY, "address held by a kernel driver gives EBUSY", s, EBUSY);
        check(adapter.AdapterReadWord(command, word, 0x12) == 0, "charger reachable after EBUSY");
    }

    // Operations with no traffic on this bus.
    {
        int16_t a = 0x12, r = 0, d = 0;
        check(adapter.AdapterByteTransfer(2, a, r, d) != 0, "byte transfer refused");
        check(adapter.AdapterHdqRead(1, r, d) != 0, "HDQ read refused");
    }

    measure(adapter);

    frmUSB::instance().CloseDevice();
    int16_t command = 0x14, word = 0;
    check(adapter.AdapterReadWord(command, word, 0x12) == LinuxI2cAdapter::kStatusNotOpen,
          "transfers after close fail");
}

void noWordsPhase()
{
    LinuxI2cAdapter adapter(stubOptions());
    int32_t count = 0;
    std::string names;
    adapter.AdapterFindDevices(1, count, names);
    check(count == 1, "stub bus without word functions is listed", count, 1);
    std::string name = names.substr(0, names.find(','));
    const int16_t s = adapter.AdapterOpen(name);
    check(s == LinuxI2cAdapter::kStatusNoWordTransfers, "I2C_FUNCS without word data refuses open",
          s, LinuxI2cAdapter::kStatusNoWordTransfers);
    int16_t command = 0x14, word = 0;
    check(adapter.AdapterReadWord(command, word, 0x12) != 0, "and no transfer happens");
}
} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string phase = argc > 1 ? argv[1] : "";
    if (phase == "words")
        wordsPhase();
    else if (phase == "nowords")
        noWordsPhase();
    else {
        std::printf("usage: kerneltest words|nowords\n");
        return 2;
    }
    std::printf("%s %s: %d failure(s)\n", failures ? "FAILED" : "PASSED", phase.c_str(),
                failures);
    return failures ? 1 : 0;
}
