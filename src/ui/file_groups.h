#pragma once
// The preview's files gathered by day, source folder or camera, so that a
// whole group is ticked or unticked at once: a group is ticked when all its
// files to place are, unticked when none are, partly ticked otherwise.

#include <string>
#include <vector>

#include "model/file_list.h"

namespace ravlen::ui {

enum class GroupBy { Day, Folder, Camera };
enum class GroupTick { NoBox, None, Some, All };  // NoBox: nothing in it to place

struct FileGroup {
    std::string Key;        // as shown: "2024-05-01", the folder, the camera
    std::vector<int> Rows;  // in the list's order
};

// Files the run would place can be ticked (kept) or unticked (left where
// they are); others have no box.
inline bool Tickable(const FileRow& row) { return row.Status == ListStatus::Place; }

std::string GroupKey(const FileRow& row, GroupBy by);
// The groups in the order of their keys; the files without a date or a
// camera come last.
std::vector<FileGroup> GroupFiles(const std::vector<FileRow>& rows, GroupBy by);
GroupTick TickOf(const FileGroup& group, const std::vector<FileRow>& rows);

}  // namespace ravlen::ui
