#include "app/undo/undo_report.h"

#include "log/csv_text.h"
#include "model/report_text.h"

namespace ravlen {
namespace {

const char* const kCrLf = "\r\n";
constexpr int kMaxListed = 10;  // left-alone files named in a message
constexpr int kMaxUndoLogNumber = 999;

std::string Digits(std::int64_t value) { return std::to_string(value); }

const char* ActionText(UndoAction action) {
    switch (action) {
        case UndoAction::Restore:
            return "Restored";
        case UndoAction::Remove:
            return "Removed";
        case UndoAction::RemoveBackups:
            return "Backup copies removed";
        case UndoAction::NotAttempted:
            return "Not attempted";
        default:
            return "Left alone";
    }
}

// The files left alone, each with its reason, the first few of them.
std::string LeftAloneList(const std::vector<UndoRow>& rows) {
    std::string text;
    int listed = 0, more = 0;
    for (const UndoRow& row : rows) {
        if (row.Action != UndoAction::LeaveAlone) continue;
        if (listed == kMaxListed) {
            ++more;
            continue;
        }
        ++listed;
        text += kCrLf;
        text += "  Row " + Digits(row.Row);
        if (row.Trusted) text += ", " + row.OutputFileName;
        text += ": " + row.Reason;
    }
    if (listed == 0) return "";
    if (more > 0) text += std::string(kCrLf) + "  ... and " + Digits(more) + " more.";
    return std::string(kCrLf) + kCrLf + "Left alone:" + text;
}

std::string UndoLogNote(const std::string& path, const std::string& error) {
    const std::string text = path.empty() ? "No undo log could be written: " + error + "."
                                          : "Every file is listed in the undo log " + QuotedName(path) + ".";
    return std::string(kCrLf) + kCrLf + text;
}

}  // namespace

std::string UndoLogPath(const std::string& csvPath) {
    std::string stem = csvPath;
    if (stem.size() >= 4) {
        std::string ext = stem.substr(stem.size() - 4);
        for (char& ch : ext)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        if (ext == ".csv") stem.resize(stem.size() - 4);
    }
    return stem + " undo.csv";
}

std::string UndoPreviewReport(const UndoCounts& c) {
    ReportBuilder r(c.Total());
    r.Line(c.Restore, "  files will be restored to their original place");
    r.Line(c.Remove - c.RemoveFromDevice, "  copies will be removed if identical to their originals");
    r.Line(c.LeaveAlone, "  files will be left alone");
    r.Line(c.AlreadyUndone, "  files were undone before");
    r.Line(c.NotPlaced, "  files were not moved or copied by the run");
    if (c.AlreadyGone > 0) r.Line(c.AlreadyGone, "  copies were already gone");
    if (c.RemoveBackups > 0)
        r.Line(c.RemoveBackups, "  files imported before will lose the backup copies the run made, if identical");
    if (c.RemoveFromDevice > 0)
        r.Line(c.RemoveFromDevice, "  copies from a camera or phone will be removed while it holds their originals");
    r.Rule();
    r.Line(c.Total(), "  total files in the log");
    return r.Text();
}

std::string UndoSummaryReport(const UndoCounts& c, int notAttempted) {
    const std::int64_t total = std::int64_t{c.Total()} + notAttempted;
    ReportBuilder r(total);
    r.Line(c.Restore, "  files restored to their original place");
    r.Line(c.Remove - c.RemoveFromDevice, "  copies removed");
    r.Line(c.LeaveAlone, "  files left alone");
    r.Line(c.AlreadyUndone, "  files were undone before");
    r.Line(c.NotPlaced, "  files were not moved or copied by the run");
    if (c.AlreadyGone > 0) r.Line(c.AlreadyGone, "  copies were already gone");
    if (c.RemoveBackups > 0) r.Line(c.RemoveBackups, "  files imported before: the backup copies the run made removed");
    if (c.RemoveFromDevice > 0) r.Line(c.RemoveFromDevice, "  copies from a camera or phone removed");
    r.Rule();
    if (notAttempted > 0) {
        r.Line(c.Total(), "  subtotal files attempted");
        r.Line(notAttempted, "  files not attempted due to termination");
        r.Rule();
    }
    r.Line(total, "  total files in the log");
    return r.Text();
}

std::string UndoQuestion(const UndoCounts& planned, const std::vector<UndoRow>& rows) {
    return UndoPreviewReport(planned) + LeftAloneList(rows) + kCrLf + kCrLf + kCrLf + "Do you want to undo the run?";
}

std::string UndoNothingToDoMessage(const UndoCounts& counts) {
    if (counts.AlreadyUndone > 0)
        return "This run has already been undone: every file its log moved or copied is as it was before the run.";
    if (counts.AlreadyGone > 0) return "Every copy the run made is already gone, so there is nothing to undo.";
    if (counts.Total() == 0) return "The log lists no files, so there is nothing to undo.";
    return "The run moved or copied no files, so there is nothing to undo.";
}

std::string UndoSuccessMessage(int restored, int removed, int backedUp) {
    if (restored + removed == 0) {
        const std::string files = backedUp == 1   ? "the file"
                                  : backedUp == 2 ? "both files"
                                                  : "all " + Digits(backedUp) + " files";
        return "The backup copies the run made of " + files + " imported before were successfully removed.";
    }
    const int total = restored + removed + backedUp;
    const bool copies = restored == 0;
    const std::string one = copies ? "copy" : "file";
    const std::string many = copies ? "copies" : "files";
    const std::string what = total == 1   ? "One " + one
                             : total == 2 ? "Both " + many
                                          : "All " + Digits(total) + " " + many;
    if (removed == 0 && backedUp == 0)
        return what + " successfully restored to " + (total == 1 ? "its" : "their") + " original place.";
    if (restored == 0 && backedUp == 0) return what + " successfully removed.";
    return what + " successfully undone.";
}

std::string UndoIncompleteMessage(const UndoCounts& done, int notAttempted, bool anythingToDo,
                                  const std::vector<UndoRow>& rows, const std::string& undoLogPath,
                                  const std::string& undoLogError) {
    std::string text;
    if (!anythingToDo) text = std::string("Nothing in this log can be undone.") + kCrLf + kCrLf;
    return text + UndoSummaryReport(done, notAttempted) + LeftAloneList(rows) + UndoLogNote(undoLogPath, undoLogError);
}

std::unique_ptr<UndoLog> UndoLog::Create(FileSystem& fs, const std::string& csvPath, std::string& error) {
    const std::string first = UndoLogPath(csvPath);
    const std::string stem = first.substr(0, first.size() - 4);  // without ".csv"
    for (int n = 1; n <= kMaxUndoLogNumber; ++n) {
        const std::string path = n == 1 ? first : stem + " " + Digits(n) + ".csv";
        std::unique_ptr<TextFile> file = fs.CreateTextFile(path, error);
        if (file) {
            std::unique_ptr<UndoLog> log(new UndoLog(std::move(file), path));
            log->Line("Row,SourceFolder,SourceFileName,OutputFolder,OutputFileName,Operation,Action,Reason");
            return log;
        }
        if (!fs.FileExists(path)) return nullptr;  // not a taken name: no other name will do better
    }
    error = "every name from " + QuotedName(first) + " on is taken";
    return nullptr;
}


void UndoLog::Write(const UndoRow& row) {
    Line(Digits(row.Row) + "," + CsvQuoted(row.SourceFolder) + "," + CsvQuoted(row.SourceFileName) + "," +
         CsvQuoted(row.OutputFolder) + "," + CsvQuoted(row.OutputFileName) + "," + CsvQuoted(row.OperationText) + "," +
         CsvQuoted(ActionText(row.Action)) + "," + CsvQuoted(row.Reason));
}

void UndoLog::Line(const std::string& text) { (void)file_->Write(text + kCrLf); }

}  // namespace ravlen
