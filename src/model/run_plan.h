#pragma once
// A run's text options as the run uses them: parsed once when the run
// starts, read for every file. The texts were checked before (see
// app/run/run_plan.h); one that does not parse counts as none.

#include <string>
#include <string_view>
#include <vector>

#include "model/camera_clock.h"
#include "model/run_options.h"
#include "model/time_shift.h"

namespace ravlen {

// The folders of a ";"-separated list, in order: blanks around each are
// dropped, and so are empty items and a trailing "/" (but the root's).
inline std::vector<std::string> FolderList(std::string_view text) {
    std::vector<std::string> folders;
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        std::string_view item = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        while (item.size() > 1 && item.back() == '/') item.remove_suffix(1);
        if (!item.empty()) folders.emplace_back(item);
    }
    return folders;
}

struct RunPlan {
    TimeShift Shift;                          // TimeShift
    std::vector<CameraOffset> CameraOffsets;  // CameraOffsets
    std::vector<std::string> BackupFolders;   // BackupPaths
};

inline RunPlan PlanOf(const RunOptions& options) {
    return {TimeShift::Parse(options.TimeShift).value_or(TimeShift{}), KeptCameraOffsets(options.CameraOffsets),
            FolderList(options.BackupPaths)};
}

}  // namespace ravlen
