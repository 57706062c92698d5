#pragma once

#include "atomicfile.h"

#include <algorithm>
#include <cerrno>
#include <functional>

// The real file system, with one kind of call failing as a full or failing disk makes
// it fail: writes take at most diskRoom bytes in all and then say ENOSPC.
struct FailingDisk : FileOps
{
    QByteArray failing; // "write", "fsync", "fchmod", "close", "rename" or nothing
    // Or the failAt-th of those calls, whichever kind, counting from 1; 0: none.
    int failAt = 0;
    int calls = 0;                      // of those kinds so far
    qint64 diskRoom = -1;               // bytes writes may take in all; -1: no limit
    size_t chunk = 0;                   // largest write taken at once; 0: no limit
    std::function<void()> whileSyncing; // another program at work while the new file syncs
    int opens = 0;                      // descriptors the writer got
    int closes = 0;                     // and gave back

    int open(const char *path, int flags, mode_t mode) override
    {
        const int fd = FileOps::open(path, flags, mode);
        opens += fd >= 0;
        return fd;
    }

    ssize_t write(int fd, const void *data, size_t size) override
    {
        const bool failNow = fails("write");
        if (chunk)
            size = std::min(size, chunk);
        if (diskRoom >= 0) {
            if (diskRoom == 0) {
                errno = ENOSPC;
                return -1;
            }
            size = std::min(size, size_t(diskRoom));
            diskRoom -= qint64(size);
        }
        if (failNow) {
            errno = EIO;
            return -1;
        }
        return FileOps::write(fd, data, size);
    }
    int fsync(int fd) override
    {
        if (whileSyncing)
            whileSyncing();
        return fails("fsync") ? fail(EIO) : FileOps::fsync(fd);
    }
    int fchmod(int fd, mode_t mode) override
    {
        return fails("fchmod") ? fail(EPERM) : FileOps::fchmod(fd, mode);
    }
    int close(int fd) override
    {
        const int r = FileOps::close(fd);
        ++closes;
        return fails("close") ? fail(EIO) : r;
    }
    int rename(const char *from, const char *to) override
    {
        return fails("rename") ? fail(EXDEV) : FileOps::rename(from, to);
    }
    // Counts the call and tells whether it fails.
    bool fails(const char *call) { return ++calls == failAt || failing == call; }
    static int fail(int error)
    {
        errno = error;
        return -1;
    }
};
