#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The input-data file another program rewrites to steer the charger:
// "kv7320InputData.txt", three decimal numbers (charge current mA, charge voltage mV,
// input current mA). Only the start of the file is read, so a file of any size costs no
// more than a small one.
constexpr const char *kInputDataFileName = "kv7320InputData.txt";
constexpr int kInputDataHeadBytes = 4096;

// A file modified this recently may be in the middle of being rewritten.
constexpr int kInputDataQuietMs = 10;

// The three numbers, or nothing when the file is missing, unreadable or malformed, or
// may be half rewritten: modified within the last kInputDataQuietMs, or different
// between two reads. So a value is never taken from a file another program is still
// writing (a prefix of the new text, or new text over the tail of the old). Opened and
// closed within the call.
std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path);

// What decides where "Input by File" reads, gathered from the file system by
// inputDataPath() and given directly by tests.
struct InputDataPlace
{
    QString explicitPath;             // --input-file, taken as it is when not empty
    QString executableFolder;
    bool fileInExecutableFolder = false;
    bool executableFolderWritable = false;
    bool executableFolderIsInstallFolder = false; // e.g. /usr/bin, even for root
    QString userFolder;               // $XDG_DATA_HOME/kv7320ev, else ~/.local/share/kv7320ev
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
