#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/fd_closer.h"
#include "platform/folder_handles.h"
#include "platform/posix_common.h"

// Folders, names and times; the listing, reading, copying and comparing of
// files are each in a file of their own (posix_*.cpp).

namespace ravlen {

using namespace posix_fs;

namespace {

class PosixTextFile final : public TextFile {
public:
    explicit PosixTextFile(int fd) : fd_(fd) {}
    ~PosixTextFile() override { Close(); }
    PosixTextFile(const PosixTextFile&) = delete;
    PosixTextFile& operator=(const PosixTextFile&) = delete;

    // Written through at once: a line written is on its way to the disk even
    // if the program stops before the log is closed.
    FsStatus Write(std::string_view text) override {
        if (fd_ < 0) return Failure(EBADF);
        while (!text.empty()) {
            const ssize_t n = write(fd_, text.data(), text.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                return Failure(errno);
            }
            if (n == 0) return Failure(ENOSPC);
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return FsStatus::Ok();
    }

    FsStatus Close() override {
        if (fd_ < 0) return FsStatus::Ok();
        const int rc = close(fd_);
        fd_ = -1;
        return rc == 0 ? FsStatus::Ok() : Failure(errno);
    }

private:
    int fd_;
};

}  // namespace

int posix_fs::VetSource(int fd, struct stat& st, FsStatus& failure) {
    FdCloser opened(fd);
    if (fd < 0) {
        failure = errno == ENOENT ? FsStatus::Gone() : errno == ELOOP ? NotOrdinary() : Failure(errno);
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        failure = S_ISDIR(st.st_mode) ? Failure(EISDIR) : S_ISREG(st.st_mode) ? Failure(err) : NotOrdinary();
        return -1;
    }
    return opened.Release();
}

int posix_fs::OpenSource(int at, const std::string& path, struct stat& st, FsStatus& failure) {
    const int fd = VetSource(openat(at, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK), st, failure);
    if (fd < 0) return -1;
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

PosixFileSystem::PosixFileSystem(TypeDescriber describer)
    : describer_(std::move(describer)),
      aside_([this](int fd, const char* bytes, unsigned long n) { return WriteChunk(fd, bytes, n); }, kCopyChunk) {}

// A folder the user names may be reached through a link (a card mounted
// elsewhere and linked in); the walk itself never follows links.
bool PosixFileSystem::FolderExists(const std::string& path) {
    struct stat st{};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Anything at the name (a file, a folder, a link, even a dangling one) takes
// it: a new file could not be placed there.
bool PosixFileSystem::FileExists(const std::string& path) {
    struct stat st{};
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

bool PosixFileSystem::NameTaken(const std::string& folder, const std::string& name) {
    if (handles_.Holds(folder)) {
        FolderHandle held;
        const auto open = [&] {
            FsStatus failure;
            held = handles_.Reach(folder, failure);
            return held ? held->fd : -1;
        };
        if (const std::optional<bool> taken = names_.Taken(folder, name, open)) return *taken;
    }
    return FileExists(JoinPath(folder, name));
}

void PosixFileSystem::BatchBegins() { names_.Clear(); }

std::optional<FolderRef> PosixFileSystem::GetFolder(const std::string& path) {
    if (path.empty()) return std::nullopt;
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string real(resolved);
    std::free(resolved);
    struct stat st{};
    if (stat(real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    FolderRef ref;
    ref.IsRoot = real == "/";
    ref.ParentPath = ref.IsRoot ? std::string() : ParentPart(real);
    ref.Id = {st.st_dev, st.st_ino};
    ref.Path = std::move(real);
    return ref;
}

FsStatus PosixFileSystem::ReachFolderBeneath(const std::string& top, const std::string& folder, FileId* reached) {
    std::string rest;
    if (folder != top) {
        const std::string prefix = top == "/" ? top : top + "/";
        if (folder.compare(0, prefix.size(), prefix) != 0 || folder.size() == prefix.size())
            return FsStatus::Fail("it is not inside " + top);
        rest = folder.substr(prefix.size());
    }
    // Below the run's output folder: reached from its handle and held.
    FsStatus failure;
    if (handles_.Holds(top)) {
        const FolderHandle held = handles_.Reach(folder, failure);
        if (!held) return failure;
        if (reached) *reached = held->id;
        return FsStatus::Ok();
    }
    FdCloser at(open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (at.fd < 0) return Failure(errno);
    const FdCloser opened(rest.empty() ? -1 : OpenBeneath(at.fd, rest, O_PATH, failure));
    if (!rest.empty() && opened.fd < 0) return failure;
    if (reached) {
        struct stat st{};
        if (fstat(rest.empty() ? at.fd : opened.fd, &st) != 0) return Failure(errno);
        *reached = {st.st_dev, st.st_ino};
    }
    return FsStatus::Ok();
}

FsStatus PosixFileSystem::HoldOutput(const std::string& folder) { return handles_.Hold(folder); }

FsStatus PosixFileSystem::HoldBackup(const std::string& folder) { return handles_.HoldToo(folder, "backup folder"); }

void PosixFileSystem::ReleaseOutput() {
    writeback_.Wait();
    aside_.Trim();
    handles_.Release();
    names_.Clear();
}

// The folder a file goes into: below the held output folder, its checked
// handle; elsewhere opened by its path, never through a link in its last name.
FolderHandle PosixFileSystem::OutputFolderOf(const std::string& path, FsStatus& failure) {
    if (handles_.Holds(path)) return handles_.Reach(path, failure);
    return OpenFolder(path, failure);
}

FolderHandle PosixFileSystem::StagingFolder(const std::string& path, FsStatus& failure) {
    if (FolderHandle held = handles_.Peek(path)) return held;
    return OutputFolderOf(path, failure);
}

FsStatus PosixFileSystem::CreateFolder(const std::string& path) {
    if (handles_.Holds(ParentPart(path))) {
        FsStatus made = handles_.Make(path);
        if (made) names_.Added(ParentPart(path), NameOf(path));
        return made;
    }
    if (mkdir(path.c_str(), 0777) != 0) return Failure(errno);
    return FsStatus::Ok();
}

FsStatus PosixFileSystem::DeleteFolder(const std::string& path) {
    names_.Forget(ParentPart(path));
    if (handles_.Holds(ParentPart(path))) return handles_.Remove(path);
    if (rmdir(path.c_str()) != 0) return Failure(errno);
    return FsStatus::Ok();
}

bool PosixFileSystem::EntryOf(const std::string& path, Entry& entry, FsStatus& failure) {
    const std::string folder = ParentPart(path);
    if (folder.empty() || !handles_.Holds(folder)) {
        entry = {nullptr, AT_FDCWD, path};
        return true;
    }
    entry.folder = handles_.Reach(folder, failure);
    if (!entry.folder) return false;
    entry.at = entry.folder->fd;
    entry.name = NameOf(path);
    return true;
}

std::unique_ptr<TextFile> PosixFileSystem::CreateTextFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = ErrorText(errno);
        return nullptr;
    }
    error.clear();
    names_.Added(ParentPart(path), NameOf(path));
    return std::make_unique<PosixTextFile>(fd);
}

FsStatus PosixFileSystem::ProbeWritable(const std::string& folder) {
    // An unnamed file leaves no trace even if the program dies here; a file
    // system without them gets a hidden scratch name.
    int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        close(fd);
        return FsStatus::Ok();
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Failure(errno);
    std::string scratch = JoinPath(folder, ".ravlen-probe-XXXXXX");
    fd = mkostemp(scratch.data(), O_CLOEXEC);
    if (fd < 0) return Failure(errno);
    close(fd);
    unlink(scratch.c_str());
    return FsStatus::Ok();
}

std::optional<std::uint64_t> PosixFileSystem::FreeBytes(const std::string& folder) {
    struct statvfs info{};
    if (statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::optional<FileTime> PosixFileSystem::ModifiedTime(const std::string& path) {
    struct stat st{};
    if (fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileTime{static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int32_t>(st.st_mtim.tv_nsec)};
}

FsStatus PosixFileSystem::SetModifiedTime(const std::string& path, const FileTime& time) {
    // Through a handle on the file itself: the name cannot be swapped for a
    // link between the check and the change. A read-only file's owner may
    // still set its times.
    const FdCloser fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.fd < 0) return Failure(errno);
    struct stat st{};
    if (fstat(fd.fd, &st) != 0) return Failure(errno);
    if (!S_ISREG(st.st_mode)) return Failure(EINVAL);
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(time.Seconds), static_cast<long>(time.Nanoseconds)}};
    if (futimens(fd.fd, times) != 0) return Failure(errno);
    return FsStatus::Ok();
}

std::string PosixFileSystem::DrivePart(const std::string& path) {
    return !path.empty() && path.front() == '/' ? "/" : "";
}

std::string PosixFileSystem::ParentPart(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') --end;
    if (end == 0) return "";  // "" or the root folder: no parent
    const auto slash = path.rfind('/', end - 1);
    if (slash == std::string::npos) return "";
    std::size_t stop = slash;
    while (stop > 0 && path[stop - 1] == '/') --stop;
    return stop == 0 ? "/" : path.substr(0, stop);
}

}  // namespace ravlen
