#pragma once
#include <string>

namespace ravlen {

// What the text log's header says about the computer and the program.
struct ProgramFacts {
    std::string OsName;     // "Linux"
    std::string OsVersion;  // the kernel release, from uname
    std::string OsBuild;    // the kernel version string, from uname
    std::string ProductName;
    int Major = 0;
    int Minor = 0;
    int Revision = 0;
    std::string ExeName;  // program file name without extension
    std::string ExePath;  // folder that holds the program file

    // This machine and this program (from /proc/self/exe and the version record).
    static ProgramFacts Current();
};

}  // namespace ravlen
