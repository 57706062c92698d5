#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ChargeRegister;

// One command of a kv7320ctl invocation.
struct CtlCommand
{
    enum class Kind { ListBridges, Read, Write, Get, Set, KeepAlive };
    // What get reads: one charge register, the identifiers, or everything.
    enum class Target { Register, Ids, All };

    Kind kind = Kind::ListBridges;
    uint8_t yRegister = 0;               // read, write
    uint16_t nWord = 0;                  // write
    Target target = Target::Register;    // get
    const ChargeRegister *reg = nullptr; // get and set of a charge register
    int nValue = 0;                      // set, in mA or mV as typed
    int64_t nPeriodMs = 1000;            // keepalive
    int64_t nForMs = -1;                 // keepalive; -1: until stopped
};

// The whole command line: options and the commands to run in order. Parsing checks
// everything before anything runs, so a malformed line never half-runs.
struct CtlInvocation
{
    enum class Action { Run, Help, Version, UsageError };

    Action action = Action::Run;
    bool bSimulator = false;
    std::string sBridge; // --bridge NAME
    bool bJson = false;
    bool bExact = false; // set writes only a value the register holds exactly
    std::vector<CtlCommand> commands;
    std::string sError; // UsageError: one line, naming the word at fault
};

// arguments without the program name.
CtlInvocation parseCtlArguments(const std::vector<std::string> &arguments);

// The --help text.
std::string ctlUsage(const std::string &sProgram);

// The command-line name of a charge register ("charge-current").
std::string ctlName(const ChargeRegister &r);

// The keepalive limits: a period of 1 ms to an hour, a run of up to 999 999 999 s.
constexpr int64_t kCtlMaxPeriodMs = 3600 * 1000;
// The largest value set takes, in mA or mV (the register's own limit applies after).
constexpr int kCtlMaxValue = 999999999;
