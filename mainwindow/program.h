#pragma once

// Parses the command line, chooses the adapter, opens the main window and runs the
// event loop. Returns the process exit code.
int runProgram(int argc, char *argv[]);

// Names the application (name and version). No display name: Qt on X11 would append
// it to the title of every window whose title differs from it.
void setUpApplication();
