#pragma once
#include <cstdint>

namespace ravlen {

// The counters of one pass, owned by the run driver and shared by every level
// of the folder walk.
struct RunTally {
    std::int32_t SourceObjectNumber = 0;
    std::int32_t NumberOfSourceObjects = 0;
    std::int32_t NumberOfInvalidDCFFiles = 0;
    std::int32_t NumberOfInvalidEXIFFiles = 0;
    std::int32_t NumberOfInvalidDateFiles = 0;
    std::int32_t NumberOfLockedFiles = 0;

    // Everything but NumberOfSourceObjects back to 0, as at the start of a pass.
    void ResetPass() {
        SourceObjectNumber = NumberOfInvalidDCFFiles = NumberOfInvalidEXIFFiles = 0;
        NumberOfInvalidDateFiles = NumberOfLockedFiles = 0;
    }
};

}  // namespace ravlen
