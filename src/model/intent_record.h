#pragma once
// The durable record of intent: each file's planned placement is written down
// before the file is touched and struck out once the file's log record is
// written, so that a run that was killed leaves a list of exactly the files
// it may have left half-placed.

#include <cstdint>
#include <string>
#include <vector>

#include "model/file_system.h"

namespace ravlen {

struct PlannedPlacement {
    std::int64_t Id = 0;
    std::string Source;  // the file's path when it was listed
    std::string Target;  // the path it is being moved or copied to
};

class IntentRecord {
public:
    virtual ~IntentRecord() = default;
    // Writes the plan down, kept through a kill of the program, and sets its
    // Id. A failure means the file must not be placed.
    virtual FsStatus Plan(PlannedPlacement& plan) = 0;
    // The file is placed and logged, or was left where it was.
    virtual void Done(std::int64_t id) = 0;
    // The plans of a batch of files, written down together: all of them, or
    // (on failure) none.
    virtual FsStatus PlanAll(std::vector<PlannedPlacement>& plans) {
        for (PlannedPlacement& plan : plans)
            if (FsStatus status = Plan(plan); !status) return status;
        return FsStatus::Ok();
    }
    virtual void DoneAll(const std::vector<std::int64_t>& ids) {
        for (const std::int64_t id : ids) Done(id);
    }
    // The plans of runs that ended without striking them out (never those of
    // a run still going on elsewhere).
    virtual std::vector<PlannedPlacement> Abandoned() = 0;
};

}  // namespace ravlen
