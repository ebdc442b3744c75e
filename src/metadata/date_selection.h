#pragma once
// The choice of the date/time that names a file.

#include "model/file_facts.h"
#include "model/run_options.h"
#include "model/run_tally.h"
#include "model/user_port.h"

namespace ravlen {

// Sets Timestamped, TimestampDateTime and TimestampHasTime from the dates in
// facts and the date options; counts NumberOfInvalidDateFiles. Does nothing
// for a file whose Timestamped is already false.
void ChooseTimestamp(FileFacts& facts, const RunOptions& options, RunTally& tally, UserPort& port);

}  // namespace ravlen
