#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
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
    // The wall clock, milliseconds since 1970: file times are compared with it.
    virtual int64_t nowMs();

    // The real calls.
    static FileOps &system();
};

// Replaces the file at path with data, all or nothing: the data goes into a new
// temporary file in the same folder, every write is checked (a short write is
// continued, an error ends it), the data is synced to the disk, then the temporary
// file is renamed over the old one and the folder is synced. On any failure the old
// file stays byte for byte as it was and the temporary file is removed. The new file
// keeps the old one's permission bits (0666 less the umask for a new file). A path
// that is a symbolic link replaces the file it points to.
//
// Temporary files this writer left beside the target from a process that no longer
// runs (killed half-way) are removed first. sError, when given, receives what the
// system said about the step that failed ("No space left on device"). stillAsRead, when
// given, runs just before the rename: false leaves the old file alone (another program
// changed it since the caller read it), and the call fails.
bool replaceFileAtomically(const QString &path, const QByteArray &data,
                           FileOps &ops = FileOps::system(), QString *sError = nullptr,
                           const std::function<bool()> &stillAsRead = {});
