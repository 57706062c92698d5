#include "fileops.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int FileOps::open(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

ssize_t FileOps::write(int fd, const void *data, size_t size)
{
    return ::write(fd, data, size);
}

int FileOps::fsync(int fd)
{
    return ::fsync(fd);
}

int FileOps::fchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int FileOps::close(int fd)
{
    return ::close(fd);
}

int FileOps::rename(const char *from, const char *to)
{
    return ::rename(from, to);
}

int FileOps::unlink(const char *path)
{
    return ::unlink(path);
}

FileOps &FileOps::system()
{
    static FileOps ops;
    return ops;
}
