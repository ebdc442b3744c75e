#include "platform/folder_handles.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/fd_closer.h"

namespace ravlen {
namespace {

FsStatus Failure(int err) {
    if (err == 0) err = EIO;
    return FsStatus::System(err, std::generic_category().message(err));
}

// What stands in the way of a folder reached without links.
FsStatus Refusal(int err) {
    if (err == ELOOP) return FsStatus::Fail("a link stands on its way");
    if (err == EXDEV) return FsStatus::Fail("it leads outside its folder");
    return Failure(err);
}

FileId IdOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// The folder `name` in `at` opened, never a link: a folder we may write into
// but not list is opened as a path only (it still takes files). On failure
// errno is ELOOP for a link, whichever way the kernel put it.
int OpenOne(int at, const char* name, int flags) {
    int fd = openat(at, name, flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && !(flags & O_PATH))
        fd = openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOTDIR) {
        struct stat st{};
        errno = fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
    }
    return fd;
}

FolderHandle Hold(int fd, FsStatus& failure) {
    FdCloser held(fd);
    struct stat st{};
    if (fstat(fd, &st) != 0) {
        failure = Failure(errno);
        return nullptr;
    }
    return std::make_shared<const HeldFolder>(held.Release(), IdOf(st));
}

// The names of `rest`, or nothing when one is empty, "." or "..".
bool SplitNames(std::string_view rest, std::vector<std::string_view>& names) {
    names.clear();
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view name = rest.substr(0, slash);
        if (name.empty() || name == "." || name == "..") return false;
        names.push_back(name);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    return true;
}

}  // namespace

HeldFolder::~HeldFolder() {
    if (fd >= 0) close(fd);
}

int OpenBeneath(int at, std::string_view rest, int flags, FsStatus& failure) {
    std::vector<std::string_view> names;
    if (!SplitNames(rest, names)) {
        failure = FsStatus::Fail("it is not a plain folder path");
        return -1;
    }
    const std::string path(rest);
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags | O_DIRECTORY | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = syscall(SYS_openat2, at, path.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno != ENOSYS && errno != EPERM) {
        failure = Refusal(errno);
        return -1;
    }
    // Kernels before openat2: one name at a time, none of them a link.
    FdCloser current;
    for (const std::string_view name : names) {
        FdCloser next(OpenOne(current.fd < 0 ? at : current.fd, std::string(name).c_str(), flags));
        if (next.fd < 0) {
            failure = Refusal(errno);
            return -1;
        }
        current = std::move(next);
    }
    return current.fd < 0 ? fcntl(at, F_DUPFD_CLOEXEC, 0) : current.Release();
}

FolderHandle OpenFolder(const std::string& path, FsStatus& failure) {
    const int fd = OpenOne(AT_FDCWD, path.empty() ? "." : path.c_str(), O_RDONLY);
    if (fd < 0) {
        failure = errno == ELOOP || errno == ENOTDIR
                      ? FsStatus::Fail(FsFault::FolderReplaced,
                                       "The output folder is no longer the folder the run began with")
                      : Failure(errno);
        return nullptr;
    }
    return Hold(fd, failure);
}

FsStatus FolderReplaced(const std::string& path, const std::string& kind) {
    return FsStatus::Fail(FsFault::FolderReplaced, "The " + kind + " " + path + " was replaced during the run");
}

