#pragma once

#include "clock.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct stat;

// The input-data file another program rewrites to steer the charger:
// "kv7320InputData.txt", three decimal numbers (charge current mA, charge voltage mV,
// input current mA). Only the start of the file is read, so a file of any size costs no
// more than a small one.
constexpr const char *kInputDataFileName = "kv7320InputData.txt";
constexpr int kInputDataHeadBytes = 4096;

// Which file: the device and inode a path resolves to.
struct InputFileId
{
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const InputFileId &o) const { return device == o.device && inode == o.inode; }
    bool operator!=(const InputFileId &o) const { return !(*this == o); }
};

// One look at the input-data file: which file it is, its size and modification time,
// and its first kInputDataHeadBytes.
struct InputFileLook
{
    enum class State { Read, Missing, Changing };
    State state = State::Missing; // Missing: no regular file, or it cannot be read
    InputFileId id;
    int64_t size = 0;
    int64_t modifiedNs = 0; // wall clock, nanoseconds since 1970
    QByteArray head;
    // The file the path names, its links followed (where a dangling link points); the
    // path itself, made absolute, when no link is on the way.
    QString target;
    bool sameFile(const InputFileLook &o) const
    {
        return id == o.id && size == o.size && modifiedNs == o.modifiedNs && head == o.head;
    }
};

// The file system the input-data file is read through; tests stand in.
class InputFileAccess
{
public:
    // What happened to the file the path names, as the kernel reports it, whatever name
    // or link it was reached through.
    enum class Event {
        Opened,             // opened by anyone: each look opens it once and closes it once
        Closed,             // a handle opened for reading only was closed
        Written,            // its bytes or its size changed
        ClosedAfterWriting, // a handle opened for writing was closed
        NameChanged,        // its name was made, removed or renamed onto or away
        RenamedIn,          // the path names another file now: one renamed onto the name whole
                            // and not written since
        Replaced,           // the path names another file now, or none; what happened to it
                            // before is not known
        Lost,               // events were lost (the kernel's queue overflowed)
    };
    // The events since the previous call, in order, and the file they are about.
    struct Events
    {
        std::vector<Event> list;
        bool exists = false; // the path named a file at the end
        InputFileId file;    // which, when it exists
        // Why changes to the file cannot be watched, e.g. "NFS" for a file on another
        // machine's disk; empty when they can. The list is empty then.
        QString unwatched;
    };

    virtual ~InputFileAccess() = default;
    // Changing when the file changed while it was read (its contents between two reads,
    // its size, time or identity). A named pipe or a device is never opened in a way
    // that could wait.
    virtual InputFileLook look(const QString &path) = 0;
    // What happened since the previous call; the first call for a path starts watching
    // the file it names (and the path again whenever it names another file).
    virtual Events events(const QString &path) = 0;

    // The real file system: the file itself and the folder of its name watched through
    // inotify.
    static std::unique_ptr<InputFileAccess> system();
};

// The real one.
class SystemInputFileAccess : public InputFileAccess
{
public:
    ~SystemInputFileAccess() override;
    InputFileLook look(const QString &path) override;
    Events events(const QString &path) override;

protected:
    // Up to kInputDataHeadBytes from the start of the open file; nothing on a read error.
    // look() reads twice, and a difference means a writer at work.
    virtual std::optional<QByteArray> readHead(int fd);
    // fstat() of the open file, before and after those reads: false on an error.
    virtual bool statOpen(int fd, struct stat &st);
    // statfs()'s type of the file system holding path; nothing when it cannot be had.
    virtual std::optional<int64_t> fileSystemType(const QByteArray &path);

private:
    void drain(Events &out, bool &renamedIn);
    void watch(const QByteArray &path, const QByteArray &target, bool exists, InputFileId id);
    void watchFolder();
    void unwatch();

    QString m_path;          // the path the watches are for
    bool m_resolved = false; // m_exists, m_id and m_target are known
    bool m_exists = false;   // the path named a file when last resolved
    InputFileId m_id;        // which
    QByteArray m_target;     // the path with its links followed
    QByteArray m_folder;     // the folder of m_target, and the name in it
    QByteArray m_name;
    QString m_unwatched;   // why the file's changes cannot be watched
    bool m_remote = false; // because it is on another machine's disk: no point retrying
    int m_fd = -1;         // inotify
    int m_fileWd = -1;     // the file m_id
    uint64_t m_links = 0;  // its names as the watch began
    int m_folderWd = -1;   // m_folder
};

