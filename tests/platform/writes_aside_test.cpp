#include "platform/writes_aside.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "support/temp_dir.h"

namespace ravlen {
namespace {

std::string Contents(int fd) {
    std::string text;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
}

// Many files' pieces through few buffers: every copy whole, in order, with
// its source's time; a copy whose write fails takes nothing more and says
// why, while the other copies of the same pieces go on.
TEST(WritesAside, EveryPieceReachesEveryLiveCopyInOrder) {
    test::TempDir dir;
    std::atomic<int> failing{-1};
    std::atomic<int> writes{0};
    WritesAside aside(
        [&](int fd, const char* bytes, unsigned long n) -> long {
            ++writes;
            if (fd == failing) return errno = ENOSPC, -1;
            return write(fd, bytes, n);
        },
        8);
    ASSERT_TRUE(aside.Ready());
    struct stat source{};
    source.st_mtim = {1103998151, 0};
    source.st_atim = source.st_mtim;
    constexpr int kFiles = 40;  // more pieces than the writer keeps
    std::string expected;
    for (int file = 0; file < kFiles; ++file) {
        std::vector<std::shared_ptr<WritesAside::Copy>> copies;
        for (const char* name : {"a", "b"}) {
            auto copy = std::make_shared<WritesAside::Copy>();
            copy->fd = open((dir / (name + std::to_string(file))).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            ASSERT_GE(copy->fd, 0);
            copies.push_back(copy);
        }
        if (file == kFiles / 2) failing = copies[1]->fd;
        std::string bytes;
        for (int piece = 0; piece < 3; ++piece) {
            WritesAside::Piece* taken = aside.Take();
            const std::string text = std::to_string(file) + "." + std::to_string(piece) + ";";
            std::memcpy(taken->bytes.get(), text.data(), text.size());
            taken->size = text.size();
            bytes += text;
            aside.Add(taken, copies);
        }
        source.st_size = static_cast<off_t>(bytes.size());
        for (const auto& copy : copies) aside.Finish(copy, source);
        for (const auto& copy : copies) aside.Settle(*copy);
        EXPECT_TRUE(copies[0]->status) << file;
        EXPECT_EQ(Contents(copies[0]->fd), bytes);
        EXPECT_EQ(copies[0]->finished.st_size, source.st_size);
        EXPECT_EQ(copies[0]->finished.st_mtim.tv_sec, source.st_mtim.tv_sec);
        if (file == kFiles / 2) {
            EXPECT_EQ(copies[1]->status.error, "No space left on device");
            EXPECT_EQ(Contents(copies[1]->fd), "");
        } else {
            EXPECT_EQ(Contents(copies[1]->fd), bytes) << file;
        }
        failing = -1;
        for (const auto& copy : copies) close(copy->fd);
    }
    // The failed copy took one write and no more.
    EXPECT_EQ(writes, kFiles * 2 * 3 - 2);
    aside.Drain();
}

}  // namespace
}  // namespace ravlen
