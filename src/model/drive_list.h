#pragma once
#include <string>
#include <vector>

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

}  // namespace ravlen
