#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for. No argument is needed: the program looks for
// hardware; --simulator opens the built-in simulated charger instead.
struct CommandLine
{
    bool simulator = false;
    QString bridge;           // --bridge: only this bridge (listed name, serial or USB port)
    bool listBridges = false; // --list-bridges: print the bridges and end
    QString inputFile;        // --input-file: where "Input by File" reads, as given
    bool exit = false;        // print output and end without a window
    int exitCode = 0;         // when exit is set
    QString output;           // help, version or error text
};

// arguments[0] is the program name. Qt's own options (-platform NAME, -style NAME,
// -reverse, ...) are passed over: QApplication takes them.
CommandLine parseCommandLine(const QStringList &arguments);
