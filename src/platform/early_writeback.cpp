#include "platform/early_writeback.h"

#include <fcntl.h>
#include <unistd.h>

namespace ravlen {

void EarlyWriteback::Wrote(int dirfd, dev_t device, std::uint64_t bytes) {
    std::uint64_t& waiting = waiting_[device];
    waiting += bytes;
    if (waiting < kStep || busy_) return;
    // A descriptor of its own: a flush reports a write failure once to each
    // open file, and the batch's flush through the folder's handle must
    // still hear of it.
    const int fd = openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    Wait();
    waiting = 0;
    busy_ = true;
    flushing_ = std::thread([this, fd] {
        syncfs(fd);
        close(fd);
        busy_ = false;
    });
}

void EarlyWriteback::Wait() {
    if (flushing_.joinable()) flushing_.join();
}

}  // namespace ravlen
