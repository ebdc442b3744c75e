#pragma once
// The zone that turns a movie's UTC-only date (its movie header) into the
// local time that names it: MovieTimeZone, or this computer's zone.

#include <string>

#include "model/zone_offset.h"

namespace ravlen {

// Empty (this computer's zone) or a zone name the system's zone database knows.
bool IsKnownTimeZone(const std::string& name);

// The offsets of the named zone (empty: this computer's); of UTC for a name
// the database does not know (the run refuses those before it starts).
ZoneOffsetAt MovieZoneOffsets(const std::string& name);

// The zone at a position, from the zone boundaries built into the program,
// with its offset at the moment from the system's zone database.
ZoneAtPosition PositionZones();

}  // namespace ravlen
