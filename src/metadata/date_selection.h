#pragma once
// The choice of the date/time that names a file.

#include "metadata/reader_context.h"
#include "model/file_facts.h"
#include "model/run_options.h"
#include "model/run_plan.h"
#include "model/run_tally.h"

namespace ravlen {

// Sets Timestamped, TimestampDateTime and TimestampHasTime from the dates in
// facts and the date options; counts NumberOfInvalidDateFiles. Does nothing
// for a file whose Timestamped is already false. A file skipped for want of
// its date is noted through `report`.
// `plan` holds the options' texts parsed (the walk's, made once per pass);
// without it they are parsed for the file.
void ChooseTimestamp(FileFacts& facts, const RunOptions& options, const RunPlan& plan, RunTally& tally,
                     const ProblemSink& report);
void ChooseTimestamp(FileFacts& facts, const RunOptions& options, RunTally& tally, const ProblemSink& report);

}  // namespace ravlen
