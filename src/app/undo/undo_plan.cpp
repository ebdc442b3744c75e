#include "app/undo/undo_plan.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "engine/placement.h"
#include "log/csv_text.h"
#include "log/run_logs.h"
#include "model/report_text.h"
#include "model/version.h"
#include "platform/device_source.h"

namespace ravlen {

bool WithinFolder(const std::string& folder, const std::string& top) {
    if (folder == top) return true;
    if (top == "/") return !folder.empty() && folder[0] == '/';
    return folder.size() > top.size() && folder.compare(0, top.size(), top) == 0 && folder[top.size()] == '/';
}

namespace {

// Where the columns the undo reads stand in a log, found by name in its header.
struct LogColumns {
    std::size_t Count = 0;  // fields of every row
    std::size_t SourceFileName = 0, SourceFolder = 0, Size = 0, Timestamped = 0, Operation = 0,
                OutputFileName = 0, OutputFolder = 0;
    std::size_t FileSystemDateModified = 0;
    std::optional<std::size_t> OriginalModifiedTime;  // logs of runs that set the files' times
    std::optional<std::size_t> RunId;                 // logs of runs that kept a journal
    std::optional<std::size_t> BackupPaths;           // logs of runs that knew backup folders
    std::optional<std::size_t> ContinuingNumber, ContinuingScope;  // logs of runs that numbered files

