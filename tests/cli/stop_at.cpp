// Preloaded into ravlen-run by the kill tests: stops the program with a
// signal at a chosen call of unlink (or unlinkat), linkat, renameat2, syncfs,
// copy_file_range, openat (creating a file), a write to the CSV log
// (csvwrite) or a write to a copy being staged (copywrite: an unnamed file or
// a hidden partial one), before or after it, so that a kill lands at an exact
// point of a placement:
//   RAVLEN_STOP_AT="before|after:unlink|linkat|renameat2|syncfs|copy_file_range|openat|csvwrite|copywrite:N:KILL|TERM"
// With RAVLEN_REFUSE=1 it plays a file system that refuses unnamed files,
// no-replace renames and hard links alike (exFAT through FUSE).
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct StopPoint {
    bool after = false;
    char call[16] = {};
    int n = 0;
    int signal = SIGKILL;
    bool parsed = false;
};

StopPoint& Point() {
    static StopPoint point = [] {
        StopPoint p;
        const char* text = std::getenv("RAVLEN_STOP_AT");
        char when[8] = {}, sig[8] = {};
        if (text && std::sscanf(text, "%7[^:]:%15[^:]:%d:%7s", when, p.call, &p.n, sig) == 4) {
            p.after = std::strcmp(when, "after") == 0;
            p.signal = std::strcmp(sig, "TERM") == 0 ? SIGTERM : SIGKILL;
            p.parsed = true;
        }
        return p;
    }();
    return point;
}

int g_calls = 0;

// The settings store, the record of intent and the probes of what the file
// system takes are not placements.
bool Ours(const char* path) {
    return std::strstr(path, ".sqlite") == nullptr && std::strstr(path, ".ini") == nullptr &&
           std::strstr(path, ".ravlen-partial") == nullptr;
}

bool Refusing() {
    static const bool refuse = [] {
        const char* text = std::getenv("RAVLEN_REFUSE");
        return text && *text;
    }();
    return refuse;
}

// Whether this call is the chosen one; a signal other than KILL is sent once.
bool Chosen(const char* call) {
    StopPoint& p = Point();
    return p.parsed && std::strcmp(p.call, call) == 0 && ++g_calls == p.n;
}

void Stop() { raise(Point().signal); }

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

namespace {

// The real call, with the stop before or after it when it is the chosen one.
template <typename Call>
int Around(const char* name, const char* path, Call call) {
    const bool chosen = Ours(path) && Chosen(name);
    if (chosen && !Point().after) Stop();
    const int rc = call();
    if (chosen && Point().after) Stop();
    return rc;
}

}  // namespace

extern "C" int unlink(const char* path) {
    static auto real = Next<int (*)(const char*)>("unlink");
    return Around("unlink", path, [&] { return real(path); });
}

// A file removed relative to its folder's handle counts as an unlink; a
// folder's removal does not.
extern "C" int unlinkat(int dirfd, const char* path, int flags) {
    static auto real = Next<int (*)(int, const char*, int)>("unlinkat");
    if (flags & AT_REMOVEDIR) return real(dirfd, path, flags);
    return Around("unlink", path, [&] { return real(dirfd, path, flags); });
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static auto real = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
    if (Refusing()) {
        errno = EPERM;
        return -1;
    }
    return Around("linkat", to, [&] { return real(fromDir, from, toDir, to, flags); });
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    static auto real = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    if (Refusing() && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    return Around("renameat2", to, [&] { return real(fromDir, from, toDir, to, flags); });
}

// A batch of copies: before the first flush its copies are only staged,
// after it they are durable but unnamed, before the second all are named.
extern "C" int syncfs(int fd) {
    static auto real = Next<int (*)(int)>("syncfs");
    return Around("syncfs", "", [&] { return real(fd); });
}

// A copy being written, before its batch is committed.
extern "C" ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt, size_t n, unsigned flags) {
    static auto real = Next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range");
    ssize_t rc = 0;
    Around("copy_file_range", "", [&] { return static_cast<int>((rc = real(in, inAt, out, outAt, n, flags)) < 0 ? -1 : 0); });
    return rc;
}

namespace {

// Whether the descriptor is a CSV log's: its rows are the records recovery trusts.
bool CsvLog(int fd) {
    char link[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(self.c_str(), link, sizeof link);
    return n > 4 && std::strncmp(link + n - 4, ".csv", 4) == 0;
}

// Whether the descriptor is a copy being staged: unnamed, or under a hidden partial name.
bool StagedCopy(int fd) {
    char link[PATH_MAX + 1];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(self.c_str(), link, PATH_MAX);
    if (n <= 0) return false;
    link[n] = '\0';
    return std::strstr(link, " (deleted)") != nullptr || std::strstr(link, ".ravlen-partial") != nullptr;
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t n) {
    static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
    if (!Point().parsed) return real(fd, data, n);
    const char* call = std::strcmp(Point().call, "csvwrite") == 0 && CsvLog(fd)        ? "csvwrite"
                       : std::strcmp(Point().call, "copywrite") == 0 && StagedCopy(fd) ? "copywrite"
                                                                                       : nullptr;
    if (!call) return real(fd, data, n);
    ssize_t rc = 0;
    Around(call, "", [&] { return static_cast<int>((rc = real(fd, data, n)) < 0 ? -1 : 0); });
    return rc;
}

namespace {

// Both names lead to the one call on a 64-bit system.
int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    static auto real = Next<int (*)(int, const char*, int, ...)>("openat");
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    if (Refusing() && unnamed) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if (unnamed || (flags & O_CREAT) == 0) return real(dirfd, path, flags, mode);
    return Around("openat", path, [&] {
        const int fd = real(dirfd, path, flags, mode);
        // What a power cut can leave of a copy not yet flushed: bytes that are
        // none of the original's.
        if (fd >= 0 && Refusing() && Point().after && g_calls == Point().n && write(fd, "\0\0\0\0", 4) != 4) _exit(99);
        return fd;
    });
}

}  // namespace

#define RAVLEN_OPENAT(name)                                                                     \
    extern "C" int name(int dirfd, const char* path, int flags, ...) {                          \
        va_list args;                                                                           \
        va_start(args, flags);                                                                  \
        const bool moded = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;               \
        const mode_t mode = moded ? va_arg(args, mode_t) : 0;                                   \
        va_end(args);                                                                           \
        return OpenAt(dirfd, path, flags, mode);                                                \
    }
RAVLEN_OPENAT(openat)
RAVLEN_OPENAT(openat64)
