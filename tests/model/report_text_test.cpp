#include "model/report_text.h"

#include <gtest/gtest.h>

namespace ravlen {
namespace {

// Sizes round to a tenth of their unit; one that rounds up to 1000 of a unit is told in the next.
TEST(ReportText, SizesInDecimalUnits) {
    EXPECT_EQ(ByteSizeText(0), "0 bytes");
    EXPECT_EQ(ByteSizeText(1), "1 byte");
    EXPECT_EQ(ByteSizeText(999), "999 bytes");
    EXPECT_EQ(ByteSizeText(1000), "1.0 kB");
    EXPECT_EQ(ByteSizeText(1049), "1.0 kB");
    EXPECT_EQ(ByteSizeText(1050), "1.1 kB");
    EXPECT_EQ(ByteSizeText(999949), "999.9 kB");
    EXPECT_EQ(ByteSizeText(999950), "1.0 MB");
    EXPECT_EQ(ByteSizeText(12'400'000'000), "12.4 GB");
    EXPECT_EQ(ByteSizeText(18'446'744'073'709'551'615u), "18.4 EB");
}

// The rate and the time left are counted in bytes, once half a second has passed.
TEST(ReportText, ByteProgress) {
    EXPECT_EQ(ByteProgressText(0, 45'600'000, 3.0), "0 bytes of 45.6 MB");
    EXPECT_EQ(ByteProgressText(12'300'000, 45'600'000, 0.2), "12.3 MB of 45.6 MB");
    EXPECT_EQ(ByteProgressText(12'000'000, 48'000'000, 2.0), "12.0 MB of 48.0 MB  6.0 MB/s  0:06 left");
    EXPECT_EQ(ByteProgressText(1'000, 100'000'000'000, 10.0), "1.0 kB of 100.0 GB  100 bytes/s  277777:46:30 left");
    EXPECT_EQ(ByteProgressText(48'000'000, 48'000'000, 2.0), "48.0 MB of 48.0 MB  24.0 MB/s");
}

}  // namespace
}  // namespace ravlen