    // Nothing when the header is not a CSV log's: it must start with the
    // columns of the first layout; columns added since (known to this
    // version or not) may follow.
    static std::optional<LogColumns> Of(const CsvRecord& record) {
        const std::vector<std::string>& ours = CsvLogColumns();
        const std::vector<std::string>& names = record.Fields;
        if (record.BadQuotes || record.TooLong || record.Unterminated || names.size() < kCsvFirstLayoutColumns ||
            !std::equal(ours.begin(), ours.begin() + kCsvFirstLayoutColumns, names.begin()))
            return std::nullopt;
        const CsvHeader header(names);
        LogColumns c;
        c.Count = names.size();
        const std::pair<std::string_view, std::size_t*> wanted[] = {
            {csv_column::kSourceFileName, &c.SourceFileName}, {csv_column::kSourceFolder, &c.SourceFolder},
            {csv_column::kSize, &c.Size},                     {csv_column::kTimestamped, &c.Timestamped},
            {csv_column::kOperation, &c.Operation},           {csv_column::kOutputFileName, &c.OutputFileName},
            {csv_column::kOutputFolder, &c.OutputFolder},     {csv_column::kFileSystemDateModified, &c.FileSystemDateModified},
        };
        for (const auto& [name, index] : wanted) {
            const std::optional<std::size_t> at = header.Find(name);
            if (!at) return std::nullopt;
            *index = *at;
        }
        c.OriginalModifiedTime = header.Find(csv_column::kOriginalModifiedTime);
        c.RunId = header.Find(csv_column::kRunId);
        c.BackupPaths = header.Find(csv_column::kBackupPaths);
        c.ContinuingNumber = header.Find(csv_column::kContinuingNumber);
        c.ContinuingScope = header.Find(csv_column::kContinuingScope);
        return c;
    }
};

// A log is read in pieces of this size; a run of more files than the row
// limit is no log of a camera's card.
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kMaxRows = 1000000;


// A single name inside a folder: never empty, ".", ".." or anything that
// reaches another folder.
bool PlainName(std::string_view name) { return UnusableFilenameReason(name).empty(); }

// An absolute folder path as the file system reports one: "/" or "/" followed
// by plain names, with no empty, "." or ".." part and no trailing "/".
bool PlainFolder(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    if (path == "/") return true;
    std::size_t start = 1;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (!PlainName(std::string_view(path).substr(start, end - start))) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

// The backup copies' paths of a BackupPaths field: absolute paths separated
// by ";" (a ";" followed by "/" separates; one inside a name does not), each
// a plain folder and a plain name; anything else is no backup copy.
std::vector<JournalBackup> BackupPathsOf(const std::string& field) {
    std::vector<JournalBackup> paths;
    if (field.empty() || field[0] != '/') return paths;
    for (std::size_t start = 0; start < field.size();) {
        std::size_t end = field.find(";/", start);
        if (end == std::string::npos) end = field.size();
        const std::string path = field.substr(start, end - start);
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
        if (PlainFolder(folder) && PlainName(std::string_view(path).substr(slash + 1)))
            paths.push_back(JournalBackup{path, {}, 0, {}});
        start = end + 1;
    }
    return paths;
}

bool ParseSize(const std::string& text, std::int64_t& size) {
    if (text.empty() || text.size() > 18) return false;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    size = value;
    return true;
}

// The device a device's folder path names, where the path alone tells it: a
// port that is itself a path (disk:/...) is told only by the run's journal.
std::string DeviceTopOf(const std::string& folder) {
    const std::string top = folder.substr(0, folder.find('/'));
    const std::optional<DeviceInfo> device = ParseDeviceSourcePath(top);
    if (!device || device->Port.back() == ':') return {};
    return top;
}

// The folder on its device of a device row's SourceFolder; nothing when the
// row's device is not known or the rest is no plain folder path.
std::optional<std::string> DeviceFolderOf(const UndoRow& row) {
    if (row.DeviceTop.empty() || row.SourceFolder.compare(0, row.DeviceTop.size(), row.DeviceTop) != 0)
        return std::nullopt;
    std::string rest = row.SourceFolder.substr(row.DeviceTop.size());
    if (rest.empty()) rest = "/";
    if (!PlainFolder(rest)) return std::nullopt;
    return rest;
}

// A row of a moved or copied file whose paths are plain and whose output lies
// in the log's folder is trusted; false when it is left alone.
bool CheckPaths(UndoRow& row, const std::string& logFolder) {
    if (!PlainName(row.SourceFileName)) {
        row.LeaveAlone("The row's SourceFileName is not a plain file name.");
    } else if (!PlainName(row.OutputFileName)) {
        row.LeaveAlone("The row's OutputFileName is not a plain file name.");
    } else if (!row.FromDevice && !PlainFolder(row.SourceFolder)) {
        row.LeaveAlone("The row's SourceFolder is not a plain absolute folder path.");
    } else if (!PlainFolder(row.OutputFolder)) {
        row.LeaveAlone("The row's OutputFolder is not a plain absolute folder path.");
    } else if (!WithinFolder(row.OutputFolder, logFolder)) {
        row.LeaveAlone("The row's OutputFolder is neither the log's folder nor inside it.");
    } else if (row.SourceFolder == row.OutputFolder && row.SourceFileName == row.OutputFileName) {
        row.LeaveAlone("The row's output file is its original file.");
    } else {
        row.Trusted = true;
        row.Action = row.Operation == FileOperation::Moved           ? UndoAction::Restore
                     : row.Operation == FileOperation::AlreadyImported ? UndoAction::RemoveBackups
                                                                       : UndoAction::Remove;
    }
    return row.Trusted;
}

// What a record says, checked as far as it can be without looking at the disk.
UndoRow ReadRow(const CsvRecord& record, const LogColumns& c, int number, const std::string& logFolder) {
    UndoRow row;
    row.Row = number;
    const auto& f = record.Fields;
    const std::size_t columns = c.Count;
    if (f.size() == columns && !record.TooLong) {
        row.SourceFolder = f[c.SourceFolder];
        row.SourceFileName = f[c.SourceFileName];
        row.OutputFolder = f[c.OutputFolder];
        row.OutputFileName = f[c.OutputFileName];
        row.OperationText = f[c.Operation];
        row.Operation = OperationFromText(row.OperationText).value_or(FileOperation::None);
        if (c.OriginalModifiedTime) row.OriginalModified = FileTime::Parse(f[*c.OriginalModifiedTime]);
        if (c.RunId) row.RunId = f[*c.RunId];
        row.LoggedModified = f[c.FileSystemDateModified];
        row.FromDevice = IsDeviceSourcePath(row.SourceFolder);
        if (row.FromDevice) row.DeviceTop = DeviceTopOf(row.SourceFolder);
        if (c.BackupPaths) row.BackupPaths = BackupPathsOf(f[*c.BackupPaths]);
        if (c.ContinuingNumber && c.ContinuingScope && ParseSize(f[*c.ContinuingNumber], row.ContinuingNumber))
            row.ContinuingScope = f[*c.ContinuingScope];
    }
    if (record.TooLong) {
        row.LeaveAlone("The row is longer than any row the program writes.");
    } else if (record.Unterminated) {
        row.LeaveAlone("The row's last quoted field is never closed: the log seems cut short.");
    } else if (record.BadQuotes) {
        row.LeaveAlone("The row has a double quote where the program never writes one.");
    } else if (f.size() != columns) {
        row.LeaveAlone("The row has " + std::to_string(f.size()) + " field" +
                            (f.size() == 1 ? "" : "s") + " instead of " + std::to_string(columns) + ".");
    } else if (f[c.Timestamped] == "No" && row.Operation == FileOperation::AlreadyImported &&
               !row.BackupPaths.empty()) {
        // A file imported before whose backup copies the run made: those go, the file stays.
        if (CheckPaths(row, logFolder) && !ParseSize(f[c.Size], row.Size)) {
            row.Trusted = false;
            row.LeaveAlone("The row's Size is not a number.");
        }
    } else if (f[c.Timestamped] == "No") {
        row.Action = UndoAction::NotPlaced;
        row.Reason = "The run did not move or copy this file.";
    } else if (f[c.Timestamped] != "Yes") {
        row.LeaveAlone("The row's Timestamped field is neither Yes nor No.");
    } else if (row.Operation != FileOperation::Moved && row.Operation != FileOperation::Copied) {
        row.LeaveAlone("The row's Operation is neither Moved nor Copied.");
    } else if (CheckPaths(row, logFolder) && !ParseSize(f[c.Size], row.Size)) {
        row.Trusted = false;
        row.LeaveAlone("The row's Size is not a number.");
    }
    return row;
}

std::string SizeChange(const char* what, std::int64_t now, std::int64_t logged) {
    return std::string(what) + " has changed since the run: it holds " + GroupedCount(now) + " bytes, the log says " +
           GroupedCount(logged) + ".";
}

// A row about to be acted on, against its run's journal: the placed file must
// be the one the run placed; without a journal, `logged` (the file the row's
// facts are of) must still have the modified time the log states.
void CheckRecord(UndoRow& row, const std::optional<FsItem>& out, const std::optional<FsItem>& logged) {
    if (row.Recorded) {
        if (row.PlacedId.Known() && out->Id.Known() && !(out->Id == row.PlacedId))
            row.LeaveAlone("The file at the output name is not the one the run placed.");
    } else if (!logged || logged->Modified.FormatFull() != row.LoggedModified) {
        row.LeaveAlone("No run on this computer recorded this file, and its modified time is not the one the log "
                       "states.");
    }
}

std::string DeviceName(const UndoRow& row) {
    const std::optional<DeviceInfo> device = ParseDeviceSourcePath(row.DeviceTop);
    return device ? device->Model : row.DeviceTop;
}

// A row of a run from a camera or phone. Nothing is ever written back to a
// device: a moved file stays where the run put it. A copy goes only while
// the device, plugged in, still holds its original with the copy's size.
void AssessDeviceRow(UndoRow& row, FileSystem& fs, UndoDevices* devices) {
    if (!DeviceFolderOf(row)) {
        row.LeaveAlone("The device this file came from cannot be told from the row's SourceFolder, so nothing is "
                       "done.");
        return;
    }
    if (row.Operation == FileOperation::Moved) {
        row.LeaveAlone("The file was moved from the device " + QuotedName(DeviceName(row)) +
                       ": nothing is written back to a device, so the file stays where it is.");
        return;
    }
    const std::string output = JoinPath(row.OutputFolder, row.OutputFileName);
    const std::optional<FsItem> out = fs.GetFile(output);
    row.Action = UndoAction::Remove;
    if (!out && !fs.FileExists(output)) {
        row.Action = UndoAction::AlreadyGone;
        row.Reason = "The copy is already gone.";
        return;
    }
    if (!out) return row.LeaveAlone("The copy is not a plain file.");
    std::string why = "No device can be reached here.";
    DeviceSource* device = devices ? devices->Reach(row.DeviceTop, why) : nullptr;
    if (!device)
        return row.LeaveAlone("The copy is kept, its original on the device not found: " + why +
                              " Plug the device in and undo again.");
    const std::optional<FsItem> src = device->GetFile(row.SourceFolder + "/" + row.SourceFileName);
    if (!src) {
        if (device->Unplugged())
            return row.LeaveAlone("The copy is kept: the device " + QuotedName(DeviceName(row)) +
                                  " is no longer connected.");
        return row.LeaveAlone("The original is no longer on the device, so the copy is kept.");
    }
    if (out->Size != src->Size) return row.LeaveAlone("The copy and the original differ in size, so the copy is kept.");
    if (src->Size != row.Size)
        return row.LeaveAlone(SizeChange("The original", src->Size, row.Size) + " The copy is kept.");
    CheckRecord(row, out, src);
}

// A file imported before the run: the file stays in the output folder, and the
// backup copies the run made of it go while that file is still there (their
// bytes are compared with it) and is the one the run found; a row no run
// recorded also needs its original's size and modified time as logged.
void AssessBackupsOnly(UndoRow& row, const std::optional<FsItem>& out, const std::optional<FsItem>& src,
                       FileSystem& fs) {
    row.Action = UndoAction::RemoveBackups;
    if (std::none_of(row.BackupPaths.begin(), row.BackupPaths.end(),
                     [&](const JournalBackup& copy) { return fs.FileExists(copy.Path); })) {
        row.Action = UndoAction::AlreadyGone;
        row.Reason = "The backup copies are already gone.";
    } else if (!out) {
        row.LeaveAlone("The file imported before is not in the output folder, so its backup copies are kept.");
    } else if (out->Size != row.Size) {
        row.LeaveAlone(SizeChange("The file imported before", out->Size, row.Size) + " Its backup copies are kept.");
    } else if (row.Recorded) {
        if (row.PlacedId.Known() && out->Id.Known() && !(out->Id == row.PlacedId))
            row.LeaveAlone("The file at the output name is not the one the run found there, so its backup copies "
                           "are kept.");
    } else if (src && src->Size != row.Size) {
        row.LeaveAlone(SizeChange("The original", src->Size, row.Size) + " Its backup copies are kept.");
    } else {
        CheckRecord(row, out, src);
    }
}

}  // namespace

// What undoing a trusted row would do with the files as they stand now.
void AssessUndoRow(UndoRow& row, const std::string& logFolder, FileSystem& fs, UndoDevices* devices) {
    if (!row.Trusted) return;
    row.Reason.clear();
    // Path text is no proof of place: a link inside the log's folder could
    // lead anywhere. The output folder must be reached from the log's folder,
    // and the original folder (or, when it is gone, the one that held it)
    // from the root, without following a link.
    // An output folder that is gone holds nothing to act on; the checks below say so.
    const bool outputFolderThere = fs.FolderExists(row.OutputFolder) || fs.FileExists(row.OutputFolder);
    if (const FsStatus reached = outputFolderThere ? fs.ReachFolderBeneath(logFolder, row.OutputFolder, nullptr)
                                                   : FsStatus::Ok();
        !reached) {
        row.LeaveAlone("The row's OutputFolder cannot be reached from the log's folder without following a link: " +
                       reached.error + ".");
        return;
    }
    if (row.FromDevice) {
        // Imported before: only the backup copies the run made go, and the
        // device is not needed for them.
        if (row.Operation == FileOperation::AlreadyImported)
            return AssessBackupsOnly(row, fs.GetFile(JoinPath(row.OutputFolder, row.OutputFileName)), std::nullopt, fs);
        return AssessDeviceRow(row, fs, devices);
    }
    const std::string original =
        fs.FolderExists(row.SourceFolder) ? row.SourceFolder : fs.ParentPart(row.SourceFolder);
    if (fs.FolderExists(original)) {
        if (const FsStatus reached = fs.ReachFolderBeneath("/", original, nullptr); !reached) {
            row.LeaveAlone("The row's SourceFolder cannot be reached without following a link: " + reached.error +
                           ".");
            return;
        }
    }
    const std::string output = JoinPath(row.OutputFolder, row.OutputFileName);
    const std::string source = JoinPath(row.SourceFolder, row.SourceFileName);
    const std::optional<FsItem> out = fs.GetFile(output);
    const std::optional<FsItem> src = fs.GetFile(source);
    const bool outThere = out || fs.FileExists(output);
    const bool srcThere = src || fs.FileExists(source);

    if (row.Operation == FileOperation::AlreadyImported) return AssessBackupsOnly(row, out, src, fs);

    if (row.Operation == FileOperation::Moved) {
        row.Action = UndoAction::Restore;
        if (!outThere) {
            if (src && src->Size == row.Size) {
                row.Action = UndoAction::AlreadyUndone;
                row.Reason = "The file is already back at its original place.";
            } else if (srcThere) {
                row.LeaveAlone("The renamed file is missing, and another file stands at the original name.");
            } else {
                row.LeaveAlone("The renamed file is missing.");
            }
        } else if (!out) {
            row.LeaveAlone("The renamed file is not a plain file.");
        } else if (out->Size != row.Size) {
            row.LeaveAlone(SizeChange("The renamed file", out->Size, row.Size));
        } else if (srcThere) {
            row.LeaveAlone("A file already stands at the original name.");
        } else if (!fs.FolderExists(row.SourceFolder)) {
            if (!row.Recorded) {
                row.LeaveAlone("The original folder is gone, and no run on this computer recorded this file, so "
                               "no folder is made for it.");
            } else if (fs.FileExists(row.SourceFolder)) {
                row.LeaveAlone("Something other than a folder stands at the original folder's path.");
            } else if (!fs.FolderExists(fs.ParentPart(row.SourceFolder))) {
                // Only the last folder is made again: a whole missing chain is
                // more likely a card that is not attached than folders deleted.
                row.LeaveAlone("The original folder is gone, and so is the folder that held it.");
            }
        }
        if (row.Action == UndoAction::Restore) CheckRecord(row, out, out);
        return;
    }

    row.Action = UndoAction::Remove;
    if (!outThere) {
        if (srcThere) {
            // Removed by an earlier undo or moved away by the user: either way
            // there is nothing to remove, and it was not necessarily undone.
            row.Action = UndoAction::AlreadyGone;
            row.Reason = "The copy is already gone.";
        } else {
            row.LeaveAlone("The copy is missing, and so is the original.");
        }
    } else if (!out) {
        row.LeaveAlone("The copy is not a plain file.");
    } else if (!srcThere) {
        row.LeaveAlone("The original is no longer at its original place, so the copy is kept.");
    } else if (!src) {
        row.LeaveAlone("The original is not a plain file, so the copy is kept.");
    } else if (out->Size != src->Size) {
        row.LeaveAlone("The copy and the original differ in size, so the copy is kept.");
    } else if (src->Size != row.Size) {
        row.LeaveAlone(SizeChange("The original", src->Size, row.Size) + " The copy is kept.");
    } else {
        // A copy's row logs its original's facts.
        CheckRecord(row, out, src);
    }
}

void UndoCounts::Add(const UndoRow& row) {
    switch (row.Action) {
        case UndoAction::Restore:
            ++Restore;
            break;
        case UndoAction::Remove:
            ++Remove;
            if (row.FromDevice) ++RemoveFromDevice;
            break;
        case UndoAction::AlreadyUndone:
            ++AlreadyUndone;
            break;
        case UndoAction::NotPlaced:
            ++NotPlaced;
            break;
        case UndoAction::LeaveAlone:
            ++LeaveAlone;
            break;
        case UndoAction::AlreadyGone:
            ++AlreadyGone;
            break;
        case UndoAction::RemoveBackups:
            ++RemoveBackups;
            break;
        case UndoAction::NotAttempted:
            break;  // counted apart
    }
}

UndoCounts UndoPlan::Counts() const {
    UndoCounts counts;
    for (const UndoRow& row : Rows) counts.Add(row);
    return counts;
}

bool ReadRunLog(const std::string& csvPath, FileSystem& fs, UndoPlan& plan, std::string& error) {
    plan = UndoPlan{};
    plan.CsvPath = csvPath;
    const std::string title = Version().Title;
    const std::optional<FsItem> item = fs.GetFile(csvPath);
    if (!item) {
        error = fs.FileExists(csvPath) ? "The log " + QuotedName(csvPath) + " is not a file."
                                       : "The log " + QuotedName(csvPath) + " doesn't exist.";
        return false;
    }
    std::string parent = fs.ParentPart(csvPath);
    if (parent.empty()) parent = ".";
    const std::optional<FolderRef> folder = fs.GetFolder(parent);
    if (!folder) {
        error = "The folder of the log " + QuotedName(csvPath) + " cannot be found.";
        return false;
    }
    plan.LogFolder = folder->Path;

    FsStatus opened;
    std::unique_ptr<ReadStream> in = fs.OpenRead(csvPath, opened);
    if (!in) {
        error = "The log " + QuotedName(csvPath) + " could not be read due to the following error: " + opened.error + ".";
        return false;
    }

    const std::string notOurs = "The file " + QuotedName(csvPath) + " is not a CSV log of " + title +
                                ": its first line is not the log's header.";
    std::optional<LogColumns> columns;
    bool header = true, refused = false;
    CsvSplitter splitter([&](CsvRecord&& record) {
        if (refused) return;
        if (header) {
            header = false;
            columns = LogColumns::Of(record);
            if (!columns) {
                error = notOurs;
                refused = true;
            }
            return;
        }
        if (static_cast<int>(plan.Rows.size()) >= kMaxRows) {
            error = "The log " + QuotedName(csvPath) + " holds more than " + GroupedCount(kMaxRows) +
                    " rows, more than an undo takes on at once.";
            refused = true;
            return;
        }
        plan.Rows.push_back(ReadRow(record, *columns, static_cast<int>(plan.Rows.size()) + 1, plan.LogFolder));
    });

    std::uint64_t left = static_cast<std::uint64_t>(item->Size);
    std::string chunk;
    while (left > 0 && !refused) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kReadChunk));
        chunk.clear();
        const FsStatus read = in->Read(n, chunk);
        if (!read) {
            in->Close();
            error = "The log " + QuotedName(csvPath) + " could not be read due to the following error: " + read.error + ".";
            return false;
        }
        splitter.Feed(chunk);
        left -= n;
    }
    in->Close();
    if (!refused) splitter.Finish();
    if (!refused && header) {  // not even a header line
        error = notOurs;
        refused = true;
    }
    if (refused) plan.Rows.clear();
    return !refused;
}

