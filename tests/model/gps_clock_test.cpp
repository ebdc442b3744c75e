#include "model/gps_clock.h"

#include <gtest/gtest.h>

#include <tuple>

namespace ravlen {
namespace {

DateTime At(int y, int mo, int d, int h, int mi, int s = 0) { return *DateTime::FromFields(y, mo, d, h, mi, s); }

FileFacts Photo(const std::string&, const DateTime& clock, std::optional<std::int32_t> offset,
                std::optional<DateTime> gps = std::nullopt) {
    FileFacts f;
    f.EXIFDateOriginal = clock, f.EXIFOffsetOriginal = offset, f.GPSDateTime = gps;
    return f;
}

// A clock 3 min 20 s slow of its GPS still shows its zone; the rest is its error.
TEST(GpsClock, PhotoZonesFromOffsetsOrGps) {
    const FileFacts slow = Photo("1", At(2023, 3, 12, 7, 15, 30), std::nullopt, At(2023, 3, 11, 22, 18, 50));
    EXPECT_EQ(PhotoZoneMinutes(slow), 540);
    EXPECT_EQ(ClockErrorSeconds(slow), -200);
    const FileFacts nepal = Photo("1", At(2023, 3, 12, 5, 45, 10), std::nullopt, At(2023, 3, 12, 0, 0, 0));
    EXPECT_EQ(std::tuple(PhotoZoneMinutes(nepal), ClockErrorSeconds(nepal)), std::tuple(345, 10));
    // A stated zone wins over the rounding, and sets the error apart from it.
    const FileFacts stated = Photo("1", At(2023, 3, 12, 7, 20, 0), 540, At(2023, 3, 11, 22, 0, 0));
    EXPECT_EQ(std::tuple(PhotoZoneMinutes(stated), ClockErrorSeconds(stated)), std::tuple(540, 1200));
    EXPECT_EQ(PhotoZoneMinutes(Photo("1", At(2023, 3, 12, 7, 0, 0), std::nullopt, At(2023, 3, 11, 7, 0, 0))),
              std::nullopt);  // a day apart: no zone
    EXPECT_EQ(ClockErrorSeconds(Photo("1", At(2023, 3, 12, 7, 0, 0), 540)), std::nullopt);
    // A GoPro's movie: its header's camera clock against its GPMF GPS time;
    // a header that holds UTC says nothing of the clock.
    FileFacts movie;
    movie.MovieMetadata = true, movie.MovieDate = At(2023, 3, 12, 7, 15, 30), movie.GPSDateTime = At(2023, 3, 11, 22, 18, 50);
    EXPECT_EQ(ClockErrorSeconds(movie), -200);
    movie.MovieDateIsUTC = true;
    EXPECT_EQ(ClockErrorSeconds(movie), std::nullopt);
}

}  // namespace
}  // namespace ravlen
