#include "engine/camera_zones.h"

#include <gtest/gtest.h>

namespace ravlen {
namespace {

DateTime At(int y, int mo, int d, int h, int mi, int s = 0) { return *DateTime::FromFields(y, mo, d, h, mi, s); }

FileFacts Photo(const std::string& serial, const DateTime& clock, std::optional<std::int32_t> offset,
                std::optional<DateTime> gps = std::nullopt) {
    FileFacts f;
    f.CameraMake = "Canon", f.CameraModel = "EOS R5", f.CameraSerial = serial;
    f.EXIFDateOriginal = clock, f.EXIFOffsetOriginal = offset, f.GPSDateTime = gps;
    return f;
}
FileFacts Movie(const DateTime& utc, const std::string& serial = "", const std::string& make = "CANON") {
    FileFacts f;
    f.MovieMetadata = true, f.MovieDate = utc, f.MovieUTCOffset = 0, f.MovieDateIsUTC = true;
    f.CameraMake = make, f.CameraModel = "EOS R5", f.CameraSerial = serial;
    return f;
}

// A trip across the date line and across a border in one day: each movie
// takes the zone of its body's photo whose day it falls on, the nearest
// winning; another body of the same make and model leaves a movie without a
// serial unanswered.
TEST(CameraZones, MoviesTakeTheirBodysZone) {
    CameraZones zones;
    zones.Learn(Photo("111", At(2023, 3, 12, 10, 0), 540));                                 // Tokyo
    zones.Learn(Photo("111", At(2023, 3, 12, 9, 0), -600));                                 // Honolulu, the same date
    zones.Learn(Photo("111", At(2023, 1, 10, 9, 0), 0));                                    // Lisbon
    zones.Learn(Photo("111", At(2023, 1, 10, 18, 0), std::nullopt, At(2023, 1, 10, 17, 0)));  // Madrid, by GPS
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 3, 12, 1, 30))), 540);
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 3, 12, 20, 0))), -600);
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 1, 10, 16, 30))), 60);
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 1, 10, 9, 30))), 0);
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 5, 1, 12, 0))), std::nullopt);  // no photo that day
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 3, 12, 1, 30), "", "Nikon")), std::nullopt);
    zones.Learn(Photo("222", At(2023, 3, 12, 11, 0), 60));
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 3, 12, 1, 30))), std::nullopt);
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 3, 12, 1, 30), "111")), 540);
    EXPECT_EQ(zones.MinutesFor(Movie(At(2023, 3, 12, 10, 30), "222")), 60);
}

// The order of the rules, and what the log says of each.
TEST(CameraZones, MovieZoneRules) {
    CameraZones zones;
    zones.Learn(Photo("111", At(2023, 3, 12, 10, 0), 540));
    const ZoneAtPosition tokyo = [](double, double, std::int64_t) {
        return std::optional<PositionZone>(PositionZone{"Asia/Tokyo", 9 * 3600});
    };
    const ZoneOffsetAt paris = [](std::int64_t) { return 3600; };
    const auto named = [&](FileFacts f, const MovieZoneRules& rules) {
        ChooseMovieZone(f, rules);
        return f.MovieDate->FormatFull() + " " + (f.MovieUTCOffset ? std::to_string(*f.MovieUTCOffset) : "-") + " " +
               f.MovieZoneSource;
    };
    FileFacts placed = Movie(At(2023, 3, 12, 1, 30), "", "Sony");
    placed.Latitude = 35.6, placed.Longitude = 139.7;
    EXPECT_EQ(named(Movie(At(2023, 3, 12, 1, 30)), {&zones, tokyo, paris, ""}),
              "2023/03/12 10:30:00 540 Same camera's photos: +09:00");
    EXPECT_EQ(named(placed, {&zones, tokyo, paris, ""}), "2023/03/12 10:30:00 540 Position: Asia/Tokyo");
    EXPECT_EQ(named(placed, {&zones, nullptr, paris, "Europe/Paris"}),
              "2023/03/12 02:30:00 60 MovieTimeZone: Europe/Paris");
    EXPECT_EQ(named(Movie(At(2023, 3, 12, 1, 30), "", "Sony"), {&zones, tokyo, paris, ""}),
              "2023/03/12 02:30:00 60 This computer's zone");
    EXPECT_EQ(named(Movie(At(2023, 3, 12, 1, 30), "", "Sony"), {}), "2023/03/12 01:30:00 0 ");
    FileFacts stated = Movie(At(2023, 3, 12, 10, 30));
    stated.MovieDateIsUTC = false, stated.MovieUTCOffset = 540;
    EXPECT_EQ(named(stated, {&zones, tokyo, paris, ""}), "2023/03/12 10:30:00 540 File");
}

}  // namespace
}  // namespace ravlen
