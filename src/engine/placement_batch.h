#pragma once
// Copies made durable as a batch: instead of a flush per file, the batch's
// copies are written unnamed (or under hidden temporary names), the output
// file system is flushed once, the copies get their final names, it is
// flushed again, and only then do the sources of moves go. Moves within one
// file system wait for the commit too, so that the batch's plans are written
// down in one transaction of the record instead of one per file. The files'
// log records are written at the commit, in the files' order, so the logs
// read as those of a run that placed one file at a time.
//
// With backup folders, every file gets a copy in each of them as well, under
// its name below the output folder, staged, flushed and named with the
// batch's other copies. A file is placed only once all its copies are named
// and on the disk: only then does its source go, or a move within one file
// system rename it into the output folder. A copy for the output folder that
// fails takes the file's other copies back with it, and the file stays at its
// source. A backup copy that fails (a backup disk full or gone) leaves the
// file placed in the output folder but kept at its source too, even with
// Move: a same-disk move is then a copy, and no source is given up.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/import_record.h"
#include "model/intent_record.h"
#include "model/log_sink.h"
#include "model/report.h"
#include "model/run_options.h"
#include "model/run_tally.h"

namespace ravlen {

// A batch commits when it holds this many files or this many bytes of copies,
// whichever comes first; each staged copy holds two descriptors open. Each
// commit costs the disk three flushes (the plans, the copies, the names):
// a card of a few hundred photos is one batch.
inline constexpr std::size_t kBatchFiles = 1024;
inline constexpr std::uint64_t kBatchBytes = 256ull * 1024 * 1024;
// The moved sources of a committed batch are removed by up to this many
// threads at once, one for each so many files.
inline constexpr std::size_t kMaxRemovers = 8;
inline constexpr std::size_t kRemovalsPerRemover = 16;
// Why a move waiting in the batch was not made.
inline constexpr const char* kLogFailedText = "The log could not be written";
// The note of a file already imported whose missing backup copies were made.
inline constexpr const char* kCaughtUpText = "Copied into the backup folders only: already in the output folder.";

class PlacementBatch {
public:
    // `maxFiles`: the files a batch commits at (0: kBatchFiles), fewer where
    // the process may hold few descriptors.
    PlacementBatch(FileSource& source, FileSystem& fs, const RunOptions& options, IntentRecord* intents, FileRecordSink* sink,
                   const ProblemReporter& report, RunTally& tally, std::size_t maxFiles = 0);
    // An open batch is finished.
    ~PlacementBatch();
    PlacementBatch(const PlacementBatch&) = delete;
    PlacementBatch& operator=(const PlacementBatch&) = delete;

    // Every file placed below `outputTop` gets a copy in each of `folders`
    // too, under its name below `outputTop`; each folder exists.
    void BackUpInto(const std::string& outputTop, std::vector<std::string> folders);
    // The hash each copy took of its bytes is kept in `record` for every
    // copy placed and for its source while it stays (the card's verdict then
    // reads neither again).
    void KeepHashesIn(ImportRecord* record);
    // Whether the placement of `source` into `outputFolder` is a copy the batch
    // makes (a copy, or a move to another file system); a rename is not,
    // unless it cannot wait for the backup copies at the commit.
    bool Takes(const std::string& source, const std::string& outputFolder);
    // Whether files of one folder go to the other by copying.
    bool CopiesBetween(const FolderRef& source, const FolderRef& output) const;
    // Writes the file's copy for `target`, not yet named; `moving` gives up the
    // source once the copy is durable under its name.
    FsStatus Stage(const FileFacts& facts, const std::string& target, bool moving);
    // Whether a move within one file system waits for the commit (a Move
    // planned in the record); else it is made at once.
    bool MovesLater() const;
    // The file is moved to `target` at the commit, after its plan is written
    // (and after its backup copies, staged now, are on the disk).
    FsStatus StageMove(const FileFacts& facts, const std::string& target);
    // A file already in the output folder at `placed` gets a copy in each
    // backup folder that lacks it (backups catch up); the output folder's
    // file is left alone. Whether a copy was staged.
    bool CatchUp(const FileFacts& facts, const std::string& placed);
    // The file's road is at its end: its record is written now when nothing
    // waits before it, else at the commit. `planned` is its own plan, if any.
    void Add(FileFacts& facts, std::int64_t planned);
    // Makes the batch's copies durable and named and starts giving up the
    // moved sources; the records of the batch before are written first.
    // Copies and moves staged for files not yet added (the rest of a shot
    // whose first file filled the batch) wait for the next batch.
    void Commit();
    // Commits the open batch and waits for it: its sources given up, its
    // records written in order, its plans struck out. Anything staged for a
    // file that was never added is dropped: that file stays at its source.
    void Finish();

private:
    struct Entry {
        FileFacts facts;
        std::unique_ptr<StagedCopy> copy;
        bool moving = false;
        std::int64_t planned = 0;
        std::string moveTo{};  // a move within one file system, made at the commit
        std::vector<std::unique_ptr<StagedCopy>> backups{};  // one per backup folder
        std::vector<std::int64_t> backupPlans{};
        std::vector<std::string> missing{};  // the backup folders without a copy, with why
        bool catchUp = false;                // backup copies alone, of a file already imported
        bool failed = false;
    };
    struct Pending {
        const FileFacts* facts;
        std::unique_ptr<StagedCopy> copy;
        bool moving;
        std::string moveTo{};
        std::vector<std::unique_ptr<StagedCopy>> backups{};
        std::vector<std::string> missing{};
        bool catchUp = false;
    };

