// kv7320ctl: the charger's registers from scripts, without a window and without Qt.
#include "ctlcommandline.h"
#include "ctlrunner.h"
#include "stopsignals.h"

#if __has_include("versioninfo.h")
#include "versioninfo.h"
#define KV_DESCRIPTION VersionInfo::kFileDescription
#define KV_VERSION_TEXT VersionInfo::kFileVersion
#elif defined(KV_VERSION)
// Built outside CMake (the static build for the virtual-machine test): -DKV_VERSION=\"x\".
#define KV_DESCRIPTION "kv7320 Evaluation Software"
#define KV_VERSION_TEXT KV_VERSION
#else
#error "build with CMake, or give the version: -DKV_VERSION=\"1.2.3.4\""
#endif

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CtlInvocation invocation = parseCtlArguments(arguments);

    StopSignals stop;
    CtlEnvironment env(std::cout, std::cerr);
    env.sVersion = std::string("kv7320ctl (") + KV_DESCRIPTION + ") " + KV_VERSION_TEXT;
    env.wait = [&stop](int64_t nMs) { return stop.wait(nMs); };
    env.stopSignal = [&stop] { return stop.stopSignal(); };
    env.nowMs = &StopSignals::nowMs;
    return runCtl(invocation, env);
}
