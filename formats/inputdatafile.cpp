#include "inputdatafile.h"

#include "ioloop.h"
#include "versioninfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

using Event = InputFileAccess::Event;

// On the file itself, whatever name it was reached through: who opens, writes and
// closes it; a change of its links or its end tells that the path may name another.
constexpr uint32_t kFileEvents = IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE |
                                 IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// On the folder of its name: how another file came to that name.
constexpr uint32_t kFolderEvents =
    IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_MODIFY | IN_ONLYDIR;

bool sameFileState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

InputFileId idOf(const struct stat &st)
{
    return {uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

// File systems whose files another machine may change: inotify sees only what this
// machine does to them. FUSE is among them, since sshfs and the like are.
const char *remoteFileSystem(int64_t type)
{
    switch (uint32_t(type)) {
    case 0x6969:
        return "NFS";
    case 0x517B:
    case 0xFF534D42:
    case 0xFE534D42:
        return "SMB";
    case 0x01021997:
        return "9P";
    case 0x00C36400:
        return "Ceph";
    case 0x5346414F:
    case 0x6B414653:
        return "AFS";
    case 0x73757245:
        return "Coda";
    case 0x7461636F:
        return "OCFS2";
    case 0x01161970:
        return "GFS2";
    case 0x0BD00BD0:
        return "Lustre";
    case 0x47504653:
        return "GPFS";
    case 0x65735546:
        return "FUSE";
    }
    return nullptr;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// The path with its links followed: the file it names, or where a dangling link points
// (its folder made canonical when it exists).
QByteArray followLinks(const QByteArray &path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.constData(), buffer))
        return buffer;
    QByteArray p = path;
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit
        const ssize_t n = ::readlink(p.constData(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        const QByteArray link(buffer, n);
        p = link.startsWith('/') ? link : folderOf(p) + '/' + link;
    }
    const QByteArray folder = folderOf(p);
    const QByteArray name = p.mid(p.lastIndexOf('/') + 1);
    if (!::realpath(folder.constData(), buffer))
        return p;
    const QByteArray canonical(buffer);
    return canonical == "/" ? "/" + name : canonical + '/' + name;
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

bool SystemInputFileAccess::statOpen(int fd, struct stat &st)
{
    return ::fstat(fd, &st) == 0;
}

std::optional<int64_t> SystemInputFileAccess::fileSystemType(const QByteArray &path)
{
    struct statfs fs = {};
    if (::statfs(path.constData(), &fs) != 0)
        return std::nullopt;
    return int64_t(fs.f_type);
}

SystemInputFileAccess::~SystemInputFileAccess()
{
    unwatch();
}

InputFileLook SystemInputFileAccess::look(const QString &path)
{
    InputFileLook look;
    const QByteArray name = QFile::encodeName(path);
    look.target = QFile::decodeName(followLinks(name));
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
    const bool read = statOpen(fd, opened) && S_ISREG(opened.st_mode) && (first = readHead(fd)) &&
                      (second = readHead(fd)) && statOpen(fd, after);
    ::close(fd);
    if (!read)
        return look;
    const bool still =
        sameFileState(before, opened) && sameFileState(opened, after) && *first == *second;
    look.state = still ? InputFileLook::State::Read : InputFileLook::State::Changing;
    look.id = idOf(after);
    look.size = after.st_size;
    look.modifiedNs = int64_t(after.st_mtim.tv_sec) * 1000000000 + after.st_mtim.tv_nsec;
    look.head = *first;
    return look;
}

InputFileAccess::Events SystemInputFileAccess::events(const QString &path)
{
    Events out;
    if (path != m_path) {
        unwatch();
        m_path = path;
        m_resolved = false;
    }
    // Renamed onto the name of the file, and neither written nor renamed again since.
    bool renamedIn = false;
    drain(out, renamedIn);

    // Which file the path names now. Another one than before, or the end of the watch
    // on it (deleted, its inode perhaps used again), starts its history afresh.
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    const bool exists = ::stat(name.constData(), &st) == 0;
    const InputFileId id = exists ? idOf(st) : InputFileId{};
    const QByteArray target = followLinks(name);
    const bool lostWatch = exists && m_fileWd < 0 && !m_remote;
    if (!m_resolved || exists != m_exists || id != m_id || target != m_target || lostWatch) {
        const bool renamedOntoName = m_resolved && renamedIn && exists && target == m_target;
        watch(name, target, exists, id);
        // Until now only writes by its name in the folder were seen: a file with other
        // names may have been written through them since it was renamed in.
        const bool whole = renamedOntoName && m_fileWd >= 0 && m_links == 1;
        out.list.push_back(whole ? Event::RenamedIn : Event::Replaced);
    } else if (m_folderWd < 0 && !m_remote) {
        watchFolder(); // the folder may have been made since
    }
    out.exists = m_exists;
    out.file = m_id;
    out.unwatched = m_unwatched;
    if (!m_unwatched.isEmpty())
        out.list.clear();
    return out;
}

void SystemInputFileAccess::drain(Events &out, bool &renamedIn)
{
    if (m_fd < 0)
        return;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: nothing more for now
        for (ssize_t i = 0; i < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buffer + i);
            i += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                // Assume the worst, and watch whatever the path names now afresh.
                out.list.push_back(Event::Lost);
                renamedIn = false;
                m_resolved = false;
            } else if (e->wd == m_fileWd) {
                if (e->mask & IN_OPEN)
                    out.list.push_back(Event::Opened);
                if (e->mask & IN_MODIFY)
                    out.list.push_back(Event::Written);
                if (e->mask & IN_CLOSE_WRITE)
                    out.list.push_back(Event::ClosedAfterWriting);
                if (e->mask & IN_CLOSE_NOWRITE)
                    out.list.push_back(Event::Closed);
                if (e->mask & IN_IGNORED)
                    m_fileWd = -1; // the file is gone
            } else if (e->wd == m_folderWd) {
                if (e->mask & IN_IGNORED)
                    m_folderWd = -1;
                else if (e->len > 0 && m_name == e->name) {
                    // A write by the name counts before the file itself is watched.
                    if (!(e->mask & IN_MODIFY))
                        out.list.push_back(Event::NameChanged);
                    renamedIn = (e->mask & IN_MOVED_TO) != 0;
                }
            }
        }
    }
}