namespace {

// A held folder whose path no longer leads to it: removed (ENOENT), or replaced.
FsStatus Changed(const std::string& path, const std::string& kind, int err) {
    if (err == ENOENT) return FsStatus::Fail("The " + kind + " " + path + " no longer exists");
    return FolderReplaced(path, kind);
}

std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

FsStatus FolderHandles::Hold(const std::string& top) {
    Release();
    return HoldToo(top, "output folder");
}

FsStatus FolderHandles::HoldToo(const std::string& top, const std::string& kind) {
    std::string path = Trimmed(top);
    FsStatus failure;
    FolderHandle root = OpenFolder(path, failure);
    if (!root) return failure;
    tops_.push_back({std::move(path), std::move(root), kind});
    // An eighth of the descriptors at most: the batch's copies need theirs.
    struct rlimit limit{};
    capacity_ = kHeld;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        capacity_ = std::max<std::size_t>(1, std::min<rlim_t>(kHeld, limit.rlim_cur / 8));
    return FsStatus::Ok();
}

void FolderHandles::Release() {
    tops_.clear();
    open_.clear();
    uses_.clear();
    known_.clear();
}

const FolderHandles::Top* FolderHandles::TopOf(const std::string& folder) const {
    const Top* nearest = nullptr;
    for (const Top& top : tops_) {
        if (folder.size() < top.path.size() || folder.compare(0, top.path.size(), top.path) != 0) continue;
        if (folder.size() != top.path.size() && top.path != "/" && folder[top.path.size()] != '/') continue;
        if (!nearest || top.path.size() > nearest->path.size()) nearest = &top;
    }
    return nearest;
}

bool FolderHandles::Holds(const std::string& folder) const { return TopOf(folder) != nullptr; }

FsStatus FolderHandles::Replaced(const std::string& folder) const {
    const Top* top = TopOf(folder);
    return FolderReplaced(folder, top ? top->kind : std::string("output folder"));
}

FolderHandle FolderHandles::Reach(const std::string& folder, FsStatus& failure) {
    const Top* top = TopOf(folder);
    if (!top) {
        failure = FsStatus::Fail("it is not a plain folder path");
        return nullptr;
    }
    const std::string& kind = top->kind;
    struct stat st{};
    // A held folder whose whole path still leads to it needs no more: what
    // goes in goes where its path says, whatever leads there. Any doubt
    // takes the path one name at a time.
    if (const auto held = open_.find(folder); held != open_.end())
        if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && IdOf(st) == held->second.handle->id) {
            uses_.splice(uses_.begin(), uses_, held->second.use);
            return held->second.handle;
        }
    // The top folder first: its whole path, as the user named it, must still
    // lead to the folder held, with no link in its place.
    if (lstat(top->path.c_str(), &st) != 0) {
        failure = errno == ENOENT || errno == ENOTDIR ? Changed(top->path, kind, errno) : Failure(errno);
        return nullptr;
    }
    if (!S_ISDIR(st.st_mode) || IdOf(st) != top->root->id) {
        failure = FolderReplaced(top->path, kind);
        return nullptr;
    }
    std::string_view rest = std::string_view(folder).substr(top->path.size());
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    std::vector<std::string_view> names;
    if (!SplitNames(rest, names)) {
        failure = FsStatus::Fail("it is not a plain folder path");
        return nullptr;
    }
    FolderHandle at = top->root;
    std::string path = top->path;
    for (const std::string_view name : names) {
        path = JoinPath(path, std::string(name));
        const std::string own(name);
        const auto known = known_.find(path);
        if (const auto held = open_.find(path); held != open_.end()) {
            // Held: the name in its parent must still be that folder.
            if (fstatat(at->fd, own.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                failure = Changed(path, kind, errno);
                return nullptr;
            }
            if (!S_ISDIR(st.st_mode) || IdOf(st) != held->second.handle->id) {
                failure = Changed(path, kind, 0);
                return nullptr;
            }
            uses_.splice(uses_.begin(), uses_, held->second.use);
            at = held->second.handle;
            continue;
        }
        const int fd = OpenOne(at->fd, own.c_str(), O_RDONLY);
        if (fd < 0) {
            const int err = errno;
            failure = known != known_.end() ? Changed(path, kind, err) : Refusal(err);
            return nullptr;
        }
        FolderHandle next = ravlen::Hold(fd, failure);
        if (!next) return nullptr;
        // Let go of earlier, it must come back as the folder it was.
        if (known != known_.end() && known->second != next->id) {
            failure = FolderReplaced(path, kind);
            return nullptr;
        }
        known_[path] = next->id;
        Keep(path, next);
        at = std::move(next);
    }
    return at;
}

FolderHandle FolderHandles::Peek(const std::string& folder) const {
    for (const Top& top : tops_)
        if (folder == top.path) return top.root;
    const auto held = open_.find(folder);
    return held == open_.end() ? nullptr : held->second.handle;
}

void FolderHandles::Keep(const std::string& path, FolderHandle handle) {
    while (open_.size() >= capacity_) {
        open_.erase(uses_.back());
        uses_.pop_back();
    }
    uses_.push_front(path);
    open_.emplace(path, Entry{std::move(handle), uses_.begin()});
}

namespace {

// The folder part and the last name of a path below the top folder.
std::pair<std::string, std::string> SplitLast(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {std::string(), path};
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

FsStatus FolderHandles::Make(const std::string& folder) {
    const auto [parent, name] = SplitLast(folder);
    FsStatus failure;
    const FolderHandle at = Reach(parent, failure);
    if (!at) return failure;
    if (mkdirat(at->fd, name.c_str(), 0777) != 0) return Failure(errno);
    return FsStatus::Ok();
}

FsStatus FolderHandles::Remove(const std::string& folder) {
    const auto [parent, name] = SplitLast(folder);
    FsStatus failure;
    const FolderHandle at = Reach(parent, failure);
    if (!at) return failure;
    // Only the folder this run knew there, never one swapped in meanwhile.
    struct stat st{};
    const auto known = known_.find(folder);
    if (known != known_.end() &&
        (fstatat(at->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || IdOf(st) != known->second))
        return Replaced(folder);
    if (unlinkat(at->fd, name.c_str(), AT_REMOVEDIR) != 0) return Failure(errno);
    if (const auto held = open_.find(folder); held != open_.end()) {
        uses_.erase(held->second.use);
        open_.erase(held);
    }
    known_.erase(folder);
    return FsStatus::Ok();
}

}  // namespace ravlen