// "Input by File"'s reading of the file at every tick. A file is applied only when it
// cannot be half-written, judged by what happened to it and then by how it looks:
// - its writer closed it after writing and nobody has written it since, nor holds it
//   open (each such close is applied at the next tick);
// - or it was renamed into place whole and has not been written since;
// - or no write came for a whole period and two looks a period apart found it the same;
// - or, a file whose history is not known (it was there before the program watched it),
//   it was last modified more than a period (and kInputDataClockSlackMs) ago.
// Where its changes cannot be watched (a network file system), only the looks a period
// apart decide. Nothing that happened to the file while a tick read it, but opening and
// closing, lets that tick apply it. So a writer that pauses anywhere inside the text for
// less than a period, with the file open, is never applied while incomplete, through any
// name or link.
class InputDataFeed
{
public:
    enum class Outcome { Applied, Missing, Changing, Malformed };
    // What showed that the file was whole (when Applied or Malformed).
    enum class Settled { No, Closed, RenamedIn, Quiet, Old };
    struct Result
    {
        Outcome outcome = Outcome::Missing;
        std::array<int16_t, 3> numbers{}; // when Applied
        Settled settled = Settled::No;
        QString file;          // the file read: the path with its links followed
        QString unwatched;     // why its changes cannot be watched; empty when they can
        bool heldOpen = false; // Changing: another program holds it open, so its close
                               // proves nothing until it stays the same for a period
    };

    explicit InputDataFeed(std::unique_ptr<InputFileAccess> access = InputFileAccess::system(),
                           const Clock &clock = Clock::system());
    ~InputDataFeed();

    void setPath(const QString &path);
    QString path() const { return m_path; }
    // One tick's reading; nPeriodMs is the refresh period in force.
    Result read(int nPeriodMs);

private:
    // What the events tell of the file's history.
    enum class History { Unknown, Writing, Closed, RenamedIn };
    // Takes in what happened; false when it was more than opening and closing.
    bool take(const InputFileAccess::Events &events);

    std::unique_ptr<InputFileAccess> m_access;
    const Clock &m_clock;
    QString m_path;
    History m_history = History::Unknown;
    int m_open = 0;                      // handles opened since it was watched, not closed
    std::optional<InputFileLook> m_seen; // the file as first seen unchanged and unwritten
    int64_t m_seenAtMs = 0;
};

// File times are kept to a few milliseconds here and to 2 s on some file systems.
constexpr int kInputDataClockSlackMs = 2000;

// The three numbers at the start of the input-data file (charge current, charge
// voltage, input current): decimal whole numbers that fit 16 bits, leading zeros
// allowed, each with blanks and an optional sign before it, separated by commas or
// line ends; a UTF-8 byte-order mark at the start is skipped. Whatever follows the
// third number's digits is ignored. bWholeFile says whether head is the whole file: if
// not, a number whose digits reach the end of head may be cut and is refused. Nothing
// unless all three are there and valid.
std::optional<std::array<int16_t, 3>> parseInputData(const QByteArray &head,
                                                     bool bWholeFile = true);
// What decides where "Input by File" reads, gathered from the file system by
// inputDataPath() and given directly by tests.
struct InputDataPlace
{
    QString explicitPath; // --input-file, taken as it is when not empty
    QString executableFolder;
    bool fileInExecutableFolder = false;
    bool executableFolderWritable = false;
    bool executableFolderIsInstallFolder = false; // e.g. /usr/bin, even for root
    QString userFolder; // $XDG_DATA_HOME/kv7320ev, else ~/.local/share/kv7320ev
};

// The file's full path. An explicit path wins. Otherwise the executable's folder when
// the file is already there, or when the user can write that folder (a build tree, a
// portable copy) and it is not the folder the program is installed into; otherwise
// the user's own folder.
QString chooseInputDataPath(const InputDataPlace &place);

// chooseInputDataPath() for this process: a relative explicit path is made absolute
// against the current folder; the folder the build installs into counts as not
// writable, so running the installed program as root leaves /usr/bin alone.
QString inputDataPath(const QString &explicitPath, const QString &executableFolder);
