#pragma once

#include <sys/types.h>

// Whether a process runs, behind a seam: a temporary file left by a writer is removed
// only once its process is known to be gone. The tests run as root, which may signal
// every process, so they cannot make a live process that refuses to be asked; they
// hand in their own answers.
class ProcessProbe
{
public:
    enum class State {
        Alive,  // it runs: kill(pid, 0) succeeds, or is refused (another user's process)
        Gone,   // no such process (ESRCH)
        Unknown // the system would not say
    };

    virtual ~ProcessProbe() = default;
    virtual State state(pid_t pid) const;

    // The real processes.
    static const ProcessProbe &system();
};
