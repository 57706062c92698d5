#pragma once

// Parses the command line, chooses the adapter, opens the main window and runs the
// event loop. Returns the process exit code.
int runProgram(int argc, char *argv[]);
