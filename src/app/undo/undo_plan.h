#pragma once
// Planning an undo: the rows of a run's CSV log, each with what undoing it
// would do to the files as they stand now.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/run_journal.h"

namespace ravlen {

class DeviceSource;

// A path or name as the undo's messages show it: between double quotes.
inline std::string QuotedName(const std::string& text) { return '"' + text + '"'; }

enum class UndoAction {
    Restore,        // move the renamed file back to its original name
    Remove,         // remove a copy that is identical to its original
    AlreadyUndone,  // the file is already as it was before the run
    NotPlaced,      // the run neither moved nor copied this file
    LeaveAlone,     // something does not match the log; nothing is done
    NotAttempted,   // the undo was stopped before this row
    AlreadyGone,    // the copy is gone and its original is there
    // A file imported before the run, which stays: only the backup copies
    // the run made of it go, each while it is still what the run made.
    RemoveBackups,
};

// The actions that change files: what the undo asks about and carries out.
inline bool Acts(UndoAction action) {
    return action == UndoAction::Restore || action == UndoAction::Remove || action == UndoAction::RemoveBackups;
}

// One data row of the log and what the undo does with it.
struct UndoRow {
    int Row = 0;  // 1 = the first row after the header
    std::string SourceFolder;
    std::string SourceFileName;
    std::string OutputFolder;
    std::string OutputFileName;
    std::string OperationText;  // as the log states it
    FileOperation Operation = FileOperation::None;  // None for a text the logs never hold
    std::int64_t Size = -1;
    std::optional<FileTime> OriginalModified;  // the renamed file's modified time before the run set it
    // The file's copies in the backup folders, removed with it. A recorded
    // row's are the journal's, each with its identity when the journal kept
    // it; a copy no longer of that identity stays.
    std::vector<JournalBackup> BackupPaths;
    // The file's continuing number and its scope; 0 when it had none.
    std::int64_t ContinuingNumber = 0;
    std::string ContinuingScope;
    bool Trusted = false;  // the row parsed and names plain paths inside the log's folder
    std::string RunId;     // the run the row names ("" or "N/A" for none)
    std::string LoggedModified;  // the FileSystemDateModified field, as the log states it
    // The device (camera:<model>@<port>) a file of a run from a camera or
    // phone on a cable came from: its SourceFolder is that path followed by
    // the folder on the device. "" for a file of the computer's file systems.
    std::string DeviceTop;
    bool FromDevice = false;  // the row's SourceFolder names a device
    // A journal of this computer records the row's file: it is undone as any
    // row, provided the placed file is still the one the run placed (PlacedId).
    // Any other row is undone only after a question, only when its file's
    // size and modified time are still those the log states, and never by
    // making a folder.
    bool Recorded = false;
    FileId PlacedId;
    UndoAction Action = UndoAction::LeaveAlone;
    std::string Reason;  // why nothing is (or was) done; empty for Restore and Remove

    void LeaveAlone(std::string reason) {
        Action = UndoAction::LeaveAlone;
        Reason = std::move(reason);
    }
};

// The cameras and phones whose files rows name: a copy of a device's file is
// removed only while the device, plugged in, still holds its original.
class UndoDevices {
public:
    virtual ~UndoDevices() = default;
    // The device `top` (a run's SourcePath, camera:<model>@<port>) names, as
    // a source whose paths begin with `top`; null, with `why` said, when it
    // cannot be reached (not plugged in, held by another program).
    virtual DeviceSource* Reach(const std::string& top, std::string& why) = 0;
};

struct UndoCounts {
    int Restore = 0, Remove = 0, AlreadyUndone = 0, NotPlaced = 0, LeaveAlone = 0, AlreadyGone = 0;
    int RemoveBackups = 0;
    // Of Remove, the copies from a camera or phone: checked against the
    // device's own file by its size alone.
    int RemoveFromDevice = 0;
    int Total() const {
        return Restore + Remove + AlreadyUndone + NotPlaced + LeaveAlone + AlreadyGone + RemoveBackups;
    }
    int ToDo() const { return Restore + Remove + RemoveBackups; }
    // Counts a row's action; NotAttempted is counted apart.
    void Add(const UndoRow& row);
};

struct UndoPlan {
    std::string CsvPath;  // for a run's journal, the log it wrote or would have written
    std::string RunId;    // when the plan is a run's journal
    std::string LogFolder;  // the folder that holds the log, as the file system names it
    std::vector<UndoRow> Rows;
    UndoCounts Counts() const;
};

// Reads the log's rows as it states them, checked as far as they can be
// without looking at the files; false with `error` as PlanUndo.
bool ReadRunLog(const std::string& csvPath, FileSystem& fs, UndoPlan& plan, std::string& error);

// Reads the log and decides, row by row, what an undo would do now. False with
// `error` (a message for the user) when the file cannot be read or is not a
// CSV log of the program; rows that do not fit are planned as LeaveAlone.
// Rows are checked against the journals when given (MatchJournal).
bool PlanUndo(const std::string& csvPath, FileSystem& fs, UndoPlan& plan, std::string& error,
              RunJournal* journal = nullptr, UndoDevices* devices = nullptr);

// Marks the rows that the journal of the run they name records; the rest
// stay unrecorded.
void MatchJournal(UndoPlan& plan, RunJournal* journal);

// The rows of a run's journal, recorded and checked as a log's rows are;
// false with `error` when the run's output folder cannot be found.
bool PlanJournalUndo(const JournalRun& run, const std::vector<JournalEntry>& files, FileSystem& fs, UndoPlan& plan,
                     std::string& error, UndoDevices* devices = nullptr);

// The rows to act on (Restore or Remove) that no journal records.
int UnrecordedToDo(const UndoPlan& plan);

// Decides a trusted row's action again from its files as they stand now.
// `logFolder` is the folder that holds the log (UndoPlan::LogFolder).
// A row of a device's run reaches its device through `devices`; without
// them, its copy is kept as that of a device not plugged in.
void AssessUndoRow(UndoRow& row, const std::string& logFolder, FileSystem& fs, UndoDevices* devices = nullptr);

// folder is top or lies below it.
bool WithinFolder(const std::string& folder, const std::string& top);

}  // namespace ravlen
