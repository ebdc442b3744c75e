#include "platform/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

#include <xxhash.h>

#include "model/file_facts.h"
#include "model/intent_record.h"
#include "platform/folder_handles.h"

#ifndef EXFAT_SUPER_MAGIC
#define EXFAT_SUPER_MAGIC 0x2011BAB0
#endif

namespace ravlen {
namespace {

// A read of this size or more goes straight to the caller; smaller ones fill
// the stream's window, so that the readers' many tiny reads cost one call.
constexpr std::size_t kStreamBuffer = 16 * 1024;
// The unit the kernel reads a file in: a refill runs to the end of the page
// holding its last byte, which costs the medium nothing more.
constexpr std::size_t kPage = 4 * 1024;
constexpr std::size_t kCopyChunk = 1024 * 1024;
constexpr const char* kPastEnd = "Input past end of file";

std::string ErrorText(int err) {
    if (err == 0) err = EIO;
    return std::generic_category().message(err);
}

FsStatus Failure(int err) {
    if (err == 0) err = EIO;
    return FsStatus::System(err, ErrorText(err));
}

// The facts of one directory entry, read without following a symbolic link.
struct EntryStat {
    bool isFolder = false;
    bool isFile = false;
    mode_t mode = 0;
    std::int64_t size = 0;
    std::time_t modified = 0;
    std::time_t created = 0;  // birth time where the file system keeps one, else modified
    FileId id;
};

bool StatEntry(int dirfd, const char* name, EntryStat& out) {
    static bool noStatx = false;
    if (!noStatx) {
        struct statx sx{};
        if (statx(dirfd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                  STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME | STATX_INO, &sx) == 0) {
            out.id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino};
            out.isFolder = S_ISDIR(sx.stx_mode);
            out.isFile = S_ISREG(sx.stx_mode);
            out.mode = sx.stx_mode;
            out.size = static_cast<std::int64_t>(sx.stx_size);
            out.modified = static_cast<std::time_t>(sx.stx_mtime.tv_sec);
            out.created = (sx.stx_mask & STATX_BTIME) ? static_cast<std::time_t>(sx.stx_btime.tv_sec)
                                                      : out.modified;
            return true;
        }
        // Kernels or sandboxes without statx: plain lstat from here on.
        if (errno != ENOSYS && errno != EPERM) return false;
        noStatx = true;
    }
    struct stat st{};
    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    out.isFolder = S_ISDIR(st.st_mode);
    out.isFile = S_ISREG(st.st_mode);
    out.mode = st.st_mode;
    out.size = static_cast<std::int64_t>(st.st_size);
    out.modified = st.st_mtime;
    out.created = st.st_mtime;
    out.id = {st.st_dev, st.st_ino};
    return true;
}

bool IsFatType(long type) {
    const auto t = static_cast<unsigned long>(type);
    return t == MSDOS_SUPER_MAGIC || t == static_cast<unsigned long>(EXFAT_SUPER_MAGIC);
}

// The answers of a driver that has no FAT attribute request (the exFAT
// driver of many kernels): asking again for each file would only cost calls.
bool RefusesRequest(int err) { return err == ENOTTY || err == ENOSYS || err == EOPNOTSUPP || err == EINVAL; }

// `fatBits`: the entry's FAT attributes (kAttr* bits), 0 where there are none.
FsItem MakeItem(std::string name, std::string path, const EntryStat& st, int fatBits) {
    FsItem item;
    item.IsFolder = st.isFolder;
    item.Size = st.isFolder ? 0 : st.size;
    item.Modified = DateTime::FromTimeT(st.modified);
    item.Created = DateTime::FromTimeT(st.created);
    item.Id = st.id;
    // Read-only is the entry's own state: no write bit for anyone (what a
    // FAT read-only bit also shows as), whoever runs the program. Neither who
    // we are nor a write-protected medium changes it, so the same card gives
    // the same run for root and for a user, and a locked card's pictures are
    // still offered (and copied when they cannot be moved).
    if ((st.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) item.Attributes |= kAttrReadOnly;
    if (!name.empty() && name.front() == '.') item.Attributes |= kAttrHidden;
    item.Attributes |= fatBits;
    item.Name = std::move(name);
    item.Path = std::move(path);
    return item;
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PlainDescription(const std::string& path) {
    std::string ext = ExtensionOf(NameOf(path));
    if (ext.empty()) return "File";
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext + " file";
}

// Reads at least `atLeast` and at most `most` bytes at `offset`; fewer only at
// the end of the file. The count read, or -1 with errno set.
long PreadSome(int fd, char* dst, std::size_t atLeast, std::size_t most, std::uint64_t offset) {
    std::size_t got = 0;
    while (got < atLeast) {
        const ssize_t n = pread(fd, dst + got, most - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

// A file read front to back through a small window, so that the readers' many
// tiny reads and skips cost one system call per window instead of one each.
class PosixReadStream final : public ReadStream {
public:
    // `first` holds the file's first bytes when they were read ahead.
    PosixReadStream(int fd, std::uint64_t size, FirstBytes first = {})
        : fd_(fd), size_(size), buf_(std::move(first.data)), bufLen_(first.length), bufSize_(first.length) {}
    ~PosixReadStream() override { Close(); }
    PosixReadStream(const PosixReadStream&) = delete;
    PosixReadStream& operator=(const PosixReadStream&) = delete;

    FsStatus Read(std::size_t n, std::string& out) override {
        if (fd_ < 0) return Failure(EBADF);
        if (n == 0) return FsStatus::Ok();
        // A length beyond the end fails before anything is allocated for it.
        if (!Within(n)) return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
        const std::size_t start = out.size();
        std::size_t done = 0;
        if (pos_ >= bufStart_ && pos_ - bufStart_ < bufLen_) {
            const std::size_t at = static_cast<std::size_t>(pos_ - bufStart_);
            done = std::min(n, bufLen_ - at);
            out.append(buf_.get() + at, done);
        }
        const std::size_t rest = n - done;
        if (rest >= kStreamBuffer) {
            // Large reads go straight into the caller's string.
            out.resize(start + n);
            const long got = PreadSome(fd_, out.data() + start + done, rest, rest, pos_ + done);
            if (got < 0 || static_cast<std::size_t>(got) < rest) {
                const int err = errno;
                out.resize(start);
                return got < 0 ? Failure(err) : FsStatus::Fail(FsFault::PastEnd, kPastEnd);
            }
        } else if (rest > 0) {
            if (bufSize_ < kStreamBuffer + kPage) {
                buf_.reset(new char[kStreamBuffer + kPage]);
                bufSize_ = kStreamBuffer + kPage;
            }
            const std::uint64_t at = pos_ + done;
            // The first read takes what nearly every file needs for its dates;
            // later ones only the bytes asked for, up to the end of their page.
            const std::uint64_t end = std::max<std::uint64_t>(at + rest, at == 0 ? kFirstReadLength : 0);
            const std::size_t most = static_cast<std::size_t>((end + kPage - 1) / kPage * kPage - at);
            const long got = PreadSome(fd_, buf_.get(), rest, most, at);
            if (got < 0) {
                const int err = errno;
                bufLen_ = 0;
                out.resize(start);
                return Failure(err);
            }
            bufStart_ = at;
            bufLen_ = static_cast<std::size_t>(got);
            if (bufLen_ < rest) {
                out.resize(start);
                return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
            }
            out.append(buf_.get(), rest);
        }
        pos_ += n;
        return FsStatus::Ok();
    }

    FsStatus Skip(std::uint64_t n) override {
        if (fd_ < 0) return Failure(EBADF);
        if (!Within(n)) return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
        pos_ += n;  // the next read finds the new position in the window or refills it
        return FsStatus::Ok();
    }

    void Close() override {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        buf_.reset();
        bufLen_ = 0;
        bufSize_ = 0;
    }

private:
    // Whether n more bytes lie before the end; the size is looked up again
    // only when the file seems too short, in case it grew since it was opened.
    bool Within(std::uint64_t n) {
        if (pos_ <= size_ && n <= size_ - pos_) return true;
        struct stat st{};
        if (fstat(fd_, &st) != 0) return false;
        size_ = static_cast<std::uint64_t>(st.st_size);
        return pos_ <= size_ && n <= size_ - pos_;
    }

    int fd_;
    std::uint64_t size_;
    std::uint64_t pos_ = 0;
    std::unique_ptr<char[]> buf_;
    std::uint64_t bufStart_ = 0;
    std::size_t bufLen_ = 0;
    std::size_t bufSize_ = 0;  // what buf_ holds room for
};

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

// What a copy says when its source was not the file it was meant to be.
constexpr const char* kChanged = "The file changed while it was being copied";
constexpr const char* kNotRegular = "The file is no longer an ordinary file";
constexpr const char* kCopyDiffers = "The copy read back from the disk differs from the original";

// The name now leads to something else than an ordinary file.
FsStatus NotOrdinary() { return FsStatus::Fail(FsFault::NotOrdinaryFile, kNotRegular); }

constexpr std::size_t kRangeChunk = 64 * 1024 * 1024;  // one copy_file_range call

struct FdCloser {
    int fd;
    explicit FdCloser(int f) : fd(f) {}
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
};

bool SameEntry(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Same file, same length, same modification time: nothing wrote to it.
bool SameContent(const struct stat& a, const struct stat& b) {
    return SameEntry(a, b) && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The file system does not know the flag or the operation.
bool RefusesFlag(int err) { return err == EINVAL || err == ENOSYS || err == ENOTSUP || err == EOPNOTSUPP; }
bool RefusesUnnamed(int err) { return RefusesFlag(err) || err == EISDIR || err == ENOENT; }
bool RefusesRange(int err) { return RefusesFlag(err) || err == EXDEV || err == EBADF || err == EPERM; }

// Removes dirfd/name only while it is still the file we created.
void RemoveOwnAt(int dirfd, const std::string& name, const struct stat& ours) {
    struct stat now{};
    if (fstatat(dirfd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == ours.st_dev &&
        now.st_ino == ours.st_ino)
        unlinkat(dirfd, name.c_str(), 0);
}

// A hidden name no camera writes, unique within the machine for this run.
std::string TemporaryName(const std::string& finalName) {
    static std::atomic<unsigned> counter{0};
    (void)finalName;
    return std::string(kPartialCopyPrefix) + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// Checks what opening a source gave (a descriptor, or -1 with errno set):
// an ordinary file on the handle itself. The descriptor, or -1 with
// `failure` set.
int VetSource(int fd, struct stat& st, FsStatus& failure) {
    if (fd < 0) {
        failure = errno == ENOENT ? FsStatus::Gone() : errno == ELOOP ? NotOrdinary() : Failure(errno);
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        failure = S_ISDIR(st.st_mode) ? Failure(EISDIR) : S_ISREG(st.st_mode) ? Failure(err) : NotOrdinary();
        close(fd);
        return -1;
    }
    return fd;
}

// A source opened for reading: never through a link, never waiting on a
// FIFO swapped in for the file, and an ordinary file on the handle itself.
// The descriptor, or -1 with `failure` set.
int OpenSource(int at, const std::string& path, struct stat& st, FsStatus& failure) {
    const int fd = VetSource(openat(at, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK), st, failure);
    if (fd < 0) return -1;
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

PosixFileSystem::PosixFileSystem(TypeDescriber describer) : describer_(std::move(describer)) {}

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

void PosixFileSystem::ReleaseOutput() { handles_.Release(); }

// The folder a file goes into: below the held output folder, its checked
// handle; elsewhere opened by its path, never through a link in its last name.
FolderHandle PosixFileSystem::OutputFolderOf(const std::string& path, FsStatus& failure) {
    if (handles_.Holds(path)) return handles_.Reach(path, failure);
    return OpenFolder(path, failure);
}

FsStatus PosixFileSystem::CreateFolder(const std::string& path) {
    if (handles_.Holds(ParentPart(path))) return handles_.Make(path);
    if (mkdir(path.c_str(), 0777) != 0) return Failure(errno);
    return FsStatus::Ok();
}

FsStatus PosixFileSystem::DeleteFolder(const std::string& path) {
    if (handles_.Holds(ParentPart(path))) return handles_.Remove(path);
    if (rmdir(path.c_str()) != 0) return Failure(errno);
    return FsStatus::Ok();
}

bool PosixFileSystem::ListFolder(const std::string& path, std::vector<FsItem>& files,
                                 std::vector<FsItem>& folders) {
    files.clear();
    folders.clear();
    const int dirfd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) return false;
    DIR* dir = fdopendir(dirfd);
    if (!dir) {
        close(dirfd);
        return false;
    }
    const long type = FileSystemType(dirfd);
    const long fat = IsFatType(type) ? type : 0;
    if (struct stat dir{}; fstat(dirfd, &dir) == 0) {
        fatDevices_[dir.st_dev] = fat;
        listedDevices_[path] = dir.st_dev;
    }
    readAhead_.Listed();
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            ok = errno == 0;
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        EntryStat st;
        // An entry that vanished since the directory was read is simply not there.
        if (!StatEntry(dirfd, name, st)) continue;
        // Only files and folders themselves: a symbolic link is never followed,
        // so a link loop cannot trap a walk.
        if (!st.isFile && !st.isFolder) continue;
        FsItem item = MakeItem(name, JoinPath(path, name), st, fat ? FatAttributesOf(dirfd, name, st.isFolder, fat) : 0);
        (st.isFolder ? folders : files).push_back(std::move(item));
    }
    closedir(dir);
    if (!ok) {
        files.clear();
        folders.clear();
    }
    // Most Linux file systems list in hash order; sorting by name gives the
    // order a camera wrote its files in, so serial numbers follow the shots.
    const auto byName = [](const FsItem& a, const FsItem& b) { return a.Name < b.Name; };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    return ok;
}

namespace {

// Calls `each` with every entry of the folder but "." and ".." while it
// returns true: 1 when the folder was read (or `each` stopped), 0 when it
// could not be read to its end, -1 when it could not be opened (errno set).
template <class Each>
int EachEntry(const std::string& path, Each each) {
    const int dirfd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) return -1;
    DIR* dir = fdopendir(dirfd);
    if (!dir) {
        close(dirfd);
        return 0;
    }
    int read = 1;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            if (errno != 0) read = 0;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (!each(dirfd, *entry)) break;
    }
    closedir(dir);
    return read;
}

}  // namespace

int PosixFileSystem::CountItems(const std::string& path) {
    int count = 0;
    const int read = EachEntry(path, [&count](int dirfd, const dirent& entry) {
        unsigned char type = entry.d_type;
        if (type == DT_UNKNOWN) {
            struct stat st{};
            if (fstatat(dirfd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return true;
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG || type == DT_DIR) ++count;
        return true;
    });
    return read == 1 ? count : -1;
}

bool PosixFileSystem::HoldsNothing(const std::string& path) {
    bool nothing = true;
    const int read = EachEntry(path, [&nothing](int, const dirent&) {
        nothing = false;
        return false;  // one entry tells
    });
    return read < 0 ? errno == ENOENT : read == 1 && nothing;
}

std::optional<FsItem> PosixFileSystem::GetFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    EntryStat st;
    if (!StatEntry(AT_FDCWD, path.c_str(), st) || !st.isFile) return std::nullopt;
    const long fat = FatType(st.id.Device, path.c_str());
    return MakeItem(NameOf(path), path, st, fat ? FatAttributesOf(AT_FDCWD, path.c_str(), false, fat) : 0);
}

long PosixFileSystem::FatType(dev_t device, const char* path) {
    if (const auto known = fatDevices_.find(device); known != fatDevices_.end()) return known->second;
    struct statfs fs{};
    if (statfs(path, &fs) != 0) return 0;
    const long type = static_cast<long>(fs.f_type);
    return fatDevices_[device] = IsFatType(type) ? type : 0;
}

int PosixFileSystem::FatAttributesOf(int dirfd, const char* name, bool isFolder, long type) {
    if (std::find(fatTypesWithoutAttributes_.begin(), fatTypesWithoutAttributes_.end(), type) !=
        fatTypesWithoutAttributes_.end())
        return 0;
    std::uint32_t attr = 0;
    if (const int err = FatAttributeBits(dirfd, name, isFolder, attr); err != 0) {
        if (RefusesRequest(err)) fatTypesWithoutAttributes_.push_back(type);
        return 0;
    }
    int bits = 0;
    if (attr & ATTR_RO) bits |= kAttrReadOnly;
    if (attr & ATTR_HIDDEN) bits |= kAttrHidden;
    if (attr & ATTR_SYS) bits |= kAttrSystem;
    return bits;
}

long PosixFileSystem::FileSystemType(int fd) {
    struct statfs fs{};
    return fstatfs(fd, &fs) == 0 ? static_cast<long>(fs.f_type) : 0;
}

int PosixFileSystem::FatAttributeBits(int dirfd, const char* name, bool isFolder, std::uint32_t& attr) {
    const int fd = openat(dirfd, name,
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (isFolder ? O_DIRECTORY : 0));
    if (fd < 0) return errno;
    const int rc = ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attr);
    const int err = rc == 0 ? 0 : errno;
    close(fd);
    return err;
}

std::string PosixFileSystem::TypeDescription(const std::string& path) {
    if (describer_) {
        std::string text = describer_(path);
        if (!text.empty()) return text;
    }
    return PlainDescription(path);
}

std::unique_ptr<ReadStream> PosixFileSystem::OpenRead(const std::string& path, FsStatus& status) {
    struct stat st{};
    // A file opened ahead of its turn is read through that descriptor. Its
    // O_NONBLOCK (against a FIFO put in its place) means nothing to an
    // ordinary file's reads and stays.
    FirstBytes first;
    int fd = readAhead_.Take(path, st, first);
    if (fd < 0) {
        fd = VetSource(readAhead_.Open(path), st, status);
        if (fd < 0) return nullptr;
        first = readAhead_.FirstRead(fd, std::min(kFirstReadLength, static_cast<std::size_t>(st.st_size)));
    }
    status = FsStatus::Ok();
    return std::make_unique<PosixReadStream>(fd, static_cast<std::uint64_t>(st.st_size), std::move(first));
}

void PosixFileSystem::WillRead(const std::string& path) { readAhead_.Hint(path, kFirstReadLength); }

void PosixFileSystem::ReadsOver() {
    readAhead_.Release();
    fatDevices_.clear();
    listedDevices_.clear();
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

FsStatus PosixFileSystem::MoveFile(const std::string& from, const std::string& to) {
    FsStatus failure;
    const FolderHandle folder = OutputFolderOf(ParentPart(to), failure);
    if (!folder) return failure;
    Entry source;
    if (!EntryOf(from, source, failure)) return failure;
    const char* const fromName = source.name.c_str();
    const std::string name = NameOf(to);
    struct stat src{};
    if (fstatat(source.at, fromName, &src, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? FsStatus::Gone() : Failure(errno);
    if (!S_ISREG(src.st_mode)) return NotOrdinary();

    int err = RenameNoReplace(source.at, fromName, folder->fd, name.c_str());
    if (err == 0) return FsStatus::Ok();
    if (err == ENOENT && faccessat(source.at, fromName, F_OK, AT_SYMLINK_NOFOLLOW) != 0) return FsStatus::Gone();
    if (RefusesFlag(err)) {
        // The file system refuses the no-replace flag. A hard link is just as
        // exclusive (it fails on a taken name), and the source is unlinked only
        // once the new name is in place.
        err = HardLink(source.at, fromName, folder->fd, name.c_str());
        if (err == 0) {
            if (unlinkat(source.at, fromName, 0) == 0) return FsStatus::Ok();
            err = errno;
            unlinkat(folder->fd, name.c_str(), 0);
            return Failure(err);
        }
        // Nor can it link: fall through to copying, which is exclusive too.
        if (err == EPERM || RefusesFlag(err) || err == EMLINK) err = EXDEV;
    }
    if (err != EXDEV) return Failure(err);

    // Another file system: copy, make the copy's name durable, check that the
    // source is still the file copied, and only then give up the source.
    struct stat copied{}, made{};
    FsStatus status = CopyInto(source, folder->fd, name, copied, made);
    if (!status) return status;
    if (fsync(folder->fd) != 0 && errno != EBADF && errno != EINVAL) status = Failure(errno);
    struct stat now{};
    if (status && fstatat(source.at, fromName, &now, AT_SYMLINK_NOFOLLOW) != 0)
        status = errno == ENOENT ? FsStatus::Gone() : Failure(errno);
    if (status && !SameContent(now, copied)) status = FsStatus::Fail(FsFault::ChangedWhileCopied, kChanged);
    if (status && unlinkat(source.at, fromName, 0) != 0) status = Failure(errno);
    // The file stays exactly where it was; the copy goes.
    if (!status) RemoveOwnAt(folder->fd, name, made);
    return status;
}

FsStatus PosixFileSystem::CopyFile(const std::string& from, const std::string& to) {
    FsStatus failure;
    const FolderHandle folder = OutputFolderOf(ParentPart(to), failure);
    if (!folder) return failure;
    struct stat copied{}, made{};
    return CopyInto(Entry{nullptr, AT_FDCWD, from}, folder->fd, NameOf(to), copied, made);
}

// The copy is written where nobody can take it for a finished file: an
// unnamed file linked into place once complete and flushed, else a hidden
// temporary name renamed without replacing; only file systems that refuse
// both get the copy under its final name from the start.
FsStatus PosixFileSystem::CopyInto(const Entry& from, int dirfd, const std::string& name,
                                   struct stat& copied, struct stat& made) {
    FsStatus failure;
    const int in = OpenSource(from.at, from.name, copied, failure);
    if (in < 0) return failure;
    const FdCloser closeIn{in};

    const mode_t mode = copied.st_mode & 0777;
    if (!FinalNamesOnly(dirfd)) {
        const int unnamed = OpenUnnamed(dirfd, mode);
        if (unnamed >= 0) {
            const FdCloser closeOut{unnamed};
            FsStatus status = FillCopy(in, unnamed, copied, true);
            if (!status) return status;
            const int err = LinkUnnamed(unnamed, dirfd, name.c_str());
            if (err != 0) return Failure(err);
            fstat(unnamed, &made);
            return FsStatus::Ok();
        }
        if (!RefusesUnnamed(errno)) return Failure(errno);

        const std::string temporary = TemporaryName(name);
        const int out = openat(dirfd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (out < 0) return Failure(errno);
        fstat(out, &made);
        FsStatus status = FillCopy(in, out, copied, true);
        if (close(out) != 0 && status) status = Failure(errno);
        if (!status) {
            RemoveOwnAt(dirfd, temporary, made);
            return status;
        }
        int err = RenameNoReplace(dirfd, temporary.c_str(), dirfd, name.c_str());
        if (RefusesFlag(err)) {
            err = HardLink(dirfd, temporary.c_str(), dirfd, name.c_str());
            if (err == 0) unlinkat(dirfd, temporary.c_str(), 0);
        }
        if (err == 0) return FsStatus::Ok();
        RemoveOwnAt(dirfd, temporary, made);
        if (!RefusesFlag(err) && err != EPERM) return Failure(err);
        // Neither a no-replace rename nor a hard link: this file system only
        // takes the copy under its final name. Remember that, and start again.
        if (lseek(in, 0, SEEK_SET) != 0) return Failure(errno);
        struct stat dir{};
        if (fstat(dirfd, &dir) == 0) finalNamesOnly_.push_back(dir.st_dev);
    }

    // Created new, never over an existing file; a failure removes it.
    const int out = openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (out < 0) return Failure(errno);
    fstat(out, &made);
    FsStatus status = FillCopy(in, out, copied, true);
    if (close(out) != 0 && status) status = Failure(errno);
    if (!status) RemoveOwnAt(dirfd, name, made);
    return status;
}

// Copies every byte of in to out, keeps the source's dates and flushes out.
// `source` is the source as it was opened; a source that changes on the way
// fails the copy.
FsStatus PosixFileSystem::FillCopy(int in, int out, const struct stat& source, bool flush, XXH3_state_t* hash) {
    std::uint64_t total = 0;
    // A hash needs the bytes in hand, which an in-kernel copy never gives.
    bool ranged = hash == nullptr;
    std::unique_ptr<char[]> buffer;
    for (;;) {
        if (ranged) {
            // Within one file system the kernel copies (or clones) by itself.
            errno = 0;
            const long n = CopyRange(in, out, kRangeChunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (total == 0 && RefusesRange(errno)) {
                    ranged = false;
                    continue;
                }
                return Failure(errno);
            }
            if (n == 0) break;
            total += static_cast<std::uint64_t>(n);
            continue;
        }
        if (!buffer) buffer.reset(new char[kCopyChunk]);
        errno = 0;
        const long n = ReadChunk(in, buffer.get(), kCopyChunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure(errno);
        }
        if (n == 0) break;
        if (hash) XXH3_64bits_update(hash, buffer.get(), static_cast<std::size_t>(n));
        long written = 0;
        while (written < n) {
            errno = 0;
            const long w = WriteChunk(out, buffer.get() + written, static_cast<unsigned long>(n - written));
            if (w < 0) {
                if (errno == EINTR) continue;
                return Failure(errno);
            }
            if (w == 0) return Failure(ENOSPC);
            written += w;
        }
        total += static_cast<std::uint64_t>(n);
    }

    struct stat after{}, copy{};
    if (fstat(in, &after) != 0 || fstat(out, &copy) != 0) return Failure(errno);
    if (!SameContent(after, source) || total != static_cast<std::uint64_t>(source.st_size))
        return FsStatus::Fail(FsFault::ChangedWhileCopied, kChanged);
    if (copy.st_size != source.st_size) return Failure(EIO);

    // The copy keeps the source's dates; a file system that cannot take them
    // does not make the copy itself fail.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    futimens(out, times);
    errno = 0;
    if (flush && SyncFile(out) != 0) return Failure(errno);
    return FsStatus::Ok();
}

namespace {

// How much of the next file to copy is read ahead: a bounded window, so that
// a large movie does not push what is being copied out of memory.
constexpr off_t kCopyReadAhead = 32 * 1024 * 1024;

class PosixStagedCopy final : public StagedCopy {
public:
    FolderHandle folder;    // the output folder, held open
    int dirfd = -1;         // its descriptor
    int fd = -1;            // the copy, open for reading back; -1 for a deferred one
    std::string temporary;  // its hidden name, when it is not an unnamed file
    bool deferred = false;  // a file system that takes copies only under their final names: copied when named
    bool named = false;
    struct stat copied{}, made{};
    bool hashed = false;
    XXH64_hash_t hash = 0;

    PosixStagedCopy() = default;
    PosixStagedCopy(const PosixStagedCopy&) = delete;
    PosixStagedCopy& operator=(const PosixStagedCopy&) = delete;
    ~PosixStagedCopy() override {
        if (!named && !temporary.empty()) RemoveOwnAt(dirfd, temporary, made);
        if (fd >= 0) close(fd);  // an unnamed file never named goes with its descriptor
    }
};

PosixStagedCopy& Own(StagedCopy& copy) { return static_cast<PosixStagedCopy&>(copy); }

}  // namespace

// Without a call of its own where it can: the device of the folder the file
// was listed in, and that of the held folder a move renames into. A folder
// swapped since only costs time either way: a rename across file systems is
// refused and the move copies, and a copy made within one is still whole.
bool PosixFileSystem::SameFileSystem(const std::string& from, const std::string& toFolder) {
    struct stat st{};
    dev_t a = 0, b = 0;
    // Unknown: a move tries the rename first, as it would anyway.
    if (const auto listed = listedDevices_.find(ParentPart(from)); listed != listedDevices_.end()) a = listed->second;
    else if (lstat(from.c_str(), &st) == 0) a = st.st_dev;
    else return true;
    if (const FolderHandle held = handles_.Peek(toFolder)) b = static_cast<dev_t>(held->id.Device);
    else if (stat(toFolder.empty() ? "." : toFolder.c_str(), &st) == 0) b = st.st_dev;
    else return true;
    return a == b;
}

std::unique_ptr<StagedCopy> PosixFileSystem::StageCopy(const std::string& from, const std::string& to, bool verify,
                                                       FsStatus& status) {
    auto copy = std::make_unique<PosixStagedCopy>();
    copy->Source = from;
    copy->Target = to;
    copy->folder = OutputFolderOf(ParentPart(to), status);
    if (!copy->folder) return nullptr;
    copy->dirfd = copy->folder->fd;
    if (FinalNamesOnly(copy->dirfd)) {
        copy->deferred = true;
        return copy;
    }
    const int in = OpenSource(AT_FDCWD, from, copy->copied, status);
    if (in < 0) return nullptr;
    const FdCloser closeIn{in};
    posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    const mode_t mode = copy->copied.st_mode & 0777;
    copy->fd = OpenUnnamed(copy->dirfd, mode);
    if (copy->fd < 0) {
        if (!RefusesUnnamed(errno)) return status = Failure(errno), nullptr;
        // A folder that takes copies only under their final names is asked
        // once: a copy staged under a hidden name there would be written twice.
        if (CopiesUnderFinalName(ParentPart(to))) {
            copy->deferred = true;
            return copy;
        }
        copy->temporary = TemporaryName(NameOf(to));
        copy->fd = openat(copy->dirfd, copy->temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (copy->fd < 0) {
            status = Failure(errno);
            copy->temporary.clear();
            return nullptr;
        }
    }
    fstat(copy->fd, &copy->made);
    std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> hash(verify ? XXH3_createState() : nullptr,
                                                                         XXH3_freeState);
    if (hash) XXH3_64bits_reset(hash.get());
    status = FillCopy(in, copy->fd, copy->copied, false, hash.get());
    if (!status) return nullptr;
    if (hash) {
        copy->hash = XXH3_64bits_digest(hash.get());
        copy->hashed = true;
    }
    return copy;
}

FsStatus PosixFileSystem::FlushFileSystem(const std::string& folder) {
    // Through the folder's own handle where one is held: the copies staged
    // there are what must reach the disk.
    if (const FolderHandle held = handles_.Peek(folder)) {
        errno = 0;
        if (SyncFileSystem(held->fd) == 0) return FsStatus::Ok();
        if (errno != EBADF) return Failure(errno);  // a handle opened as a path only cannot say
    }
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failure(errno);
    const FdCloser closeFd{fd};
    errno = 0;
    return SyncFileSystem(fd) == 0 ? FsStatus::Ok() : Failure(errno);
}

FsStatus PosixFileSystem::VerifyStaged(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    if (!copy.hashed || copy.fd < 0) return FsStatus::Ok();
    // The copy is flushed, so its pages are clean and can be dropped: what is
    // read next comes from the disk.
    posix_fadvise(copy.fd, 0, 0, POSIX_FADV_DONTNEED);
    std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> hash(XXH3_createState(), XXH3_freeState);
    if (!hash) return Failure(ENOMEM);
    XXH3_64bits_reset(hash.get());
    std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (off_t at = 0;;) {
        const ssize_t n = pread(copy.fd, buffer.get(), kCopyChunk, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failure(errno);
        if (n == 0) break;
        XXH3_64bits_update(hash.get(), buffer.get(), static_cast<std::size_t>(n));
        at += n;
    }
    if (XXH3_64bits_digest(hash.get()) != copy.hash) return FsStatus::Fail(FsFault::CopyDiffers, kCopyDiffers);
    return FsStatus::Ok();
}

FsStatus PosixFileSystem::NameStaged(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    const std::string name = NameOf(copy.Target);
    // The folder the copy was staged in must still be the one at its path.
    if (const std::string parent = ParentPart(copy.Target); handles_.Holds(parent)) {
        FsStatus failure;
        const FolderHandle now = handles_.Reach(parent, failure);
        if (!now) return failure;
        if (now->id != copy.folder->id) return FolderReplaced(parent);
    }
    if (copy.deferred) {
        // Copied now, flushed on its own, under its final name from the start.
        FsStatus status = CopyInto(Entry{nullptr, AT_FDCWD, copy.Source}, copy.dirfd, name, copy.copied, copy.made);
        copy.named = status.ok;
        return status;
    }
    int err = 0;
    if (copy.temporary.empty()) {
        err = LinkUnnamed(copy.fd, copy.dirfd, name.c_str());
    } else {
        err = RenameNoReplace(copy.dirfd, copy.temporary.c_str(), copy.dirfd, name.c_str());
        if (RefusesFlag(err)) {
            err = HardLink(copy.dirfd, copy.temporary.c_str(), copy.dirfd, name.c_str());
            if (err == 0) unlinkat(copy.dirfd, copy.temporary.c_str(), 0);
        }
        if (err == 0) copy.temporary.clear();
    }
    if (err == 0) {
        copy.named = true;
        return FsStatus::Ok();
    }
    if (!RefusesFlag(err) && err != EPERM) return Failure(err);
    // Neither a link nor a no-replace rename: this file system only takes a
    // copy under its final name. Remember that, and copy again that way.
    struct stat dir{};
    if (fstat(copy.dirfd, &dir) == 0) finalNamesOnly_.push_back(dir.st_dev);
    if (!copy.temporary.empty()) RemoveOwnAt(copy.dirfd, copy.temporary, copy.made);
    copy.temporary.clear();
    close(copy.fd);
    copy.fd = -1;
    copy.deferred = true;
    return NameStaged(copy);
}

FsStatus PosixFileSystem::GiveUpSource(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    struct stat now{};
    if (lstat(copy.Source.c_str(), &now) != 0) return errno == ENOENT ? FsStatus::Gone() : Failure(errno);
    if (!SameContent(now, copy.copied)) {
        copy.SourceChanged = true;
        return FsStatus::Fail(FsFault::ChangedWhileCopied, kChanged);
    }
    if (unlink(copy.Source.c_str()) != 0) return Failure(errno);
    return FsStatus::Ok();
}

void PosixFileSystem::RemoveNamed(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    if (copy.named) RemoveOwnAt(copy.dirfd, NameOf(copy.Target), copy.made);
}

void PosixFileSystem::WillCopy(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return;
    posix_fadvise(fd, 0, kCopyReadAhead, POSIX_FADV_WILLNEED);
    close(fd);
}

// Found out once per folder with a throwaway file: an unnamed one, else a
// hidden name renamed without replacing or linked.
bool PosixFileSystem::CopiesUnderFinalName(const std::string& folder) {
    for (const auto& [path, answer] : probed_)
        if (path == folder) return answer;
    FsStatus failure;
    const FolderHandle held = OutputFolderOf(folder, failure);
    if (!held) return false;
    bool finalOnly = FinalNamesOnly(held->fd);
    const int unnamed = finalOnly ? -1 : OpenUnnamed(held->fd, 0600);
    if (unnamed >= 0) {
        close(unnamed);
    } else if (!finalOnly && RefusesUnnamed(errno)) {
        const std::string probe = TemporaryName(""), renamed = TemporaryName("");
        const int fd = openat(held->fd, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            int err = RenameNoReplace(held->fd, probe.c_str(), held->fd, renamed.c_str());
            if (RefusesFlag(err)) err = HardLink(held->fd, probe.c_str(), held->fd, renamed.c_str());
            unlinkat(held->fd, renamed.c_str(), 0);
            unlinkat(held->fd, probe.c_str(), 0);
            finalOnly = RefusesFlag(err) || err == EPERM;
            struct stat st{};
            if (finalOnly && fstat(held->fd, &st) == 0) finalNamesOnly_.push_back(st.st_dev);
        }
    }
    probed_.emplace_back(folder, finalOnly);
    return finalOnly;
}

bool PosixFileSystem::FinalNamesOnly(int dirfd) const {
    if (finalNamesOnly_.empty()) return false;
    struct stat dir{};
    return fstat(dirfd, &dir) == 0 &&
           std::find(finalNamesOnly_.begin(), finalNamesOnly_.end(), dir.st_dev) != finalNamesOnly_.end();
}

std::unique_ptr<TextFile> PosixFileSystem::CreateTextFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = ErrorText(errno);
        return nullptr;
    }
    error.clear();
    return std::make_unique<PosixTextFile>(fd);
}

CopyRemovalResult PosixFileSystem::RemoveIfIdentical(const std::string& copy, const std::string& original,
                                                     const std::function<void()>& pump) {
    const auto failed = [](CopyRemoval outcome) { return CopyRemovalResult{outcome, ErrorText(errno)}; };
    Entry entry;
    if (FsStatus failure; !EntryOf(copy, entry, failure)) return {CopyRemoval::CopyUnopened, failure.error};
    const FdCloser c(openat(entry.at, entry.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (c.fd < 0) return failed(CopyRemoval::CopyUnopened);
    const FdCloser o(open(original.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (o.fd < 0) return failed(CopyRemoval::OriginalUnopened);
    struct stat cs{}, os{};
    if (fstat(c.fd, &cs) != 0 || fstat(o.fd, &os) != 0) return failed(CopyRemoval::CompareFailed);
    if (!S_ISREG(cs.st_mode) || !S_ISREG(os.st_mode)) return {CopyRemoval::NotPlainFiles, ""};
    if (SameEntry(cs, os)) return {CopyRemoval::SameFile, ""};
    if (cs.st_size != os.st_size) return {CopyRemoval::SizesDiffer, ""};

    // Exactly n bytes unless the file ends first; the count read, or -1.
    const auto readFull = [this](int fd, char* buffer, std::size_t n) -> long {
        std::size_t got = 0;
        while (got < n) {
            errno = 0;
            const long r = ReadChunk(fd, buffer + got, n - got);
            if (r < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            if (r == 0) break;
            got += static_cast<std::size_t>(r);
        }
        return static_cast<long>(got);
    };
    std::unique_ptr<char[]> a(new char[kCopyChunk]);
    std::unique_ptr<char[]> b(new char[kCopyChunk]);
    for (;;) {
        const long na = readFull(c.fd, a.get(), kCopyChunk);
        if (na < 0) return failed(CopyRemoval::CompareFailed);
        const long nb = readFull(o.fd, b.get(), kCopyChunk);
        if (nb < 0) return failed(CopyRemoval::CompareFailed);
        if (na != nb || std::memcmp(a.get(), b.get(), static_cast<std::size_t>(na)) != 0)
            return {CopyRemoval::BytesDiffer, ""};
        if (na == 0) break;
        if (pump) pump();
    }

    // Nothing may have changed or taken either name while the bytes were read.
    struct stat cs2{}, os2{}, cpath{}, opath{};
    if (fstat(c.fd, &cs2) != 0 || fstat(o.fd, &os2) != 0 ||
        fstatat(entry.at, entry.name.c_str(), &cpath, AT_SYMLINK_NOFOLLOW) != 0 ||
        lstat(original.c_str(), &opath) != 0 || !SameContent(cs, cs2) || !SameContent(os, os2) ||
        !SameEntry(cs, cpath) || !SameEntry(os, opath))
        return {CopyRemoval::ChangedMeanwhile, ""};
    if (unlinkat(entry.at, entry.name.c_str(), 0) != 0) return failed(CopyRemoval::RemoveFailed);
    return {CopyRemoval::Removed, ""};
}

FsStatus PosixFileSystem::ContentHash(const std::string& path, std::string& hash,
                                      const std::function<void()>& pump) {
    const FdCloser in(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (in.fd < 0) return Failure(errno);
    struct stat st{};
    if (fstat(in.fd, &st) != 0) return Failure(errno);
    if (!S_ISREG(st.st_mode)) return FsStatus::Fail(FsFault::NotOrdinaryFile, "Not a plain file");
    const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(), XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK) return FsStatus::Fail(FsFault::OutOfMemory, "Out of memory");
    std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (;;) {
        errno = 0;
        const long n = ReadChunk(in.fd, buffer.get(), kCopyChunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure(errno);
        }
        if (n == 0) break;
        XXH3_128bits_update(state.get(), buffer.get(), static_cast<std::size_t>(n));
        if (pump) pump();
    }
    const XXH128_hash_t value = XXH3_128bits_digest(state.get());
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(value.high64),
                  static_cast<unsigned long long>(value.low64));
    hash = text;
    return FsStatus::Ok();
}

FsStatus PosixFileSystem::ReadSample(const std::string& path, FileSample& sample) {
    struct stat st{};
    FsStatus failure;
    const FdCloser in(VetSource(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK), st, failure));
    if (in.fd < 0) return failure;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // The head, then the tail where it lies past the head.
    const std::uint64_t head = std::min<std::uint64_t>(size, kSampleBytes);
    const std::uint64_t tail = std::min<std::uint64_t>(size - head, kSampleBytes);
    sample.Bytes.assign(static_cast<std::size_t>(head + tail), '\0');
    // n bytes at o, only where the file has them, into the sample at `at`.
    const auto readAt = [&](std::uint64_t n, std::uint64_t o, std::size_t at) {
        if (n == 0) return FsStatus::Ok();
        if (n > size || o > size - n) return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
        const long got = PreadSome(in.fd, sample.Bytes.data() + at, static_cast<std::size_t>(n),
                                   static_cast<std::size_t>(n), o);
        if (got < 0) return Failure(errno);
        return static_cast<std::uint64_t>(got) < n ? FsStatus::Fail(FsFault::PastEnd, kPastEnd) : FsStatus::Ok();  // shrunk meanwhile
    };
    if (FsStatus read = readAt(head, 0, 0); !read) return read;
    if (FsStatus read = readAt(tail, size - tail, static_cast<std::size_t>(head)); !read) return read;
    sample.Size = static_cast<std::int64_t>(size);
    sample.Modified = DateTime::FromTimeT(st.st_mtime);
    sample.Id = {st.st_dev, st.st_ino};
    return FsStatus::Ok();
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

long PosixFileSystem::ReadNoWait(int fd, char* buffer, unsigned long size) {
    iovec piece{buffer, size};
    return static_cast<long>(preadv2(fd, &piece, 1, 0, RWF_NOWAIT));
}

long PosixFileSystem::ReadChunk(int fd, char* buffer, unsigned long size) {
    return static_cast<long>(read(fd, buffer, size));
}

long PosixFileSystem::WriteChunk(int fd, const char* buffer, unsigned long size) {
    return static_cast<long>(write(fd, buffer, size));
}

long PosixFileSystem::CopyRange(int in, int out, unsigned long size) {
    return static_cast<long>(copy_file_range(in, nullptr, out, nullptr, size, 0));
}

int PosixFileSystem::SyncFile(int fd) { return fsync(fd); }

int PosixFileSystem::SyncFileSystem(int fd) { return syncfs(fd); }

int PosixFileSystem::OpenUnnamed(int dirfd, unsigned mode) {
    // Readable too, so that a staged copy can be read back before it is named.
    return openat(dirfd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(mode));
}

// 0 on success, else the errno value of the failure.
int PosixFileSystem::RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    return errno;
}

int PosixFileSystem::HardLink(int fromDir, const char* from, int toDir, const char* to) {
    if (linkat(fromDir, from, toDir, to, 0) == 0) return 0;
    return errno;
}

// Gives an unnamed file its name; like every link, never over a taken one.
// Through /proc first: AT_EMPTY_PATH needs a privilege most users lack.
int PosixFileSystem::LinkUnnamed(int fd, int dirfd, const char* name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), dirfd, name, AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT || access("/proc/self/fd", F_OK) == 0) return errno;
    if (linkat(fd, "", dirfd, name, AT_EMPTY_PATH) == 0) return 0;
    return errno;
}

}  // namespace ravlen
