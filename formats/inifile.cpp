#include "inifile.h"

#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

struct Line
{
    qsizetype start; // first byte of the line
    qsizetype end;   // one past the last byte before the line end
    qsizetype next;  // first byte of the following line
};

std::vector<Line> splitLines(const QByteArray &text)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    // A UTF-8 byte-order mark is not part of the first line.
    if (text.startsWith("\xEF\xBB\xBF"))
        start = 3;
    const qsizetype n = text.size();
    qsizetype i = start;
    while (i < n) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            qsizetype next = i + 1;
            if (c == '\r' && next < n && text[next] == '\n')
                ++next;
            lines.push_back({start, i, next});
            start = i = next;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.push_back({start, n, n});
    return lines;
}

QByteArray lineEnding(const QByteArray &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return "\n";
        if (text[i] == '\r')
            return (i + 1 < text.size() && text[i + 1] == '\n') ? "\r\n" : "\r";
    }
    return "\n";
}

bool namesMatch(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

enum class Kind { Blank, Comment, Section, Entry, Other };

struct Parsed
{
    Kind kind = Kind::Other;
    QByteArray name;  // section or key
    QByteArray value; // entry value, trimmed, outer quotes removed
};

Parsed parseLine(const QByteArray &text, const Line &line)
{
    const QByteArray content = text.mid(line.start, line.end - line.start).trimmed();
    Parsed p;
    if (content.isEmpty()) {
        p.kind = Kind::Blank;
    } else if (content.startsWith(';')) {
        p.kind = Kind::Comment;
    } else if (content.startsWith('[')) {
        p.kind = Kind::Section;
        const qsizetype close = content.indexOf(']');
        p.name = content.mid(1, close < 0 ? -1 : close - 1).trimmed();
    } else if (const qsizetype eq = content.indexOf('='); eq >= 0) {
        p.kind = Kind::Entry;
        p.name = content.left(eq).trimmed();
        p.value = content.mid(eq + 1).trimmed();
        const qsizetype len = p.value.size();
        if (len >= 2 && (p.value[0] == '"' || p.value[0] == '\'') && p.value[len - 1] == p.value[0])
            p.value = p.value.mid(1, len - 2);
    }
    return p;
}

// Where a key lives, or would be added, in the first matching section.
struct Location
{
    bool sectionFound = false;
    qsizetype keyLine = -1;         // index of the key's line
    qsizetype lastContentLine = -1; // last non-blank line of the section (its header at least)
};

Location locate(const QByteArray &text, const std::vector<Line> &lines, const QByteArray &section,
                const QByteArray &key)
{
    Location loc;
    bool inSection = false;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i) {
        const Parsed p = parseLine(text, lines[i]);
        if (p.kind == Kind::Section) {
            if (inSection)
                break; // only the first matching section counts
            inSection = !loc.sectionFound && namesMatch(p.name, section);
            if (inSection) {
                loc.sectionFound = true;
                loc.lastContentLine = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (p.kind != Kind::Blank)
            loc.lastContentLine = i;
        if (p.kind == Kind::Entry && loc.keyLine < 0 && namesMatch(p.name, key))
            loc.keyLine = i;
    }
    return loc;
}

} // namespace

namespace IniText {

std::optional<QByteArray> value(const QByteArray &text, const QByteArray &section,
                                const QByteArray &key)
{
    const auto lines = splitLines(text);
    const Location loc = locate(text, lines, section, key);
    if (loc.keyLine < 0)
        return std::nullopt;
    return parseLine(text, lines[loc.keyLine]).value;
}

QByteArray withValue(const QByteArray &text, const QByteArray &section, const QByteArray &key,
                     const QByteArray &value)
{
    const auto lines = splitLines(text);
    const Location loc = locate(text, lines, section, key);
    const QByteArray eol = lineEnding(text);
    const QByteArray entry = key + '=' + value;
    QByteArray out = text;

    if (loc.keyLine >= 0) {
        // Keep the key as the file spells it; only the value changes.
        const Line &l = lines[loc.keyLine];
        const qsizetype valueStart = text.indexOf('=', l.start) + 1;
        out.replace(valueStart, l.end - valueStart, value);
    } else if (loc.sectionFound) {
        const Line &l = lines[loc.lastContentLine];
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
} // namespace

IniFile::IniFile(FileOps &ops, const Clock &clock)
    : m_ops(ops)
    , m_clock(clock)
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
    // Just before the rename: the file must still be the one read, byte for byte, or the
    // other program's save would go into the file we replace.
    auto stillAsRead = [&] {
        if (!(stateOf(path) == before))
            return false;
        return !before.exists || contents(path) == std::optional<QByteArray>(text);
    };
    if (!replaceFileAtomically(path, IniText::withValue(text, section, key, value), m_ops, nullptr,
                               stillAsRead))
        return false;
    m_lastPath = path;
    m_lastState = stateOf(path);
    return true;
}
