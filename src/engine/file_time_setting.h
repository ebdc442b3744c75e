#pragma once
// SetFileTime: a placed file's modified time becomes its recording time.
// The old time goes into the file's log record first, so that the undo can
// put it back exactly.

#include <optional>
#include <string>

#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/log_sink.h"
#include "model/report.h"
#include "model/run_options.h"
#include "model/run_tally.h"

namespace ravlen {

// The time a file's plan keeps for putting it back (SetFileTime): the
// source's modified time, which its move or copy carries to the placed file.
std::optional<FileTime> TimeToKeep(FileSource& source, const RunOptions& options, const std::string& path);

// Writes the file's log record (FinishTime set now). With SetFileTime the
// placed file's modified time as it stands goes into the record and the
// file's time is set to its (corrected) recording time, read as this
// computer's local time. When the file's plan keeps its old time
// (`planKeepsTime`: a kill before the record is written puts it back), the
// time is set first, so that a failure is noted in the file's record and
// counted for the summary; otherwise only once the record holds the old time.
void WriteRecordSettingTime(FileRecordSink& sink, FileSystem& fs, const RunOptions& options, FileFacts& facts,
                            const ProblemReporter& report, RunTally& tally, bool planKeepsTime);

}  // namespace ravlen
