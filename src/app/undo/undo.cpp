#include "app/undo/undo.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "app/devices/device_sources.h"
#include "app/run/progress_session.h"
#include "app/records/recovery.h"
#include "model/version.h"

namespace ravlen {
namespace {

// Why a copy that RemoveIfIdentical did not remove is kept.
std::string KeptCopyReason(const CopyRemovalResult& r) {
    const auto because = [&r](const char* what) {
        return std::string(what) + " due to the following error: " + r.Error + ".";
    };
    switch (r.Outcome) {
        case CopyRemoval::CopyUnopened:
            return because("The copy could not be opened");
        case CopyRemoval::OriginalUnopened:
            return because("The original could not be opened");
        case CopyRemoval::CompareFailed:
            return because("The copy could not be compared with the original");
        case CopyRemoval::RemoveFailed:
            return because("The copy could not be removed");
        case CopyRemoval::NotPlainFiles:
            return "The copy or the original is not a plain file.";
        case CopyRemoval::SameFile:
            return "The copy and the original are the same file.";
        case CopyRemoval::SizesDiffer:
            return "The copy and the original differ in size, so the copy is kept.";
        case CopyRemoval::BytesDiffer:
            return "The copy and the original differ, so the copy is kept.";
        case CopyRemoval::ChangedMeanwhile:
            return "The copy or the original changed while they were compared, so the copy is kept.";
        case CopyRemoval::Removed:
            break;
    }
    return "";
}

struct BackupRemoval {
    int Removed = 0, Kept = 0;
};

// Once the file is undone (its original in place), its backup copies go
// too, each only while it holds exactly the bytes of `reference` (the
// original, or the file imported before) and, when the journal kept it, the
// identity the copy had once made; one kept is said in the row's reason.
BackupRemoval RemoveBackupCopies(UndoRow& row, FileSystem& fs, const std::string& reference, ImportRecord* imports,
                                 const std::function<void()>& pump) {
    BackupRemoval result;
    const auto keep = [&](const std::string& copy, const std::string& why) {
        row.Reason += (row.Reason.empty() ? "" : " ") + std::string("The backup copy ") + copy + " is kept: " + why;
        ++result.Kept;
    };
    for (const JournalBackup& copy : row.BackupPaths) {
        if (copy.Id.Known()) {
            const std::optional<FsItem> now = fs.GetFile(copy.Path);
            if (!now && !fs.Examine(copy.Path)) continue;  // gone already: nothing left to undo there
            if (!now || !(now->Id == copy.Id) || now->Size != copy.Size ||
                now->Modified.CivilSeconds() != copy.Modified.CivilSeconds()) {
                keep(copy.Path, "it is not the copy the run made, or it has changed since.");
                continue;
            }
        }
        const CopyRemovalResult removal = fs.RemoveIfIdentical(copy.Path, reference, pump);
        if (removal.Outcome == CopyRemoval::Removed) {
            ++result.Removed;
            if (imports) imports->Forget(copy.Path);
            continue;
        }
        if (removal.Outcome == CopyRemoval::CopyUnopened && !fs.Examine(copy.Path)) continue;
        keep(copy.Path, KeptCopyReason(removal));
    }
    return result;
}

// The backup copies alone of a file imported before the run, compared with
// that file, which stays: a copy kept leaves the row alone, with why.
void RemoveBackupsOnly(UndoRow& row, FileSystem& fs, ImportRecord* imports, const std::function<void()>& pump) {
    const BackupRemoval removal =
        RemoveBackupCopies(row, fs, JoinPath(row.OutputFolder, row.OutputFileName), imports, pump);
    if (removal.Kept > 0) return row.LeaveAlone(row.Reason);
    if (removal.Removed == 0) {
        row.Action = UndoAction::AlreadyGone;
        row.Reason = "The backup copies are already gone.";
    }
}

// Carries out a row that AssessUndoRow found to be a Restore or a Remove; a
// failure turns it into LeaveAlone with the reason.
void Execute(UndoRow& row, FileSystem& fs, IntentRecord* intents, ImportRecord* imports,
             const std::function<void()>& pump) {
    const std::string output = JoinPath(row.OutputFolder, row.OutputFileName);
    const std::string source = JoinPath(row.SourceFolder, row.SourceFileName);
    if (row.Action == UndoAction::Remove && row.FromDevice) {
        // The device's original was found as the copy: its backups go while
        // they hold the copy's bytes, then the copy itself.
        const std::optional<FsItem> copy = fs.GetFile(output);
        if (!copy) return row.LeaveAlone("The copy is no longer a plain file at its name.");
        RemoveBackupCopies(row, fs, output, imports, pump);
        if (const FsStatus removed = fs.RemoveIfStill(output, copy->Id); !removed)
            row.LeaveAlone("The copy could not be removed due to the following error: " + removed.error + ".");
        return;
    }
    if (row.Action == UndoAction::Remove) {
        const CopyRemovalResult removal = fs.RemoveIfIdentical(output, source, pump);
        if (removal.Outcome != CopyRemoval::Removed) return row.LeaveAlone(KeptCopyReason(removal));
        RemoveBackupCopies(row, fs, source, imports, pump);
        return;
    }
    if (row.Action == UndoAction::RemoveBackups) return RemoveBackupsOnly(row, fs, imports, pump);
    if (row.Action != UndoAction::Restore) return;
    bool madeFolder = false;
    if (!fs.FolderExists(row.SourceFolder)) {
        // Only a run's own journal may make a folder: a log alone may name any.
        if (!row.Recorded) {
            row.LeaveAlone("The original folder is gone, and no run on this computer recorded this file, so no "
                           "folder is made for it.");
            return;
        }
        const FsStatus made = fs.CreateFolder(row.SourceFolder);
        if (!made) {
            row.LeaveAlone("The original folder could not be made again due to the following error: " +
                           made.error + ".");
            return;
        }
        madeFolder = true;
    }
    // Written down first, as placement does, so that an undo killed half-way
    // (a copy back to the card cut short) is set right by the next run or undo.
    PlannedPlacement plan{0, output, source};
    plan.Undoes = true;
    plan.OriginalModifiedTime = row.OriginalModified;
    plan.FinalNameCopy = !fs.SameFileSystem(output, row.SourceFolder) && fs.CopiesUnderFinalName(row.SourceFolder);
    FsStatus moved = intents ? intents->Plan(plan) : FsStatus::Ok();
    // The same move as placement: never over a file, and across file systems
    // the renamed file goes only once its copy is complete and flushed.
    if (moved) moved = fs.MoveFile(output, source);
    if (!moved) {
        if (plan.Id != 0) intents->Done(plan.Id);
        if (madeFolder && fs.CountItems(row.SourceFolder) == 0) (void)fs.DeleteFolder(row.SourceFolder);
        row.LeaveAlone("The file could not be moved back due to the following error: " + moved.error + ".");
        return;
    }
    // The run set the file's time to its recording time: the old one comes back too.
    if (row.OriginalModified) {
        const FsStatus timed = fs.SetModifiedTime(source, *row.OriginalModified);
        if (!timed)
            row.Reason = "The file is back, but its modified time could not be put back due to the following "
                         "error: " + timed.error + ".";
    }
    if (plan.Id != 0) intents->Done(plan.Id);
    RemoveBackupCopies(row, fs, source, imports, pump);
}

// The folders the run's rows placed files in, with the folders between them
// and the log's folder: those that are empty now go, deepest first. The log's
// own folder and every folder a file came from stay.
void RemoveEmptiedFolders(const UndoPlan& plan, FileSystem& fs) {
    std::set<std::string> keep;
    std::set<std::string> candidates;
    for (const UndoRow& row : plan.Rows) {
        if (!row.Trusted) continue;
        for (std::string f = row.SourceFolder; !row.FromDevice && !f.empty() && keep.insert(f).second && f != "/";)
            f = fs.ParentPart(f);
        for (std::string f = row.OutputFolder; f != plan.LogFolder && WithinFolder(f, plan.LogFolder);)
            if (!candidates.insert(f).second) break;
            else f = fs.ParentPart(f);
    }
    std::vector<std::string> order(candidates.begin(), candidates.end());
    std::sort(order.begin(), order.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : order) {
        if (keep.count(folder)) continue;
        if (fs.FolderExists(folder) && fs.CountItems(folder) == 0) (void)fs.DeleteFolder(folder);
    }
}

// The continuing numbers that no file of the run keeps any more, given back
// highest first, so that an undo of the last run leaves no gap.
void GiveBackNumbers(const UndoPlan& plan, ContinuingNumbers& numbers) {
    std::map<std::pair<std::string, std::int64_t>, bool> kept;
    for (const UndoRow& row : plan.Rows) {
        // A file imported before keeps its number: the run that gave it is not this one.
        if (row.ContinuingNumber <= 0 || row.Operation == FileOperation::AlreadyImported) continue;
        const bool back = row.Action == UndoAction::Restore || row.Action == UndoAction::Remove ||
                          row.Action == UndoAction::AlreadyUndone || row.Action == UndoAction::AlreadyGone;
        bool& keeps = kept[{row.ContinuingScope, row.ContinuingNumber}];
        keeps = keeps || !back;
    }
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        if (!it->second) numbers.GiveBack(it->first.first, it->first.second);
}

}  // namespace

namespace {
// The newest runs looked at for one not undone yet.
constexpr int kRunsLooked = 1000;
UndoResult Undo(const std::function<bool(UndoPlan&, std::string&)>& makePlan, FileSystem& fs, UserPort& port,
                bool askFirst, ImportRecord* imports, IntentRecord* intents, RunJournal* journal,
                ContinuingNumbers* numbers, UndoDevices* devices);
}  // namespace

std::string UnrecordedQuestion(int rows) {
    const bool one = rows == 1;
    return (one ? std::string("1 file in this log is") : std::to_string(rows) + " files in this log are") +
           " not recorded by any run on this computer: the log was written before runs were recorded, on another "
           "computer, or edited by hand. Undo " + (one ? "it" : "them") +
           " anyway? Only files whose size and modified time are still those the log states are undone, and no "
           "folder is made for them.";
}

std::string LastRunToUndo(RunJournal& journal) {
    for (const JournalRun& run : journal.Runs(kRunsLooked))
        if (!run.Undone) return run.Id;
    return {};
}

UndoResult RunUndo(const std::string& csvPath, FileSystem& fs, UserPort& port, bool askFirst,
                   ImportRecord* imports, IntentRecord* intents, RunJournal* journal, ContinuingNumbers* numbers,
                   UndoDevices* devices) {
    CableDevices cables(fs);
    if (!devices) devices = &cables;
    return Undo(
        [&](UndoPlan& plan, std::string& error) { return PlanUndo(csvPath, fs, plan, error, journal, devices); }, fs,
        port, askFirst, imports, intents, journal, numbers, devices);
}

UndoResult RunJournalUndo(const std::string& runId, RunJournal& journal, FileSystem& fs, UserPort& port,
                          bool askFirst, ImportRecord* imports, IntentRecord* intents, UndoDevices* devices) {
    CableDevices cables(fs);
    if (!devices) devices = &cables;
    return Undo(
        [&](UndoPlan& plan, std::string& error) {
            const std::optional<JournalRun> run = journal.Run(runId);
            if (!run) {
                error = "No run " + QuotedName(runId) + " is recorded on this computer.";
                return false;
            }
            return PlanJournalUndo(*run, journal.Files(runId), fs, plan, error, devices);
        },
        fs, port, askFirst, imports, intents, &journal, nullptr, devices);
}

namespace {

UndoResult Undo(const std::function<bool(UndoPlan&, std::string&)>& makePlan, FileSystem& fs, UserPort& port,
                bool askFirst, ImportRecord* imports, IntentRecord* intents, RunJournal* journal,
                ContinuingNumbers* numbers, UndoDevices* devices) {
    const std::string title = Version().Title;
    UndoResult result;
    UndoPlan plan;
    std::string error;

    // A run or an undo killed half-way is set right before the log is read
    // against the files.
    if (intents) {
        const std::string recovered = RecoverAbandonedPlacements(*intents, fs);
        if (!recovered.empty()) port.MessageBox(recovered, MsgIcon::Exclamation, MsgButtons::OK, title);
    }

    port.SetBusy(true);
    const bool planned = makePlan(plan, error);
    port.SetBusy(false);
    if (!planned) {
        port.MessageBox(error, MsgIcon::Exclamation, MsgButtons::OK, title);
        result.Outcome = UndoOutcome::Refused;
        return result;
    }
    // Whatever --yes or the user's habit says, No is the answer that moves nothing.
    if (const int unrecorded = UnrecordedToDo(plan); unrecorded > 0 &&
        port.AskDefaultNo(UnrecordedQuestion(unrecorded), title) != MsgAnswer::Yes)
        for (UndoRow& row : plan.Rows)
            if (!row.Recorded && Acts(row.Action)) {
                row.Trusted = false;  // not looked at again
                row.LeaveAlone("No run on this computer recorded this file, and undoing it was declined.");
            }

    const UndoCounts counts = plan.Counts();
    if (counts.ToDo() == 0 && counts.LeaveAlone == 0) {
        // A second undo of the same log lands here: nothing is touched, not even
        // an undo log is written.
        port.MessageBox(UndoNothingToDoMessage(counts), MsgIcon::Information, MsgButtons::OK, title);
        result.Outcome = UndoOutcome::NothingToDo;
        if (journal && !plan.RunId.empty()) journal->MarkUndone(plan.RunId);
        result.Done = counts;
        result.Rows = std::move(plan.Rows);
        return result;
    }

    const bool anythingToDo = counts.ToDo() > 0;
    if (anythingToDo && askFirst) {
        const MsgAnswer answer =
            port.MessageBox(UndoQuestion(counts, plan.Rows), MsgIcon::Question, MsgButtons::YesNo, title);
        if (answer != MsgAnswer::Yes) {
            result.Outcome = UndoOutcome::Refused;
            result.Rows = std::move(plan.Rows);
            return result;
        }
    }

    // The log's folder held from here on: each row's files are moved and
    // removed relative to the folders its check reached from that handle, so
    // a folder swapped for a link after the check is refused, not followed.
    OutputHold held(fs);
    if (const FsStatus status = held.Hold(plan.LogFolder); !status) {
        port.MessageBox("The output folder " + plan.LogFolder + " cannot be used: " + status.error,
                        MsgIcon::Exclamation, MsgButtons::OK, title);
        result.Outcome = UndoOutcome::Refused;
        result.Rows = std::move(plan.Rows);
        return result;
    }

    std::string logError;
    std::unique_ptr<UndoLog> log = UndoLog::Create(fs, plan.CsvPath, logError);
    if (log) result.UndoLogPath = log->Path();

    const int total = static_cast<int>(plan.Rows.size());
    {
        std::optional<ProgressSession> progress;
        if (anythingToDo) progress.emplace(port, "Undoing Run...", total);
        const std::function<void()> pump = [&port] { port.PumpEvents(); };

        // Last row first: a name that a later file took is free again before the
        // file that had it first comes back.
        int next = total - 1;
        for (int done = 1; next >= 0; --next, ++done) {
            UndoRow& row = plan.Rows[static_cast<std::size_t>(next)];
            if (anythingToDo) {
                AssessUndoRow(row, plan.LogFolder, fs, devices);  // the files as they stand now, not as previewed
                Execute(row, fs, intents, imports, pump);
                if (imports && (row.Action == UndoAction::Restore || row.Action == UndoAction::Remove))
                    imports->Forget(JoinPath(row.OutputFolder, row.OutputFileName));
            }
            result.Done.Add(row);
            if (log) log->Write(row);
            if (progress && !progress->Advance(done)) {
                --next;
                break;
            }
        }
        for (int i = next; i >= 0; --i) {
            UndoRow& row = plan.Rows[static_cast<std::size_t>(i)];
            ++result.NotAttempted;
            row.Action = UndoAction::NotAttempted;
            row.Reason = "The undo was stopped before this file.";
            if (log) log->Write(row);
        }
        if (anythingToDo) RemoveEmptiedFolders(plan, fs);
        if (anythingToDo && numbers) GiveBackNumbers(plan, *numbers);
        if (log) log->Close();
    }

    const UndoCounts& d = result.Done;
    if (d.LeaveAlone == 0 && result.NotAttempted == 0) {
        if (d.ToDo() == 0) {
            port.MessageBox(UndoNothingToDoMessage(d), MsgIcon::Information, MsgButtons::OK, title);
            result.Outcome = UndoOutcome::NothingToDo;
        } else {
            port.MessageBox(UndoSuccessMessage(d.Restore, d.Remove, d.RemoveBackups), MsgIcon::Information,
                            MsgButtons::OK, title);
            result.Outcome = UndoOutcome::Completed;
        }
    } else {
        port.MessageBox(
            UndoIncompleteMessage(d, result.NotAttempted, anythingToDo, plan.Rows, result.UndoLogPath, logError),
            MsgIcon::Exclamation, MsgButtons::OK, title);
        result.Outcome = UndoOutcome::Incomplete;
    }
    const bool settled = result.Outcome == UndoOutcome::Completed || result.Outcome == UndoOutcome::NothingToDo;
    if (journal && settled && !plan.RunId.empty()) journal->MarkUndone(plan.RunId);
    result.Rows = std::move(plan.Rows);
    return result;
}

}  // namespace
}  // namespace ravlen