void SystemInputFileAccess::watch(const QByteArray &path, const QByteArray &target, bool exists,
                                  InputFileId id)
{
    m_resolved = true;
    m_exists = exists;
    m_id = id;
    m_target = target;
    m_unwatched.clear();
    m_remote = false;
    const QByteArray folder = folderOf(target);
    const QByteArray name = target.mid(target.lastIndexOf('/') + 1);
    if (const auto type = fileSystemType(exists ? path : folder)) {
        if (const char *remote = remoteFileSystem(*type)) {
            m_unwatched = QString::fromLatin1(remote);
            m_remote = true;
            unwatch();
            return;
        }
    }
    if (m_fd < 0)
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        m_unwatched = QStringLiteral("inotify is not available");
        return;
    }
    const int oldFileWd = m_fileWd;
    m_fileWd = -1;
    if (exists) {
        // The file the path names: stat, watch, stat again, so that the watch is on the
        // file stat found and not on one put there in between.
        const int wd = ::inotify_add_watch(m_fd, path.constData(), kFileEvents);
        struct stat again = {};
        if (wd < 0)
            m_unwatched = errno == ENOSPC ? QStringLiteral("no inotify watch is left")
                                          : QStringLiteral("inotify cannot watch it");
        else if (::stat(path.constData(), &again) == 0 && idOf(again) == id) {
            m_fileWd = wd;
            m_links = again.st_nlink;
        } else
            m_resolved = false; // it changed under us: again at the next call
        if (wd >= 0 && m_fileWd < 0 && wd != oldFileWd)
            ::inotify_rm_watch(m_fd, wd);
    }
    if (oldFileWd >= 0 && oldFileWd != m_fileWd)
        ::inotify_rm_watch(m_fd, oldFileWd);
    m_name = name;
    if (folder != m_folder || m_folderWd < 0) {
        if (m_folderWd >= 0)
            ::inotify_rm_watch(m_fd, m_folderWd);
        m_folderWd = -1;
        m_folder = folder;
        watchFolder();
    }
}

void SystemInputFileAccess::watchFolder()
{
    if (m_fd >= 0 && !m_folder.isEmpty())
        m_folderWd = ::inotify_add_watch(m_fd, m_folder.constData(), kFolderEvents);
}

void SystemInputFileAccess::unwatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_fileWd = -1;
    m_folderWd = -1;
    m_folder.clear();
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
    m_history = History::Unknown;
    m_open = 0;
    m_seen.reset();
    take(m_access->events(path)); // watch the file from now on
}

bool InputDataFeed::take(const InputFileAccess::Events &events)
{
    // A handle opened before the watch began may close: never below none.
    auto closeOne = [this] { m_open = std::max(0, m_open - 1); };
    bool onlyOpenedAndClosed = true;
    for (const Event e : events.list) {
        switch (e) {
        case Event::Opened:
            ++m_open;
            continue;
        case Event::Closed:
            closeOne();
            continue;
        case Event::Written:
            m_history = History::Writing;
            m_seen.reset();
            break;
        case Event::ClosedAfterWriting:
            closeOne();
            m_history = History::Closed;
            break;
        case Event::NameChanged:
            break;
        case Event::RenamedIn:
            m_history = History::RenamedIn;
            m_open = 0;
            break;
        case Event::Replaced:
            m_history = History::Unknown;
            m_open = 0;
            break;
        case Event::Lost:
            m_history = History::Unknown;
            m_open = 0;
            m_seen.reset();
            break;
        }
        onlyOpenedAndClosed = false;
    }
    return onlyOpenedAndClosed;
}

InputDataFeed::Result InputDataFeed::read(int nPeriodMs)
{
    Result result;
    take(m_access->events(m_path));
    const InputFileLook look = m_access->look(m_path);
    const InputFileAccess::Events during = m_access->events(m_path);
    const bool watched = during.unwatched.isEmpty();
    // Nothing but opening and closing happened while we read, to the file the look found:
    // otherwise the look may be of a state on its way.
    const bool still = take(during) && (!watched || (during.exists && during.file == look.id));
    result.file = look.target;
    result.unwatched = during.unwatched;

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
    const bool byEvents = watched && still && m_open == 0;
    if (byEvents && m_history == History::Closed)
        result.settled = Settled::Closed;
    else if (byEvents && m_history == History::RenamedIn)
        result.settled = Settled::RenamedIn;
    else if (still && unchanged && now - m_seenAtMs >= nPeriodMs)
        result.settled = Settled::Quiet;
    else if (watched && still && m_history == History::Unknown &&
             ageMs >= int64_t(nPeriodMs) + kInputDataClockSlackMs)
        result.settled = Settled::Old;
    if (!unchanged && still) {
        m_seen = look;
        m_seenAtMs = now;
    }
    if (result.settled == Settled::No) {
        result.outcome = Outcome::Changing;
        // Written whole, but not yet closed by everyone who opened it.
        result.heldOpen = watched && still && m_open > 0 &&
                          (m_history == History::Closed || m_history == History::RenamedIn);
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
