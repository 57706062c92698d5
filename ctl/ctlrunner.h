#pragma once

#include "adapterfactory.h"
#include "clock.h"
#include "ctlcommandline.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

constexpr int kCtlExitOk = 0;
constexpr int kCtlExitFailure = 1; // a bus or adapter failure
constexpr int kCtlExitUsage = 2;
// A run stopped by a signal before all its commands ran exits with 128 + the signal.

// Where kv7320ctl's commands write, wait and find their adapter; tests give their own.
struct CtlEnvironment
{
    CtlEnvironment(std::ostream &o, std::ostream &e);

    std::ostream &out;
    std::ostream &err;
    std::string sProgram = "kv7320ctl";
    std::string sVersion; // the --version line
    // Waits nMs, or less when a stop is asked for; false when a stop has been asked for.
    // By default a plain sleep that nothing stops.
    std::function<bool(int64_t nMs)> wait;
    // The signal that asked the run to stop; 0 while none has.
    std::function<int()> stopSignal;
    // The keepalive's period is kept on this clock's monotonic time.
    const Clock *clock = &Clock::system();
    std::function<std::unique_ptr<AdapterControl>(const AdapterChoice &)> makeAdapter =
        createAdapter;
};

// Runs a parsed command line: help, version, the usage error, or the commands in order
// (the first that fails ends the run). The adapter is opened through frmUSB before the
// first command that needs the bus, and closed at the end. Returns the exit code.
int runCtl(const CtlInvocation &invocation, CtlEnvironment &environment);
