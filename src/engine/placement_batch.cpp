#include "engine/placement_batch.h"

#include <sys/resource.h>

#include <algorithm>
#include <system_error>

#include "engine/file_time_setting.h"
#include "engine/output_folders.h"
#include "engine/placement.h"

namespace ravlen {

static_assert(kPendingPlacements >= kBatchFiles, "a placement waiting in its batch is read at its source");

namespace {

// Two descriptors per staged copy, `copies` copies per file, leaving room for
// everything else the run holds open.
std::size_t FilesWithinDescriptors(std::size_t wanted, std::size_t copies = 1) {
    struct rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
    const rlim_t spare = limit.rlim_cur > 128 ? (limit.rlim_cur - 128) / (2 * copies) : 1;
    return std::max<std::size_t>(1, std::min<rlim_t>(wanted, spare));
}

}  // namespace

PlacementBatch::PlacementBatch(FileSource& source, FileSystem& fs, const RunOptions& options,
                               IntentRecord* intents, FileRecordSink* sink, const ProblemReporter& report,
                               RunTally& tally, std::size_t maxFiles)
    : source_(source), fs_(fs), options_(options), intents_(intents), sink_(sink), report_(report), tally_(tally),
      maxFiles_(FilesWithinDescriptors(std::min(maxFiles == 0 ? kBatchFiles : maxFiles, kBatchFiles))) {}

PlacementBatch::~PlacementBatch() { Finish(); }

void PlacementBatch::BackUpInto(const std::string& outputTop, std::vector<std::string> folders) {
    outputTop_ = outputTop;
    backupFolders_ = std::move(folders);
    maxFiles_ = FilesWithinDescriptors(maxFiles_, 1 + backupFolders_.size());
}

void PlacementBatch::KeepHashesIn(ImportRecord* record) {
    hashes_ = record;
    source_.HashCopies(record != nullptr);
}

void PlacementBatch::KeepHashes(const Entry& entry) {
    const auto keep = [&](const StagedCopy& copy) {
        // Kept as the copy stands once its time is set: a later change shows.
        // Its naming's look stands for it unless the run set the time since.
        const bool timeSet = options_.SetFileTime && &copy == entry.copy.get();
        const std::optional<FsItem> placed = copy.Placed && !timeSet ? copy.Placed : fs_.GetFile(copy.Target);
        if (placed && placed->Size == copy.SourceSize)
            hashes_->KeepStampedHash(copy.Target, {placed->Id, placed->Size, placed->Modified}, copy.ContentHash);
    };
    const StagedCopy* any = nullptr;
    if (entry.copy && !entry.copy->ContentHash.empty()) keep(*(any = entry.copy.get()));
    for (const std::unique_ptr<StagedCopy>& backup : entry.backups)
        if (!backup->ContentHash.empty()) keep(*(any = backup.get()));
    // The source as it stood when its bytes were read; a change since shows in its stamp.
    if (any && entry.facts.Operation != FileOperation::Moved && any->SourceId.Known())
        hashes_->KeepStampedHash(any->Source, {any->SourceId, any->SourceSize, any->SourceModified}, any->ContentHash);
}

bool PlacementBatch::Takes(const std::string& source, const std::string& outputFolder) {
    // A rename made at once could not wait for the backup copies: the file is
    // copied and its source given up instead.
    if (!backupFolders_.empty() && !MovesLater()) return true;
    return options_.MoveOrCopy == MoveOrCopy::Copy || !source_.SameFileSystem(source, outputFolder);
}

bool PlacementBatch::CopiesBetween(const FolderRef& source, const FolderRef& output) const {
    if (options_.MoveOrCopy == MoveOrCopy::Copy) return true;
    return source.Id.Known() && output.Id.Known() && source.Id.Device != output.Id.Device;
}

FsStatus PlacementBatch::Stage(const FileFacts& facts, const std::string& target, bool moving) {
    std::unique_ptr<StagedCopy> copy;
    std::vector<std::unique_ptr<StagedCopy>> backups;
    std::vector<std::string> missing;
    if (FsStatus staged = StageBackups(facts, backups, missing, nullptr, &target, &copy); !staged) return staged;
    // A file a backup lacks keeps its source: the copy's plan gives up none.
    if (!missing.empty()) moving = false;
    pending_.push_back({&facts, std::move(copy), moving, {}, std::move(backups), std::move(missing)});
    return FsStatus::Ok();
}

FsStatus PlacementBatch::StageBackups(const FileFacts& facts, std::vector<std::unique_ptr<StagedCopy>>& backups,
                                      std::vector<std::string>& missing, const std::string* placed,
                                      const std::string* own, std::unique_ptr<StagedCopy>* copy) {
    const auto unknown = [](const FsStatus& status) { return status.ok ? FsStatus::Fail("Unknown error") : status; };
    if (backupFolders_.empty()) {
        if (!own) return FsStatus::Ok();
        FsStatus status;
        *copy = source_.StageCopy(facts.SourceFilePath, *own, options_.VerifyCopies, status);
        return *copy ? FsStatus::Ok() : unknown(status);
    }
    // The file's folders below the output folder (date folders, subfolders
    // kept), made again below each backup folder.
    const std::string folder = placed ? fs_.ParentPart(*placed) : facts.OutputFolder;
    const std::string fileName =
        placed ? placed->substr(std::min(placed->size(), folder.size() + 1)) : facts.OutputFileName;
    if (folder.compare(0, outputTop_.size(), outputTop_) != 0 ||
        (folder.size() > outputTop_.size() && folder[outputTop_.size()] != '/' && outputTop_.back() != '/'))
        return FsStatus::Fail("The folder " + folder + " is not below the output folder " + outputTop_);
    std::vector<std::string> names;
    for (std::size_t at = outputTop_.size(); at < folder.size();) {
        if (folder[at] == '/') {
            ++at;
            continue;
        }
        const std::size_t end = std::min(folder.find('/', at), folder.size());
        names.push_back(folder.substr(at, end - at));
        at = end;
    }
    // A backup that cannot take the copy (full, failing, gone) is one
    // copy short, never a reason to leave the output folder without the file.
    const auto miss = [&](const std::string& top, const FsStatus& status) {
        missing.push_back(top + ": " + (status.error.empty() ? std::string("Unknown error") : status.error));
    };
    // Every copy from one read of the source: the file's own first, then
    // one for each backup folder that can take it.
    std::vector<std::string> targets, tops, made;
    if (own) targets.push_back(*own), tops.emplace_back();
    for (const std::string& top : backupFolders_) {
        if (!fs_.FolderExists(top)) {
            miss(top, FsStatus::Fail(std::make_error_code(std::errc::no_such_file_or_directory).message()));
            continue;
        }
        if (FsStatus reached = MakeFoldersBeneath(fs_, top, names, true, made); !reached) {
            miss(top, reached);
            continue;
        }
        std::string below = top;
        for (const std::string& name : names) below = JoinPath(below, name);
        const std::string target = JoinPath(below, fileName);
        if (placed)
            if (const std::optional<FsItem> there = fs_.GetFile(target)) {
                // Its copy is there already; another file under its name is not.
                if (there->Size != facts.Size)
                    miss(top, FsStatus::Fail(std::make_error_code(std::errc::file_exists).message()));
                continue;
            }
        targets.push_back(target);
        tops.push_back(top);
    }
    if (targets.empty()) return FsStatus::Ok();
    std::vector<FsStatus> statuses;
    std::vector<std::unique_ptr<StagedCopy>> copies =
        source_.StageCopies(facts.SourceFilePath, targets, options_.VerifyCopies, statuses);
    if (own && !copies.front()) {
        // The file is not placed: the backup folders are left as they were.
        for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
            if (fs_.CountItems(*folder) == 0) (void)fs_.DeleteFolder(*folder);
        missing.clear();
        return unknown(statuses.front());
    }
    for (std::size_t i = own ? 1 : 0; i < copies.size(); ++i) {
        if (copies[i]) backups.push_back(std::move(copies[i]));
        else miss(tops[i], unknown(statuses[i]));
    }
    if (own) *copy = std::move(copies.front());
    return FsStatus::Ok();
}

bool PlacementBatch::CatchUp(const FileFacts& facts, const std::string& placed) {
    if (backupFolders_.empty()) return false;
    std::vector<std::unique_ptr<StagedCopy>> backups;
    std::vector<std::string> missing;
    if (!StageBackups(facts, backups, missing, &placed) || (backups.empty() && missing.empty())) return false;
    pending_.push_back({&facts, nullptr, false, {}, std::move(backups), std::move(missing), true});
    return true;
}

bool PlacementBatch::MovesLater() const { return options_.MoveOrCopy == MoveOrCopy::Move && intents_; }

FsStatus PlacementBatch::StageMove(const FileFacts& facts, const std::string& target) {
    std::vector<std::unique_ptr<StagedCopy>> backups;
    std::vector<std::string> missing;
    if (FsStatus staged = StageBackups(facts, backups, missing); !staged) return staged;
    if (!missing.empty()) {
        // The source stays where a backup lacks the file: the rename becomes a copy.
        FsStatus status;
        std::unique_ptr<StagedCopy> copy =
            source_.StageCopy(facts.SourceFilePath, target, options_.VerifyCopies, status);
        if (!copy) return status.ok ? FsStatus::Fail("Unknown error") : status;
        pending_.push_back({&facts, std::move(copy), false, {}, std::move(backups), std::move(missing)});
        return FsStatus::Ok();
    }
    pending_.push_back({&facts, nullptr, true, target, std::move(backups)});
    return FsStatus::Ok();
}

void PlacementBatch::Add(FileFacts& facts, std::int64_t planned) {
    Entry entry{};
    entry.planned = planned;
    const auto mine = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.facts == &facts; });
    if (mine != pending_.end()) {
        entry.copy = std::move(mine->copy);
        entry.moving = mine->moving;
        entry.moveTo = std::move(mine->moveTo);
        entry.backups = std::move(mine->backups);
        entry.missing = std::move(mine->missing);
        entry.catchUp = mine->catchUp;
        pending_.erase(mine);
    }
    // A catch-up whose every copy failed to stage: nothing waits for the commit.
    if (entry.catchUp && entry.backups.empty()) {
        facts.MissingBackups = std::move(entry.missing);
        ++tally_.NumberWithoutBackup;
        entry.catchUp = false;
    }
    // Nothing waits before it and nothing of its own waits: recorded at once.
    if (entries_.empty() && retiring_.empty() && !entry.copy && entry.moveTo.empty() && entry.backups.empty())
        return Record(facts, planned);
    if (entry.copy || !entry.backups.empty()) {
        ++staged_;
        const std::size_t copies = (entry.copy ? 1 : 0) + entry.backups.size();
        bytes_ += copies * static_cast<std::uint64_t>(std::max<std::int64_t>(0, facts.Size));
    }
    entry.facts = std::move(facts);
    entries_.push_back(std::move(entry));
    if (entries_.size() >= maxFiles_ || bytes_ >= kBatchBytes) Commit();
}

