#include "model/version.h"

#ifndef RAVLEN_BUILD_NUMBER
#define RAVLEN_BUILD_NUMBER 0
#endif

namespace ravlen {

const VersionInfo& Version() {
    static const VersionInfo info{"Ravlen", "Ravlen", "Morvane", "Copyright \xC2\xA9 2026 Morvane", 2, 8,
                                  RAVLEN_BUILD_NUMBER};
    return info;
}

std::string AppName() {
    const VersionInfo& v = Version();
    return v.Title + " " + std::to_string(v.Major) + "." + std::to_string(v.Minor);
}

}  // namespace ravlen
