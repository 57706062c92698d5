#include "i2cdevsyscalls.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
int result(int r)
{
    return r < 0 ? -(errno > 0 ? errno : EIO) : r;
}

class KernelSyscalls : public I2cDevSyscalls
{
public:
    int open(const std::string &path) override
    {
        int r;
        do
            r = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        while (r < 0 && errno == EINTR);
        return result(r);
    }
    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        return result(::ioctl(fd, request, arg));
    }
    int close(int fd) override { return result(::close(fd)); }
    int lock(int fd) override
    {
        int r;
        do
            r = ::flock(fd, LOCK_EX | LOCK_NB);
        while (r < 0 && errno == EINTR);
        return result(r);
    }
};
} // namespace

I2cDevSyscalls &I2cDevSyscalls::system()
{
    static KernelSyscalls calls;
    return calls;
}
