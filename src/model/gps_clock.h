#pragma once
// A photo's clock against the GPS time it also stores: the zone its clock was
// set to and the clock's own error.

#include <cstdint>
#include <optional>

#include "model/file_facts.h"

namespace ravlen {

// A photo's zone in minutes east of UTC: its OffsetTimeOriginal, else its
// clock against its GPS time rounded to the quarter hour (within 14 hours).
std::optional<std::int32_t> PhotoZoneMinutes(const FileFacts& photo);

// The camera clock's error against GPS in seconds (the difference that is
// not the zone's): positive when the clock runs ahead. Nothing without both;
// a movie counts when its date is the camera's clock.
std::optional<std::int64_t> ClockErrorSeconds(const FileFacts& photo);

}  // namespace ravlen
