#include "cli/console_port.h"

#include <gtest/gtest.h>

namespace ravlen {
namespace {

TEST(ConsoleProgressLine, NamesTheFileRateAndTimeLeftWithinTheTerminal) {
    struct Case {
        std::string file;
        int done, total;
        double seconds;
        std::size_t columns;
        std::string line;
    } const cases[] = {
        // No rate before half a second has passed, nor before the first file.
        {"IMG_0001.JPG", 0, 48, 2.0, 80, "Timestamping Files... 0 of 48  IMG_0001.JPG"},
        {"IMG_0017.JPG", 17, 48, 0.2, 80, "Timestamping Files... 17 of 48  IMG_0017.JPG"},
        {"IMG_0017.JPG", 17, 48, 2.0, 80, "Timestamping Files... 17 of 48  IMG_0017.JPG  8.5 files/s  0:04 left"},
        {"a.jpg", 4000, 10000, 2.0, 80, "Timestamping Files... 4000 of 10000  a.jpg  2000 files/s  0:03 left"},
        {"a.jpg", 10, 100000, 10.0, 80, "Timestamping Files... 10 of 100000  a.jpg  1.0 files/s  27:46:30 left"},
        {"a.jpg", 48, 48, 2.0, 80, "Timestamping Files... 48 of 48  a.jpg  24 files/s"},
        // The name gives way first, cut between characters, never inside one.
        {"été_long_name.JPG", 17, 48, 2.0, 60, "Timestamping Files... 17 of 48  été  8.5 files/s  0:04 left"},
        {"x.JPG", 17, 48, 2.0, 40, "Timestamping Files... 17 of 48  8.5 fil"},
        // Control characters in a name never reach the terminal.
        {"a\x1b[2Jb\n.jpg", 1, 2, 0.0, 80, "Timestamping Files... 1 of 2  a?[2Jb?.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ProgressLine("Timestamping Files...", std::to_string(c.done) + " of " + std::to_string(c.total),
                               c.file, c.done, c.total, c.seconds, c.columns),
                  c.line);
    }
}

}  // namespace
}  // namespace ravlen
