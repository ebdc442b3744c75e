#include <gtest/gtest.h>

#include "metadata/place_text.h"

namespace ravlen {
namespace {

TEST(PlaceText, OffsetTexts) {
    EXPECT_EQ(ParseOffsetText("+09:00"), 540);
    EXPECT_EQ(ParseOffsetText(" -03:30\0junk"), -210);
    EXPECT_EQ(ParseOffsetText("+14:00"), 840);
    for (const char* bad : {"", "+9:00", "09:00", "+14:01", "+05:60", "+0a:00", "+05:00:00", "   :  "})
        EXPECT_EQ(ParseOffsetText(bad), std::nullopt) << bad;
}

TEST(PlaceText, Iso6709Points) {
    const auto near = [](std::string_view text, double lat, double lon) {
        const auto p = ParseIso6709(text);
        ASSERT_TRUE(p) << text;
        EXPECT_NEAR(p->latitude, lat, 1e-6) << text;
        EXPECT_NEAR(p->longitude, lon, 1e-6) << text;
    };
    near("+35.6586+139.7454/", 35.6586, 139.7454);
    near("+51.5932-0.2431/", 51.5932, -0.2431);  // a phone's, without leading zeros
    near("-33.8688+151.2093+010.000/", -33.8688, 151.2093);
    near("+4012.5-07400.5/", 40 + 12.5 / 60, -(74 + 0.5 / 60));      // degrees and minutes
    near("+401230-0740030CRSWGS_84/", 40 + 12.5 / 60, -(74 + 0.5 / 3600 * 60));  // with seconds
    for (const char* bad : {"", "35.6+139.7/", "+35.6/", "+95.0+010.0/", "+10.0+181.0/", "+3.5+1397.7/", "+.5+139.7/", "+4060.0+000.0/"})
        EXPECT_EQ(ParseIso6709(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace ravlen