PlannedPlacement PlacementBatch::MovePlan(const Entry& entry, bool& durable) {
    // A file system that can neither rename without replacing nor link
    // makes the move a copy under the final name.
    const bool finalName = fs_.CopiesUnderFinalName(entry.facts.OutputFolder);
    durable = durable || finalName;
    return {0, entry.facts.SourceFilePath, entry.moveTo, true, finalName, 0,
            TimeToKeep(source_, options_, entry.facts.SourceFilePath)};
}

FsStatus PlacementBatch::Name(StagedCopy& copy, FsStatus status) {
    if (status && options_.VerifyCopies) status = fs_.VerifyStaged(copy);
    if (status) status = fs_.NameStaged(copy);
    return status;
}

void PlacementBatch::Commit() {
    Retire();
    // What is staged for files not yet added stays in pending_: their Add
    // takes it into the next batch.
    if (entries_.empty()) return;
    fs_.BatchBegins();
    // Copies: every file with a copy staged, its own or its backups'.
    std::vector<Entry*> copies, moves, catchUps;
    for (Entry& entry : entries_) {
        if (entry.catchUp) catchUps.push_back(&entry);
        else if (entry.copy || !entry.backups.empty()) copies.push_back(&entry);
        else if (!entry.moveTo.empty()) moves.push_back(&entry);
    }

    // The plans of the whole batch are written down before any copy is named
    // or any file moved. A rename leaves its file whole wherever a power cut
    // finds it: moves alone need no flush of the record.
    std::vector<PlannedPlacement> plans;
    bool durable = !copies.empty();
    for (Entry* entry : copies)
        plans.push_back(entry->copy ? PlannedPlacement{0, entry->copy->Source, entry->copy->Target, entry->moving,
                                                       fs_.CopiesUnderFinalName(entry->facts.OutputFolder), 0,
                                                       TimeToKeep(source_, options_, entry->copy->Source)}
                                    : MovePlan(*entry, durable));
    for (Entry* entry : moves) plans.push_back(MovePlan(*entry, durable));
    // Each backup copy after its file's placement: recovery settles the
    // placement first (a move put back makes the backup copy a spare one).
    // The catch-ups' files are placed already.
    copies.insert(copies.end(), catchUps.begin(), catchUps.end());
    durable = durable || !catchUps.empty();
    for (Entry* entry : copies)
        for (const std::unique_ptr<StagedCopy>& backup : entry->backups) {
            PlannedPlacement plan{0, backup->Source, backup->Target, false,
                                  fs_.CopiesUnderFinalName(fs_.ParentPart(backup->Target))};
            plan.BackupOf = entry->copy    ? entry->copy->Target
                            : entry->catchUp ? JoinPath(entry->facts.OutputFolder, entry->facts.OutputFileName)
                                             : entry->moveTo;
            plans.push_back(std::move(plan));
        }
    FsStatus status = intents_ && !plans.empty() ? intents_->PlanAll(plans, durable) : FsStatus::Ok();
    if (status && intents_) {
        std::size_t next = 0;
        for (Entry* entry : copies)
            if (!entry->catchUp) entry->planned = plans[next++].Id;
        for (Entry* entry : moves) entry->planned = plans[next++].Id;
        for (Entry* entry : copies)
            for (std::size_t i = 0; i < entry->backups.size(); ++i) entry->backupPlans.push_back(plans[next++].Id);
    }
    // Without copies nothing waits: each file is moved and recorded in turn.
    if (copies.empty()) return MoveAll(status);
    for (Entry* entry : moves) Move(*entry, status);
    // Every copy's bytes on the disk before any gets its name.
    if (status) status = FlushAll(copies);
    for (Entry* entry : copies) {
        // The output folder's copy that cannot be named fails the file; a
        // backup copy that cannot leaves that backup without it.
        FsStatus step = status;
        if (entry->copy) step = Name(*entry->copy, step);
        if (!step) {
            Fail(*entry, step, true);
            continue;
        }
        for (std::size_t i = entry->backups.size(); i-- > 0;)
            if (FsStatus named = Name(*entry->backups[i], step); !named) DropBackup(*entry, i, named);
    }
    // The names on the disk before any source goes.
    std::vector<Entry*> named;
    for (Entry* entry : copies)
        if (!entry->failed) named.push_back(entry);
    status = FlushAll(named);
    for (Entry* entry : named) {
        if (!status) {
            Fail(*entry, status, true);
            continue;
        }
        for (const std::unique_ptr<StagedCopy>& backup : entry->backups) {
            entry->facts.BackupFilePaths.push_back(backup->Target);
            entry->facts.BackupsPlaced.push_back(backup->Placed);
        }
        if (entry->copy) entry->facts.Placed = entry->copy->Placed;
        if (entry->catchUp) {
            if (!entry->facts.BackupFilePaths.empty())
                entry->facts.Notes += std::string(entry->facts.Notes.empty() ? "" : " ") + kCaughtUpText;
            if (!entry->missing.empty()) {
                entry->facts.MissingBackups = std::move(entry->missing);
                ++tally_.NumberWithoutBackup;
            }
            continue;
        }
        if (!entry->missing.empty()) {
            KeepSource(*entry);
            continue;
        }
        if (entry->copy && entry->moving) givingUp_.push_back(entry);
        // A move within one file system, once its backup copies are on the disk.
        if (!entry->copy) Move(*entry, status);
    }
    // The sources go while the next batch is written (removing a file costs
    // some disks milliseconds); the batch's records wait for them.
    retiring_ = std::move(entries_);
    entries_.clear();
    staged_ = 0;
    bytes_ = 0;
    outcomes_.assign(givingUp_.size(), FsStatus::Ok());
    // Several removals at once share the file system's journal commits.
    nextRemoval_ = 0;
    const std::size_t removers = std::min(kMaxRemovers, (givingUp_.size() + kRemovalsPerRemover - 1) / kRemovalsPerRemover);
    for (std::size_t r = 0; r < removers; ++r)
        removers_.emplace_back([this] {
            for (std::size_t i; (i = nextRemoval_++) < givingUp_.size();)
                outcomes_[i] = source_.GiveUpSource(*givingUp_[i]->copy);
        });
}

