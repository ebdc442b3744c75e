#include "platform/mount_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace ravlen {

MountTableWatch::MountTableWatch(const std::string& mountInfo)
    : fd_(::open(mountInfo.c_str(), O_RDONLY | O_CLOEXEC)) {}

MountTableWatch::Event MountTableWatch::Wait(int timeoutMs) {
    if (fd_.fd < 0) return Event::Failed;
    pollfd entry{fd_.fd, POLLPRI, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0) return errno == EINTR ? Event::TimedOut : Event::Failed;
    if (ready == 0) return Event::TimedOut;
    // The table reports a change as POLLPRI together with POLLERR.
    if (entry.revents & POLLPRI) return Event::Changed;
    return (entry.revents & POLLNVAL) ? Event::Failed : Event::TimedOut;
}

}  // namespace ravlen
