#include "platform/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace ravlen {
namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");
int g_pipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    if (g_stop.exchange(true)) return;
    const int saved = errno;
    // Nothing to do if stderr is gone; the flag is what matters.
    static const char note[] = "\nStopping after the current file...\n";
    ssize_t ignored = write(STDERR_FILENO, note, sizeof note - 1);
    if (g_pipe[1] >= 0) ignored = write(g_pipe[1], "s", 1);
    (void)ignored;
    errno = saved;
}

}  // namespace

void CatchStopSignals() {
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool StopSignalled() { return g_stop.load(); }

int StopSignalDescriptor() { return g_pipe[0]; }

}  // namespace ravlen
