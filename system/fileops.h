#pragma once

#include <cstddef>
#include <sys/types.h>

// The file-system calls a file replacement makes, behind a seam so that tests can
// make any one of them fail (a full disk, a failing sync) on real files. Each returns
// what the POSIX call returns and leaves errno set on failure.
class FileOps
{
public:
    virtual ~FileOps() = default;
    virtual int open(const char *path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void *data, size_t size);
    virtual int fsync(int fd);
    virtual int fchmod(int fd, mode_t mode);
    virtual int close(int fd);
    virtual int rename(const char *from, const char *to);
    virtual int unlink(const char *path);

    // The real calls.
    static FileOps &system();
};
