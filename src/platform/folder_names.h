#pragma once
// The names in the run's output folders, listed once a batch instead of
// looked up once a name: the serial-number loop asks whether each name it
// builds is taken. A listing stands from the first name test after a batch's
// commit to the next commit (Clear), as the name tests it replaces would
// have stood, and the run's own new names join it as they are made. A
// folder of too many entries, a file system that could fold a name's case
// beyond ASCII, or one whose case rules are unknown, is asked name by name.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace ravlen {

class FolderNames {
public:
    // `typeOf`: a folder's file system type (statfs f_type) by its descriptor.
    explicit FolderNames(std::function<long(int fd)> typeOf) : typeOf_(std::move(typeOf)) {}
    // Entries listed at most for one folder; more are asked name by name.
    static constexpr std::size_t kMaxNames = 8192;
    // `open` gives a descriptor of the checked folder (kept by the caller)
    // when it must be listed, else -1. Nothing when the listing cannot tell.
    std::optional<bool> Taken(const std::string& folder, const std::string& name, const std::function<int()>& open);
    // The run made `name` in `folder`.
    void Added(const std::string& folder, const std::string& name);
    // Entries left `folder`: it is listed afresh when next asked.
    void Forget(const std::string& folder) { listed_.erase(folder); }
    void Clear() { listed_.clear(); }

private:
    struct Listing {
        bool usable = false;
        bool folds = false;  // FAT and exFAT: ASCII letters of either case are one
        std::unordered_set<std::string> names;
    };
    Listing List(int folderFd) const;
    // The name as the folder's file system compares it; nothing when that
    // cannot be told without asking the file system.
    static std::optional<std::string> Key(const Listing& listing, const std::string& name);
    std::function<long(int fd)> typeOf_;
    std::unordered_map<std::string, Listing> listed_;
};

}  // namespace ravlen
