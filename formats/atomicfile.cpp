#include "atomicfile.h"

#include "ioloop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(FileOps &ops, int fd, const QByteArray &data)
{
    const auto size = static_cast<size_t>(data.size());
    const ssize_t written = ioLoop(size, [&](size_t done, size_t left) {
        return ops.write(fd, data.constData() + done, left);
    });
    if (written >= 0 && static_cast<size_t>(written) < size)
        errno = ENOSPC; // the disk took nothing more
    return written >= 0 && static_cast<size_t>(written) == size;
}

// ".NAME.tmpPID-N": this writer's temporary name for NAME.
QByteArray tempPrefix(const QString &target)
{
    return "." + QFile::encodeName(QFileInfo(target).fileName()) + ".tmp";
}

// Where the data goes: through a link the file it names (the link stays); a link whose
// file is not there yet gets that file made.
QString targetOf(const QString &path)
{
    const QFileInfo info(path);
    return !info.isSymLink() ? info.absoluteFilePath()
           : info.exists()   ? info.canonicalFilePath()
                             : info.symLinkTarget();
}

// Removes target's temporary files that a writer killed half-way left behind: ours by
// their name, from a process that is gone.
void removeStaleOf(const QString &target, FileOps &ops, const ProcessProbe &processes)
{
    const QFileInfo info(target);
    const QString prefix = QFile::decodeName(tempPrefix(target));
    const QRegularExpression pattern(
        QStringLiteral("^%1(\\d+)-\\d+$").arg(QRegularExpression::escape(prefix)));
    const QStringList names =
        QDir(info.absolutePath())
            .entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = pattern.match(name);
        bool ok = false;
        const qlonglong pid = m.hasMatch() ? m.captured(1).toLongLong(&ok) : 0;
        if (!ok || pid <= 0 || pid > 0x7FFFFFFF || pid == ::getpid())
            continue;
        if (processes.state(pid_t(pid)) == ProcessProbe::State::Gone)
            ops.unlink(QFile::encodeName(info.absoluteDir().filePath(name)).constData());
    }
}

} // namespace

void removeStaleTemporaries(const QString &path, FileOps &ops, const ProcessProbe &processes)
{
    removeStaleOf(targetOf(path), ops, processes);
}

bool replaceFileAtomically(const QString &path, const QByteArray &data, FileOps &ops,
                           QString *sError, const std::function<bool()> &stillAsRead,
                           const ProcessProbe &processes)
{
    // What the system said about the step that failed.
    auto failed = [sError](int error) {
        if (sError)
            *sError = QString::fromLocal8Bit(std::strerror(error));
        return false;
    };
    const QString target = targetOf(path);
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());

    // The old file's permission bits carry over; a new file gets 0666 less the umask.
    struct stat old = {};
    const bool exists = ::stat(targetName.constData(), &old) == 0;

    removeStaleOf(target, ops, processes);

    // A name of our own beside the target, so that the rename stays on one file system.
    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = folder + "/" + tempPrefix(target) + QByteArray::number(::getpid()) + "-" +
                   QByteArray::number(attempt);
        fd = ops.open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return failed(errno);
    }
    if (fd < 0)
        return failed(EEXIST);

    int error = 0;
    auto step = [&error](bool ok) {
        if (!ok && error == 0)
            error = errno ? errno : EIO;
        return ok;
    };
    errno = 0;
    bool ok = step(writeAll(ops, fd, data));
    if (ok && exists)
        ok = step(ops.fchmod(fd, old.st_mode & 07777) == 0);
    if (ok)
        ok = step(ops.fsync(fd) == 0);
    // close() can report a write that failed late (on network file systems).
    ok = step(ops.close(fd) == 0) && ok;
    const bool changedMeanwhile = ok && stillAsRead && !stillAsRead();
    ok = ok && !changedMeanwhile;
    if (ok)
        ok = step(ops.rename(tempName.constData(), targetName.constData()) == 0);
    if (!ok) {
        ops.unlink(tempName.constData());
        if (changedMeanwhile && sError)
            *sError = QStringLiteral("another program changed the file meanwhile");
        return changedMeanwhile ? false : failed(error);
    }

    // The rename itself reaches the disk only with the folder's entry.
    const int dirFd = ops.open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd >= 0) {
        ops.fsync(dirFd);
        ops.close(dirFd);
    }
    return true;
}
