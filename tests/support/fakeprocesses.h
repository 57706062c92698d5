#pragma once

#include "processprobe.h"

#include <map>

// Processes as a test says they are: a live process of another user, one the system
// will not tell about. Every pid it is not told of is gone.
struct FakeProcesses : ProcessProbe
{
    std::map<pid_t, State> states;
    State state(pid_t pid) const override
    {
        const auto it = states.find(pid);
        return it == states.end() ? State::Gone : it->second;
    }
};
