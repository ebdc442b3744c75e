// cold_floor: the least a pass over a card can cost when nothing of it is
// cached: list the tree, then open each file and read its first bytes, with
// a given number of requests in flight (one thread each); or list the tree
// and rename each file into another folder of the same file system.
// usage: cold_floor FOLDER IN_FLIGHT BYTES; prints the files read.
//        cold_floor --rename FOLDER TARGET; prints the files renamed.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

void List(const std::string& folder, std::vector<std::string>& files) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        const std::string path = folder + "/" + e->d_name;
        if (e->d_type == DT_DIR) List(path, files);
        else if (e->d_type == DT_REG) files.push_back(path);
    }
    closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: cold_floor FOLDER IN_FLIGHT BYTES | cold_floor --rename FOLDER TARGET\n", stderr);
        return 2;
    }
    std::vector<std::string> files;
    if (std::strcmp(argv[1], "--rename") == 0) {
        List(argv[2], files);
        std::size_t renamed = 0;
        for (const std::string& from : files) {
            const std::string to = std::string(argv[3]) + from.substr(from.rfind('/'));
            if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) ++renamed;
        }
        std::printf("%zu\n", renamed);
        return 0;
    }
    List(argv[1], files);
    const int threads = std::max(1, std::atoi(argv[2]));
    const std::size_t bytes = static_cast<std::size_t>(std::max(1, std::atoi(argv[3])));
    std::atomic<std::size_t> next{0}, read{0};
    auto work = [&] {
        std::vector<char> buffer(bytes);
        for (std::size_t i; (i = next++) < files.size();) {
            const int fd = open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            if (pread(fd, buffer.data(), bytes, 0) > 0) ++read;
            close(fd);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    std::printf("%zu\n", read.load());
    return 0;
}
