#include "processprobe.h"

#include <cerrno>
#include <csignal>

ProcessProbe::State ProcessProbe::state(pid_t pid) const
{
    // 0 and negative numbers name process groups, not a process.
    if (pid <= 0)
        return State::Unknown;
    if (::kill(pid, 0) == 0)
        return State::Alive;
    if (errno == EPERM) // it runs, as another user
        return State::Alive;
    return errno == ESRCH ? State::Gone : State::Unknown;
}

const ProcessProbe &ProcessProbe::system()
{
    static const ProcessProbe probe;
    return probe;
}
