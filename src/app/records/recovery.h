#pragma once
// What the next run does about a run that was killed half-way: each file it
// had planned to place is put back where it was listed, so that it exists
// exactly once, whole, and the run can simply be started again.

#include <string>

#include "model/file_system.h"
#include "model/intent_record.h"

namespace ravlen {

// Rolls back every abandoned plan and strikes it out. The message that says
// so, or "" when no run was left unfinished.
std::string RecoverAbandonedPlacements(IntentRecord& record, FileSystem& fs);

// Removes the hidden temporaries that runs no longer going on left in a folder
// (copies staged before their plans were written); the count.
int RemoveLeftoverCopies(FileSystem& fs, const std::string& folder);

}  // namespace ravlen
