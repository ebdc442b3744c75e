#include <gtest/gtest.h>

#include "model/date_time.h"

namespace ravlen {
namespace {

std::string Full(const std::optional<DateTime>& d) { return d ? d->FormatFull() : "none"; }

TEST(DateTime, CarriesValuesBeyondEachUnit) {
    EXPECT_EQ(Full(DateTime::FromFields(2004, 2, 29, 13, 5, 9)), "2004/02/29 13:05:09");
    EXPECT_EQ(Full(DateTime::FromFields(2004, 13, 1)), "2005/01/01 00:00:00");
    EXPECT_EQ(Full(DateTime::FromFields(2004, 12, 32)), "2005/01/01 00:00:00");
    EXPECT_EQ(Full(DateTime::FromFields(2004, 12, 31, 24, 0, 0)), "2005/01/01 00:00:00");
    EXPECT_EQ(Full(DateTime::FromFields(2003, 2, 29)), "2003/03/01 00:00:00");
    EXPECT_EQ(Full(DateTime::FromFields(2004, 1, 0)), "2003/12/31 00:00:00");
    EXPECT_EQ(Full(DateTime::FromFields(2004, 13, 45, 25, 61, 61)), "2005/02/15 02:02:01");
}

TEST(DateTime, RejectsYearsOutsideTheDateType) {
    EXPECT_FALSE(DateTime::FromFields(10000, 1, 1));
    EXPECT_FALSE(DateTime::FromFields(9999, 12, 31, 24, 0, 0));
    EXPECT_FALSE(DateTime::FromFields(0, 1, 1));
    EXPECT_FALSE(DateTime::FromFields(std::int64_t{1} << 62, 1, 1));
    EXPECT_TRUE(DateTime::FromFields(9999, 12, 31, 23, 59, 59));
    EXPECT_EQ(Full(DateTime::FromFields(1, 1, 1)), "0001/01/01 00:00:00");
}

TEST(DateTime, FormatsClassicCodesAndCopiesTheRest) {
    const DateTime d = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);
    EXPECT_EQ(d.Format("yyyymmdd_hhnnss"), "20041225_180911");
    EXPECT_EQ(d.Format("yyyy-mm-dd @hh-nn-ss"), "2004-12-25 @18-09-11");
    EXPECT_EQ(d.Format("Y y m"), "Y y m");
    EXPECT_EQ(d.DateOnly().FormatFull(), "2004/12/25 00:00:00");
    EXPECT_EQ(d.SecondsOfDay(), 18 * 3600 + 9 * 60 + 11);
}

TEST(DateTime, EpochSecondsKeepTheirFaceValue) {
    EXPECT_EQ(DateTime::FromCivilSeconds(0).FormatFull(), "1970/01/01 00:00:00");
    EXPECT_EQ(DateTime::FromCivilSeconds(1053166925).FormatFull(), "2003/05/17 10:22:05");
    EXPECT_EQ(DateTime::Zero().FormatFull(), "1899/12/30 00:00:00");
    EXPECT_LT(DateTime::FromCivilSeconds(-1), DateTime::FromCivilSeconds(0));
    EXPECT_EQ(DateTime::FromCivilSeconds(-1).FormatFull(), "1969/12/31 23:59:59");
}

}  // namespace
}  // namespace ravlen
