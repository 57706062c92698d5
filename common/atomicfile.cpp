#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
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

namespace {

bool writeAll(FileOps &ops, int fd, const QByteArray &data)
{
    const char *p = data.constData();
    size_t left = static_cast<size_t>(data.size());
    while (left > 0) {
        const ssize_t n = ops.write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) // an error, or a disk that takes nothing more
            return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool replaceFileAtomically(const QString &path, const QByteArray &data, FileOps &ops)
{
    // Through a link the file it names is replaced, and the link stays; a link whose file
    // is not there yet gets that file made.
    const QFileInfo info(path);
    const QString target = !info.isSymLink() ? info.absoluteFilePath()
                           : info.exists()   ? info.canonicalFilePath()
                                             : info.symLinkTarget();
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());

    // The old file's permission bits carry over; a new file gets 0666 less the umask.
    struct stat old = {};
    const bool exists = ::stat(targetName.constData(), &old) == 0;

    // A name of our own beside the target, so that the rename stays on one file system.
    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = folder + "/." + QFile::encodeName(QFileInfo(target).fileName()) + ".tmp"
                   + QByteArray::number(::getpid()) + "-" + QByteArray::number(attempt);
        fd = ops.open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = writeAll(ops, fd, data);
    if (ok && exists)
        ok = ops.fchmod(fd, old.st_mode & 07777) == 0;
    if (ok)
        ok = ops.fsync(fd) == 0;
    // close() can report a write that failed late (on network file systems).
    ok = ops.close(fd) == 0 && ok;
    if (ok)
        ok = ops.rename(tempName.constData(), targetName.constData()) == 0;
    if (!ok) {
        ops.unlink(tempName.constData());
        return false;
    }

    // The rename itself reaches the disk only with the folder's entry.
    const int dirFd = ops.open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd >= 0) {
        ops.fsync(dirFd);
        ops.close(dirFd);
    }
    return true;
}
