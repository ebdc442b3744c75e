#include "process_meter.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace ravlen::bench {
namespace {

// The whole of a small /proc file, read with one call into buf.
long ReadSmallFile(const char* path, char* buf, std::size_t size) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const ssize_t n = read(fd, buf, size - 1);
    close(fd);
    if (n < 0) return -1;
    buf[n] = '\0';
    return static_cast<long>(n);
}

bool FieldValue(const char* text, const char* key, std::uint64_t& value) {
    const char* at = std::strstr(text, key);
    if (!at) return false;
    value = std::strtoull(at + std::strlen(key), nullptr, 10);
    return true;
}

}  // namespace

// The counters a read of /proc/self/io shows leave that read itself out;
// the next sample counts it, one call and the length of the text.
IoCounters ReadIoCounters() {
    char buf[512];
    IoCounters io;
    const long n = ReadSmallFile("/proc/self/io", buf, sizeof buf);
    if (n <= 0) return io;
    io.known = FieldValue(buf, "rchar:", io.bytesRead) && FieldValue(buf, "syscr:", io.readCalls);
    io.sampleBytes = static_cast<std::uint64_t>(n);
    return io;
}

IoCounters IoDelta(const IoCounters& before, const IoCounters& after) {
    IoCounters d;
    d.known = before.known && after.known;
    if (!d.known) return d;
    const auto less = [](std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; };
    d.readCalls = less(after.readCalls - before.readCalls, 1);
    d.bytesRead = less(after.bytesRead - before.bytesRead, before.sampleBytes);
    return d;
}

bool ResetPeakMemory() {
    const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = write(fd, "5", 1) == 1;
    close(fd);
    return ok;
}

long PeakMemoryKiB() {
    struct rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
    return usage.ru_maxrss;
}

std::uint64_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

CpuTimes ReadCpuTimes() {
    struct rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return {};
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

}  // namespace ravlen::bench
