#include "platform/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "model/file_facts.h"
#include "platform/fd_closer.h"
#include "platform/posix_common.h"

#ifndef EXFAT_SUPER_MAGIC
#define EXFAT_SUPER_MAGIC 0x2011BAB0
#endif

// The listing of folders and the facts of their entries.

namespace ravlen {

using namespace posix_fs;

namespace {

// A folder's listing, closed (and its descriptor with it) when it goes.
using Listing = std::unique_ptr<DIR, int (*)(DIR*)>;

// The listing of the folder open as `opened`, which it takes over; null
// when the folder was not opened or cannot be listed.
Listing ListingOf(FdCloser& opened) {
    Listing dir(opened.fd < 0 ? nullptr : fdopendir(opened.fd), closedir);
    if (dir) opened.Release();
    return dir;
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

std::string PlainDescription(const std::string& path) {
    std::string ext = ExtensionOf(NameOf(path));
    if (ext.empty()) return "File";
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext + " file";
}

}  // namespace

bool PosixFileSystem::ListFolder(const std::string& path, std::vector<FsItem>& files,
                                 std::vector<FsItem>& folders) {
    files.clear();
    folders.clear();
    FdCloser opened(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int dirfd = opened.fd;
    const Listing dir = ListingOf(opened);
    if (!dir) return false;
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
        const dirent* entry = readdir(dir.get());
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
    FdCloser opened(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.fd < 0) return -1;
    const int dirfd = opened.fd;
    const Listing dir = ListingOf(opened);
    if (!dir) return 0;
    int read = 1;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) read = 0;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (!each(dirfd, *entry)) break;
    }
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

std::optional<FsItem> PosixFileSystem::FileIn(int dirfd, const std::string& name, const std::string& path) {
    EntryStat st;
    if (!StatEntry(dirfd, name.c_str(), st) || !st.isFile) return std::nullopt;
    // The folder's own file system, whatever its path leads to now.
    const std::string self = "/proc/self/fd/" + std::to_string(dirfd);
    const long fat = FatType(st.id.Device, self.c_str());
    return MakeItem(name, path, st, fat ? FatAttributesOf(dirfd, name.c_str(), false, fat) : 0);
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
    const FdCloser fd(openat(dirfd, name,
                             O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (isFolder ? O_DIRECTORY : 0)));
    if (fd.fd < 0) return errno;
    return ioctl(fd.fd, FAT_IOCTL_GET_ATTRIBUTES, &attr) == 0 ? 0 : errno;
}

std::string PosixFileSystem::TypeDescription(const std::string& path) {
    if (describer_) {
        std::string text = describer_(path);
        if (!text.empty()) return text;
    }
    return PlainDescription(path);
}
std::optional<EntryFacts> PosixFileSystem::Examine(const std::string& path) {
    EntryStat st;
    if (path.empty() || !StatEntry(AT_FDCWD, path.c_str(), st)) return std::nullopt;
    return EntryFacts{st.isFile, st.isFolder, st.size, st.id};
}

// Through the folder's own handle: each name is examined and removed in the
// folder listed, whatever is swapped in at its path meanwhile.
int PosixFileSystem::RemoveFilesNamed(const std::string& folder,
                                      const std::function<bool(std::string_view name)>& chosen) {
    names_.Forget(folder);
    FdCloser opened(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const int dirfd = opened.fd;
    const Listing dir = ListingOf(opened);
    if (!dir) return 0;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir.get()))
        if (chosen(entry->d_name)) names.emplace_back(entry->d_name);
    int removed = 0;
    for (const std::string& name : names) {
        struct stat st{};
        if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            unlinkat(dirfd, name.c_str(), 0) == 0)
            ++removed;
    }
    return removed;
}

}  // namespace ravlen
