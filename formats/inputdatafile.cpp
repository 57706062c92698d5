#include "inputdatafile.h"

#include "ioloop.h"
#include "versioninfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool sameFileState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool renamedAfter(bool bRenamedIn, InputFileAccess::NameEvents events)
{
    switch (events) {
    case InputFileAccess::NameEvents::None:
        return bRenamedIn;
    case InputFileAccess::NameEvents::RenamedIn:
        return true;
    case InputFileAccess::NameEvents::Written:
        return false;
    }
    return false;
}

} // namespace

std::optional<QByteArray> SystemInputFileAccess::readHead(int fd)
{
    QByteArray head(kInputDataHeadBytes, Qt::Uninitialized);
    const ssize_t got = ioLoop(size_t(head.size()), [&](size_t done, size_t left) {
        return ::pread(fd, head.data() + done, left, off_t(done));
    });
    if (got < 0)
        return std::nullopt;
    head.truncate(got);
    return head;
}

SystemInputFileAccess::~SystemInputFileAccess()
{
    unwatch();
}

InputFileLook SystemInputFileAccess::look(const QString &path)
{
    InputFileLook look;
    const QByteArray name = QFile::encodeName(path);
    // Only a regular file: a named pipe or a device could block the window or never end.
    struct stat before = {};
    if (::stat(name.constData(), &before) != 0 || !S_ISREG(before.st_mode))
        return look;
    // Without waiting, in case something else was put there since.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return look;
    struct stat opened = {};
    struct stat after = {};
    std::optional<QByteArray> first;
    std::optional<QByteArray> second;
    const bool read = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
                      (first = readHead(fd)) && (second = readHead(fd)) && ::fstat(fd, &after) == 0;
    ::close(fd);
    if (!read)
        return look;
    const bool still =
        sameFileState(before, opened) && sameFileState(opened, after) && *first == *second;
    look.state = still ? InputFileLook::State::Read : InputFileLook::State::Changing;
    look.device = after.st_dev;
    look.inode = after.st_ino;
    look.size = after.st_size;
    look.modifiedNs = int64_t(after.st_mtim.tv_sec) * 1000000000 + after.st_mtim.tv_nsec;
    look.head = *first;
    return look;
}

InputFileAccess::NameEvents SystemInputFileAccess::nameEvents(const QString &path)
{
    const QFileInfo file(path);
    if (file.absolutePath() != m_folder)
        watch(file.absolutePath());
    if (m_fd < 0)
        return NameEvents::None;
    const QByteArray wanted = QFile::encodeName(file.fileName());
    NameEvents last = NameEvents::None;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: nothing more for now
        for (ssize_t i = 0; i < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buffer + i);
            if (e->mask & IN_Q_OVERFLOW)
                last = NameEvents::Written; // events were lost: assume the worst
            else if (e->len > 0 && wanted == e->name)
                last = (e->mask & IN_MOVED_TO) ? NameEvents::RenamedIn : NameEvents::Written;
            i += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
    return last;
}

void SystemInputFileAccess::watch(const QString &folder)
{
    unwatch();
    m_folder = folder;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    const uint32_t events =
        IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE;
    if (::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), events) < 0)
        unwatch();
}

void SystemInputFileAccess::unwatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::unique_ptr<InputFileAccess> InputFileAccess::system()
{
    return std::make_unique<SystemInputFileAccess>();
}

InputDataFeed::InputDataFeed(std::unique_ptr<InputFileAccess> access, const Clock &clock)
    : m_access(std::move(access))
    , m_clock(clock)
{}

InputDataFeed::~InputDataFeed() = default;

void InputDataFeed::setPath(const QString &path)
{
    if (path == m_path)
        return;
    m_path = path;
    m_seen.reset();
    m_renamedIn = false;
    m_access->nameEvents(path); // watch the new folder from now on
}

InputDataFeed::Result InputDataFeed::read(int nPeriodMs)
{
    Result result;
    m_renamedIn = renamedAfter(m_renamedIn, m_access->nameEvents(m_path));
    const InputFileLook look = m_access->look(m_path);
    // Anything that happened to the name while we looked: the look may be of either file.
    const InputFileAccess::NameEvents during = m_access->nameEvents(m_path);
    const bool renamedIn = m_renamedIn && during == InputFileAccess::NameEvents::None;
    m_renamedIn = renamedAfter(m_renamedIn, during);

    if (look.state != InputFileLook::State::Read) {
        m_seen.reset();
        result.outcome =
            look.state == InputFileLook::State::Missing ? Outcome::Missing : Outcome::Changing;
        return result;
    }
    const int64_t now = m_clock.monotonicMs();
    const bool unchanged = m_seen && m_seen->sameFile(look);
    // A modification time in the future says nothing about a writer at work.
    const int64_t ageMs = m_clock.wallMs() - look.modifiedNs / 1000000;
    const bool settled = renamedIn || (unchanged && now - m_seenAtMs >= nPeriodMs) ||
                         ageMs >= int64_t(nPeriodMs) + kInputDataClockSlackMs;
    if (!unchanged) {
        m_seen = look;
        m_seenAtMs = now;
    }
    if (!settled) {
        result.outcome = Outcome::Changing;
        return result;
    }
    const auto numbers = parseInputData(look.head, look.size <= look.head.size());
    if (!numbers) {
        result.outcome = Outcome::Malformed;
        return result;
    }
    result.outcome = Outcome::Applied;
    result.numbers = *numbers;
    return result;
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
        place.fileInExecutableFolder ||
        (place.executableFolderWritable && !place.executableFolderIsInstallFolder);
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
    place.userFolder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                           .filePath(QStringLiteral("kv7320ev"));
    return chooseInputDataPath(place);
}
