#include "app/undo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <system_error>

#include "app/progress_session.h"
#include "engine/placement.h"
#include "log/csv_text.h"
#include "log/run_logs.h"
#include "model/report_text.h"
#include "model/version.h"

namespace ravlen {

namespace {

const char* const kCrLf = "\r\n";
const char kQuote = '"';

// Where the columns the undo reads stand in a log, found by name in its header.
struct LogColumns {
    std::size_t Count = 0;  // fields of every row
    std::size_t SourceFileName = 0, SourceFolder = 0, Size = 0, Timestamped = 0, Operation = 0,
                OutputFileName = 0, OutputFolder = 0;

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
            {csv_column::kOutputFolder, &c.OutputFolder},
        };
        for (const auto& [name, index] : wanted) {
            const std::optional<std::size_t> at = header.Find(name);
            if (!at) return std::nullopt;
            *index = *at;
        }
        return c;
    }
};

// A log is read in pieces of this size; a run of more files than the row
// limit is no log of a camera's card.
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kMaxRows = 1000000;
constexpr std::size_t kCompareChunk = 1024 * 1024;
constexpr int kMaxListed = 10;       // left-alone files named in a message
constexpr int kMaxUndoLogNumber = 999;

std::string Quoted(const std::string& text) { return std::string(1, kQuote) + text + kQuote; }

std::string ErrorText(int err) { return std::generic_category().message(err ? err : EIO); }

// ------------------------------------------------------------ reports

std::string Digits(std::int64_t value) { return std::to_string(value); }

// ------------------------------------------------------------ rows

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

// folder is top or lies below it.
bool WithinFolder(const std::string& folder, const std::string& top) {
    if (folder == top) return true;
    if (top == "/") return !folder.empty() && folder[0] == '/';
    return folder.size() > top.size() && folder.compare(0, top.size(), top) == 0 && folder[top.size()] == '/';
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

void LeaveAlone(UndoRow& row, std::string reason) {
    row.Action = UndoAction::LeaveAlone;
    row.Reason = std::move(reason);
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
        row.Operation = f[c.Operation];
    }
    if (record.TooLong) {
        LeaveAlone(row, "The row is longer than any row the program writes.");
    } else if (record.Unterminated) {
        LeaveAlone(row, "The row's last quoted field is never closed: the log seems cut short.");
    } else if (record.BadQuotes) {
        LeaveAlone(row, "The row has a double quote where the program never writes one.");
    } else if (f.size() != columns) {
        LeaveAlone(row, "The row has " + Digits(static_cast<std::int64_t>(f.size())) + " field" +
                            (f.size() == 1 ? "" : "s") + " instead of " + Digits(columns) + ".");
    } else if (f[c.Timestamped] == "No") {
        row.Action = UndoAction::NotPlaced;
        row.Reason = "The run did not move or copy this file.";
    } else if (f[c.Timestamped] != "Yes") {
        LeaveAlone(row, "The row's Timestamped field is neither Yes nor No.");
    } else if (row.Operation != "Moved" && row.Operation != "Copied") {
        LeaveAlone(row, "The row's Operation is neither Moved nor Copied.");
    } else if (!PlainName(row.SourceFileName)) {
        LeaveAlone(row, "The row's SourceFileName is not a plain file name.");
    } else if (!PlainName(row.OutputFileName)) {
        LeaveAlone(row, "The row's OutputFileName is not a plain file name.");
    } else if (!PlainFolder(row.SourceFolder)) {
        LeaveAlone(row, "The row's SourceFolder is not a plain absolute folder path.");
    } else if (!PlainFolder(row.OutputFolder)) {
        LeaveAlone(row, "The row's OutputFolder is not a plain absolute folder path.");
    } else if (!WithinFolder(row.OutputFolder, logFolder)) {
        LeaveAlone(row, "The row's OutputFolder is neither the log's folder nor inside it.");
    } else if (!ParseSize(f[c.Size], row.Size)) {
        LeaveAlone(row, "The row's Size is not a number.");
    } else if (row.SourceFolder == row.OutputFolder && row.SourceFileName == row.OutputFileName) {
        LeaveAlone(row, "The row's output file is its original file.");
    } else {
        row.Trusted = true;
        row.Action = row.Operation == "Moved" ? UndoAction::Restore : UndoAction::Remove;
    }
    return row;
}

