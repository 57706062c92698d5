#pragma once

#include "clock.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// The input-data file another program rewrites to steer the charger:
// "kv7320InputData.txt", three decimal numbers (charge current mA, charge voltage mV,
// input current mA). Only the start of the file is read, so a file of any size costs no
// more than a small one.
constexpr const char *kInputDataFileName = "kv7320InputData.txt";
constexpr int kInputDataHeadBytes = 4096;

// One look at the input-data file: which file it is, its size and modification time,
// and its first kInputDataHeadBytes.
struct InputFileLook
{
    enum class State { Read, Missing, Changing };
    State state = State::Missing; // Missing: no regular file, or it cannot be read
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0; // wall clock, nanoseconds since 1970
    QByteArray head;
    bool sameFile(const InputFileLook &o) const
    {
        return device == o.device && inode == o.inode && size == o.size &&
               modifiedNs == o.modifiedNs && head == o.head;
    }
};

// The file system the input-data file is read through; tests stand in.
class InputFileAccess
{
public:
    // What happened to the file's name in its folder since the last call: it was renamed
    // into place (a complete file, replaced atomically), or written, made or removed in
    // place.
    enum class NameEvents { None, RenamedIn, Written };

    virtual ~InputFileAccess() = default;
    // Changing when the file changed while it was read (its contents between two reads,
    // its size, time or identity). A named pipe or a device is never opened in a way
    // that could wait.
    virtual InputFileLook look(const QString &path) = 0;
    // Of the last of the events since the previous call; None where the folder cannot
    // be watched.
    virtual NameEvents nameEvents(const QString &path) = 0;

    // The real file system, its folder watched through inotify.
    static std::unique_ptr<InputFileAccess> system();
};

// The real one.
class SystemInputFileAccess : public InputFileAccess
{
public:
    ~SystemInputFileAccess() override;
    InputFileLook look(const QString &path) override;
    NameEvents nameEvents(const QString &path) override;

protected:
    // Up to kInputDataHeadBytes from the start of the open file; nothing on a read error.
    // look() reads twice, and a difference means a writer at work.
    virtual std::optional<QByteArray> readHead(int fd);

private:
    void watch(const QString &folder);
    void unwatch();

    QString m_folder;
    int m_fd = -1;
};

// "Input by File"'s reading of the file at every tick. A file is applied only when it
// cannot be half-written: when it arrived by rename and has not been written since, when
// two looks at least a period apart found it the same, or when it was last modified
// more than a period (and kInputDataClockSlackMs) ago. So a writer that pauses anywhere
// inside the text for less than a period is never applied while incomplete.
class InputDataFeed
{
public:
    enum class Outcome { Applied, Missing, Changing, Malformed };
    struct Result
    {
        Outcome outcome = Outcome::Missing;
        std::array<int16_t, 3> numbers{}; // when Applied
    };

    explicit InputDataFeed(std::unique_ptr<InputFileAccess> access = InputFileAccess::system(),
                           const Clock &clock = Clock::system());
    ~InputDataFeed();

    void setPath(const QString &path);
    QString path() const { return m_path; }
    // One tick's reading; nPeriodMs is the refresh period in force.
    Result read(int nPeriodMs);

private:
    std::unique_ptr<InputFileAccess> m_access;
    const Clock &m_clock;
    QString m_path;
    std::optional<InputFileLook> m_seen; // the file as it was first seen unchanged
    int64_t m_seenAtMs = 0;
    bool m_renamedIn = false; // renamed into place and not written since
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
