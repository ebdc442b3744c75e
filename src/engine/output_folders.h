#pragma once
// The folders the run makes below an output folder for the files it places:
// the date folders of each file's timestamp.

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/date_time.h"
#include "model/file_system.h"
#include "model/run_options.h"
#include "naming/date_folders.h"

namespace ravlen {

// Walks `names` down from `top`, one folder at a time, each reached from top
// without following a link. With `make`, a missing folder is made (the made
// ones are added to `made`, outermost first); without, a missing folder ends
// the walk, as everything below it would be made. The error names what stood
// in the way: a link, a file of that name, a folder that could not be made.
FsStatus MakeFoldersBeneath(FileSystem& fs, const std::string& top, const std::vector<std::string>& names, bool make,
                            std::vector<std::string>& made);

class DateFolders {
public:
    // Nothing is made when the options want no date folders. A format that
    // cannot be used ends the pass (the run driver refuses it before).
    explicit DateFolders(const RunOptions& options);

    // The folder below `output` that a file of this timestamp goes into,
    // made as needed in a processing pass; a preview makes nothing, yet
    // fails where the run would. `problem` is set when it cannot be used.
    // `values` gives the symbols a folder format may hold besides the date.
    std::string Enter(FileSystem& fs, const std::string& output, const DateTime& when, bool make,
                      std::string& problem, const FilenameValues& values = {});
    // After the file: when it was not placed, the folders made for it go
    // again if they are empty.
    void Leave(FileSystem& fs, bool placed);
    // After a batch's commit: with `failed` (a copy may have failed there),
    // the folders made for its files that are empty go again; never a folder
    // the run did not make.
    void Settle(FileSystem& fs, bool failed);

private:
    // Removes the folders of `made` (outermost first) that are empty, innermost first.
    void RemoveEmpty(FileSystem& fs, std::vector<std::string>& made);

    std::optional<DateFolderPattern> pattern_;
    FilenameFormatDefinition formats_;  // how the symbols' values are written
    std::vector<std::string> made_;          // for the file in hand
    std::vector<std::string> unsettled_;     // made for files whose copies await their commit
    std::unordered_set<std::string> ready_;  // date folders this pass found or made, and reached
};

}  // namespace ravlen