bool PlanUndo(const std::string& csvPath, FileSystem& fs, UndoPlan& plan, std::string& error, RunJournal* journal,
              UndoDevices* devices) {
    if (!ReadRunLog(csvPath, fs, plan, error)) return false;
    MatchJournal(plan, journal);
    for (UndoRow& row : plan.Rows) AssessUndoRow(row, plan.LogFolder, fs, devices);
    return true;
}

}  // namespace ravlen

namespace ravlen {

void MatchJournal(UndoPlan& plan, RunJournal* journal) {
    if (!journal) return;
    using Key = std::tuple<std::string, std::string, FileOperation>;
    struct Recorded {
        std::string source;  // the run's source
        std::map<Key, JournalEntry> files;
    };
    std::map<std::string, Recorded> runs;  // by run id
    for (UndoRow& row : plan.Rows) {
        if (!row.Trusted || row.RunId.empty()) continue;
        auto run = runs.find(row.RunId);
        if (run == runs.end()) {
            run = runs.emplace(row.RunId, Recorded{}).first;
            if (const std::optional<JournalRun> recorded = journal->Run(row.RunId)) {
                run->second.source = recorded->SourceFolder;
                for (JournalEntry& entry : journal->Files(row.RunId))
                    run->second.files.emplace(Key{entry.Source, entry.Target, entry.Operation}, std::move(entry));
            }
        }
        // The run's source names the device, whatever its port looks like.
        if (row.FromDevice && IsDeviceSourcePath(run->second.source) && WithinFolder(row.SourceFolder, run->second.source))
            row.DeviceTop = run->second.source;
        const auto entry = run->second.files.find(
            Key{JoinPath(row.SourceFolder, row.SourceFileName), JoinPath(row.OutputFolder, row.OutputFileName),
                row.Operation});
        if (entry == run->second.files.end() || entry->second.Size != row.Size) continue;
        row.Recorded = true;
        row.PlacedId = entry->second.Id;
        // The backup copies are those the run made, whatever the log names.
        row.BackupPaths = entry->second.Backups;
    }
    if (plan.RunId.empty() && !runs.empty()) plan.RunId = runs.begin()->first;
}

bool PlanJournalUndo(const JournalRun& run, const std::vector<JournalEntry>& files, FileSystem& fs, UndoPlan& plan,
                     std::string& error, UndoDevices* devices) {
    plan = UndoPlan{};
    plan.RunId = run.Id;
    const std::optional<FolderRef> output = fs.FolderExists(run.OutputFolder) ? fs.GetFolder(run.OutputFolder)
                                                                               : std::nullopt;
    if (!output) {
        error = "The output folder " + QuotedName(run.OutputFolder) + " of the run cannot be found.";
        return false;
    }
    plan.LogFolder = output->Path;
    plan.CsvPath = !run.CsvLog.empty() ? run.CsvLog : LogFilePath(output->Path, run.Started, ".csv");
    for (const JournalEntry& entry : files) {
        UndoRow row;
        row.Row = static_cast<int>(plan.Rows.size()) + 1;
        row.SourceFolder = fs.ParentPart(entry.Source);
        row.SourceFileName = entry.Source.substr(std::min(entry.Source.size(), row.SourceFolder.size() + 1));
        row.OutputFolder = fs.ParentPart(entry.Target);
        row.OutputFileName = entry.Target.substr(std::min(entry.Target.size(), row.OutputFolder.size() + 1));
        row.Operation = entry.Operation;
        row.OperationText = std::string(OperationText(entry.Operation));
        row.Size = entry.Size;
        row.OriginalModified = entry.OriginalModifiedTime;
        row.RunId = run.Id;
        row.Recorded = true;
        row.PlacedId = entry.Id;
        row.BackupPaths = entry.Backups;
        row.FromDevice = IsDeviceSourcePath(row.SourceFolder);
        if (row.FromDevice && IsDeviceSourcePath(run.SourceFolder) && WithinFolder(row.SourceFolder, run.SourceFolder))
            row.DeviceTop = run.SourceFolder;
        if (row.Operation != FileOperation::Moved && row.Operation != FileOperation::Copied &&
            (row.Operation != FileOperation::AlreadyImported || row.BackupPaths.empty()))
            row.LeaveAlone("The row's Operation is neither Moved nor Copied.");
        else
            CheckPaths(row, plan.LogFolder);
        AssessUndoRow(row, plan.LogFolder, fs, devices);
        plan.Rows.push_back(std::move(row));
    }
    return true;
}

int UnrecordedToDo(const UndoPlan& plan) {
    int n = 0;
    for (const UndoRow& row : plan.Rows)
        if (!row.Recorded && Acts(row.Action)) ++n;
    return n;
}

}  // namespace ravlen
