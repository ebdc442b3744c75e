#pragma once
// A time zone as the engine needs it: the offset from UTC at a moment. The
// zone database lives outside the engine; this is how it reaches it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "model/file_facts.h"

namespace ravlen {

// Seconds east of UTC in the zone at the moment `utcSeconds` (since 1970).
using ZoneOffsetAt = std::function<std::int32_t(std::int64_t utcSeconds)>;

// The zone in force at a position at a UTC moment: its name and its offset.
struct PositionZone {
    std::string Name;
    std::int32_t OffsetSeconds = 0;
};
// Nothing where no zone is known for the position.
using ZoneAtPosition =
    std::function<std::optional<PositionZone>(double latitude, double longitude, std::int64_t utcSeconds)>;

// A movie date that the file gives only in UTC becomes the zone's local time,
// with its offset; other dates keep the local time they state. Without a
// zone the UTC date stays, marked +00:00.
inline void LocalizeMovieDate(FileFacts& facts, const ZoneOffsetAt& zone) {
    if (!facts.MovieDateIsUTC || !facts.MovieDate || !zone) return;
    const std::int32_t offset = zone(facts.MovieDate->CivilSeconds());
    facts.MovieDate = facts.MovieDate->PlusSeconds(offset);
    facts.MovieUTCOffset = offset / 60;
}

}  // namespace ravlen
