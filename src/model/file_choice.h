#pragma once
// The files a run may place, as the user chose them: every file but those
// unticked in the preview, or only those a script names. The others stay
// where they are, recorded as not selected.

#include <string>
#include <unordered_set>
#include <utility>

namespace ravlen {

class FileChoice {
public:
    // Only the files at these source paths.
    static FileChoice Only(std::unordered_set<std::string> paths) { return FileChoice(true, std::move(paths)); }
    // Every file but those at these source paths.
    static FileChoice AllBut(std::unordered_set<std::string> paths) { return FileChoice(false, std::move(paths)); }

    bool Chosen(const std::string& path) const { return listedOnly_ == (paths_.count(path) != 0); }
    // Whether some file may be left out.
    bool LeavesOut() const { return listedOnly_ || !paths_.empty(); }

private:
    FileChoice(bool listedOnly, std::unordered_set<std::string> paths)
        : listedOnly_(listedOnly), paths_(std::move(paths)) {}
    bool listedOnly_;
    std::unordered_set<std::string> paths_;
};

// The note of a file left out by the choice.
inline constexpr const char* kNotSelected = "Not selected";

}  // namespace ravlen