void PlacementBatch::Move(Entry& entry, const FsStatus& planned) {
    FsItem listed;
    listed.Size = entry.facts.Size;
    listed.Modified = entry.facts.FileSystemDateModified;
    listed.Id = entry.facts.SourceId;
    const FsStatus status =
        planned ? source_.MoveListed(entry.facts.SourceFilePath, entry.moveTo, listed, entry.facts.Placed) : planned;
    if (!status) Fail(entry, status, false);
}

void PlacementBatch::MoveAll(const FsStatus& planned) {
    for (Entry& entry : entries_) {
        // A log that cannot be written stops the pass: no file is moved unrecorded.
        if (!entry.moveTo.empty()) Move(entry, sink_ && sink_->Failed() ? FsStatus::Fail(kLogFailedText) : planned);
        Record(entry.facts, entry.planned);
    }
    entries_.clear();  // no copies among them: nothing staged, no bytes counted
}

void PlacementBatch::Retire() {
    for (std::thread& remover : removers_) remover.join();
    removers_.clear();
    for (std::size_t i = 0; i < givingUp_.size(); ++i) {
        Entry& entry = *givingUp_[i];
        if (outcomes_[i]) continue;
        // A source that cannot be given up (a card locked against writing)
        // leaves a copy where a copy was wanted anyway.
        if (options_.MoveOrCopy == MoveOrCopy::CopyWhenUnableToMove && !entry.copy->SourceChanged) {
            entry.facts.Operation = FileOperation::Copied;
            continue;
        }
        Fail(entry, outcomes_[i], true);
    }
    givingUp_.clear();
    std::vector<std::int64_t> done;
    for (Entry& entry : retiring_) {
        Write(entry.facts, entry.planned);
        if (hashes_ && !entry.failed) KeepHashes(entry);
        if (entry.planned != 0) done.push_back(entry.planned);
        done.insert(done.end(), entry.backupPlans.begin(), entry.backupPlans.end());
    }
    if (intents_ && !done.empty()) intents_->DoneAll(done);
    retiring_.clear();
}