std::string SizeChange(const char* what, std::int64_t now, std::int64_t logged) {
    return std::string(what) + " has changed since the run: it holds " + GroupedCount(now) + " bytes, the log says " +
           GroupedCount(logged) + ".";
}

// What undoing a trusted row would do with the files as they stand now.
void Assess(UndoRow& row, FileSystem& fs) {
    if (!row.Trusted) return;
    row.Reason.clear();
    const std::string output = JoinPath(row.OutputFolder, row.OutputFileName);
    const std::string source = JoinPath(row.SourceFolder, row.SourceFileName);
    const std::optional<FsItem> out = fs.GetFile(output);
    const std::optional<FsItem> src = fs.GetFile(source);
    const bool outThere = out || fs.FileExists(output);
    const bool srcThere = src || fs.FileExists(source);

    if (row.Operation == "Moved") {
        row.Action = UndoAction::Restore;
        if (!outThere) {
            if (src && src->Size == row.Size) {
                row.Action = UndoAction::AlreadyUndone;
                row.Reason = "The file is already back at its original place.";
            } else if (srcThere) {
                LeaveAlone(row, "The renamed file is missing, and another file stands at the original name.");
            } else {
                LeaveAlone(row, "The renamed file is missing.");
            }
        } else if (!out) {
            LeaveAlone(row, "The renamed file is not a plain file.");
        } else if (out->Size != row.Size) {
            LeaveAlone(row, SizeChange("The renamed file", out->Size, row.Size));
        } else if (srcThere) {
            LeaveAlone(row, "A file already stands at the original name.");
        } else if (!fs.FolderExists(row.SourceFolder)) {
            if (fs.FileExists(row.SourceFolder)) {
                LeaveAlone(row, "Something other than a folder stands at the original folder's path.");
            } else if (!fs.FolderExists(fs.ParentPart(row.SourceFolder))) {
                // Only the last folder is made again: a whole missing chain is
                // more likely a card that is not attached than folders deleted.
                LeaveAlone(row, "The original folder is gone, and so is the folder that held it.");
            }
        }
        return;
    }

    row.Action = UndoAction::Remove;
    if (!outThere) {
        if (srcThere) {
            row.Action = UndoAction::AlreadyUndone;
            row.Reason = "The copy is already gone.";
        } else {
            LeaveAlone(row, "The copy is missing, and so is the original.");
        }
    } else if (!out) {
        LeaveAlone(row, "The copy is not a plain file.");
    } else if (!srcThere) {
        LeaveAlone(row, "The original is no longer at its original place, so the copy is kept.");
    } else if (!src) {
        LeaveAlone(row, "The original is not a plain file, so the copy is kept.");
    } else if (out->Size != src->Size) {
        LeaveAlone(row, "The copy and the original differ in size, so the copy is kept.");
    } else if (src->Size != row.Size) {
        LeaveAlone(row, SizeChange("The original", src->Size, row.Size) + " The copy is kept.");
    }
}

