#pragma once
// Placing a timestamped file: a name that is free in the output folder and
// not yet produced in this run, then the move or copy.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/already_imported.h"
#include "engine/chronology_list.h"
#include "engine/folder_listings.h"
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

class PlacementBatch;

struct PlacementContext {
    FileSystem& fs;
    const RunOptions& options;
    ChronologyList& chronology;
    const ProblemReporter& report;
    IntentRecord* intents = nullptr;  // where each placement is planned first, when the run keeps a record
    std::int64_t planned = 0;         // the plan of the file just placed, 0 for none
    PlacementBatch* batch = nullptr;  // where copies and moves wait to be planned and made together, if anywhere
    std::string folderProblem{};      // why the output folder cannot take the file; "" when it can
    ImportCheck* imports = nullptr;   // when files already imported are skipped
    EmptyFolders* emptyFolders = nullptr;  // a preview's: folders where only the pass's own names are taken
    FileSource* source = nullptr;          // where the files come from; none: `fs`
    // The backup folders, each receiving every file under its name below
    // `outputTop`: a name is free only where it is free in all of them too.
    const std::vector<std::string>* backupFolders = nullptr;
    std::string outputTop{};
};

// One file whose name is being chosen, with the way its name is built.
struct NameCandidate {
    FileFacts& facts;
    NameBuilder buildName;
};

// What the serial-number loop learnt of a chosen name, for the move or copy.
struct NameChoice {
    std::string unusable;   // why the name cannot be a file name, "" when it can
    bool seenFree = false;  // the loop found the name free on disk and in the run
    std::string alreadyImported;  // the file already there with this file's bytes, "" for none
};

// The serial-number loop for files placed together under one serial number
// and one key of the run's list (one file alone, or the files of one shot):
// the first serial number whose key is unused and whose names are free for
// every file. The files share the first one's timestamp. Sets each file's
// SequenceNumber, OutputFileName and OutputFolder and appends the key. A file
// whose bytes are already in the output folder (under a taken name the loop
// visits, or where the record of imports says) takes no part in the search.
std::vector<NameChoice> ChooseNames(PlacementContext& context, std::span<NameCandidate> files,
                                    const std::string& outputFolderPath);

// The move or copy of a file into its chosen name. A preview touches nothing
// on disk but fails where the run would: on an unusable name, or one taken on
// disk or by an earlier file of the pass. Sets Operation and context.planned;
// on failure clears Timestamped, reports the problem and counts the file in
// NumberOfLockedFiles.
// A file already imported is only marked so.
void CarryOutPlacement(PlacementContext& context, FileFacts& facts, const NameChoice& choice,
                       bool PerformActions, RunTally& tally);

// A file that could not be moved (`moving`) or copied: no longer timestamped,
// counted in NumberOfLockedFiles and reported with the system's error text.
void FailPlacement(const ProblemReporter& report, FileFacts& facts, RunTally& tally, bool moving,
                   const FsStatus& status);

// Both steps for one file alone.
void PlaceFile(PlacementContext& context, FileFacts& facts, const std::string& outputFolderPath,
               bool PerformActions, RunTally& tally, const NameBuilder& buildName);

}  // namespace ravlen
