#include "app/records/recovery.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "app/undo/undo_plan.h"

namespace ravlen {
namespace {

constexpr std::size_t kMaxListed = 10;

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the hidden temporaries in a folder whose process number passes
// `left` (a killed run's); the count.
template <typename Left>
int RemovePartialCopies(FileSystem& fs, const std::string& folder, Left left) {
    const std::string_view prefix(kPartialCopyPrefix);
    return fs.RemoveFilesNamed(folder, [&](std::string_view name) {
        if (name.substr(0, prefix.size()) != prefix) return false;
        const std::string number(name.substr(prefix.size()));
        return left(std::strtoll(number.c_str(), nullptr, 10));
    });
}

struct Outcome {
    std::int64_t putBack = 0, removed = 0, partials = 0, undone = 0, kept = 0;
    bool undo = false;  // an undo's plans were among them
    std::vector<std::string> leftAlone, waiting;
};

void List(std::string& text, const char* title, const std::vector<std::string>& items) {
    if (items.empty()) return;
    text += std::string("\r\n") + title + "\r\n";
    for (std::size_t i = 0; i < items.size() && i < kMaxListed; ++i) text += "    " + items[i] + "\r\n";
    if (items.size() > kMaxListed) text += "    and " + std::to_string(items.size() - kMaxListed) + " more\r\n";
}

// Whether `copy` holds exactly the bytes of `original`: a second name of the
// same file, or the same size and the same hash.
bool SameBytes(FileSystem& fs, const std::string& copy, const EntryFacts& c, const std::string& original,
               const EntryFacts& o) {
    if (c.Id == o.Id) return true;
    if (c.Size != o.Size) return false;
    std::string a, b;
    return fs.ContentHash(copy, a, {}) && fs.ContentHash(original, b, {}) && a == b;
}

// Whether the file at the plan's target is the run's copy of its source, as
// far as it got: a second name of it, its first bytes (all or fewer), or an
// unfinished copy under its final name, whatever bytes a power cut left in it.
bool CopyOfSource(FileSystem& fs, const PlannedPlacement& plan, const EntryFacts& s, const EntryFacts& t) {
    return t.IsFile && (s.Id == t.Id || fs.HoldsStartOf(plan.Target, plan.Source) ||
                        (plan.FinalNameCopy && t.Size <= s.Size));
}

// The entry at the plan's source and at its target, as they stand.
struct PlanEnds {
    std::optional<EntryFacts> source, target;
    PlanEnds(FileSystem& fs, const PlannedPlacement& plan)
        : source(fs.Examine(plan.Source)), target(fs.Examine(plan.Target)) {
        if (source && !source->IsFile) source.reset();
    }
};

// The rows of the killed runs' CSV logs, by the file each placed; each log
// is read once.
class LoggedFiles {
public:
    explicit LoggedFiles(FileSystem& fs) : fs_(fs) {}
    // The row of the plan's log that records its source placed at its target
    // (for a backup copy, at the target of the file's placement in the
    // output folder: the row is written once every copy is).
    const UndoRow* Find(const PlannedPlacement& plan) {
        if (plan.Log.empty()) return nullptr;
        const auto [log, fresh] = logs_.try_emplace(plan.Log);
        UndoPlan read;
        std::string error;
        if (fresh && ReadRunLog(plan.Log, fs_, read, error))
            for (UndoRow& row : read.Rows)
                if (row.Trusted)
                    log->second.try_emplace({JoinPath(row.SourceFolder, row.SourceFileName),
                                             JoinPath(row.OutputFolder, row.OutputFileName)},
                                            std::move(row));
        const auto row = log->second.find({plan.Source, plan.BackupOf.empty() ? plan.Target : plan.BackupOf});
        return row == log->second.end() ? nullptr : &row->second;
    }

private:
    FileSystem& fs_;
    std::map<std::string, std::map<std::pair<std::string, std::string>, UndoRow>> logs_;
};

// One abandoned plan settled. A file the killed run's log records as placed
// stays placed: a copy when it holds the same bytes as its source (size, then
// hash: a copy under its final name is never taken on its plan's word), a
// move when the file at its target has the logged size. Otherwise the
// original wins. While the source is whole at its place, whatever stands at
// the target for this plan (a copy, whole or cut short, a second name of the
// same file, a copy under its final name that may not have reached the disk)
// is this run's and is removed, so the file exists once and the next run
// places it again with its log record. When the source is gone the move was
// done but never logged, so the undo could not find it: the file is moved
// back. Anything else is not ours and stays, named in the message. False when
// the plan must wait for a later run.
bool Settle(const PlannedPlacement& plan, FileSystem& fs, const UndoRow* logged, Outcome& out) {
    // A card taken out: nothing can be compared now.
    if (!fs.FolderExists(FolderOf(plan.Source))) {
        out.waiting.push_back(plan.Source);
        return false;
    }
    const PlanEnds ends(fs, plan);
    const std::optional<EntryFacts>& source = ends.source;
    const std::optional<EntryFacts>& target = ends.target;
    const bool regular = target && target->IsFile;
    if (source && regular && logged && logged->Operation == FileOperation::Copied && source->Id != target->Id &&
        SameBytes(fs, plan.Target, *target, plan.Source, *source)) {
        out.kept += plan.BackupOf.empty() ? 1 : 0;  // files kept, not their backup copies
    } else if (!source && regular && logged && logged->Operation == FileOperation::Moved &&
               target->Size == logged->Size) {
        out.kept += plan.BackupOf.empty() ? 1 : 0;
    } else if (source && target) {
        if (CopyOfSource(fs, plan, *source, *target) && fs.RemoveIfStill(plan.Target, target->Id)) ++out.removed;
        else out.leftAlone.push_back(plan.Target + " (it is not a copy of " + plan.Source + ")");
    } else if (target && plan.Moves) {
        FsStatus moved = fs.MoveFile(plan.Target, plan.Source);
        // The run may have set the file's time already; it goes back as it was.
        if (moved && plan.OriginalModifiedTime) moved = fs.SetModifiedTime(plan.Source, *plan.OriginalModifiedTime);
        if (moved) ++out.putBack;
        else out.leftAlone.push_back(plan.Target + " (" + moved.error + ")");
    } else if (target) {
        out.leftAlone.push_back(plan.Target + " (its original " + plan.Source + " is gone)");
    }
    return true;
}

// An undo's plan settled: the file was going back from the output folder
// (Source) to its original place (Target). Once a copy back of the same bytes
// stands complete and flushed at the original place, the undo of the file is
// finished and its name in the output folder goes; until then the file in the
// output folder is the original, and whatever the undo began at the original
// place (a copy cut short, an unfinished one under its final name) goes.
bool SettleUndo(const PlannedPlacement& plan, FileSystem& fs, Outcome& out) {
    const PlanEnds ends(fs, plan);
    const std::optional<EntryFacts>& source = ends.source;
    const std::optional<EntryFacts>& target = ends.target;
    // Only the original folder itself is made again by the undo: with the one
    // that held it missing too, the card is more likely not attached.
    if (source && !target && !fs.FolderExists(FolderOf(FolderOf(plan.Target)))) {
        out.waiting.push_back(plan.Target);
        return false;
    }
    // The file's time before the run, which the undo puts back once the file is.
    const auto retime = [&] {
        if (plan.OriginalModifiedTime) (void)fs.SetModifiedTime(plan.Target, *plan.OriginalModifiedTime);
    };
    if (!source && target) retime();
    if (!source || !target) return true;  // done, or not begun
    if (target->IsFile && SameBytes(fs, plan.Target, *target, plan.Source, *source) &&
        fs.FlushFileSystem(FolderOf(plan.Target)) && fs.RemoveIfStill(plan.Source, source->Id)) {
        retime();
        ++out.undone;
    } else if (CopyOfSource(fs, plan, *source, *target) && fs.RemoveIfStill(plan.Target, target->Id)) {
        ++out.removed;
    } else {
        out.leftAlone.push_back(plan.Target + " (it is not a copy of " + plan.Source + ")");
    }
    return true;
}

}  // namespace

std::string RecoverAbandonedPlacements(IntentRecord& record, FileSystem& fs) {
    const std::vector<PlannedPlacement> plans = record.Abandoned();
    if (plans.empty()) return "";
    Outcome out;
    LoggedFiles logged(fs);
    std::set<std::pair<std::string, std::int64_t>> folders;
    for (const PlannedPlacement& plan : plans) {
        out.undo = out.undo || plan.Undoes;
        if (!(plan.Undoes ? SettleUndo(plan, fs, out) : Settle(plan, fs, logged.Find(plan), out))) continue;
        folders.emplace(FolderOf(plan.Target), plan.Process);
        record.Done(plan.Id);
    }
    // Copies cut short under a hidden name, in the folders the run wrote into.
    for (const auto& [folder, process] : folders)
        if (process > 0) out.partials += RemovePartialCopies(fs, folder, [p = process](long long n) { return n == p; });

    std::string text =
        "The last run ended before it finished (it was killed, or the computer stopped). The files it was "
        "placing have been put back where they were, but those its log records as placed:\r\n\r\n";
    text += "    " + std::to_string(out.putBack) + " moved files returned to their original names\r\n";
    text += "    " + std::to_string(out.removed + out.partials) + " unfinished or duplicate copies removed\r\n";
    if (out.kept > 0)
        text += "    " + std::to_string(out.kept) + " files its log records as placed kept in their places\r\n";
    if (out.undone > 0)
        text += "    " + std::to_string(out.undone) + " files an undo had copied back left at their original names\r\n";
    List(text, "Left alone:", out.leftAlone);
    List(text, "Kept for a later run (their folder cannot be reached now; is the card attached?):", out.waiting);
    text += out.undo ? "\r\nStart the run again to place them, or the undo again to finish it."
                     : "\r\nStart the run again to place them.";
    return text;
}

int RemoveLeftoverCopies(FileSystem& fs, const std::string& folder) {
    // A process number no process has now: its run ended without cleaning up.
    return RemovePartialCopies(fs, folder, [](long long n) {
        return n > 0 && kill(static_cast<pid_t>(n), 0) != 0 && errno == ESRCH;
    });
}

}  // namespace ravlen
