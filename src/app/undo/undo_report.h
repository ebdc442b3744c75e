#pragma once
// What an undo tells: the question before it, the messages after it, and the
// undo log that lists every row.

#include <memory>
#include <string>
#include <vector>

#include "app/undo/undo_plan.h"
#include "model/file_system.h"

namespace ravlen {

// "<log name without .csv> undo.csv" beside the log.
std::string UndoLogPath(const std::string& csvPath);

// The reports, lines joined by CR LF, counts zero-padded to the width of the
// number of rows.
std::string UndoPreviewReport(const UndoCounts& planned);
std::string UndoSummaryReport(const UndoCounts& done, int notAttempted);

// The preview report with the files left alone, and the question.
std::string UndoQuestion(const UndoCounts& planned, const std::vector<UndoRow>& rows);
// When nothing was or is to be restored or removed, and nothing left alone.
std::string UndoNothingToDoMessage(const UndoCounts& counts);
// When every file was restored or removed, or (`backedUp`) had the backup
// copies the run made of it removed.
std::string UndoSuccessMessage(int restored, int removed, int backedUp = 0);
// When files were left alone or not attempted: the summary, the files left
// alone, and where the undo log is (or why there is none).
std::string UndoIncompleteMessage(const UndoCounts& done, int notAttempted, bool anythingToDo,
                                  const std::vector<UndoRow>& rows, const std::string& undoLogPath,
                                  const std::string& undoLogError);

// The record of an undo, beside the log; created new, never over a file.
class UndoLog {
public:
    // Null with `error` set when no file could be created.
    static std::unique_ptr<UndoLog> Create(FileSystem& fs, const std::string& csvPath, std::string& error);
    // Write errors are ignored, as in the run's own logs.
    void Write(const UndoRow& row);
    void Close() { (void)file_->Close(); }
    const std::string& Path() const { return path_; }

private:
    UndoLog(std::unique_ptr<TextFile> file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}
    void Line(const std::string& text);

    std::unique_ptr<TextFile> file_;
    std::string path_;
};

}  // namespace ravlen
