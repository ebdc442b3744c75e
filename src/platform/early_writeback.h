#pragma once
// The bytes of staged copies started on their way to the disk while the next
// files are copied, so that the batch's flush waits for less. A flush of the
// whole file system runs aside, on a thread of its own, once enough bytes
// wait there; it makes nothing durable the batch counts on (the batch's own
// flush still does that) and reports nothing.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <unordered_map>

namespace ravlen {

class EarlyWriteback {
public:
    // Bytes written but not flushed before a flush of their file system starts aside.
    static constexpr std::uint64_t kStep = 32ull * 1024 * 1024;

    EarlyWriteback() = default;
    EarlyWriteback(const EarlyWriteback&) = delete;
    EarlyWriteback& operator=(const EarlyWriteback&) = delete;
    ~EarlyWriteback() { Wait(); }

    // `bytes` were written into a file of the folder `dirfd` (device `device`).
    void Wrote(int dirfd, dev_t device, std::uint64_t bytes);
    // The flush aside, if one runs, is over.
    void Wait();

private:
    std::unordered_map<dev_t, std::uint64_t> waiting_;  // bytes by device
    std::thread flushing_;
    std::atomic<bool> busy_{false};
};

}  // namespace ravlen
