#pragma once
// The texts in which files state a zone offset and a position: EXIF's
// "+09:00" and ISO 6709's "+35.6895+139.6917+040.000/".

#include <cstdint>
#include <optional>
#include <string_view>

namespace ravlen {

// "+hh:mm" or "-hh:mm" (up to its first zero byte; blanks around it
// ignored) as minutes east of UTC; nothing for any other text or an offset
// beyond 14 hours.
std::optional<std::int32_t> ParseOffsetText(std::string_view text);

struct GeoPoint {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
};

// A point that lies on the globe: latitude within ±90, longitude within ±180.
bool OnGlobe(const GeoPoint& p);

// An ISO 6709 point: latitude then longitude, each a sign and degrees with
// decimals (±DD.DD, ±DDD.DD), degrees and minutes (±DDMM.MM, ±DDDMM.MM) or
// with seconds (±DDMMSS.SS, ±DDDMMSS.SS), decimal degrees also without their
// leading zeros (±D.DD, as phones write them); an altitude and "/" or a CRS may
// follow. Nothing for a text that does not begin so or a point off the globe.
std::optional<GeoPoint> ParseIso6709(std::string_view text);

}  // namespace ravlen
