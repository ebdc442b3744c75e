#pragma once
// The processing engine: the walk over the source folder tree.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "engine/camera_zones.h"
#include "engine/chronology_list.h"
#include "engine/filters.h"
#include "engine/folder_listings.h"
#include "metadata/metadata.h"
#include "model/file_choice.h"
#include "model/file_list.h"
#include "model/continuing_numbers.h"
#include "model/file_system.h"
#include "model/import_record.h"
#include "model/intent_record.h"
#include "model/log_sink.h"
#include "model/run_options.h"
#include "model/run_tally.h"
#include "model/user_port.h"
#include "model/zone_offset.h"

namespace ravlen {

// An error the engine does not handle itself; it ends the engine call and
// reaches the run driver's run-failure message.
struct EngineFailure : std::runtime_error {
    EngineFailure(int number, const std::string& description)
        : std::runtime_error(description), Number(number) {}
    int Number;
};

struct EngineContext {
    FileSystem& fs;
    UserPort& port;
    const RunOptions& options;
    ChronologyList& chronology;
    FileRecordSink* sink = nullptr;  // the logs; only used when PerformActions is true
    IntentRecord* intents = nullptr;  // each placement planned first; only used when PerformActions is true
    FileList* list = nullptr;         // a preview's rows; the files the filters pass over in both passes
    ImportRecord* imports = nullptr;  // earlier imports; only written when PerformActions is true
    ZoneOffsetAt movieZone = {};  // turns a movie's UTC-only date into local time; none leaves it in UTC
    // Each camera's names (a serial number too) read wherever they lie, as a
    // run with camera offsets reads them: a survey of cameras names them so.
    bool cameraNames = false;
    // The count walk's listings, when the pass follows it at once: each folder's taken once.
    FolderListings* listings = nullptr;
    // The files a batch of copies and moves commits at; 0 for the usual size.
    std::size_t batchFiles = 0;
    // Where the files come from; none: the folder is one of `fs`'s own.
    FileSource* source = nullptr;
    // The files the user chose; none: every file the filters let through.
    const FileChoice* choice = nullptr;
    // The zone at a movie's position; none looks no position up.
    ZoneAtPosition zoneAt = {};
    // The zones of the run's photos, kept from one pass to the next; the
    // pass keeps its own when none is lent.
    CameraZones* cameraZones = nullptr;
    // The numbers that continue between imports (%q): taken in a processing
    // pass, foreseen in a preview; none numbers a preview from 1.
    ContinuingNumbers* numbers = nullptr;
};

// How many files ahead of the one in hand the walk starts first reads: enough
// to keep a card's queue of requests full, each costing the page cache one
// first read.
inline constexpr std::size_t kReadAheadFiles = 32;

void RenameFiles(EngineContext& context, const FolderRef& SourceFolder, const FolderRef& OutputFolder,
                 bool PerformActions, RunTally& tally);

// The metadata readers' hooks over a user port: its events pumped between
// reads, notes shown in a message box when errors are reported.
ReadHooks PortReadHooks(UserPort& port, bool reportErrors);

// The files below a folder that the filter lets through, as the walk meets
// them; with stopAfterFirst, 1 as soon as there is one. `excluded`, when
// given, gains the files passed over in the folders walked; `keep`, when
// given, the listings made, for the pass that follows; `bytes`, when given,
// gains the sizes of the files counted.
std::int32_t CountFiles(FileSource& fs, const std::string& FolderPath, const FileFilter& filter,
                        bool stopAfterFirst, ExclusionCounts* excluded = nullptr, FolderListings* keep = nullptr,
                        std::int64_t* bytes = nullptr);

}  // namespace ravlen
