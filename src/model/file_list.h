#pragma once
// The per-file list of a pass: what each file is called and where its date
// came from, or why it is left alone. The engine feeds it in a preview and in
// a run; the console prints it and the window shows it as a table.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/camera_clock.h"
#include "model/date_time.h"
#include "model/file_facts.h"
#include "model/file_system.h"

namespace ravlen {

enum class ListStatus {
    Place,            // the file gets its new name
    Skip,             // left where it is, for the reason in its notes
    AlreadyImported,  // its identical bytes are already in the output folder
    Excluded,         // passed over by the filters
};

// The status word of `ravlen-run --list`.
const char* StatusWord(ListStatus status);

struct FileRow {
    std::string SourceName;
    std::string SourceFolder;
    std::string OutputName;    // empty unless placed (or already imported: the file already there)
    std::string OutputFolder;
    bool HasDate = false;
    DateTime Date;
    std::string DateSource;
    ListStatus Status = ListStatus::Place;
    std::string Reason;  // why a file is skipped or excluded
    std::int64_t Size = 0;
    std::int64_t ThumbnailOffset = -1;  // where a reader found the EXIF thumbnail, if it did
    std::int64_t ThumbnailLength = 0;
    CameraId Camera;          // as the file names it; empty when it does not
    DateTime DateBeforeShift;  // the date as the camera's clock gave it, before any correction
    bool Chosen = true;        // ticked in the preview: unticked files stay where they are
    std::optional<std::int64_t> ClockError;  // the clock's lead over the GPS time it stores, in seconds
    // The values of %c %n %l %a %j %q for the file; empty when absent.
    std::string CameraName, BodySerial, Lens, Artist, JobCode, ContinuingNumber;
    std::string SourcePath() const { return JoinPath(SourceFolder, SourceName); }
    std::string OutputPath() const { return OutputName.empty() ? std::string() : JoinPath(OutputFolder, OutputName); }
};

class FileList {
public:
    // A file's finished record.
    void Add(const FileFacts& facts);
    // A file the filters passed over, and which of them did.
    void AddExcluded(const FsItem& file, const std::string& folder, std::string reason);
    void Clear() { rows_.clear(); }
    const std::vector<FileRow>& Rows() const { return rows_; }
    // The rows for ticking and unticking; nothing else of them changes.
    std::vector<FileRow>& Rows() { return rows_; }

private:
    std::vector<FileRow> rows_;
};

// The text of a path on one line of a tab-separated list: tab, newline and
// backslash as \t, \n and \\; carriage return as \r.
std::string EscapeListField(std::string_view text);

// One line of `ravlen-run --list`, without its newline: source path, new path,
// date, date source, status word, reason, then the values of %c %n %l %a %j
// %q, separated by tabs.
std::string ListLine(const FileRow& row);

}  // namespace ravlen
