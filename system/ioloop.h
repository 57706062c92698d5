#pragma once

#include <cerrno>
#include <cstddef>
#include <sys/types.h>

// The one loop around read- and write-like calls: io(done, left) moves up to left bytes
// after the done ones and returns what read() or write() would. A short count is
// continued and EINTR retried, until n bytes went through or the call gives 0 (an end
// of file, a disk that takes nothing more). Returns the bytes that went through, or -1
// on an error, errno set.
template<typename Io> ssize_t ioLoop(size_t n, Io io)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t r = io(done, n - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        done += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(done);
}
