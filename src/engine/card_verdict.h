#pragma once
// Whether a card may be formatted: every regular file on the source held, as
// identical bytes, in the output folder and in every backup folder. Sizes are
// compared first; only a file of a size some destination holds is hashed,
// each file at most once, and the hash is kept in the record of imports for
// as long as the file's identity, size and modified time stay. A camera's
// or phone's file is read only by downloading it whole: its hash is kept
// under its name on the device (FileSource::ListingKey), and a file the
// record saw placed with its name, size and time is taken as held without
// a download, said apart as not proven by its bytes.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/filters.h"
#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/import_record.h"
#include "model/run_options.h"

namespace ravlen {

// Why a file on the card is not safely held; each blocks the verdict.
enum class UnsafeReason : std::uint8_t {
    Filtered,         // a filter passed it over (hidden, read-only, system, include patterns, a subfolder not walked)
    NonDcfName,       // skipped for a name that is not a camera's
    UnsupportedKind,  // skipped for lack of metadata the program reads
    NoDate,           // skipped for lack of a valid date
    Failed,           // its move or copy failed
    NotSelected,      // left out of a selection of files to import
    NoBackup,         // in the output folder, but not in a backup folder
    NotInOutput,      // no identical copy in the output folder (never imported, or the copy is gone or changed)
};

// The reason's words as the verdict lists them: "excluded by a filter", "non-DCF name"...
const char* UnsafeReasonText(UnsafeReason reason);

// Why a run left a file unplaced, from its final record; NotInOutput when the
// run placed it or found it already imported.
UnsafeReason UnplacedReason(const FileFacts& facts, const RunOptions& options);

struct UnsafeFile {
    std::string Path;  // full path on the card
    UnsafeReason Reason = UnsafeReason::NotInOutput;
    std::string Detail;  // which filter, which backup folder; may be empty
};

struct CardVerdict {
    std::string Source, Output;
    std::vector<std::string> Backups;
    std::int64_t Checked = 0;               // files on the card that count
    std::vector<UnsafeFile> Unsafe;         // in the card's order
    std::vector<std::string> LeftByPattern;  // files the exclude patterns leave: listed apart, not blocking
    // A device's files taken as held in the output folder because the run
    // just ended, or the record of imports, placed them there (name, size and
    // time on the device), their bytes not compared.
    std::vector<std::string> Unproven;
    bool Stopped = false;                   // the check was stopped before every file was seen
    bool Safe() const { return Unsafe.empty() && !Stopped; }
};

struct CardCheckRequest {
    std::string Source, Output;
    std::vector<std::string> Backups;
    // Which files the run would take; every folder is seen all the same, and
    // a file below a subfolder the run does not walk is said to be filtered.
    FileFilter Filter;
    bool DcfNamesOnly = false;  // DCFMode ValidOnly: a file not placed with another name is said to be that
    // Why the run just ended left each file unplaced, by source path.
    std::unordered_map<std::string, UnsafeReason> RunReasons;
    // Where the run just ended placed each file of a device (or found it
    // already imported), by source path: taken as held there while a file
    // of its size stands, without downloading it again.
    std::unordered_map<std::string, std::string> RunPlaced;
    std::function<bool()> stopped;  // asked between files; may be null
    std::function<void()> pump;     // runs between pieces of a hash; may be null
};

// `card` is the run's source (the computer's file systems, or a device);
// `fs` holds the output and backup folders. `record` may be null: then every
// candidate is hashed afresh and nothing is kept.
CardVerdict CheckCard(FileSource& card, FileSystem& fs, ImportRecord* record, const CardCheckRequest& request);

// The verdict as the user reads it: its sentence, then the files not safe
// and why (at most `listed` of them, then how many more), then those the
// exclude patterns leave. Lines joined by CR LF.
std::string VerdictText(const CardVerdict& verdict, std::size_t listed = SIZE_MAX);

}  // namespace ravlen
