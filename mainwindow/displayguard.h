#pragma once

#include <string>

// One line for a window that cannot open: the display the program was given (the Qt
// platform asked for, DISPLAY, WAYLAND_DISPLAY; empty or null when not set, and a
// platform plugin Qt said it does not have) and what to try instead.
std::string noDisplayMessage(const std::string &platform, const char *display,
                             const char *waylandDisplay, const std::string &missingPlugin = {});

// Guards the start of Qt's windowing (constructing QApplication) where there may be no
// display: Qt's messages are held back meanwhile, and when Qt finds no display it can
// use, the process ends with exit code 1 and noDisplayMessage() on standard error
// instead of Qt's abort. Released, it passes the held messages on as they came.
// QT_DEBUG_PLUGINS set shows Qt's own messages on that path too.
class DisplayGuard
{
public:
    // argv as the program got it: its -platform option is the platform asked for.
    DisplayGuard(int argc, char **argv);
    ~DisplayGuard() { release(); }
    void release();

    DisplayGuard(const DisplayGuard &) = delete;
    DisplayGuard &operator=(const DisplayGuard &) = delete;
};