void PlacementBatch::Finish() {
    Commit();
    Retire();
    // Staged for a file whose road never reached Add (a failure that ended
    // the walk): the unnamed copy goes, the file stays where it was.
    pending_.clear();
}

void PlacementBatch::DropBackup(Entry& entry, std::size_t at, const FsStatus& why) {
    StagedCopy& copy = *entry.backups[at];
    std::string top = fs_.ParentPart(copy.Target);
    for (const std::string& folder : backupFolders_)
        if (copy.Target.size() > folder.size() && copy.Target.compare(0, folder.size(), folder) == 0 &&
            (copy.Target[folder.size()] == '/' || folder.back() == '/'))
            top = folder;
    entry.missing.push_back(top + ": " + (why.error.empty() ? std::string("Unknown error") : why.error));
    fs_.RemoveNamed(copy);
    entry.backups.erase(entry.backups.begin() + static_cast<std::ptrdiff_t>(at));
}

void PlacementBatch::KeepSource(Entry& entry) {
    if (!entry.copy) {
        // The rename waited for the backup copies: the file is copied instead.
        if (const FsStatus copied = source_.CopyFile(entry.facts.SourceFilePath, entry.moveTo); !copied)
            return Fail(entry, copied, false);
    }
    if (entry.facts.Operation == FileOperation::Moved) entry.facts.Operation = FileOperation::Copied;
    entry.facts.MissingBackups = std::move(entry.missing);
    entry.missing.clear();
    ++tally_.NumberWithoutBackup;
}

