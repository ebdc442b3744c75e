#pragma once
// What the files of PosixFileSystem share: the system's error text, the facts
// that tell a file apart, and the checks of a file opened as a source.

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <system_error>

#include "model/file_system.h"

namespace ravlen::posix_fs {

inline constexpr std::size_t kCopyChunk = 1024 * 1024;
inline constexpr const char* kNotRegular = "The file is no longer an ordinary file";

inline std::string ErrorText(int err) {
    if (err == 0) err = EIO;
    return std::generic_category().message(err);
}

inline FsStatus Failure(int err) {
    if (err == 0) err = EIO;
    return FsStatus::System(err, ErrorText(err));
}

// The name now leads to something else than an ordinary file.
inline FsStatus NotOrdinary() { return FsStatus::Fail(FsFault::NotOrdinaryFile, kNotRegular); }

inline std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

inline bool SameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Writes all n bytes through `write` (a write(2) alike), again where a
// signal cut it short; a write that takes nothing means a full disk.
template <class Write>
FsStatus WriteWhole(Write&& write, int fd, const char* bytes, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        errno = 0;
        const long w = static_cast<long>(write(fd, bytes + done, n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return Failure(w == 0 ? ENOSPC : errno);
        done += static_cast<std::size_t>(w);
    }
    return FsStatus::Ok();
}

// A whole copy given its source's dates (a file system that cannot take them
// does not fail the copy), then its facts taken in `finished`: its size must
// be the source's.
inline FsStatus FinishCopy(int fd, const struct stat& source, struct stat& finished) {
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    futimens(fd, times);
    if (fstat(fd, &finished) != 0) return Failure(errno);
    if (finished.st_size != source.st_size) return Failure(EIO);
    return FsStatus::Ok();
}

// Same file, same length, same modification time: nothing wrote to it.
inline bool SameContent(const struct stat& a, const struct stat& b) {
    return SameEntry(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Checks what opening a source gave (a descriptor, or -1 with errno set):
// an ordinary file on the handle itself. The descriptor, or -1 with
// `failure` set.
int VetSource(int fd, struct stat& st, FsStatus& failure);

// A source opened for reading: never through a link, never waiting on a
// FIFO swapped in for the file, and an ordinary file on the handle itself.
// The descriptor, or -1 with `failure` set.
int OpenSource(int at, const std::string& path, struct stat& st, FsStatus& failure);

}  // namespace ravlen::posix_fs
