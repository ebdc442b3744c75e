#pragma once
// The drives of a Linux machine: the mounted file systems of block devices,
// in mount-table order, with whether the medium can be taken out.

#include <string>
#include <string_view>
#include <vector>

#include "model/drive_list.h"

namespace ravlen {

class MountDriveList : public DriveList {
public:
    // Where the kernel's facts are read; tests point these into a temporary tree.
    struct Roots {
        std::string mountInfo = "/proc/self/mountinfo";
        std::string sys = "/sys";
        std::string byLabel = "/dev/disk/by-label";
    };

    MountDriveList() = default;
    explicit MountDriveList(Roots roots) : roots_(std::move(roots)) {}

    // One entry per mounted block device (the first mount of each); a mount
    // point that cannot be examined any more is listed as not ready.
    std::vector<DriveInfo> Drives() override;

private:
    Roots roots_;
};

// A field of the mount table: "\040" stands for a space, "\011" a tab,
// "\012" a line break, "\134" a backslash.
std::string UnescapeMountField(std::string_view field);
// A name under /dev/disk/by-label: "\x20" stands for a space and the like.
std::string UnescapeLabelName(std::string_view name);

}  // namespace ravlen
