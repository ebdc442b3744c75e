#include "app/run/movie_zone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace ravlen {
namespace {

// The movie header's UTC instant becomes the chosen zone's local time, with
// its offset that day; a date stated with its own zone keeps its local time.
TEST(MovieZone, TurnsUtcOnlyMovieDatesIntoTheZonesLocalTime) {
    const DateTime utc = *DateTime::FromFields(2019, 7, 25, 3, 30, 0);
    const auto local = [&](const std::string& zone, bool isUtc = true) {
        FileFacts f;
        f.MovieDate = utc, f.MovieUTCOffset = 0, f.MovieDateIsUTC = isUtc;
        LocalizeMovieDate(f, MovieZoneOffsets(zone));
        return f.MovieDate->FormatFull() + " " + std::to_string(*f.MovieUTCOffset);
    };
    EXPECT_EQ(local("America/New_York"), "2019/07/24 23:30:00 -240");
    EXPECT_EQ(local("Asia/Kolkata"), "2019/07/25 09:00:00 330");
    EXPECT_EQ(local("Australia/Sydney"), "2019/07/25 13:30:00 600");  // winter there: no daylight saving
    EXPECT_EQ(local("Asia/Kolkata", false), "2019/07/25 03:30:00 0");
    // Empty: the computer's zone.
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "Europe/Paris", 1), tzset();
    const std::string paris = local("");
    old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
    EXPECT_EQ(paris, "2019/07/25 05:30:00 120");
    EXPECT_TRUE(IsKnownTimeZone("") && IsKnownTimeZone("Europe/Paris"));
    EXPECT_FALSE(IsKnownTimeZone("Mars/Olympus") || IsKnownTimeZone("Europe/"));
    // The database's links and old names are zones too.
    EXPECT_TRUE(IsKnownTimeZone("CET") && IsKnownTimeZone("Etc/UTC"));
    EXPECT_EQ(local("CET"), "2019/07/25 05:30:00 120");
}

}  // namespace
}  // namespace ravlen
