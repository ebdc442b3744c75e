#pragma once
// The zone that turns a movie's UTC-only date into the local time that names
// it, from what the run's files say: the movie's own zone, the zone its
// camera's photos were taken in, the zone at its position, then the zone the
// run was given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/filters.h"
#include "metadata/metadata.h"
#include "model/file_facts.h"
#include "model/gps_clock.h"
#include "model/zone_offset.h"

namespace ravlen {

// MovieZoneSource's texts: which zone named a movie.
inline constexpr const char* kZoneFromFile = "File";
inline constexpr const char* kZoneFromCamera = "Same camera's photos";
inline constexpr const char* kZoneFromPosition = "Position";          // followed by ": " and the zone's name
inline constexpr const char* kZoneFromOption = "MovieTimeZone";       // followed by ": " and the zone's name
inline constexpr const char* kZoneFromComputer = "This computer's zone";

// The zones of the run's photos, by camera body.
class CameraZones {
public:
    // Keeps the photo's zone when it has one and names its camera.
    void Learn(const FileFacts& photo);
    // The zone, in minutes, of the body that made the movie (make, model and
    // serial; a movie without a serial takes the one body of its make and
    // model): of its photos, those whose day the movie's UTC time shifted by
    // their zone falls on, the one nearest in time.
    std::optional<std::int32_t> MinutesFor(const FileFacts& movie) const;

    bool surveyed = false;  // every photo below the run's source folder learnt

private:
    struct Photo {
        std::string make, model, serial;
        DateTime local;
        std::int32_t minutes;
    };
    std::vector<Photo> photos_;
};

// Reads the files below `folder` that the filter lets through (movies and
// sounds, by their extensions, passed over) and learns their zones; stops
// when the hooks say so. The run's tally and notes are not touched.
void SurveyCameraZones(FileSource& source, const ReadHooks& hooks, const RunOptions& options, const FileFilter& filter,
                       const std::string& folder, CameraZones& zones);

// What chooses a movie's zone after the file itself.
struct MovieZoneRules {
    const CameraZones* cameras = nullptr;
    ZoneAtPosition position;
    ZoneOffsetAt given;      // MovieTimeZone or this computer's; none leaves UTC
    std::string givenName;   // MovieTimeZone; empty for this computer's zone
};

// A movie that stores only UTC gets its local time and the zone's offset, and
// MovieZoneSource says which rule named it; a movie that states its zone is
// marked as such; any other file is left as it is.
void ChooseMovieZone(FileFacts& facts, const MovieZoneRules& rules);

}  // namespace ravlen
