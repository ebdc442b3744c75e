#pragma once
// Finding a camera's memory card among the mounted drives.

#include <string>
#include <vector>

#include "model/file_system.h"
#include "model/run_options.h"
#include "model/user_port.h"

namespace ravlen {

struct DriveInfo {
    std::string MountPoint;   // stands where a drive letter stood
    std::string VolumeLabel;  // empty when the medium has none
    bool Removable = false;   // removable disk or optical drive
    bool Ready = true;        // false when its properties could not be read
};

// The mounted file systems in mount-table order.
class DriveList {
public:
    virtual ~DriveList() = default;
    virtual std::vector<DriveInfo> Drives() = 0;
};

// Looks for the first removable drive with a DCIM folder holding files that
// pass the options' filters and, when accepted (asked or not), sets
// SourcePath to its mount point and ProcessSubfolders to 1.
void DetectCameraMedia(bool ask, RunOptions& options, DriveList& drives, FileSystem& fs, UserPort& port);

}  // namespace ravlen
