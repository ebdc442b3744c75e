#pragma once
// What the kernel counts for this process: read system calls and bytes read
// (/proc/self/io), and resident memory with its peak.

#include <cstdint>

namespace ravlen::bench {

struct IoCounters {
    bool known = false;        // false where /proc/self/io cannot be read
    std::uint64_t readCalls = 0;  // read, pread, readv ... (syscr)
    std::uint64_t bytesRead = 0;  // bytes those calls returned (rchar)
    std::uint64_t sampleBytes = 0;  // what reading this sample itself added to the next one
};

IoCounters ReadIoCounters();

// The counters between two samples, less what taking the first one cost.
IoCounters IoDelta(const IoCounters& before, const IoCounters& after);

// Sets the peak resident size back to the current one, where the kernel
// allows it; true when it did.
bool ResetPeakMemory();
// Peak resident size of this process in KiB (getrusage ru_maxrss).
long PeakMemoryKiB();

// Bytes of the heap in use now (malloc's own count, mapped blocks included).
std::uint64_t HeapInUse();

// Processor time this process has used so far, in user and in kernel mode.
struct CpuTimes {
    double user = 0;
    double system = 0;
};
CpuTimes ReadCpuTimes();

}  // namespace ravlen::bench
