#pragma once

#include <QByteArray>

#include <optional>

class FileOps;

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

// An INI file on disk.
namespace IniFile {

// Files larger than this are neither read nor rewritten.
constexpr qint64 kMaxSize = 64 * 1024 * 1024;
// A file modified less than this long ago (by FileOps::nowMs) may be in the middle of
// another program's save: it is not rewritten, unless this program changed it last.
constexpr qint64 kQuietMs = 5000;

// The value of key in section of the file; nothing when the key, the section or a
// readable file is missing.
std::optional<QByteArray> read(const QString &path, const QByteArray &section,
                               const QByteArray &key);

// Sets key in section, creating the file and its folder as needed. The file is
// replaced atomically (replaceFileAtomically, through ops): false when it could not be
// written, and then the old file stays byte for byte and no temporary file is left. A
// read-only file is left alone, and so is one that another program may be saving: one
// modified within kQuietMs, or changed between our read and our rename.
bool write(const QString &path, const QByteArray &section, const QByteArray &key,
           const QByteArray &value, FileOps &ops);
bool write(const QString &path, const QByteArray &section, const QByteArray &key,
           const QByteArray &value);

} // namespace IniFile
