// kv7320ctl: the charger's registers from scripts, without a window and without Qt.
#include "ctlcommandline.h"
#include "ctlrunner.h"
#include "stopsignals.h"

#include "versioninfo.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    // A reader that went away (kv7320ctl get all | head -0) makes writes fail, which the
    // run reports with exit 1, instead of a silent death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CtlInvocation invocation = parseCtlArguments(arguments);

    int code = 0;
    int signal = 0;
    {
        StopSignals stop;
        CtlEnvironment env(std::cout, std::cerr);
        env.sVersion = std::string("kv7320ctl (") + VersionInfo::kFileDescription + ") " +
                       VersionInfo::kFileVersion;
        env.wait = [&stop](int64_t nMs) { return stop.wait(nMs); };
        env.stopSignal = [&stop] { return stop.stopSignal(); };
        code = runCtl(invocation, env);
        signal = stop.stopSignal();
    } // the signals' previous handlers are back
    // Stopped by Ctrl+C or SIGTERM: with the report written, end by that signal, so that
    // a calling shell stops its script too rather than go on to the next step.
    if (signal != 0) {
        std::cout.flush();
        std::cerr.flush();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return code;
}