// ------------------------------------------------------------ removing a copy

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool SameEntry(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool Unchanged(const struct stat& a, const struct stat& b) {
    return SameEntry(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Reads exactly n bytes unless the file ends first; the count read, or -1.
long ReadFull(int fd, char* buffer, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = read(fd, buffer + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long>(got);
}

// Removes `copy` only when it holds exactly the bytes of `original` and both
// are still the files that were compared when the copy's name is unlinked.
// Empty on success, else the reason the copy is kept.
std::string RemoveIdenticalCopy(const std::string& copy, const std::string& original,
                                const std::function<void()>& pump) {
    const Fd c(open(copy.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (c.fd < 0) return "The copy could not be opened due to the following error: " + ErrorText(errno) + ".";
    const Fd o(open(original.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (o.fd < 0)
        return "The original could not be opened due to the following error: " + ErrorText(errno) + ".";
    struct stat cs{}, os{};
    if (fstat(c.fd, &cs) != 0 || fstat(o.fd, &os) != 0)
        return "The copy could not be compared with the original due to the following error: " + ErrorText(errno) +
               ".";
    if (!S_ISREG(cs.st_mode) || !S_ISREG(os.st_mode)) return "The copy or the original is not a plain file.";
    if (SameEntry(cs, os)) return "The copy and the original are the same file.";
    if (cs.st_size != os.st_size) return "The copy and the original differ in size, so the copy is kept.";

    std::unique_ptr<char[]> a(new char[kCompareChunk]);
    std::unique_ptr<char[]> b(new char[kCompareChunk]);
    for (;;) {
        const long na = ReadFull(c.fd, a.get(), kCompareChunk);
        const long nb = ReadFull(o.fd, b.get(), kCompareChunk);
        if (na < 0 || nb < 0)
            return "The copy could not be compared with the original due to the following error: " +
                   ErrorText(errno) + ".";
        if (na != nb || std::memcmp(a.get(), b.get(), static_cast<std::size_t>(na)) != 0)
            return "The copy and the original differ, so the copy is kept.";
        if (na == 0) break;
        if (pump) pump();
    }

    // Nothing may have changed or taken either name while the bytes were read.
    struct stat cs2{}, os2{}, cpath{}, opath{};
    if (fstat(c.fd, &cs2) != 0 || fstat(o.fd, &os2) != 0 || lstat(copy.c_str(), &cpath) != 0 ||
        lstat(original.c_str(), &opath) != 0 || !Unchanged(cs, cs2) || !Unchanged(os, os2) ||
        !SameEntry(cs, cpath) || !SameEntry(os, opath))
        return "The copy or the original changed while they were compared, so the copy is kept.";
    if (unlink(copy.c_str()) != 0)
        return "The copy could not be removed due to the following error: " + ErrorText(errno) + ".";
    return "";
}

// ------------------------------------------------------------ undoing one row

// Carries out a row that Assess found to be a Restore or a Remove; a failure
// turns it into LeaveAlone with the reason.
void Execute(UndoRow& row, FileSystem& fs, const std::function<void()>& pump) {
    const std::string output = JoinPath(row.OutputFolder, row.OutputFileName);
    const std::string source = JoinPath(row.SourceFolder, row.SourceFileName);
    if (row.Action == UndoAction::Remove) {
        std::string why = RemoveIdenticalCopy(output, source, pump);
        if (!why.empty()) LeaveAlone(row, std::move(why));
        return;
    }
    if (row.Action != UndoAction::Restore) return;
    bool madeFolder = false;
    if (!fs.FolderExists(row.SourceFolder)) {
        const FsStatus made = fs.CreateFolder(row.SourceFolder);
        if (!made) {
            LeaveAlone(row, "The original folder could not be made again due to the following error: " + made.error +
                                ".");
            return;
        }
        madeFolder = true;
    }
    // The same move as placement: never over a file, and across file systems
    // the renamed file goes only once its copy is complete.
    const FsStatus moved = fs.MoveFile(output, source);
    if (!moved) {
        if (madeFolder && fs.CountItems(row.SourceFolder) == 0) (void)fs.DeleteFolder(row.SourceFolder);
        LeaveAlone(row, "The file could not be moved back due to the following error: " + moved.error + ".");
    }
}

// ------------------------------------------------------------ the undo log

const char* ActionText(UndoAction action) {
    switch (action) {
        case UndoAction::Restore:
            return "Restored";
        case UndoAction::Remove:
            return "Removed";
        case UndoAction::NotAttempted:
            return "Not attempted";
        default:
            return "Left alone";
    }
}

// The record of an undo, beside the log; created new, never over a file.
class UndoLog {
public:
    // Null with `error` set when no file could be created.
    static std::unique_ptr<UndoLog> Create(FileSystem& fs, const std::string& csvPath, std::string& error) {
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
        error = "every name from " + Quoted(first) + " on is taken";
        return nullptr;
    }

    void Write(const UndoRow& row, const char* action) {
        Line(Digits(row.Row) + "," + CsvQuoted(row.SourceFolder) + "," + CsvQuoted(row.SourceFileName) + "," +
             CsvQuoted(row.OutputFolder) + "," + CsvQuoted(row.OutputFileName) + "," + CsvQuoted(row.Operation) + "," +
             CsvQuoted(action) + "," + CsvQuoted(row.Reason));
    }
    void Close() { (void)file_->Close(); }
    const std::string& Path() const { return path_; }

private:
    UndoLog(std::unique_ptr<TextFile> file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}
    // Write errors are ignored, as in the run's own logs.
    void Line(const std::string& text) { (void)file_->Write(text + kCrLf); }

    std::unique_ptr<TextFile> file_;
    std::string path_;
};

// ------------------------------------------------------------ messages

void Count(UndoCounts& counts, UndoAction action) {
    switch (action) {
        case UndoAction::Restore:
            ++counts.Restore;
            break;
        case UndoAction::Remove:
            ++counts.Remove;
            break;
        case UndoAction::AlreadyUndone:
            ++counts.AlreadyUndone;
            break;
        case UndoAction::NotPlaced:
            ++counts.NotPlaced;
            break;
        case UndoAction::LeaveAlone:
            ++counts.LeaveAlone;
            break;
        case UndoAction::NotAttempted:
            break;  // counted apart
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
                                          : "Every file is listed in the undo log " + Quoted(path) + ".";
    return std::string(kCrLf) + kCrLf + text;
}

std::string SuccessMessage(int restored, int removed) {
    const int total = restored + removed;
    const bool copies = restored == 0;
    const std::string one = copies ? "copy" : "file";
    const std::string many = copies ? "copies" : "files";
    const std::string what = total == 1   ? "One " + one
                             : total == 2 ? "Both " + many
                                          : "All " + Digits(total) + " " + many;
    if (removed == 0) return what + " successfully restored to " + (total == 1 ? "its" : "their") + " original place.";
    if (restored == 0) return what + " successfully removed.";
    return what + " successfully undone.";
}

std::string NothingToDoMessage(const UndoCounts& counts) {
    if (counts.AlreadyUndone > 0)
        return "This run has already been undone: every file its log moved or copied is as it was before the run.";
    if (counts.Total() == 0) return "The log lists no files, so there is nothing to undo.";
    return "The run moved or copied no files, so there is nothing to undo.";
}

// The folders the run's rows placed files in, with the folders between them
// and the log's folder: those that are empty now go, deepest first. The log's
// own folder and every folder a file came from stay.
void RemoveEmptiedFolders(const UndoPlan& plan, FileSystem& fs) {
    std::set<std::string> keep;
    std::set<std::string> candidates;
    for (const UndoRow& row : plan.Rows) {
        if (!row.Trusted) continue;
        for (std::string f = row.SourceFolder; !f.empty() && keep.insert(f).second && f != "/";)
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

}  // namespace

// ============================================================== public

UndoCounts UndoPlan::Counts() const {
    UndoCounts counts;
    for (const UndoRow& row : Rows) Count(counts, row.Action);
    return counts;
}

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

bool PlanUndo(const std::string& csvPath, FileSystem& fs, UndoPlan& plan, std::string& error) {
    plan = UndoPlan{};
    plan.CsvPath = csvPath;
    const std::string title = Version().Title;
    const std::optional<FsItem> item = fs.GetFile(csvPath);
    if (!item) {
        error = fs.FileExists(csvPath) ? "The log " + Quoted(csvPath) + " is not a file."
                                       : "The log " + Quoted(csvPath) + " doesn't exist.";
        return false;
    }
    std::string parent = fs.ParentPart(csvPath);
    if (parent.empty()) parent = ".";
    const std::optional<FolderRef> folder = fs.GetFolder(parent);
    if (!folder) {
        error = "The folder of the log " + Quoted(csvPath) + " cannot be found.";
        return false;
    }
    plan.LogFolder = folder->Path;

    std::string readError;
    std::unique_ptr<ReadStream> in = fs.OpenRead(csvPath, readError);
    if (!in) {
        error = "The log " + Quoted(csvPath) + " could not be read due to the following error: " + readError + ".";
        return false;
    }

    const std::string notOurs = "The file " + Quoted(csvPath) + " is not a CSV log of " + title +
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
            error = "The log " + Quoted(csvPath) + " holds more than " + GroupedCount(kMaxRows) +
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
            error = "The log " + Quoted(csvPath) + " could not be read due to the following error: " + read.error + ".";
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
    if (refused) {
        plan.Rows.clear();
        return false;
    }
    for (UndoRow& row : plan.Rows) Assess(row, fs);
    return true;
}

std::string UndoPreviewReport(const UndoCounts& c) {
    ReportBuilder r(c.Total());
    r.Line(c.Restore, "  files will be restored to their original place");
    r.Line(c.Remove, "  copies will be removed if identical to their originals");
    r.Line(c.LeaveAlone, "  files will be left alone");
    r.Line(c.AlreadyUndone, "  files were undone before");
    r.Line(c.NotPlaced, "  files were not moved or copied by the run");
    r.Rule();
    r.Line(c.Total(), "  total files in the log");
    return r.Text();
}

std::string UndoSummaryReport(const UndoCounts& c, int notAttempted) {
    const std::int64_t total = std::int64_t{c.Total()} + notAttempted;
    ReportBuilder r(total);
    r.Line(c.Restore, "  files restored to their original place");
    r.Line(c.Remove, "  copies removed");
    r.Line(c.LeaveAlone, "  files left alone");
    r.Line(c.AlreadyUndone, "  files were undone before");
    r.Line(c.NotPlaced, "  files were not moved or copied by the run");
    r.Rule();
    if (notAttempted > 0) {
        r.Line(c.Total(), "  subtotal files attempted");
        r.Line(notAttempted, "  files not attempted due to termination");
        r.Rule();
    }
    r.Line(total, "  total files in the log");
    return r.Text();
}

UndoResult RunUndo(const std::string& csvPath, FileSystem& fs, UserPort& port, bool askFirst) {
    const std::string title = Version().Title;
    UndoResult result;
    UndoPlan plan;
    std::string error;

    port.SetBusy(true);
    const bool planned = PlanUndo(csvPath, fs, plan, error);
    port.SetBusy(false);
    if (!planned) {
        port.MessageBox(error, MsgIcon::Exclamation, MsgButtons::OK, title);
        result.Outcome = UndoOutcome::Refused;
        return result;
    }

    const UndoCounts counts = plan.Counts();
    if (counts.Restore + counts.Remove == 0 && counts.LeaveAlone == 0) {
        // A second undo of the same log lands here: nothing is touched, not even
        // an undo log is written.
        port.MessageBox(NothingToDoMessage(counts), MsgIcon::Information, MsgButtons::OK, title);
        result.Outcome = UndoOutcome::NothingToDo;
        result.Done = counts;
        result.Rows = std::move(plan.Rows);
        return result;
    }

    const bool anythingToDo = counts.Restore + counts.Remove > 0;
    if (anythingToDo && askFirst) {
        const std::string question = UndoPreviewReport(counts) + LeftAloneList(plan.Rows) + kCrLf + kCrLf + kCrLf +
                                     "Do you want to undo the run?";
        if (port.MessageBox(question, MsgIcon::Question, MsgButtons::YesNo, title) != MsgAnswer::Yes) {
            result.Outcome = UndoOutcome::Refused;
            result.Rows = std::move(plan.Rows);
            return result;
        }
    }

    std::string logError;
    std::unique_ptr<UndoLog> log = UndoLog::Create(fs, csvPath, logError);
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
                Assess(row, fs);  // the files as they stand now, not as previewed
                Execute(row, fs, pump);
            }
            Count(result.Done, row.Action);
            if (log) log->Write(row, ActionText(row.Action));
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
            if (log) log->Write(row, ActionText(row.Action));
        }
        if (anythingToDo) RemoveEmptiedFolders(plan, fs);
        if (log) log->Close();
    }

    const UndoCounts& d = result.Done;
    if (d.LeaveAlone == 0 && result.NotAttempted == 0) {
        if (d.Restore + d.Remove == 0) {
            port.MessageBox(NothingToDoMessage(d), MsgIcon::Information, MsgButtons::OK, title);
            result.Outcome = UndoOutcome::NothingToDo;
        } else {
            port.MessageBox(SuccessMessage(d.Restore, d.Remove), MsgIcon::Information, MsgButtons::OK, title);
            result.Outcome = UndoOutcome::Completed;
        }
    } else {
        std::string text;
        if (!anythingToDo) text = std::string("Nothing in this log can be undone.") + kCrLf + kCrLf;
        text += UndoSummaryReport(d, result.NotAttempted) + LeftAloneList(plan.Rows) +
                UndoLogNote(result.UndoLogPath, logError);
        port.MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, title);
        result.Outcome = UndoOutcome::Incomplete;
    }
    result.Rows = std::move(plan.Rows);
    return result;
}

}  // namespace ravlen
