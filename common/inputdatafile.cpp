#include "inputdatafile.h"

#include "chargeregisters.h"

#include "versioninfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Up to kInputDataHeadBytes from the start of the file; nothing on a read error.
std::optional<QByteArray> readHead(int fd)
{
    QByteArray head(kInputDataHeadBytes, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fd, head.data() + got, size_t(head.size() - got), off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += n;
    }
    head.truncate(got);
    return head;
}

bool sameFileState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
           && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace
#include <QFileInfo>
#include <QStandardPaths>

std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Only a regular file: a named pipe or a device could block the window or never end.
    struct stat before = {};
    if (::stat(name.constData(), &before) != 0 || !S_ISREG(before.st_mode))
        return std::nullopt;
    // Without waiting, in case something else was put there since.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat opened = {};
    std::optional<QByteArray> first;
    std::optional<QByteArray> second;
    struct stat after = {};
    const bool ok = ::fstat(fd, &opened) == 0 && sameFileState(before, opened)
                    && (first = readHead(fd)) && (second = readHead(fd))
                    && ::fstat(fd, &after) == 0 && sameFileState(opened, after);
    ::close(fd);
    // Changed while we read it: the writer is still at work.
    if (!ok || *first != *second)
        return std::nullopt;
    // Modified just now by this machine's clock: the writer may be between two writes.
    // A time in the future (a share whose clock runs ahead, a copy that kept its
    // times) says nothing about that, and the checks above hold for it as for any.
    const qint64 modifiedMs = qint64(after.st_mtim.tv_sec) * 1000 + after.st_mtim.tv_nsec / 1000000;
    const qint64 ageMs = QDateTime::currentMSecsSinceEpoch() - modifiedMs;
    if (ageMs >= 0 && ageMs < kInputDataQuietMs)
        return std::nullopt;
    return parseInputData(*first, after.st_size <= first->size());
}

std::optional<std::array<int16_t, 3>> parseInputData(const QByteArray &head, bool bWholeFile)
{
    std::array<int16_t, 3> numbers{};
    const qsizetype n = head.size();
    qsizetype i = 0;
    // A UTF-8 byte-order mark, as many editors write one.
    if (head.startsWith("\xEF\xBB\xBF"))
        i = 3;
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    for (int field = 0; field < 3; ++field) {
        // Blanks, and the line ends of empty lines, before a number.
        while (i < n && (isBlank(head[i]) || isLineEnd(head[i])))
            ++i;
        bool negative = false;
        if (i < n && (head[i] == '-' || head[i] == '+'))
            negative = head[i++] == '-';
        // Leading zeros are allowed in any number; the value stops growing once it is
        // out of range, so any number of digits is read whole.
        long long value = 0;
        int digits = 0;
        while (i < n && head[i] >= '0' && head[i] <= '9') {
            if (value <= 32768)
                value = value * 10 + (head[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
        // Digits that run to the end of the head of a longer file may go on beyond it.
        if (i == n && !bWholeFile)
            return std::nullopt;
        value = negative ? -value : value;
        if (value < -32768 || value > 32767)
            return std::nullopt;
        numbers[static_cast<size_t>(field)] = static_cast<int16_t>(value);
        if (field == 2)
            break; // whatever follows the third number is not ours
        // The number ends at blanks followed by a separator or a line end.
        while (i < n && isBlank(head[i]))
            ++i;
        if (i < n && head[i] == ',')
            ++i;
        else if (i < n && !isLineEnd(head[i]))
            return std::nullopt;
    }
    return numbers;
}

QString chooseInputDataPath(const InputDataPlace &place)
{
    if (!place.explicitPath.isEmpty())
        return place.explicitPath;
    const bool useExecutableFolder =
        place.fileInExecutableFolder
        || (place.executableFolderWritable && !place.executableFolderIsInstallFolder);
    const QString folder = useExecutableFolder ? place.executableFolder : place.userFolder;
    return QDir(folder).filePath(QString::fromLatin1(kInputDataFileName));
}

QString inputDataPath(const QString &explicitPath, const QString &executableFolder)
{
    InputDataPlace place;
    if (!explicitPath.isEmpty())
        place.explicitPath = QDir::cleanPath(QFileInfo(explicitPath).absoluteFilePath());
    place.executableFolder = executableFolder;
    const QFileInfo folder(executableFolder);
    place.fileInExecutableFolder =
        QFileInfo::exists(QDir(executableFolder).filePath(QString::fromLatin1(kInputDataFileName)));
    place.executableFolderWritable = folder.isDir() && folder.isWritable();
    const QString installFolder =
        QFileInfo(QString::fromLatin1(VersionInfo::kInstallBinDir)).canonicalFilePath();
    place.executableFolderIsInstallFolder =
        !installFolder.isEmpty() && folder.canonicalFilePath() == installFolder;
    place.userFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
            .filePath(QStringLiteral("kv7320ev"));
    return chooseInputDataPath(place);
}
