#pragma once

#include <QByteArray>
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

// The three numbers, or nothing when the file is missing, not a regular file (a named
// pipe or a device is never opened in a way that could wait), unreadable or malformed,
// or may be half rewritten: modified within the last kInputDataQuietMs by this
// machine's clock, or changed while it was read (its contents between two reads, or
// its size, modification time or identity). A number cut by the end of the head is
// never taken. Opened and closed within the call.
std::optional<std::array<int16_t, 3>> readInputDataFile(const QString &path);

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
