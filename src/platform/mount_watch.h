#pragma once
// Tells when a file system is mounted or unmounted: the kernel marks the
// mount table with POLLPRI whenever it changed since it was last polled.

#include <string>

#include "platform/fd_closer.h"

namespace ravlen {

class MountTableWatch {
public:
    explicit MountTableWatch(const std::string& mountInfo = "/proc/self/mountinfo");
    MountTableWatch(const MountTableWatch&) = delete;
    MountTableWatch& operator=(const MountTableWatch&) = delete;

    // False when the table could not be opened (no /proc): nothing is told.
    bool Valid() const { return fd_.fd >= 0; }
    // For an event loop's own poll (POLLPRI, "exception" in Qt's terms). A
    // poll that reports the change also takes it as seen.
    int Descriptor() const { return fd_.fd; }

    enum class Event { Changed, TimedOut, Failed };
    // Waits up to `timeoutMs` (-1: without limit) for a change not yet seen;
    // a signal that interrupts the wait counts as TimedOut.
    Event Wait(int timeoutMs);

private:
    FdCloser fd_;
};

}  // namespace ravlen
