#include "platform/folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ravlen {
namespace {

// File systems whose names are compared byte for byte (unless a folder is
// marked case-folding), and the FAT family, which folds ASCII letters.
constexpr long kExt = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E, kTmpfs = 0x01021994, kF2fs = 0xF2F52010,
               kZfs = 0x2FC12FC1;
constexpr long kFat = 0x4d44, kExfat = 0x2011BAB0;

struct Dir {
    DIR* dir;
    ~Dir() {
        if (dir) closedir(dir);
    }
};

}  // namespace

FolderNames::Listing FolderNames::List(int folderFd) const {
    Listing listing;
    const long type = typeOf_(folderFd);
    listing.folds = type == kFat || type == kExfat;
    if (!listing.folds && type != kExt && type != kXfs && type != kBtrfs && type != kTmpfs && type != kF2fs &&
        type != kZfs)
        return listing;
    const int fd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return listing;
    Dir dir{fdopendir(fd)};
    if (!dir.dir) {
        close(fd);
        return listing;
    }
    // A folder that folds case for some of its names (ext4, f2fs) folds beyond ASCII.
    if (int flags = 0; (type == kExt || type == kF2fs) && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                       (flags & FS_CASEFOLD_FL) != 0)
        return listing;
    while (const dirent* entry = readdir(dir.dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (listing.names.size() >= kMaxNames) return Listing{};
        // A name the file system itself would fold otherwise than ASCII: asked on the disk.
        std::optional<std::string> key = Key(listing, name);
        if (!key) return Listing{};
        listing.names.insert(std::move(*key));
    }
    listing.usable = true;
    return listing;
}

std::optional<std::string> FolderNames::Key(const Listing& listing, const std::string& name) {
    if (!listing.folds) return name;
    // FAT drops trailing dots and spaces, and its non-ASCII case rules
    // depend on the mount: only plain ASCII names are compared here.
    if (name.empty() || name.back() == '.' || name.back() == ' ') return std::nullopt;
    std::string key = name;
    for (char& c : key) {
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

std::optional<bool> FolderNames::Taken(const std::string& folder, const std::string& name,
                                       const std::function<int()>& open) {
    auto found = listed_.find(folder);
    if (found == listed_.end()) {
        const int fd = open();
        found = listed_.emplace(folder, fd >= 0 ? List(fd) : Listing{}).first;
    }
    const Listing& listing = found->second;
    if (!listing.usable) return std::nullopt;
    const std::optional<std::string> key = Key(listing, name);
    if (!key) return std::nullopt;
    return listing.names.contains(*key);
}

void FolderNames::Added(const std::string& folder, const std::string& name) {
    const auto found = listed_.find(folder);
    if (found == listed_.end() || !found->second.usable) return;
    if (std::optional<std::string> key = Key(found->second, name)) found->second.names.insert(std::move(*key));
    else listed_.erase(found);
}

}  // namespace ravlen
