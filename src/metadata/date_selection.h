#pragma once
// The choice of the date/time that names a file.

#include "metadata/reader_context.h"
#include "model/file_facts.h"
#include "model/run_options.h"
#include "model/run_tally.h"

namespace ravlen {

// Sets Timestamped, TimestampDateTime and TimestampHasTime from the dates in
// facts and the date options; counts NumberOfInvalidDateFiles. Does nothing
// for a file whose Timestamped is already false. A file skipped for want of
// its date is noted through `report`.
void ChooseTimestamp(FileFacts& facts, const RunOptions& options, RunTally& tally, const ProblemSink& report);

}  // namespace ravlen
