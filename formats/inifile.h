#pragma once

#include "clock.h"
#include "fileops.h"
#include "processprobe.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Reading and editing INI text the way the Windows profile functions do, without
// touching any byte that is not part of the change.
//
// Section and key names match case-insensitively; blanks around names and values are
// trimmed; one matching outer pair of quotes is removed from a value; a line whose
// first non-blank character is ';' is a comment; the first matching section and key
// win; lines before the first section belong to no section; CRLF, LF and CR all end
// a line.
namespace IniText {

// The value of key in section, or nothing when the key is missing.
std::optional<QByteArray> value(const QByteArray &text, const QByteArray &section,
                                const QByteArray &key);

// The text with key set to value in section: an existing key's line is rewritten;
// a new key goes after the last non-blank line of the first matching section; a new
// section is appended at the end. The text's own line ending is used (LF when none).
QByteArray withValue(const QByteArray &text, const QByteArray &section, const QByteArray &key,
                     const QByteArray &value);

} // namespace IniText

// INI files on disk, read and edited through the file calls, the clock and the process
// probe given. The writer remembers the file it replaced last, as it left it, so that
// its own change is not taken for another program's.
//
// Reading and editing take time in proportion to the file's size and hold no more than
// two copies of it at once, however many lines it has.
class IniFile
{
public:
    // Files larger than this are neither read nor rewritten, and no file is made larger.
    static constexpr qint64 kMaxSize = 64 * 1024 * 1024;
    // A file modified less than this long ago (by the clock's wall time) may be in the
    // middle of another program's save: it is not rewritten, unless this writer
    // changed it last.
    static constexpr qint64 kQuietMs = 5000;

    explicit IniFile(FileOps &ops = FileOps::system(), const Clock &clock = Clock::system(),
                     const ProcessProbe &processes = ProcessProbe::system());

    // The value of key in section of the file; nothing when the key, the section or a
    // readable file is missing.
    static std::optional<QByteArray> read(const QString &path, const QByteArray &section,
                                          const QByteArray &key);

    // Sets key in section, creating the file and its folder as needed. The file is
    // replaced atomically (replaceFileAtomically): false when it could not be written,
    // and then the old file stays byte for byte and no temporary file is left. A
    // read-only file is left alone, and so is one that another program may be saving:
    // one modified within kQuietMs, or changed between our read and our rename. So is
    // one the change would make larger than kMaxSize.
    bool write(const QString &path, const QByteArray &section, const QByteArray &key,
               const QByteArray &value);

    // Which file is at a path, and how it was last left: equal states are the same
    // file, untouched (a save in place changes the time at least).
    struct FileState
    {
        bool exists = false;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedNs = 0;
        bool operator==(const FileState &o) const
        {
            return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
                   modifiedNs == o.modifiedNs;
        }
    };
    static FileState stateOf(const QString &path);

    // Removes the temporary files a writer killed half-way left beside path
    // (removeStaleTemporaries), whether or not the file is ever written.
    void removeLeftovers(const QString &path);

private:
    FileOps &m_ops;
    const Clock &m_clock;
    const ProcessProbe &m_processes;
    QString m_lastPath; // the file this writer replaced last, and its state then
    FileState m_lastState;
};
