#pragma once
// A real temporary folder, removed with everything in it at the end of a test.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

namespace ravlen::test {

class TempDir {
public:
    explicit TempDir(const std::string& base = "");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path + "/" + relative
    std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }
    // Writes a file (creating its folders) and returns its full path.
    std::string Write(std::string_view relative, std::string_view bytes) const;
    std::string Mkdir(std::string_view relative) const;

private:
    std::string path_;
};

std::string ReadAll(const std::string& path);

// Every file below a folder, by relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::string& root);

}  // namespace ravlen::test
