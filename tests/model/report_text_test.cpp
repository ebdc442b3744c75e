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

}  // namespace
}  // namespace ravlen
