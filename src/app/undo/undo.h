#pragma once
// Undoing a run from its CSV log: every file the log says was moved goes back
// to its original place, every copy that is still identical to its original
// is removed, and anything that does not match the log is left alone.

#include <string>
#include <vector>

#include "app/undo/undo_plan.h"
#include "app/undo/undo_report.h"
#include "model/continuing_numbers.h"
#include "model/file_system.h"
#include "model/import_record.h"
#include "model/intent_record.h"
#include "model/user_port.h"

namespace ravlen {

enum class UndoOutcome {
    Completed,    // every file the log moved or copied is back as it was
    NothingToDo,  // the run was undone before, its copies are gone, or it moved and copied nothing
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
// The record of imports, when given, forgets every file the undo takes back.
// The record of intent, when given, holds each move back while it is under
// way, and what a killed run or undo left in it is settled first.
// The journals, when given, tell the rows a run of this computer recorded;
// the rest are undone only after a question (UnrecordedQuestion).
// The continuing numbers, when given, get back those of the files taken back
// while no later number of their scope was handed out.
// The files of a run from a camera or phone are looked for on the device
// through `devices`, by default the devices plugged in (CableDevices): a copy
// goes only while the device still holds its original; a moved file stays.
UndoResult RunUndo(const std::string& csvPath, FileSystem& fs, UserPort& port, bool askFirst,
                   ImportRecord* imports = nullptr, IntentRecord* intents = nullptr, RunJournal* journal = nullptr,
                   ContinuingNumbers* numbers = nullptr, UndoDevices* devices = nullptr);

// The same undo from a run's journal: "Undo last import..." and
// `ravlen-run --undo-last` / `--undo-run ID`. A run the undo leaves with
// nothing to undo is marked undone.
UndoResult RunJournalUndo(const std::string& runId, RunJournal& journal, FileSystem& fs, UserPort& port,
                          bool askFirst, ImportRecord* imports = nullptr, IntentRecord* intents = nullptr,
                          UndoDevices* devices = nullptr);

// The newest run not yet undone; "" when there is none.
std::string LastRunToUndo(RunJournal& journal);

// The question before rows that no journal records are undone.
std::string UnrecordedQuestion(int rows);

}  // namespace ravlen
