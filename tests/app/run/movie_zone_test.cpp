#include "app/run/movie_zone.h"
#include "app/run/zone_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
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

std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
std::string Varint(std::uint64_t v) {
    std::string s;
    for (; v >= 0x80; v >>= 7) s += static_cast<char>((v & 0x7F) | 0x80);
    return s + static_cast<char>(v);
}
std::string Step(std::int64_t v) { return Varint(v < 0 ? static_cast<std::uint64_t>(-2 * v - 1) : static_cast<std::uint64_t>(2 * v)); }
// One zone, "Z", on the square from 10 to 20 degrees north and east.
std::string SquareTile() {
    return Varint(1) + Varint(0) + Varint(1) + Varint(4) + Step(100000) + Step(100000) + Step(100000) + Step(0) +
           Step(0) + Step(100000) + Step(-100000) + Step(0);
}
// The north-east quarter of the globe is the tile, the rest sea.
std::string SmallMap(const std::string& tile) {
    return "RVZMAP01" + Le32(1) + Le32(5) + Le32(static_cast<std::uint32_t>(tile.size())) + "\x01Z" + Le32(1) +
           Le32(3u << 30) + Le32(2u << 30) + Le32(2u << 30) + Le32(2u << 30) + tile;
}

// The built-in boundaries answer as the dataset they come from (geo-tz's find
// gave these): cities, points about 270 m either side of a border, both sides
// of the date line, the sea by its nautical zone.
TEST(ZoneMap, ZonesAtPoints) {
    const ZoneMap& map = ZoneMap::Builtin();
    ASSERT_TRUE(map.Valid());
    for (const auto& [lat, lon, zone] : {std::tuple{35.6586, 139.7454, "Asia/Tokyo"},
                                         {-33.8688, 151.2093, "Australia/Sydney"},
                                         {27.9881, 86.9250, "Asia/Kathmandu"},
                                         {51.5007, -0.1246, "Europe/London"},
                                         {38.88, -7.0308, "Europe/Madrid"},
                                         {38.88, -7.0368, "Europe/Lisbon"},
                                         {31.0, -85.0047, "America/Chicago"},
                                         {31.0, -84.9987, "America/New_York"},
                                         {32.5149, -117.0382, "America/Tijuana"},
                                         {32.5556, -117.0470, "America/Los_Angeles"},
                                         {-13.8333, -171.7667, "Pacific/Apia"},
                                         {-14.2794, -170.7009, "Pacific/Pago_Pago"},
                                         {0.0, -30.0, "Etc/GMT+2"},
                                         {30.0, 170.0, "Etc/GMT-11"},
                                         {-60.0, 180.0, "Etc/GMT-12"}})
        EXPECT_EQ(map.ZoneAt(lat, lon), zone) << lat << "," << lon;
    EXPECT_EQ(map.ZoneAt(90.5, 0), "");
    EXPECT_EQ(map.ZoneAt(0, std::nan("")), "");
    // A damaged map knows no land, and never reads past its bytes.
    const std::string square = SquareTile();
    EXPECT_EQ(ZoneMap(SmallMap(square)).ZoneAt(15, 15), "Z");
    EXPECT_EQ(ZoneMap(SmallMap(square)).ZoneAt(5, 5), "Etc/GMT");  // in the tile's square, outside the polygon
    EXPECT_EQ(ZoneMap(SmallMap(square)).ZoneAt(-15, -15), "Etc/GMT+1");
    for (std::size_t cut = 0; cut < square.size(); ++cut)
        EXPECT_EQ(ZoneMap(SmallMap(square.substr(0, cut))).ZoneAt(15, 15), "Etc/GMT-1") << cut;
    const std::string whole = SmallMap(square);
    for (std::size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_FALSE(ZoneMap(whole.substr(0, cut)).Valid()) << cut;
}

// A UTC-only movie takes its position's zone and its offset that day.
TEST(MovieZone, PositionZonesAtTheMoment) {
    const auto zones = PositionZones();
    const auto summer = zones(38.88, -7.0368, DateTime::FromFields(2023, 7, 1, 12, 0, 0)->CivilSeconds());
    const auto winter = zones(38.88, -7.0308, DateTime::FromFields(2023, 1, 1, 12, 0, 0)->CivilSeconds());
    ASSERT_TRUE(summer && winter);
    EXPECT_EQ(std::tuple(summer->Name, summer->OffsetSeconds), std::tuple("Europe/Lisbon", 3600));
    EXPECT_EQ(std::tuple(winter->Name, winter->OffsetSeconds), std::tuple("Europe/Madrid", 3600));
    EXPECT_EQ(zones(30.0, 170.0, 0)->OffsetSeconds, 11 * 3600);
}

}  // namespace
}  // namespace ravlen
