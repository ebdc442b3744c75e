#pragma once
// Finding a camera's memory card among the mounted drives.

#include <string>
#include <vector>

#include "model/drive_list.h"
#include "model/file_system.h"
#include "model/run_options.h"
#include "model/user_port.h"

namespace ravlen {

// Looks for the first removable drive with a DCIM folder holding files that
// pass the options' filters and, when accepted (asked or not), sets
// SourcePath to its mount point and ProcessSubfolders to Flatten.
void DetectCameraMedia(bool ask, RunOptions& options, DriveList& drives, FileSystem& fs, UserPort& port);

// The removable drives with a DCIM folder, in mount-table order.
std::vector<DriveInfo> CameraCards(DriveList& drives, FileSystem& fs);

// The question put to the user about a card found on this drive.
std::string CameraMediaQuestion(const DriveInfo& drive);

}  // namespace ravlen
