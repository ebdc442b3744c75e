#include "engine/folder_listings.h"

#include <utility>

namespace ravlen {

void FolderListings::Keep(const std::string& path, std::vector<FsItem>&& files, std::vector<FsItem>&& folders) {
    const std::size_t items = files.size() + folders.size();
    if (items > kMaxItems - items_) return;
    items_ += items;
    kept_[path] = Listing{std::move(files), std::move(folders)};
}

bool FolderListings::List(FileSource& source, const std::string& path, std::vector<FsItem>& files,
                          std::vector<FsItem>& folders) {
    const auto kept = kept_.find(path);
    if (kept == kept_.end()) return source.ListFolder(path, files, folders);
    files = std::move(kept->second.files);
    folders = std::move(kept->second.folders);
    kept_.erase(kept);
    return true;
}

void FolderListings::Clear() {
    kept_.clear();
    items_ = 0;
}

bool EmptyFolders::Empty(FileSystem& fs, const std::string& folder) {
    const auto known = known_.find(folder);
    if (known != known_.end()) return known->second;
    return known_[folder] = fs.HoldsNothing(folder);
}

}  // namespace ravlen
