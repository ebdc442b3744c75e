#include "ui/file_groups.h"

#include <map>
#include <utility>

namespace ravlen::ui {
namespace {

constexpr const char* kNoDate = "No date";
constexpr const char* kNoCamera = "Unknown camera";

}  // namespace

std::string GroupKey(const FileRow& row, GroupBy by) {
    switch (by) {
        case GroupBy::Day:
            return row.HasDate ? row.Date.Format("yyyy-mm-dd") : kNoDate;
        case GroupBy::Folder:
            return row.SourceFolder;
        case GroupBy::Camera:
            return row.CameraName.empty() ? kNoCamera : row.CameraName;
    }
    return {};
}

std::vector<FileGroup> GroupFiles(const std::vector<FileRow>& rows, GroupBy by) {
    // Keyed first by whether the key stands for nothing, so those sort last.
    std::map<std::pair<bool, std::string>, std::vector<int>> keyed;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string key = GroupKey(rows[i], by);
        const bool nothing = (by == GroupBy::Day && !rows[i].HasDate) ||
                             (by == GroupBy::Camera && rows[i].CameraName.empty());
        keyed[{nothing, std::move(key)}].push_back(static_cast<int>(i));
    }
    std::vector<FileGroup> groups;
    groups.reserve(keyed.size());
    for (auto& [key, members] : keyed) groups.push_back({key.second, std::move(members)});
    return groups;
}

GroupTick TickOf(const FileGroup& group, const std::vector<FileRow>& rows) {
    int tickable = 0, ticked = 0;
    for (const int r : group.Rows) {
        const FileRow& row = rows[static_cast<std::size_t>(r)];
        if (!Tickable(row)) continue;
        ++tickable;
        ticked += row.Chosen ? 1 : 0;
    }
    if (tickable == 0) return GroupTick::NoBox;
    return ticked == 0 ? GroupTick::None : ticked == tickable ? GroupTick::All : GroupTick::Some;
}

}  // namespace ravlen::ui
