#pragma once
// Undoing a run from its CSV log: every file the log says was moved goes back
// to its original place, every copy that is still identical to its original
// is removed, and anything that does not match the log is left alone.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_system.h"
#include "model/user_port.h"

namespace ravlen {

// ------------------------------------------------------------------ the plan

enum class UndoAction {
    Restore,        // move the renamed file back to its original name
    Remove,         // remove a copy that is identical to its original
    AlreadyUndone,  // the file is already as it was before the run
    NotPlaced,      // the run neither moved nor copied this file
    LeaveAlone,     // something does not match the log; nothing is done
    NotAttempted,   // the undo was stopped before this row
};

// One data row of the log and what the undo does with it.
struct UndoRow {
    int Row = 0;  // 1 = the first row after the header
    std::string SourceFolder;
    std::string SourceFileName;
    std::string OutputFolder;
    std::string OutputFileName;
    std::string Operation;
    std::int64_t Size = -1;
    bool Trusted = false;  // the row parsed and names plain paths inside the log's folder
    UndoAction Action = UndoAction::LeaveAlone;
    std::string Reason;  // why nothing is (or was) done; empty for Restore and Remove
};

struct UndoCounts {
    int Restore = 0, Remove = 0, AlreadyUndone = 0, NotPlaced = 0, LeaveAlone = 0;
    int Total() const { return Restore + Remove + AlreadyUndone + NotPlaced + LeaveAlone; }
};

struct UndoPlan {
    std::string CsvPath;
    std::string LogFolder;  // the folder that holds the log, as the file system names it
    std::vector<UndoRow> Rows;
    UndoCounts Counts() const;
};

// Reads the log and decides, row by row, what an undo would do now. False with
// `error` (a message for the user) when the file cannot be read or is not a
// CSV log of the program; rows that do not fit are planned as LeaveAlone.
bool PlanUndo(const std::string& csvPath, FileSystem& fs, UndoPlan& plan, std::string& error);

// ------------------------------------------------------------------ the run

enum class UndoOutcome {
    Completed,    // every file the log moved or copied is back as it was
    NothingToDo,  // the run was undone before, or moved and copied nothing
    Refused,      // the log was refused, or the question was answered No
    Incomplete,   // files were left alone, or the undo was stopped
};

struct UndoResult {
    UndoOutcome Outcome = UndoOutcome::Refused;
    UndoCounts Done;             // what happened to each row (Restore = restored, ...)
    int NotAttempted = 0;        // rows after a Stop
    std::string UndoLogPath;     // empty when none was written
    std::vector<UndoRow> Rows;   // the rows as handled, in the log's order
};

// The whole undo as the window's "Undo a run..." and `ravlen-run --undo` do
// it: read and plan, show the preview report and ask (when askFirst), undo
// with the progress window and Stop, write the undo log and show the summary.
UndoResult RunUndo(const std::string& csvPath, FileSystem& fs, UserPort& port, bool askFirst);

// "<log name without .csv> undo.csv" beside the log.
std::string UndoLogPath(const std::string& csvPath);

// The reports, lines joined by CR LF, counts zero-padded to the width of the
// number of rows.
std::string UndoPreviewReport(const UndoCounts& planned);
std::string UndoSummaryReport(const UndoCounts& done, int notAttempted);

}  // namespace ravlen
