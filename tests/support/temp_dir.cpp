#include "support/temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace ravlen::test {

TempDir::TempDir(const std::string& base) {
    std::string root = base;
    if (root.empty()) {
        const char* t = std::getenv("TMPDIR");
        root = (t && *t) ? t : "/tmp";
    }
    std::string tmpl = root + "/ravlen-test-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed under " + root);
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; open them up so removal succeeds.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(std::string_view relative, std::string_view bytes) const {
    const std::filesystem::path p = std::filesystem::path(path_) / std::string(relative);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
    return p.string();
}

std::string TempDir::Mkdir(std::string_view relative) const {
    const std::filesystem::path p = std::filesystem::path(path_) / std::string(relative);
    std::filesystem::create_directories(p);
    return p.string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[std::filesystem::relative(e.path(), root).string()] = ReadAll(e.path().string());
    return files;
}

}  // namespace ravlen::test
