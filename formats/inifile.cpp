#include "inifile.h"

#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <sys/stat.h>

namespace {

// A line that is not blank: from its first non-blank byte to its line end.
struct Line
{
    qsizetype start = 0; // first non-blank byte of the line
    qsizetype end = 0;   // one past the last byte before the line end
    qsizetype next = 0;  // first byte after the line end
};

// Blanks as QByteArray::trimmed() takes them, line ends included.
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The lines of a text that are not blank, one at a time and none kept. Blank lines
// count for nothing in a section, so they are passed over in one sweep: a file of
// millions of empty lines costs one pass over its bytes and no memory.
class Lines
{
public:
    explicit Lines(QByteArrayView text)
        : m_text(text)
        // A UTF-8 byte-order mark is not part of the first line.
        , m_at(text.startsWith("\xEF\xBB\xBF") ? 3 : 0)
    {}

    bool next(Line &line)
    {
        const qsizetype n = m_text.size();
        const char *const data = m_text.data();
        qsizetype i = m_at;
        while (i < n && isSpace(data[i]))
            ++i;
        if (i >= n)
            return false;
        line.start = i;
        while (i < n && data[i] != '\n' && data[i] != '\r')
            ++i;
        line.end = i;
        if (i < n)
            i += (data[i] == '\r' && i + 1 < n && data[i + 1] == '\n') ? 2 : 1;
        line.next = m_at = i;
        return true;
    }

private:
    QByteArrayView m_text;
    qsizetype m_at;
};

QByteArray lineEnding(QByteArrayView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return "\n";
        if (text[i] == '\r')
            return (i + 1 < text.size() && text[i + 1] == '\n') ? "\r\n" : "\r";
    }
    return "\n";
}

bool namesMatch(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

enum class Kind { Comment, Section, Entry, Other };

// What a line is: views into the text, nothing copied.
struct Parsed
{
    Kind kind = Kind::Other;
    QByteArrayView name;  // section or key
    QByteArrayView value; // entry value, trimmed, outer quotes removed
};

// A line that is not blank, read in place.
Parsed parseLine(QByteArrayView text, const Line &line)
{
    const QByteArrayView content = text.sliced(line.start, line.end - line.start).trimmed();
    Parsed p;
    if (content.front() == ';') {
        p.kind = Kind::Comment;
    } else if (content.front() == '[') {
        p.kind = Kind::Section;
        const qsizetype close = content.indexOf(']');
        p.name = content.sliced(1, close < 0 ? content.size() - 1 : close - 1).trimmed();
    } else if (const qsizetype eq = content.indexOf('='); eq >= 0) {
        p.kind = Kind::Entry;
        p.name = content.first(eq).trimmed();
        p.value = content.sliced(eq + 1).trimmed();
        const qsizetype len = p.value.size();
        if (len >= 2 && (p.value[0] == '"' || p.value[0] == '\'') && p.value[len - 1] == p.value[0])
            p.value = p.value.sliced(1, len - 2);
    }
    return p;
}

// Where a key lives, or would be added, in the first matching section.
struct Location
{
    bool sectionFound = false;
    bool keyFound = false;
    Line keyLine;         // the key's line
    Line lastContentLine; // last non-blank line of the section (its header at least)
};

// One pass over the lines, each looked at once.
Location locate(QByteArrayView text, QByteArrayView section, QByteArrayView key)
{
    Location loc;
    bool inSection = false;
    Lines lines(text);
    for (Line line; lines.next(line);) {
        const Parsed p = parseLine(text, line);
        if (p.kind == Kind::Section) {
            if (inSection)
                break; // only the first matching section counts
            inSection = !loc.sectionFound && namesMatch(p.name, section);
            if (inSection) {
                loc.sectionFound = true;
                loc.lastContentLine = line;
            }
            continue;
        }
        if (!inSection)
            continue;
        loc.lastContentLine = line;
        if (p.kind == Kind::Entry && !loc.keyFound && namesMatch(p.name, key)) {
            loc.keyFound = true;
            loc.keyLine = line;
        }
    }
    return loc;
}

} // namespace

