#include "platform/read_ahead.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ravlen {
namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

}  // namespace

ReadAhead::~ReadAhead() { Release(); }

void ReadAhead::Release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Kept& k : kept_) close(k.fd);
    kept_.clear();
    ForgetFolder();
}

void ReadAhead::ForgetFolder() {
    if (folderFd_ >= 0) close(folderFd_);
    folderFd_ = -1;
    folder_.clear();
}

void ReadAhead::Listed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    // A folder listed afresh may since have been replaced (another card
    // mounted at the same place): the next hint opens it anew.
    ForgetFolder();
}

ReadAhead::Place ReadAhead::Locate(const std::string& path) const {
    const std::size_t slash = path.rfind('/');
    if (folderFd_ >= 0 && slash == folder_.size() && slash + 1 < path.size() && path.compare(0, slash, folder_) == 0)
        return {folderFd_, path.c_str() + slash + 1};
    return {AT_FDCWD, path.c_str()};
}

int ReadAhead::OpenLocked(const std::string& path) {
    const Place place = Locate(path);
    const int fd = openat(place.dirfd, place.name, kReadFlags);
    // The kernel's own read-ahead would turn the small first read into four
    // times as much from the medium: the stream asks for what it needs.
    if (fd >= 0) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    return fd;
}

int ReadAhead::Open(const std::string& path) {
    int fd = -1, err = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        fd = OpenLocked(path);
        err = errno;
    }
    errno = err;
    return fd;
}

void ReadAhead::Hint(const std::string& path, std::size_t length) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && path.compare(0, slash, folder_) != 0) {
        ForgetFolder();
        folderFd_ = open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folderFd_ >= 0) folder_ = path.substr(0, slash);
    }
    const int fd = OpenLocked(path);
    if (fd < 0) return;
    posix_fadvise(fd, 0, static_cast<off_t>(length), POSIX_FADV_WILLNEED);
    if (kept_.size() >= kMaxKept) {
        close(kept_.front().fd);
        kept_.pop_front();
    }
    kept_.push_back({path, fd});
}

int ReadAhead::Take(const std::string& path, struct stat& st) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::size_t at = 0;
    while (at < kept_.size() && kept_[at].path != path) ++at;
    if (at == kept_.size()) return -1;
    for (std::size_t i = 0; i < at; ++i) close(kept_[i].fd);
    const int fd = kept_[at].fd;
    kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(at) + 1);
    // Removed, replaced or renamed since it was opened: its name now leads
    // elsewhere (or nowhere), and a fresh open says so as a plain walk would.
    struct stat now{};
    const Place place = Locate(path);
    const int looked = fstatat(place.dirfd, place.name, &now, AT_SYMLINK_NOFOLLOW);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || looked != 0 || now.st_dev != st.st_dev ||
        now.st_ino != st.st_ino) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace ravlen