    // The file's copy for each backup folder, its folders below made first.
    // A folder whose copy cannot be staged is named in `missing`, with why.
    // `placed`: the path below the output folder whose names the copies
    // take (none: the file's chosen name); a backup already holding that
    // file, by name and size, gets no copy. With `own`, the file's own copy
    // for that target is staged into `copy` from the same read of the
    // source; when it fails, so does the call, staging nothing.
    FsStatus StageBackups(const FileFacts& facts, std::vector<std::unique_ptr<StagedCopy>>& backups,
                          std::vector<std::string>& missing, const std::string* placed = nullptr,
                          const std::string* own = nullptr, std::unique_ptr<StagedCopy>* copy = nullptr);
    // The backup copy at `at` dropped (removed, if named): the file has none there.
    void DropBackup(Entry& entry, std::size_t at, const FsStatus& why);
    // The backup copies whose file system cannot be flushed are dropped;
    // the status of the output folders' flush.
    FsStatus FlushAll(const std::vector<Entry*>& entries);
    // A file whose backup copies are not all there: placed by a copy, its source kept.
    void KeepSource(Entry& entry);
    // Verified (when asked) and named, unless an earlier step failed.
    FsStatus Name(StagedCopy& copy, FsStatus status);
    PlannedPlacement MovePlan(const Entry& entry, bool& durable);

    // The committed batch: its sources' removal awaited, its records written.
    void Retire();
    // A move within one file system, once its plan is written.
    void Move(Entry& entry, const FsStatus& planned);
    // A batch without copies: each file moved and then recorded in turn,
    // none moved once a log cannot be written.
    void MoveAll(const FsStatus& planned);
    void Fail(Entry& entry, const FsStatus& status, bool removeNamed);
    void Write(FileFacts& facts, std::int64_t planned);
    // The hashes of a retired file's copies, into the record (KeepHashesIn).
    void KeepHashes(const Entry& entry);
    // The file's record, then its plan struck out: now, or later where
    // recovery agrees.
    void Record(FileFacts& facts, std::int64_t planned);
    // Whether the file's plan may stay after its record is written (see
    // IntentRecord::DoneLater).
    bool RecoveryAgreesUnstruck(const FileFacts& facts) const;

    FileSource& source_;  // where the files come from
    FileSystem& fs_;      // where they go
    const RunOptions& options_;
    IntentRecord* intents_;
    FileRecordSink* sink_;
    const ProblemReporter& report_;
    RunTally& tally_;
    std::size_t maxFiles_;
    ImportRecord* hashes_ = nullptr;
    std::string outputTop_;
    std::vector<std::string> backupFolders_;
    std::vector<Pending> pending_;
    std::vector<Entry> entries_;
    std::vector<Entry> retiring_;      // committed, waiting for its sources to go
    std::vector<Entry*> givingUp_;     // the moves among them
    std::vector<FsStatus> outcomes_;   // one per move, set by the remover
    std::vector<std::thread> removers_;
    std::atomic<std::size_t> nextRemoval_{0};
    std::size_t staged_ = 0;
    std::uint64_t bytes_ = 0;
};

}  // namespace ravlen
