#pragma once
// A run's text options as the run uses them: parsed once when the run
// starts, read for every file. The texts were checked before (see
// app/run/run_plan.h); one that does not parse counts as none.

#include <vector>

#include "model/camera_clock.h"
#include "model/run_options.h"
#include "model/time_shift.h"

namespace ravlen {

struct RunPlan {
    TimeShift Shift;                          // TimeShift
    std::vector<CameraOffset> CameraOffsets;  // CameraOffsets
};

inline RunPlan PlanOf(const RunOptions& options) {
    return {TimeShift::Parse(options.TimeShift).value_or(TimeShift{}), KeptCameraOffsets(options.CameraOffsets)};
}

}  // namespace ravlen
