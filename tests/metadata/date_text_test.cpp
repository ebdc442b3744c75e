#include <gtest/gtest.h>

#include <string>

#include "metadata/date_text.h"

namespace ravlen {
namespace {

std::string Full(const std::optional<DateTime>& d) { return d ? d->FormatFull() : "none"; }

struct DateCase {
    std::string text;
    std::string expected;  // "none" when the text is not a date
};

TEST(ParseDateText, AcceptsTheFormsCamerasWrite) {
    const DateCase cases[] = {
        {"2003 May 17 10:23:45", "2003/05/17 10:23:45"},
        {"2003 SEP 07 01:02:03", "2003/09/07 01:02:03"},
        {"2003 sep 07 01:02:03", "2003/09/07 01:02:03"},
        {"2003 September 7 01:02:03", "2003/09/07 01:02:03"},
        {"2003 Sept 7 01:02:03", "2003/09/07 01:02:03"},
        {"2003 May  7 10:23:45", "2003/05/07 10:23:45"},  // ctime pads the day with a blank
        {"2003 05 17 10:23:45", "2003/05/17 10:23:45"},
        {"2003/05/17 10:23:45", "2003/05/17 10:23:45"},
        {"2003/5/7 9:03:04", "2003/05/07 09:03:04"},
        {"2003-05-17", "2003/05/17 00:00:00"},
        {"2003/05/17", "2003/05/17 00:00:00"},
        {"2003-05-17T10:23:45", "2003/05/17 10:23:45"},
        {"2003:05:17 10:23:45", "2003/05/17 10:23:45"},
        {"2004-02-29", "2004/02/29 00:00:00"},
        {"  2003-05-17\r\n", "2003/05/17 00:00:00"},
        {std::string("2003-05-17\0garbage", 18), "2003/05/17 00:00:00"},
        {"Sat May 17 10:23:45 2003", "2003/05/17 10:23:45"},
        {"WED JAN  1 00:00:00 2003", "2003/01/01 00:00:00"},
        {"10:23:45", "1899/12/30 10:23:45"},
        {"23:59:59", "1899/12/30 23:59:59"},
    };
    for (const auto& c : cases) EXPECT_EQ(Full(ParseDateText(c.text)), c.expected) << c.text;
}

TEST(ParseDateText, RejectsTextsThatAreNotDates) {
    const std::string cases[] = {
        "",
        "   ",
        "2003",
        "2003-13-01",
        "2003-02-30",
        "2003-02-29",
        "2003-00-10",
        "2003-05-00",
        "0000-05-17",
        "2003 Foo 17 10:23:45",
        "2003/05-17",
        "03-05-17",
        "20030517",
        "2003-05-17 24:00:00",
        "2003-05-17 10:60:00",
        "2003-05-17 10:23:45 extra",
        "2003-05-17x",
        "25:00:00",
        "10:23:4",
        "1:2:3",
        "Sat May 17 10:23:45",
        "Foo May 17 10:23:45 2003",
        std::string("\0 2003-05-17", 12),
        "\xFF\xFE\x01\x02\x03\x04\x05\x06",
        "2003\xA0" "05 17 10:23:45",
    };
    for (const auto& c : cases) EXPECT_EQ(Full(ParseDateText(c)), "none") << c;
}

}  // namespace
}  // namespace ravlen
