#include "stopsignals.h"

#include "clock.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t g_signal = 0;
// The self-pipe: a signal that comes between looking at g_signal and poll() still
// ends the wait, as its byte is already in the pipe.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

extern "C" void noteStop(int signal)
{
    const int savedErrno = errno;
    g_signal = signal;
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    }
    errno = savedErrno;
}
} // namespace

StopSignals::StopSignals()
{
    g_signal = 0;
    if (::pipe(g_pipe) == 0) {
        for (int fd : g_pipe) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    } else {
        g_pipe[0] = g_pipe[1] = -1;
    }
    struct sigaction action = {};
    action.sa_handler = noteStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a transfer's system calls carry on
    for (int i = 0; i < 2; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

StopSignals::~StopSignals()
{
    for (int i = 0; i < 2; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int StopSignals::stopSignal() const
{
    return g_signal;
}

bool StopSignals::wait(int64_t nMs) const
{
    const Clock &clock = Clock::system();
    const int64_t end = clock.monotonicMs() + nMs;
    for (;;) {
        if (g_signal != 0)
            return false;
        const int64_t left = end - clock.monotonicMs();
        if (left <= 0)
            return true;
        pollfd fd = {g_pipe[0], POLLIN, 0};
        // Without the pipe (it could not be made) poll just sleeps; a signal still ends
        // it early, as poll is never restarted after a handler.
        ::poll(g_pipe[0] >= 0 ? &fd : nullptr, g_pipe[0] >= 0 ? 1 : 0,
               static_cast<int>(left > 1000 ? 1000 : left));
    }
}
