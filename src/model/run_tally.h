#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace ravlen {

// Why the filters passed over a file, in the order they are tested: the first
// reason that holds is the file's.
enum class Exclusion : int { None = 0, NotIncluded, ExcludePattern, ReadOnly, Hidden, System };
inline constexpr std::size_t kExclusionKinds = 6;

// Files the filters passed over, by reason (the None slot stays 0).
struct ExclusionCounts {
    std::array<std::int32_t, kExclusionKinds> counts{};
    void Add(Exclusion reason) {
        if (reason != Exclusion::None) ++counts[static_cast<std::size_t>(reason)];
    }
    std::int32_t operator[](Exclusion reason) const { return counts[static_cast<std::size_t>(reason)]; }
};

// The counters of one pass, owned by the run driver and shared by every level
// of the folder walk.
struct RunTally {
    std::int32_t SourceObjectNumber = 0;
    std::int32_t NumberOfSourceObjects = 0;
    std::int32_t NumberOfInvalidDCFFiles = 0;
    std::int32_t NumberOfInvalidEXIFFiles = 0;
    std::int32_t NumberOfInvalidDateFiles = 0;
    std::int32_t NumberOfLockedFiles = 0;
    // Files the count passed over, so that nothing stays behind unmentioned;
    // set with NumberOfSourceObjects and kept through both passes.
    ExclusionCounts Excluded;
    std::int32_t NumberOfAlreadyImported = 0;  // identical bytes already in the output folder: not placed
    std::int32_t NumberOfTimesNotSet = 0;      // placed, but SetFileTime could not set the modified time
    // The bytes of the counted files, set with NumberOfSourceObjects.
    std::int64_t SourceBytes = 0;
    // The bytes of the files a preview would place.
    std::int64_t BytesToPlace = 0;
    // The bytes of the files the pass is done with.
    std::int64_t BytesDone = 0;
    std::int32_t NumberOfNotSelected = 0;  // left where they are: the user did not choose them
    std::int32_t NumberWithoutBackup = 0;  // placed, but missing from a backup folder: left at the source too

    // Everything but NumberOfSourceObjects back to 0, as at the start of a pass.
    void ResetPass() {
        SourceObjectNumber = NumberOfInvalidDCFFiles = NumberOfInvalidEXIFFiles = 0;
        NumberOfInvalidDateFiles = NumberOfLockedFiles = NumberOfAlreadyImported = NumberOfTimesNotSet = 0;
        BytesToPlace = BytesDone = 0;
        NumberOfNotSelected = NumberWithoutBackup = 0;
    }
};

}  // namespace ravlen
