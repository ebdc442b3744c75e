#include "platform/read_ahead.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/fd_closer.h"

namespace ravlen {
namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

// Whether the file is as it was when its first bytes were taken: the bytes
// stand for it only then. A write since changes its times.
bool Unchanged(const struct stat& was, const struct stat& now) {
    return was.st_size == now.st_size && was.st_mtim.tv_sec == now.st_mtim.tv_sec &&
           was.st_mtim.tv_nsec == now.st_mtim.tv_nsec && was.st_ctim.tv_sec == now.st_ctim.tv_sec &&
           was.st_ctim.tv_nsec == now.st_ctim.tv_nsec;
}

}  // namespace

ReadAhead::~ReadAhead() { Release(); }

void ReadAhead::Release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    kept_.clear();
    ForgetFolder();
    cached_ = true;
    canProbe_ = true;
}

void ReadAhead::ForgetFolder() {
    folderFd_ = FdCloser();
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
    if (folderFd_.fd >= 0 && slash == folder_.size() && slash + 1 < path.size() &&
        path.compare(0, slash, folder_) == 0)
        return {folderFd_.fd, path.c_str() + slash + 1};
    return {AT_FDCWD, path.c_str()};
}

int ReadAhead::OpenLocked(const std::string& path) {
    const Place place = Locate(path);
    return openat(place.dirfd, place.name, kReadFlags);
}

int ReadAhead::Open(const std::string& path) {
    int fd = -1, err = 0;
    bool cached = true;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        fd = OpenLocked(path);
        err = errno;
        cached = cached_;
    }
    // The kernel's own read-ahead would turn the small first read into four
    // times as much from a cold medium: the stream asks for what it needs.
    if (fd >= 0 && !cached) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    errno = err;
    return fd;
}

FirstBytes ReadAhead::FirstRead(int fd, std::size_t length) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!cached_) return {};  // opened for a cold medium: the stream reads
    FirstBytes first = Probe(fd, length);
    if (!cached_)
        for (Kept& k : kept_)
            if (k.fd.fd < 0) OpenAhead(k);  // one that fails is opened afresh at its turn
    return first;
}

bool ReadAhead::OpenAhead(Kept& kept) {
    FdCloser opened(OpenLocked(kept.path));
    const int fd = opened.fd;
    if (fd < 0) return false;
    // The facts before the bytes: a write after them shows in the file's
    // times at its turn. Anything but an ordinary file is opened afresh then.
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    kept.fd = std::move(opened);
    kept.st = st;
    kept.first = Probe(fd, std::min(length_, static_cast<std::size_t>(st.st_size)));
    return true;
}

FirstBytes ReadAhead::Probe(int fd, std::size_t length) {
    FirstBytes first;
    if (length == 0) return first;
    // A cold card: no read-ahead of the kernel's own, set before anything is read.
    if (!cached_) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    long got = -1;
    if (canProbe_) {
        first.data.reset(new char[length]);
        got = readNoWait_(fd, first.data.get(), length);
        // Kernels or file systems without reads that must not wait: hints only.
        if (got < 0 && (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS)) canProbe_ = false;
    }
    // A file found cached on a cold medium gives its bytes but leaves the
    // walk cold: a read that must not wait may still have started the
    // medium's, and finished it, so one success says little of the next file.
    if (got >= 0 && static_cast<std::size_t>(got) == length) {
        first.length = length;
        return first;
    }
    if (cached_) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    cached_ = false;
    posix_fadvise(fd, 0, static_cast<off_t>(length), POSIX_FADV_WILLNEED);
    return {};
}

void ReadAhead::Hint(const std::string& path, std::size_t length) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && path.compare(0, slash, folder_) != 0) {
        ForgetFolder();
        folderFd_ = FdCloser(open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (folderFd_.fd >= 0) folder_ = path.substr(0, slash);
    }
    length_ = length;
    if (kept_.size() >= kMaxKept) kept_.pop_front();
    // A cached medium: the name is noted, and the file opened only if one
    // is found uncached before its turn.
    kept_.push_back({path, FdCloser(), {}, {}});
    if (!cached_ && !OpenAhead(kept_.back())) kept_.pop_back();
}

int ReadAhead::Take(const std::string& path, struct stat& st, FirstBytes& first) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::size_t at = 0;
    while (at < kept_.size() && kept_[at].path != path) ++at;
    if (at == kept_.size()) return -1;
    // Those hinted before it are let go with it.
    Kept kept = std::move(kept_[at]);
    kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(at) + 1);
    if (kept.fd.fd < 0) return -1;
    // Removed, replaced or renamed since it was opened: its name now leads
    // elsewhere (or nowhere), and a fresh open says so as a plain walk would.
    const Place place = Locate(path);
    if (fstatat(place.dirfd, place.name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_dev != kept.st.st_dev || st.st_ino != kept.st.st_ino)
        return -1;
    if (Unchanged(kept.st, st)) first = std::move(kept.first);
    return kept.fd.Release();
}

}  // namespace ravlen
