#pragma once
// The listings a count walk made, handed to the pass that follows at once:
// each file is looked at once in a run of count and pass, not twice. A
// listing is taken once; a folder not kept is listed afresh.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/file_system.h"

namespace ravlen {

class FolderListings {
public:
    // Keeps a folder's listing while the items kept stay within the bound.
    void Keep(const std::string& path, std::vector<FsItem>&& files, std::vector<FsItem>&& folders);
    // A folder's files and subfolders: its kept listing, given up as it is
    // taken, else the file system's. False when the folder cannot be listed.
    bool List(FileSource& source, const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders);
    void Clear();

    // Files and folders kept at most (some tens of megabytes of names).
    static constexpr std::size_t kMaxItems = 100000;

private:
    struct Listing {
        std::vector<FsItem> files, folders;
    };
    std::unordered_map<std::string, Listing> kept_;
    std::size_t items_ = 0;
};

// The output folders a preview found holding nothing: as a preview writes
// nothing, no name in them is taken but by the pass's own files, and a name
// needs no look on the disk. Each folder is looked at once.
class EmptyFolders {
public:
    bool Empty(FileSystem& fs, const std::string& folder);

private:
    std::unordered_map<std::string, bool> known_;
};

}  // namespace ravlen
