// Times SMBus word reads through /dev/i2c-N with plain ioctls, for the USB phase of the
// kernel test: the cost of one word through a bridge without a process start per word.
//
//   i2cwordloop BUS ADDRESS REGISTER COUNT     (ADDRESS and REGISTER in hex, 7-bit address)
//
// Prints "WORDLOOP <ms> ms per word over COUNT reads" and exits 0 only when every read
// succeeded.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: i2cwordloop BUS ADDRESS REGISTER COUNT\n");
        return 2;
    }
    const std::string node = std::string("/dev/i2c-") + argv[1];
    const long address = std::strtol(argv[2], nullptr, 16);
    const auto reg = static_cast<uint8_t>(std::strtol(argv[3], nullptr, 16));
    const int count = std::atoi(argv[4]);
    const int fd = open(node.c_str(), O_RDWR);
    if (fd < 0 || ioctl(fd, I2C_SLAVE, address) != 0) {
        std::perror(node.c_str());
        return 1;
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        i2c_smbus_data data{};
        i2c_smbus_ioctl_data args{I2C_SMBUS_READ, reg, I2C_SMBUS_WORD_DATA, &data};
        // Tried twice: hid-cp2112 gives up after 50 ms without an answer, which an
        // emulator on a loaded host can miss now and then.
        failed += ioctl(fd, I2C_SMBUS, &args) != 0 && ioctl(fd, I2C_SMBUS, &args) != 0;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    close(fd);
    const double us = (end.tv_sec - start.tv_sec) * 1e6 + (end.tv_nsec - start.tv_nsec) / 1e3;
    std::printf("WORDLOOP %.3f ms per word over %d reads, %d failed\n", us / count / 1000, count,
                failed);
    return failed == 0 && count > 0 ? 0 : 1;
}