namespace IniText {

std::optional<QByteArray> value(const QByteArray &text, const QByteArray &section,
                                const QByteArray &key)
{
    const Location loc = locate(text, section, key);
    if (!loc.keyFound)
        return std::nullopt;
    return parseLine(text, loc.keyLine).value.toByteArray();
}

QByteArray withValue(const QByteArray &text, const QByteArray &section, const QByteArray &key,
                     const QByteArray &value)
{
    const Location loc = locate(text, section, key);
    const QByteArray eol = lineEnding(text);
    const QByteArray entry = key + '=' + value;
    QByteArray out = text;

    if (loc.keyFound) {
        // Keep the key as the file spells it; only the value changes.
        const Line &l = loc.keyLine;
        const qsizetype valueStart = text.indexOf('=', l.start) + 1;
        out.replace(valueStart, l.end - valueStart, value);
    } else if (loc.sectionFound) {
        const Line &l = loc.lastContentLine;
        if (l.next == l.end) // the section's last line has no line end
            out.insert(l.end, eol + entry);
        else
            out.insert(l.next, entry + eol);
    } else {
        if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
            out += eol;
        out += '[' + section + ']' + eol + entry + eol;
    }
    return out;
}

} // namespace IniText

namespace {
std::optional<QByteArray> contents(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() > IniFile::kMaxSize ||
        !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// Whether the file holds exactly these bytes; read a piece at a time, so that the
// check costs no second copy of a large file.
bool fileHolds(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    constexpr qint64 kPiece = 1 << 20;
    QByteArray piece(kPiece, Qt::Uninitialized);
    for (qint64 at = 0; at < bytes.size();) {
        const qint64 n = file.read(piece.data(), qMin(kPiece, bytes.size() - at));
        if (n <= 0 || memcmp(piece.constData(), bytes.constData() + at, size_t(n)) != 0)
            return false;
        at += n;
    }
    return file.read(piece.data(), 1) == 0;
}
} // namespace

IniFile::IniFile(FileOps &ops, const Clock &clock, const ProcessProbe &processes)
    : m_ops(ops)
    , m_clock(clock)
    , m_processes(processes)
{}

IniFile::FileState IniFile::stateOf(const QString &path)
{
    FileState state;
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return state;
    state.exists = true;
    state.device = st.st_dev;
    state.inode = st.st_ino;
    state.size = st.st_size;
    state.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return state;
}

std::optional<QByteArray> IniFile::read(const QString &path, const QByteArray &section,
                                        const QByteArray &key)
{
    const auto text = contents(path);
    if (!text)
        return std::nullopt;
    return IniText::value(*text, section, key);
}

void IniFile::removeLeftovers(const QString &path)
{
    removeStaleTemporaries(path, m_ops, m_processes);
}

bool IniFile::write(const QString &path, const QByteArray &section, const QByteArray &key,
                    const QByteArray &value)
{
    const QFileInfo info(path);
    QByteArray text;
    const FileState before = stateOf(path);
    if (info.exists()) {
        // A file marked read-only stays as it is, even for a user who could override it.
        if (!info.isFile() || !info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner))
            return false;
        const auto old = contents(path);
        if (!old || !(stateOf(path) == before))
            return false;
        // Another program may be half-way through saving it (an editor that paused): a
        // file changed just now is left alone, and its missing keys wait for the next
        // start. Unless the change was ours.
        const int64_t ageMs = m_clock.wallMs() - before.modifiedNs / 1000000;
        const bool ours = m_lastPath == path && m_lastState == before;
        if (!ours && ageMs < kQuietMs)
            return false;
        text = *old;
    } else if (!QDir().mkpath(info.absolutePath())) {
        return false;
    }
    const QByteArray changed = IniText::withValue(text, section, key, value);
    // A file past the limit would not be read at the next start: it stays as it is.
    if (changed.size() > kMaxSize)
        return false;
    // Just before the rename: the file must still be the one read, byte for byte, or the
    // other program's save would go into the file we replace.
    auto stillAsRead = [&] {
        if (!(stateOf(path) == before))
            return false;
        return !before.exists || fileHolds(path, text);
    };
    if (!replaceFileAtomically(path, changed, m_ops, nullptr, stillAsRead, m_processes))
        return false;
    m_lastPath = path;
    m_lastState = stateOf(path);
    return true;
}
