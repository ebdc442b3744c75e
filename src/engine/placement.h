#pragma once
// Placing a timestamped file: a name that is free in the output folder and
// not yet produced in this run, then the move or copy.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/chronology_list.h"
#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/intent_record.h"
#include "model/report.h"
#include "model/run_options.h"
#include "model/run_tally.h"

namespace ravlen {

// The longest file name, in bytes, that Linux file systems take.
inline constexpr std::size_t kMaxFilenameBytes = 255;

// Tries of the serial-number loop for one file before it settles for the last
// name built (a guard, far above any real burst of one second).
inline constexpr std::int32_t kMaxSerialTries = 100000;

// Why a built name cannot be used as a file name in the output folder ("" when
// it can): empty, "." or "..", a "/" or NUL in it, or too long.
std::string UnusableFilenameReason(std::string_view name);

// The new name of the file for a serial number (0: no serial part).
using NameBuilder = std::function<std::string(std::int32_t serialNumber)>;

struct PlacementContext {
    FileSystem& fs;
    const RunOptions& options;
    ChronologyList& chronology;
    const ProblemReporter& report;
    IntentRecord* intents = nullptr;  // where each placement is planned first, when the run keeps a record
    std::int64_t planned = 0;         // the plan of the file just placed, 0 for none
};

// The serial-number loop, the run's list of produced names and the move or
// copy into outputFolderPath. A preview touches nothing on disk but fails
// where the run would: on an unusable name, or one taken on disk or by an
// earlier file of the pass. Sets SequenceNumber, OutputFileName, OutputFolder
// and Operation; on failure clears Timestamped, reports the problem and
// counts the file in NumberOfLockedFiles.
void PlaceFile(PlacementContext& context, FileFacts& facts, const std::string& outputFolderPath,
               bool PerformActions, RunTally& tally, const NameBuilder& buildName);

}  // namespace ravlen
