#include "cli/console_port.h"

#include <gtest/gtest.h>

namespace ravlen {
namespace {

TEST(ConsoleProgressLine, NamesTheFileBytesRateAndTimeLeftWithinTheTerminal) {
    struct Case {
        std::string file;
        int done, total;
        std::int64_t bytes, allBytes;
        double seconds;
        std::size_t columns;
        std::string line;
    } const cases[] = {
        // No rate before half a second has passed, nor before the first byte.
        {"IMG_0001.JPG", 0, 48, 0, 480'000'000, 2.0, 80,
         "Timestamping Files... 0 of 48  IMG_0001.JPG  0 bytes of 480.0 MB"},
        {"IMG_0017.JPG", 17, 48, 170'000'000, 480'000'000, 0.2, 80,
         "Timestamping Files... 17 of 48  IMG_0017.JPG  170.0 MB of 480.0 MB"},
        // The time left is counted in bytes: a large movie still to come weighs what it holds.
        {"IMG_0017.JPG", 17, 48, 170'000'000, 480'000'000, 2.0, 100,
         "Timestamping Files... 17 of 48  IMG_0017.JPG  170.0 MB of 480.0 MB  85.0 MB/s  0:04 left"},
        {"a.jpg", 48, 48, 480'000'000, 480'000'000, 2.0, 80,
         "Timestamping Files... 48 of 48  a.jpg  480.0 MB of 480.0 MB  240.0 MB/s"},
        // The name gives way first, cut between characters, never inside one.
        {"été_long_name.JPG", 17, 48, 170'000'000, 480'000'000, 2.0, 80,
         "Timestamping Files... 17 of 48  été  170.0 MB of 480.0 MB  85.0 MB/s  0:04 left"},
        {"x.JPG", 17, 48, 170'000'000, 480'000'000, 2.0, 40, "Timestamping Files... 17 of 48  170.0 M"},
        // Control characters in a name never reach the terminal.
        {"a\x1b[2Jb\n.jpg", 1, 2, 1, 2, 0.0, 80, "Timestamping Files... 1 of 2  a?[2Jb?.jpg  1 byte of 2 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ProgressLine("Timestamping Files...", std::to_string(c.done) + " of " + std::to_string(c.total),
                               c.file, c.bytes, c.allBytes, c.seconds, c.columns),
                  c.line);
    }
}

}  // namespace
}  // namespace ravlen
