#pragma once
// GoPro's GPMF metadata: the movie track whose sample entry is 'gpmd', and
// the GPS time (GPSU) its first sample states.

#include <cstdint>
#include <optional>

#include "metadata/read_view.h"
#include "metadata/reader_context.h"
#include "model/date_time.h"

namespace ravlen {

// The most of a GPMF track's box read for its sample tables, and of its
// first sample (a second of metadata: the GPS time comes near its start).
inline constexpr std::int64_t kMaxGpmfTrack = 256 * 1024;
inline constexpr std::int64_t kMaxGpmfSample = 64 * 1024;

// Whether a track box's payload (its first bytes are enough: the handler and
// the sample description come before the sample tables) is a GPMF track.
bool IsGpmfTrack(const ByteSpan& trak);

// Where the track's first sample lies in the file: its first chunk's offset
// and the first sample's size; nothing for tables that do not say.
struct GpmfSample {
    std::uint64_t offset = 0, length = 0;
};
std::optional<GpmfSample> FirstGpmfSample(const ByteSpan& trak);

// The UTC date and time of the first GPSU ("yymmddhhmmss.sss") in a GPMF
// sample, whose nested streams are walked within the file's allowance.
std::optional<DateTime> GpmfGpsTime(const ByteSpan& sample, ReaderContext& ctx);

}  // namespace ravlen
