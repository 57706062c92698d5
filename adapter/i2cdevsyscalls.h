#pragma once

#include <cstdint>
#include <string>

// The system calls the i2c-dev backend makes, behind a seam so that tests can stand
// in for the kernel. Each returns the call's result (>= 0) or -errno; none touches
// errno or throws.
class I2cDevSyscalls
{
public:
    virtual ~I2cDevSyscalls() = default;

    // Opens a device node read-write and close-on-exec; returns the descriptor.
    virtual int open(const std::string &path) = 0;
    // arg is the ioctl's third argument: a value (I2C_SLAVE) or a pointer (I2C_FUNCS,
    // I2C_SMBUS) cast to unsigned long, as the kernel takes it.
    virtual int ioctl(int fd, unsigned long request, unsigned long arg) = 0;
    virtual int close(int fd) = 0;
    // Takes an exclusive advisory lock on an open node without waiting: 0, or
    // -EWOULDBLOCK while another open file (another program) holds it. The lock goes
    // with the descriptor's close.
    virtual int lock(int fd)
    {
        (void)fd;
        return 0;
    }
    // The real calls.
    static I2cDevSyscalls &system();
};
