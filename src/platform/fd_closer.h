#pragma once
// A descriptor closed when its owner goes: every early return of a function
// that opened it lets it go once, and a failure path cannot leak it.

#include <unistd.h>

namespace ravlen {

struct FdCloser {
    int fd;
    explicit FdCloser(int f = -1) : fd(f) {}
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    FdCloser(FdCloser&& other) noexcept : fd(other.Release()) {}
    FdCloser& operator=(FdCloser&& other) noexcept {
        if (this != &other) {
            if (fd >= 0) close(fd);
            fd = other.Release();
        }
        return *this;
    }
    // Hands the descriptor on: it is no longer closed here.
    int Release() {
        const int f = fd;
        fd = -1;
        return f;
    }
};

}  // namespace ravlen
