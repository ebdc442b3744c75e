#include "log/program_facts.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <string>

#include "model/file_facts.h"
#include "model/version.h"

namespace ravlen {
namespace {

std::string ProgramFile() {
    std::string buffer(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

}  // namespace

ProgramFacts ProgramFacts::Current() {
    ProgramFacts facts;
    facts.OsName = "Linux";
    struct utsname system {};
    if (uname(&system) == 0) {
        facts.OsVersion = system.release;
        facts.OsBuild = system.version;
    }
    const VersionInfo& version = Version();
    facts.ProductName = version.ProductName;
    facts.Major = version.Major;
    facts.Minor = version.Minor;
    facts.Revision = version.Revision;
    const std::string exe = ProgramFile();
    const auto slash = exe.rfind('/');
    if (slash != std::string::npos) {
        facts.ExePath = slash == 0 ? std::string("/") : exe.substr(0, slash);
        facts.ExeName = BaseName(exe.substr(slash + 1));
    } else {
        facts.ExeName = BaseName(exe);
    }
    return facts;
}

}  // namespace ravlen
