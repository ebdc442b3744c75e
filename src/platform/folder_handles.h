#pragma once
// The run's output folder, its backup folders, and the folders below them
// that the run reaches or makes, held open as directory handles: files are
// created and renamed relative to them, and every use first checks that the
// folder's path still leads to the folder the handle holds (at once, else one
// name at a time and never through a link). A folder swapped for a link or
// another folder mid-run stops the file instead of sending it elsewhere.

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/file_system.h"

namespace ravlen {

// One folder held open. A staged copy keeps its folder's handle alive after
// the cache has let it go.
struct HeldFolder {
    int fd = -1;
    FileId id;
    HeldFolder(int f, FileId i) : fd(f), id(i) {}
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
};
using FolderHandle = std::shared_ptr<const HeldFolder>;

// Opens the folder `rest` (names separated by "/", none "." or "..") below
// the folder `at` without following any link (openat2 beneath and without
// links, else one name at a time). `flags` are O_PATH or O_RDONLY, with
// O_DIRECTORY added. The descriptor, or -1 with `failure` saying what stood
// in the way.
int OpenBeneath(int at, std::string_view rest, int flags, FsStatus& failure);

// A folder of this path opened as it stands, never through a link in its
// last name; one we may write into but not list is opened as a path only.
FolderHandle OpenFolder(const std::string& path, FsStatus& failure);

// What a held folder's use says when its path now leads elsewhere; `kind`
// names the top folder's part in the run.
FsStatus FolderReplaced(const std::string& path, const std::string& kind = "output folder");

class FolderHandles {
public:
    // Handles kept open besides the top folder's, the least recently used
    // let go first; fewer where the process may hold few descriptors.
    static constexpr std::size_t kHeld = 32;

    // Holds `top` (never a link in its last name) from now on; lets go of
    // anything held before.
    FsStatus Hold(const std::string& top);
    // Holds `top` too, beside the folders held already: `kind` names it in
    // what its use says when it is replaced.
    FsStatus HoldToo(const std::string& top, const std::string& kind);
    void Release();
    // Whether `folder` is a held top folder or lies below one.
    bool Holds(const std::string& folder) const;
    // What a use of the held `folder` says when its path now leads elsewhere.
    FsStatus Replaced(const std::string& folder) const;
    // The held folder at `folder` (Holds(folder) true), reached from its top
    // (the nearest) one name at a time, each still the folder first reached
    // at its path.
    FolderHandle Reach(const std::string& folder, FsStatus& failure);
    // The handle held for `folder`, unchecked; null when none is held.
    FolderHandle Peek(const std::string& folder) const;
    // Makes the folder in its reached parent, never through a link.
    FsStatus Make(const std::string& folder);
    // Removes the empty folder from its reached parent and forgets it.
    FsStatus Remove(const std::string& folder);

private:
    struct Top {
        std::string path;
        FolderHandle root;
        std::string kind;
    };
    void Keep(const std::string& path, FolderHandle handle);
    // The nearest held top folder of `folder`; null when none holds it.
    const Top* TopOf(const std::string& folder) const;

    std::vector<Top> tops_;
    std::size_t capacity_ = kHeld;
    struct Entry {
        FolderHandle handle;
        std::list<std::string>::iterator use;
    };
    std::unordered_map<std::string, Entry> open_;
    std::list<std::string> uses_;                   // most recent first
    std::unordered_map<std::string, FileId> known_;  // every folder reached, open or let go
};

}  // namespace ravlen
