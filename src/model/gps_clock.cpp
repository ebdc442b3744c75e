#include "model/gps_clock.h"

#include <cstdlib>

namespace ravlen {
namespace {

constexpr std::int64_t kMaxZoneSeconds = 14 * 3600;
constexpr std::int64_t kQuarterHour = 15 * 60;

// The camera's own clock time: when the photo was taken, else digitized; a
// movie's date when its header holds the camera's clock (a GoPro's, beside
// the GPS time of its metadata track), not a UTC instant.
std::optional<DateTime> ClockTime(const FileFacts& photo) {
    if (photo.MovieMetadata) return photo.MovieDateIsUTC ? std::nullopt : photo.MovieDate;
    return photo.EXIFDateOriginal ? photo.EXIFDateOriginal : photo.EXIFDateDigitized;
}

// The clock's lead over GPS time, in seconds.
std::optional<std::int64_t> LeadOverGps(const FileFacts& photo) {
    const auto clock = ClockTime(photo);
    if (!clock || !photo.GPSDateTime) return std::nullopt;
    return clock->CivilSeconds() - photo.GPSDateTime->CivilSeconds();
}

// The lead rounded to the nearest quarter hour, when that is a zone's offset.
std::optional<std::int64_t> QuarterHours(std::int64_t lead) {
    const std::int64_t half = lead >= 0 ? kQuarterHour / 2 : -kQuarterHour / 2;
    const std::int64_t rounded = (lead + half) / kQuarterHour * kQuarterHour;
    if (std::llabs(rounded) > kMaxZoneSeconds) return std::nullopt;
    return rounded;
}

}  // namespace

std::optional<std::int32_t> PhotoZoneMinutes(const FileFacts& photo) {
    if (photo.EXIFOffsetOriginal) return photo.EXIFOffsetOriginal;
    const auto lead = LeadOverGps(photo);
    const auto zone = lead ? QuarterHours(*lead) : std::nullopt;
    if (!zone) return std::nullopt;
    return static_cast<std::int32_t>(*zone / 60);
}

std::optional<std::int64_t> ClockErrorSeconds(const FileFacts& photo) {
    const auto lead = LeadOverGps(photo);
    if (!lead) return std::nullopt;
    // The stated zone when there is one: a clock 20 minutes off still shows
    // which zone it was set to.
    const auto zone = photo.EXIFOffsetOriginal ? std::optional<std::int64_t>(*photo.EXIFOffsetOriginal * 60LL)
                                               : QuarterHours(*lead);
    if (!zone) return std::nullopt;
    return *lead - *zone;
}

}  // namespace ravlen
