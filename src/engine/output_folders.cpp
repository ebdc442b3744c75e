#include "engine/output_folders.h"

#include <system_error>

#include "engine/placement.h"
#include "engine/rename_files.h"

namespace ravlen {

FsStatus MakeFoldersBeneath(FileSystem& fs, const std::string& top, const std::vector<std::string>& names, bool make,
                            std::vector<std::string>& made) {
    std::string folder = top;
    for (const std::string& name : names) {
        // Built from the pattern, checked there; checked again where it matters.
        if (std::string why = UnusableFilenameReason(name); !why.empty()) return FsStatus::Fail(why);
        const std::string next = JoinPath(folder, name);
        if (fs.FolderExists(next)) {
            if (FsStatus reached = fs.ReachFolderBeneath(top, next, nullptr); !reached) return reached;
        } else if (fs.FileExists(next)) {
            return FsStatus::Fail(std::make_error_code(std::errc::not_a_directory).message());
        } else if (!make) {
            return FsStatus::Ok();
        } else {
            // Made inside a folder reached without a link; a link put in its
            // place meanwhile makes the mkdir fail rather than follow it.
            if (FsStatus created = fs.CreateFolder(next); !created) return created;
            made.push_back(next);
        }
        folder = next;
    }
    return FsStatus::Ok();
}

DateFolders::DateFolders(const RunOptions& options) {
    if (!options.DateFolders) return;
    formats_ = options.CustomFormat;
    std::string problem;
    pattern_ = DateFolderPattern::Parse(options.DateFolderFormat, &problem);
    if (!pattern_) throw EngineFailure(5, DateFolderFormatMessage(options.DateFolderFormat, problem));
}

std::string DateFolders::Enter(FileSystem& fs, const std::string& output, const DateTime& when, bool make,
                               std::string& problem, const FilenameValues& values) {
    made_.clear();
    if (!pattern_) return output;
    const std::vector<std::string> names = pattern_->Folders(when, values, formats_);
    std::string folder = output;
    for (const std::string& name : names) folder = JoinPath(folder, name);
    // Most files of a card fall on days already met. A preview remembers
    // what it found too: nothing it does changes it.
    if (ready_.count(folder)) return folder;
    const FsStatus status = MakeFoldersBeneath(fs, output, names, make, made_);
    if (!status) problem = status.error.empty() ? std::string("Unknown error") : status.error;
    else ready_.insert(folder);
    return folder;
}

void DateFolders::Leave(FileSystem& fs, bool placed) {
    if (placed) unsettled_.insert(unsettled_.end(), made_.begin(), made_.end());
    else RemoveEmpty(fs, made_);
    made_.clear();
}

void DateFolders::Settle(FileSystem& fs, bool failed) {
    if (failed) RemoveEmpty(fs, unsettled_);
    unsettled_.clear();
}

void DateFolders::RemoveEmpty(FileSystem& fs, std::vector<std::string>& made) {
    // Made later means deeper or beside: innermost first.
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        if (fs.CountItems(*it) == 0 && fs.DeleteFolder(*it)) ready_.erase(*it);
}

}  // namespace ravlen
