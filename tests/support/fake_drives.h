#pragma once
// Drives as a test lists them, changed at will between looks.

#include <vector>

#include "model/drive_list.h"

namespace ravlen::test {

class FakeDrives : public DriveList {
public:
    std::vector<DriveInfo> drives;
    std::vector<DriveInfo> Drives() override { return drives; }
};

}  // namespace ravlen::test
