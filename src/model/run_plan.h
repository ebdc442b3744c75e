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

struct RunPlan {
    TimeShift Shift;                          // TimeShift
    std::vector<CameraOffset> CameraOffsets;  // CameraOffsets
    std::vector<std::string> BackupFolders;   // BackupPaths
};

// The folders of BackupPaths: separated by ";", blanks around each dropped,
// empty entries and repeats ignored.
inline std::vector<std::string> BackupFoldersOf(std::string_view paths) {
    std::vector<std::string> folders;
    while (!paths.empty()) {
        const std::size_t end = paths.find(';');
        std::string_view folder = paths.substr(0, end);
        paths = end == std::string_view::npos ? std::string_view() : paths.substr(end + 1);
        while (!folder.empty() && (folder.front() == ' ' || folder.front() == '\t')) folder.remove_prefix(1);
        while (!folder.empty() && (folder.back() == ' ' || folder.back() == '\t')) folder.remove_suffix(1);
        // "/media/b/" and "/media/b" are one folder; "/" stays itself.
        while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
        if (folder.empty()) continue;
        bool seen = false;
        for (const std::string& known : folders) seen = seen || known == folder;
        if (!seen) folders.emplace_back(folder);
    }
    return folders;
}

// BackupPaths with `folder` added after the folders already there.
inline std::string AddedBackupFolder(std::string_view paths, std::string_view folder) {
    while (!paths.empty() && (paths.back() == ';' || paths.back() == ' ' || paths.back() == '\t'))
        paths.remove_suffix(1);
    return std::string(paths) + (paths.empty() ? "" : ";") + std::string(folder);
}

inline RunPlan PlanOf(const RunOptions& options) {
    return {TimeShift::Parse(options.TimeShift).value_or(TimeShift{}), KeptCameraOffsets(options.CameraOffsets),
            BackupFoldersOf(options.BackupPaths)};
}

}  // namespace ravlen
