#pragma once
#include <string>

namespace ravlen {

// The program's own version record.
struct VersionInfo {
    std::string Title;
    std::string ProductName;
    std::string CompanyName;
    std::string LegalCopyright;
    int Major = 0;
    int Minor = 0;
    int Revision = 0;
};

const VersionInfo& Version();
// Title, a space, major version, ".", minor version: "Ravlen 2.8".
std::string AppName();

}  // namespace ravlen