void PlacementBatch::Fail(Entry& entry, const FsStatus& status, bool removeNamed) {
    if (entry.catchUp) {
        // The file stays imported; only its backup copies are missing still.
        for (std::size_t i = entry.backups.size(); i-- > 0;) DropBackup(entry, i, status);
        entry.facts.BackupFilePaths.clear();
        entry.facts.MissingBackups = std::move(entry.missing);
        entry.missing.clear();
        ++tally_.NumberWithoutBackup;
        entry.failed = true;
        return;
    }
    if (removeNamed && entry.copy) fs_.RemoveNamed(*entry.copy);
    entry.copy.reset();
    // A file not placed has no backup either (only named copies are removed).
    for (const std::unique_ptr<StagedCopy>& backup : entry.backups) fs_.RemoveNamed(*backup);
    entry.backups.clear();
    entry.facts.BackupFilePaths.clear();
    entry.missing.clear();
    entry.failed = true;
    const bool moving = entry.moving && options_.MoveOrCopy == MoveOrCopy::Move;
    FailPlacement(report_, entry.facts, tally_, moving, status);
}

// One flush for each output folder's file system (folders of one file system
// after the first cost next to nothing).
FsStatus PlacementBatch::FlushAll(const std::vector<Entry*>& entries) {
    std::vector<std::string> folders, backups;
    const auto add = [](std::vector<std::string>& to, const std::string& folder) {
        if (std::find(to.begin(), to.end(), folder) == to.end()) to.push_back(folder);
    };
    for (const Entry* entry : entries) {
        if (entry->copy) add(folders, entry->facts.OutputFolder);
        for (const std::unique_ptr<StagedCopy>& backup : entry->backups) add(backups, fs_.ParentPart(backup->Target));
    }
    for (const std::string& folder : folders)
        if (FsStatus status = fs_.FlushFileSystem(folder); !status) return status;
    // A backup disk that cannot be flushed holds no copy to count on.
    for (const std::string& folder : backups)
        if (FsStatus status = fs_.FlushFileSystem(folder); !status)
            for (Entry* entry : entries)
                for (std::size_t i = entry->backups.size(); i-- > 0;)
                    if (fs_.ParentPart(entry->backups[i]->Target) == folder) DropBackup(*entry, i, status);
    return FsStatus::Ok();
}

// A plan left after a kill is settled the way the file's record says: a move
// the CSV log records is kept, and one no log records goes back like any move
// the run never finished. A text log alone would say moved what recovery puts
// back.
bool PlacementBatch::RecoveryAgreesUnstruck(const FileFacts& facts) const {
    if (facts.Operation != FileOperation::Moved || (sink_ && sink_->Failed())) return false;
    return options_.WritesCsvLog() || !options_.WritesTextLog();
}

void PlacementBatch::Write(FileFacts& facts, std::int64_t planned) {
    if (sink_) WriteRecordSettingTime(*sink_, fs_, options_, facts, report_, tally_, planned != 0);
}

void PlacementBatch::Record(FileFacts& facts, std::int64_t planned) {
    Write(facts, planned);
    if (planned == 0 || !intents_) return;
    if (RecoveryAgreesUnstruck(facts)) intents_->DoneLater(planned);
    else intents_->Done(planned);
}

}  // namespace ravlen
