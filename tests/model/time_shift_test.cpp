#include <gtest/gtest.h>

#include "model/time_shift.h"

namespace ravlen {
namespace {

std::string Shifted(const char* shift, int y, int mo, int d, int h, int mi, int s) {
    const auto parsed = TimeShift::Parse(shift);
    if (!parsed) return "refused";
    const auto moved = parsed->Apply(*DateTime::FromFields(y, mo, d, h, mi, s));
    return moved ? moved->FormatFull() : "outside";
}

TEST(TimeShift, CarriesAcrossMidnightMonthEndsAndLeapDays) {
    EXPECT_EQ(Shifted("+01:00:00", 2023, 12, 31, 23, 30, 0), "2024/01/01 00:30:00");
    EXPECT_EQ(Shifted("01:00:00", 2024, 4, 30, 23, 0, 0), "2024/05/01 00:00:00");
    EXPECT_EQ(Shifted("+01:00:00", 2024, 2, 28, 23, 59, 59), "2024/02/29 00:59:59");
    EXPECT_EQ(Shifted("+01:00:00", 2023, 2, 28, 23, 0, 0), "2023/03/01 00:00:00");
    EXPECT_EQ(Shifted("-01:00:00", 2024, 3, 1, 0, 15, 0), "2024/02/29 23:15:00");
    EXPECT_EQ(Shifted("-1 00:00:01", 2100, 3, 1, 0, 0, 0), "2100/02/27 23:59:59");
    EXPECT_EQ(Shifted("+365 00:00:00", 2024, 1, 1, 0, 0, 0), "2024/12/31 00:00:00");
    EXPECT_EQ(Shifted("+99:59:59", 2024, 1, 1, 0, 0, 0), "2024/01/05 03:59:59");
    EXPECT_EQ(Shifted("", 2024, 1, 1, 0, 0, 0), "2024/01/01 00:00:00");
    EXPECT_EQ(Shifted("+00:00:01", 9999, 12, 31, 23, 59, 59), "outside");
    EXPECT_EQ(Shifted("-00:00:01", 1, 1, 1, 0, 0, 0), "outside");
    EXPECT_EQ(Shifted("+99999 00:00:00", 2024, 1, 1, 0, 0, 0), "2297/10/15 00:00:00");
    EXPECT_EQ(Shifted("-99999 00:00:00", 200, 1, 1, 0, 0, 0), "outside");
}

TEST(TimeShift, RefusesAllButSignDaysAndHoursMinutesSeconds) {
    for (const char* bad : {"1:00:00", "+01:00", "01:60:00", "01:00:60", "+-01:00:00", "123456 01:00:00",
                            " 01:00:00", "01:00:00 ", "1d 01:00:00", "01 :00:00", "+ 01:00:00", "01:00:0a",
                            "+1  01:00:00", "001:00:00"})
        EXPECT_FALSE(TimeShift::Parse(bad)) << bad;
}

TEST(TimeShift, TextIsSignedWithHoursBelowADay) {
    EXPECT_EQ(TimeShift::Parse("01:00:00")->Text(), "+01:00:00");
    EXPECT_EQ(TimeShift::Parse("-48:00:01")->Text(), "-2 00:00:01");
    EXPECT_EQ(TimeShift::Parse("+12345 23:59:59")->Text(), "+12345 23:59:59");
    EXPECT_EQ(TimeShift::Parse(TimeShift{-3723}.Text())->Seconds, -3723);
}

}  // namespace
}  // namespace ravlen
