#pragma once
// The durable record of intent: each file's planned placement is written down
// before the file is touched and struck out once the file's log record is
// written, so that a run that was killed leaves a list of exactly the files
// it may have left half-placed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_system.h"
#include "model/file_time.h"

namespace ravlen {

// The hidden names a run's copies are written under before they get their
// final names: this prefix, the run's process number, "-", a counter.
inline constexpr std::string_view kPartialCopyPrefix = ".ravlen-partial-";
// The hidden folder a device's files are downloaded into before their copies
// are made: this prefix, the run's process number, "-", a unique part.
inline constexpr std::string_view kDeviceScratchPrefix = ".ravlen-device-";

// A name a run gives what it writes before it is a finished copy: never a
// copy that holds a file.
inline bool IsWorkingName(std::string_view name) {
    return name.starts_with(kPartialCopyPrefix) || name.starts_with(kDeviceScratchPrefix);
}

struct PlannedPlacement {
    std::int64_t Id = 0;
    std::string Source;  // the file's path when it was listed
    std::string Target;  // the path it is being moved or copied to
    // The source may go once the file is placed (Move, Copy when unable to
    // move); a plain copy never removes it.
    bool Moves = true;
    // The copy is written under its final name from its first byte (a file
    // system that refuses unnamed files, no-replace renames and links): until
    // the plan is struck out, a file at Target beside an intact source is the
    // run's unfinished copy, whatever bytes a power cut left in it.
    bool FinalNameCopy = false;
    // The process of the run that wrote the plan (its temporaries carry it);
    // filled in by the record.
    std::int64_t Process = 0;
    // The source's modified time before the run sets the placed file's
    // (SetFileTime), to the nanosecond: a file put back gets it again.
    std::optional<FileTime> OriginalModifiedTime = std::nullopt;
    // An undo's plan: Source is the file in the output folder and Target its
    // original place. Until the copy back is complete the file at Source is
    // the original; once it is, the undo of that file is finished.
    bool Undoes = false;
    // The CSV log the run records its placed files in ("" for none): a file
    // it records there was placed in full. Filled in by the record.
    std::string Log{};
    // A backup copy's plan (never moving its source): the target of the
    // file's placement in the output folder, whose log row says whether this
    // copy was finished too. Planned after that placement, so settled after it.
    std::string BackupOf{};
};

class IntentRecord {
public:
    virtual ~IntentRecord() = default;
    // Writes the plan down, kept through a kill of the program or a power
    // cut, and sets its Id. A failure means the file must not be placed.
    virtual FsStatus Plan(PlannedPlacement& plan) = 0;
    // The file is placed and logged, or was left where it was.
    virtual void Done(std::int64_t id) = 0;
    // The file is moved and recorded in the run's CSV log, or in no log at
    // all: after a kill, recovery keeps it as logged, or puts it back as a
    // move nothing recorded, so its plan may be struck out later (with the
    // next plan written, or at Settle) at no cost to any original.
    virtual void DoneLater(std::int64_t id) { Done(id); }
    // Strikes out every plan DoneLater left; the pass's end.
    virtual void Settle() {}
    // The plans of a batch of files, written down together: all of them, or
    // (on failure) none. `durable`: kept through a power cut as well, before
    // this returns (copies, whose sources go once they are named).
    virtual FsStatus PlanAll(std::vector<PlannedPlacement>& plans, bool durable) {
        (void)durable;
        for (PlannedPlacement& plan : plans)
            if (FsStatus status = Plan(plan); !status) return status;
        return FsStatus::Ok();
    }
    virtual void DoneAll(const std::vector<std::int64_t>& ids) {
        for (const std::int64_t id : ids) Done(id);
    }
    // The CSV log this run's files are recorded in from now on, kept with
    // each plan; "" for none.
    virtual void SetRunLog(const std::string& csvPath) { (void)csvPath; }
    // The plans of runs that ended without striking them out (never those of
    // a run still going on elsewhere).
    virtual std::vector<PlannedPlacement> Abandoned() = 0;
};

}  // namespace ravlen
