#include "log/run_logs.h"

#include "log/csv_text.h"
#include "model/camera_clock.h"
#include "model/name_value.h"
#include "model/time_shift.h"

#include <charconv>
#include <optional>
#include <system_error>
#include <string_view>
#include <utility>
#include <vector>

namespace ravlen {

// Size, file-system dates, attributes and type description as the file
// system reports them when the record is written: the file's new place when
// this pass moved it, else its source path. The record's own values stand in
// when the file cannot be found.
struct LiveFacts {
    std::int64_t Size;
    DateTime Created;
    DateTime Modified;
    bool ReadOnly, Hidden, System;
    std::string ExternalFormat;
    std::string_view RunId = {};  // not the file system's: the run's, in its journal on this computer
};

namespace {

LiveFacts AskFileSystem(FileSystem& fs, const FileFacts& facts) {
    const bool moved = facts.Timestamped && facts.Operation == FileOperation::Moved;
    const std::string path = moved ? JoinPath(facts.OutputFolder, facts.OutputFileName) : facts.SourceFilePath;
    // A device's file is no path of the computer's: its facts are those listed.
    const bool ours = path.rfind(kDevicePrefix, 0) != 0;
    if (const auto item = moved && facts.Placed ? facts.Placed : ours ? fs.GetFile(path) : std::nullopt) {
        // A move that copied (from a device, or another disk) made a file born
        // with the run: the original's creation stays the file's.
        DateTime created = item->Created;
        if (moved && facts.FileSystemDateCreated != DateTime() && facts.FileSystemDateCreated < created)
            created = facts.FileSystemDateCreated;
        return {item->Size,
                created,
                item->Modified,
                (item->Attributes & kAttrReadOnly) != 0,
                (item->Attributes & kAttrHidden) != 0,
                (item->Attributes & kAttrSystem) != 0,
                fs.TypeDescription(path)};
    }
    return {facts.Size,           facts.FileSystemDateCreated, facts.FileSystemDateModified, facts.AttributeReadOnly,
            facts.AttributeHidden, facts.AttributeSystem,      facts.ExternalFormat};
}

constexpr std::string_view kLineEnd = "\r\n";
const std::string kRule(80, '-');
const std::string kNotApplicable = "N/A";

std::string YesNo(bool value) { return value ? "Yes" : "No"; }
std::string Full(const DateTime& d) { return d.FormatFull(); }
std::string FullOrNA(const std::optional<DateTime>& d) { return d ? d->FormatFull() : kNotApplicable; }
std::string DateOrNA(const std::optional<DateTime>& d) { return d ? d->Format("yyyy/mm/dd") : kNotApplicable; }
std::string TimeOrNA(const std::optional<DateTime>& d) { return d ? d->Format("hh:nn:ss") : kNotApplicable; }
std::string KnownOrNA(const std::string& text) { return text == "Unknown" ? kNotApplicable : text; }
std::string TextOrNA(const std::string& text) { return text.empty() ? kNotApplicable : text; }
std::string NumberOrNA(std::int64_t value, std::int64_t none) {
    return value == none ? kNotApplicable : std::to_string(value);
}

std::string DcfBatch(const FileFacts& f) {
    return f.DCFFilename && !f.DCFBatch.empty() ? f.DCFBatch : kNotApplicable;
}
std::string DcfNumber(const FileFacts& f, std::int64_t value) {
    return f.DCFFilename ? std::to_string(value) : kNotApplicable;
}
// Minutes east of UTC as "+03:00" or "-07:00".
std::string OffsetOrNA(const std::optional<std::int32_t>& minutes) {
    if (!minutes) return kNotApplicable;
    const std::int32_t m = *minutes < 0 ? -*minutes : *minutes;
    auto two = [](std::int32_t v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
    return std::string(*minutes < 0 ? "-" : "+") + two(m / 60) + ":" + two(m % 60);
}
// Degrees with six decimals (about 10 cm), a point whatever the locale.
std::string DegreesOrNA(const std::optional<double>& degrees) {
    if (!degrees) return kNotApplicable;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, *degrees, std::chars_format::fixed, 6);
    return end.ec == std::errc() ? std::string(text, end.ptr) : kNotApplicable;
}
std::string WhenTimestamped(const FileFacts& f, const std::string& value) {
    return f.Timestamped ? value : kNotApplicable;
}
// The output columns: the file's new place, or the file already there with its bytes.
std::string WhereItIs(const FileFacts& f, std::string_view value) {
    return f.Timestamped || f.Operation == FileOperation::AlreadyImported ? std::string(value) : kNotApplicable;
}
// The clock correction applied to the file's metadata date.
std::string ShiftOrNA(const FileFacts& f) {
    return f.Timestamped && f.ShiftSeconds && *f.ShiftSeconds != 0 ? TimeShift{*f.ShiftSeconds}.Text()
                                                                     : kNotApplicable;
}
// Seconds and nanoseconds since 1970 UTC, every digit: the undo sets it back from this.
std::string ModifiedTimeOrNA(const FileFacts& f) {
    return f.Timestamped && f.OriginalModifiedTime ? f.OriginalModifiedTime->Text() : kNotApplicable;
}
std::string BackupPathsOrNA(const FileFacts& f) {
    std::string paths;
    for (const std::string& path : f.BackupFilePaths) paths += (paths.empty() ? "" : ";") + path;
    // A file already imported may have had its backup copies made alone.
    const bool placed = f.Timestamped || f.Operation == FileOperation::AlreadyImported;
    return placed && !paths.empty() ? paths : kNotApplicable;
}
// The backup folders that lack the placed file, each with why.
std::string MissingBackupsOrNA(const FileFacts& f) {
    std::string folders;
    for (const std::string& folder : f.MissingBackups) folders += (folders.empty() ? "" : ";") + folder;
    const bool placed = f.Timestamped || f.Operation == FileOperation::AlreadyImported;
    return placed && !folders.empty() ? folders : kNotApplicable;
}
std::string ContinuingNumberOrNA(const FileFacts& f) {
    return f.Timestamped && f.ContinuingNumber > 0 ? std::to_string(f.ContinuingNumber) : kNotApplicable;
}
std::string CameraOffsetOrNA(const FileFacts& f) {
    return f.Timestamped && f.CameraOffsetSeconds != 0 ? TimeShift{f.CameraOffsetSeconds}.Text() : kNotApplicable;
}

// The CSV log's columns, in order: each one's header name, whether its
// field goes between double quotes (text that may hold commas, quotes or line
// ends), and its field. A column added later goes at the end, never between.
struct CsvColumn {
    std::string_view Name;
    bool Quoted;
    std::string (*Field)(const FileFacts& f, const LiveFacts& live);
};
using F = const FileFacts&;
using L = const LiveFacts&;
constexpr bool kQuoted = true, kBare = false;

const CsvColumn kCsvColumns[] = {
    {"StartTime", kBare, [](F f, L) { return Full(f.StartTime); }},
    {"FinishTime", kBare, [](F f, L) { return Full(f.FinishTime); }},
    {csv_column::kSourceFileName, kQuoted, [](F f, L) { return f.SourceFileName; }},
    {csv_column::kSourceFolder, kQuoted, [](F f, L) { return f.SourceFolder; }},
    {csv_column::kSize, kBare, [](F, L live) { return std::to_string(live.Size); }},
    {"FileSystemDateCreated", kBare, [](F, L live) { return Full(live.Created); }},
    {csv_column::kFileSystemDateModified, kBare, [](F, L live) { return Full(live.Modified); }},
    {"AttributeReadOnly", kBare, [](F, L live) { return YesNo(live.ReadOnly); }},
    {"AttributeHidden", kBare, [](F, L live) { return YesNo(live.Hidden); }},
    {"AttributeSystem", kBare, [](F, L live) { return YesNo(live.System); }},
    {"DCFFilename", kBare, [](F f, L) { return YesNo(f.DCFFilename); }},
    {"DCFBatch", kQuoted, [](F f, L) { return DcfBatch(f); }},
    {"DCFVolume", kBare, [](F f, L) { return DcfNumber(f, f.DCFVolume); }},
    {"DCFVolumeDigits", kBare, [](F f, L) { return DcfNumber(f, f.DCFVolumeDigits); }},
    {"Extension", kQuoted, [](F f, L) { return TextOrNA(f.Extension); }},
    {"ExternalFormat", kQuoted, [](F, L live) { return live.ExternalFormat; }},
    {"InternalFormat", kQuoted, [](F f, L) { return KnownOrNA(f.InternalFormat); }},
    {"CIFFMetadata", kBare, [](F f, L) { return YesNo(f.CIFFMetadata); }},
    {"CIFFSubType", kQuoted, [](F f, L) { return KnownOrNA(f.CIFFSubType); }},
    {"CIFFCapturedDate", kBare, [](F f, L) { return FullOrNA(f.CIFFCapturedDate); }},
    {"RIFFMetadata", kBare, [](F f, L) { return YesNo(f.RIFFMetadata); }},
    {"RIFFForm", kQuoted, [](F f, L) { return KnownOrNA(f.RIFFForm); }},
    {"RIFFICRDDate", kBare, [](F f, L) { return DateOrNA(f.RIFFICRDDate); }},
    {"RIFFetimTime", kBare, [](F f, L) { return TimeOrNA(f.RIFFetimTime); }},
    {"RIFFIDITDate", kBare, [](F f, L) { return FullOrNA(f.RIFFIDITDate); }},
    {"RIFFcmntDate", kBare, [](F f, L) { return FullOrNA(f.RIFFcmntDate); }},
    {"RIFFstrdDate", kBare, [](F f, L) { return FullOrNA(f.RIFFstrdDate); }},
    {"TIFFMetadata", kBare, [](F f, L) { return YesNo(f.TIFFMetadata); }},
    {"APPXSkipCount", kBare, [](F f, L) { return NumberOrNA(f.APPXSkipCount, 0); }},
    {"APP1Offset", kBare, [](F f, L) { return NumberOrNA(f.APP1Offset, -1); }},
    {"APP1Length", kBare, [](F f, L) { return NumberOrNA(f.APP1Length, -1); }},
    {"TIFFOffset", kBare, [](F f, L) { return NumberOrNA(f.TIFFOffset, -1); }},
    {"TIFFByteAlign", kQuoted, [](F f, L) { return KnownOrNA(f.TIFFByteAlign); }},
    {"IFD0Offset", kBare, [](F f, L) { return NumberOrNA(f.IFD0Offset, -1); }},
    {"IFD0Entries", kBare, [](F f, L) { return NumberOrNA(f.IFD0Entries, -1); }},
    {"EXIFDateModified", kBare, [](F f, L) { return FullOrNA(f.EXIFDateModified); }},
    {"SubIFDOffset", kBare, [](F f, L) { return NumberOrNA(f.SubIFDOffset, -1); }},
    {"SubIFDEntries", kBare, [](F f, L) { return NumberOrNA(f.SubIFDEntries, -1); }},
    {"EXIFDateOriginal", kBare, [](F f, L) { return FullOrNA(f.EXIFDateOriginal); }},
    {"EXIFDateDigitized", kBare, [](F f, L) { return FullOrNA(f.EXIFDateDigitized); }},
    {csv_column::kTimestamped, kBare, [](F f, L) { return YesNo(f.Timestamped); }},
    {"Date/Time", kBare, [](F f, L) { return WhenTimestamped(f, Full(f.TimestampDateTime)); }},
    // 0 when the name has no serial
    {"Sequence#", kBare, [](F f, L) { return WhenTimestamped(f, std::to_string(f.SequenceNumber)); }},
    {csv_column::kOperation, kQuoted, [](F f, L) { return WhereItIs(f, OperationText(f.Operation)); }},
    {csv_column::kOutputFileName, kQuoted, [](F f, L) { return WhereItIs(f, f.OutputFileName); }},
    {csv_column::kOutputFolder, kQuoted, [](F f, L) { return WhereItIs(f, f.OutputFolder); }},
    {"Notes", kQuoted, [](F f, L) { return TextOrNA(f.Notes); }},
    {"MovieMetadata", kBare, [](F f, L) { return YesNo(f.MovieMetadata); }},
    {"MovieDate", kBare, [](F f, L) { return FullOrNA(f.MovieDate); }},
    {"MovieDateSource", kQuoted, [](F f, L) { return KnownOrNA(f.MovieDateSource); }},
    {"MovieUTCOffset", kBare, [](F f, L) { return OffsetOrNA(f.MovieUTCOffset); }},
    {"DateBeforeShift", kBare, [](F f, L) { return WhenTimestamped(f, Full(f.DateBeforeShift)); }},
    {"DateAfterShift", kBare, [](F f, L) { return WhenTimestamped(f, Full(f.TimestampDateTime)); }},
    {"TimeShift", kBare, [](F f, L) { return ShiftOrNA(f); }},
    {"DateSource", kQuoted, [](F f, L) { return WhenTimestamped(f, f.DateSource); }},
    {"CameraMake", kQuoted, [](F f, L) { return TextOrNA(f.CameraMake); }},
    {"CameraModel", kQuoted, [](F f, L) { return TextOrNA(f.CameraModel); }},
    {"CameraSerial", kQuoted, [](F f, L) { return TextOrNA(f.CameraSerial); }},
    {"CameraOffset", kBare, [](F f, L) { return CameraOffsetOrNA(f); }},
    {csv_column::kOriginalModifiedTime, kBare, [](F f, L) { return ModifiedTimeOrNA(f); }},
    {"EXIFOffsetTimeOriginal", kBare, [](F f, L) { return OffsetOrNA(f.EXIFOffsetOriginal); }},
    {"EXIFOffsetTimeDigitized", kBare, [](F f, L) { return OffsetOrNA(f.EXIFOffsetDigitized); }},
    {"EXIFOffsetTime", kBare, [](F f, L) { return OffsetOrNA(f.EXIFOffsetModified); }},
    {"EXIFSubSecTimeOriginal", kBare, [](F f, L) { return TextOrNA(f.EXIFSubSecOriginal); }},
    {"GPSDateTime", kBare, [](F f, L) { return FullOrNA(f.GPSDateTime); }},
    {"Latitude", kBare, [](F f, L) { return DegreesOrNA(f.Latitude); }},
    {"Longitude", kBare, [](F f, L) { return DegreesOrNA(f.Longitude); }},
    {"PositionSource", kQuoted, [](F f, L) { return TextOrNA(f.PositionSource); }},
    {"MovieZoneSource", kQuoted, [](F f, L) { return TextOrNA(f.MovieZoneSource); }},
    {csv_column::kRunId, kBare, [](F, L live) { return TextOrNA(std::string(live.RunId)); }},
    {csv_column::kBackupPaths, kQuoted, [](F f, L) { return BackupPathsOrNA(f); }},
    {"CameraName", kQuoted, [](F f, L) { return TextOrNA(NameValue(ShortCameraName(f.CameraMake, f.CameraModel))); }},
    {"LensModel", kQuoted, [](F f, L) { return TextOrNA(f.LensModel); }},
    {"Artist", kQuoted, [](F f, L) { return TextOrNA(f.Artist); }},
    {"SubSecTimeOriginal", kQuoted, [](F f, L) { return TextOrNA(f.SubSecTimeOriginal); }},
    {"JobCode", kQuoted, [](F f, L) { return TextOrNA(f.JobCode); }},
    {csv_column::kContinuingNumber, kBare, [](F f, L) { return ContinuingNumberOrNA(f); }},
    {csv_column::kContinuingScope, kQuoted, [](F f, L) {
         return f.Timestamped && f.ContinuingNumber > 0 ? f.ContinuingScope : kNotApplicable;
     }},
    {"XMPUTCOffset", kBare, [](F f, L) { return OffsetOrNA(f.XMPUTCOffset); }},
    {"MissingBackups", kQuoted, [](F f, L) { return MissingBackupsOrNA(f); }},
};

// Logs started within the same second take the next free number.
constexpr int kMaxLogsPerSecond = 99;

// A created log file. Its first failure is kept: the run stops on it.
struct LogFile {
    std::unique_ptr<TextFile> file;
    std::string path;
    bool open = false;
    FileId id;
    std::string error;

    void Write(std::string_view text) {
        if (!open) return;
        const FsStatus written = file->Write(text);
        if (!written && error.empty()) error = written.error.empty() ? "Unknown error" : written.error;
    }
    void Line(std::string_view text) {
        std::string line(text);
        line += kLineEnd;
        Write(line);
    }
    void Close() {
        if (!open) return;
        open = false;
        const FsStatus closed = file->Close();
        if (!closed && error.empty()) error = closed.error.empty() ? "Unknown error" : closed.error;
    }
    static std::optional<LogFile> Create(FileSystem& fs, const std::string& folder, const DateTime& now,
                                         const std::string& extension, std::string* failure) {
        std::string error;
        for (int number = 1; number <= kMaxLogsPerSecond; ++number) {
            const std::string path = LogFilePath(folder, now, (number == 1 ? "" : " (" + std::to_string(number) + ")") + extension);
            auto file = fs.CreateTextFile(path, error);
            if (file) {
                const std::optional<FsItem> created = fs.GetFile(path);
                return LogFile{std::move(file), path, true, created ? created->Id : FileId{}, {}};
            }
            if (!fs.FileExists(path)) break;  // anything but a taken name ends the search
        }
        if (failure) *failure = error.empty() ? "Unknown error" : error;
        return std::nullopt;
    }
};

constexpr std::pair<FileOperation, std::string_view> kOperationTexts[] = {
    {FileOperation::None, ""},
    {FileOperation::Moved, "Moved"},
    {FileOperation::Copied, "Copied"},
    {FileOperation::Failed, "Failed"},
    {FileOperation::AlreadyImported, "Already imported"},
};

}  // namespace

std::string_view OperationText(FileOperation operation) {
    for (const auto& [op, text] : kOperationTexts)
        if (op == operation) return text;
    return "";
}

std::optional<FileOperation> OperationFromText(std::string_view text) {
    for (const auto& [op, said] : kOperationTexts)
        if (said == text) return op;
    return std::nullopt;
}

const std::vector<std::string>& CsvLogColumns() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const CsvColumn& column : kCsvColumns) out.emplace_back(column.Name);
        return out;
    }();
    return names;
}

std::string LogFilePath(const std::string& outputFolder, const DateTime& when, const std::string& extension) {
    // Plain concatenation: a root folder gives "//", which names the same place.
    return outputFolder + "/Ravlen Log " + when.Format("yyyy-mm-dd @hh-nn-ss") + extension;
}

// ---------------------------------------------------------------- text log

struct TextLog::Impl {
    FileSystem& fs;
    LogFile log;
};

TextLog::TextLog(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TextLog::~TextLog() { Close(); }
const std::string& TextLog::Path() const { return impl_->log.path; }
const FileId& TextLog::Id() const { return impl_->log.id; }
void TextLog::Close() { impl_->log.Close(); }

const std::string& TextLog::Error() const { return impl_->log.error; }

std::unique_ptr<TextLog> TextLog::Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now,
                                         const RunOptions& o, const ProgramFacts& p, std::string* error) {
    auto file = LogFile::Create(fs, outputFolder, now, ".txt", error);
    if (!file) return nullptr;
    std::unique_ptr<TextLog> log(new TextLog(std::unique_ptr<Impl>(new Impl{fs, std::move(*file)})));
    LogFile& out = log->impl_->log;
    auto option = [&out](const char* label, const std::string& value) { out.Line(std::string(label) + value); };
    auto number = [&option](const char* label, auto value) { option(label, std::to_string(StoredValue(value))); };

    out.Line(kRule);
    out.Line("Operating System");
    out.Line("");
    out.Line("  Name:     " + p.OsName);
    out.Line("  Version:  " + p.OsVersion);
    out.Line("  Build:    " + p.OsBuild);
    out.Line("");
    out.Line("Application");
    out.Line("");
    out.Line("  Name:     " + p.ProductName);
    out.Line("  Version:  " + std::to_string(p.Major) + "." + std::to_string(p.Minor));
    out.Line("  Build:    " + std::to_string(p.Revision));
    out.Line("  EXE File: " + p.ExeName);
    out.Line("  EXE Path: " + p.ExePath);
    out.Line("");
    out.Line("Settings");
    out.Line("");
    out.Line("  Main:");
    option("    SourcePath:          ", o.SourcePath);
    option("    OutputPath:          ", o.OutputPath);
    number("    ProcessSubfolders:   ", o.ProcessSubfolders);
    number("    MoveOrCopy:          ", o.MoveOrCopy);
    number("    AddSerial:           ", o.AddSerial);
    number("    AddBatchVolume:      ", o.AddBatchVolume);
    number("    FilenameFormat:      ", o.FilenameFormat);
    out.Line("  Filter:");
    number("    DateMode:            ", o.DateMode);
    number("    DCFMode:             ", o.DCFMode);
    number("    ExcludeReadOnly:     ", o.ExcludeReadOnly);
    number("    ExcludeHidden:       ", o.ExcludeHidden);
    number("    ExcludeSystem:       ", o.ExcludeSystem);
    number("    ExcludePattern:      ", o.ExcludePattern);
    option("    ExcludePatternList:  ", o.ExcludePatternList);
    out.Line("  Feedback:");
    number("    DisplayWarning:      ", o.DisplayWarning);
    number("    PreviewResults:      ", o.PreviewResults);
    number("    RequestConfirmation: ", o.RequestConfirmation);
    number("    ReportErrors:        ", o.ReportErrors);
    number("    SummarizeResults:    ", o.SummarizeResults);
    out.Line("  Advanced:");
    number("    DateModeTIFF:        ", o.DateModeTIFF);
    number("    DateModeRIFF:        ", o.DateModeRIFF);
    number("    DateModeFileSystem:  ", o.DateModeFileSystem);
    number("    DCFVolumeDigits:     ", o.DCFVolumeDigits);
    number("    DCFBatchCleanup:     ", o.DCFBatchCleanup);
    number("    CreateLog:           ", o.CreateLog);
    out.Line("  Time:");
    option("    TimeShift:           ",
           o.TimeShift.empty() ? "None" : TimeShift::Parse(o.TimeShift).value_or(TimeShift{}).Text());
    const auto cameras = KeptCameraOffsets(o.CameraOffsets);
    option("    CameraOffsets:       ", cameras.empty() ? "None" : CameraOffsetsLabel(cameras));
    option("    MovieTimeZone:       ", o.MovieTimeZone.empty() ? "This computer's" : o.MovieTimeZone);
    number("    SetFileTime:         ", o.SetFileTime);
    out.Line("  Copy:");
    number("    VerifyCopies:        ", o.VerifyCopies);
    out.Line("  Import:");
    number("    KeepPairsTogether:   ", o.KeepPairsTogether);
    number("    DateFolders:         ", o.DateFolders);
    option("    DateFolderFormat:    ", o.DateFolderFormat);
    number("    SkipImported:        ", o.SkipImported);
    option("    JobCode:             ", o.JobCode.empty() ? "None" : o.JobCode);
    number("    SequenceScope:       ", o.SequenceScope);
    out.Line("");
    return log;
}

// A text log block gathered whole, so that it takes one write, not one per line.
struct BlockText {
    std::string text;
    void Line(std::string_view line) {
        text += line;
        text += kLineEnd;
    }
};

void TextLog::WriteBlock(const FileFacts& f, const LiveFacts* asked) {
    LogFile& log = impl_->log;
    if (!log.open) return;
    const LiveFacts live = asked ? *asked : AskFileSystem(impl_->fs, f);
    BlockText out;
    auto line = [&out](const char* label, const std::string& value) { out.Line(std::string(label) + value); };

    out.Line(kRule);
    out.Line(f.SourceFilePath);
    out.Line("");
    line("  Start time:        ", Full(f.StartTime));
    line("  Finish time:       ", Full(f.FinishTime));
    line("  Original name:     ", f.SourceFileName);
    line("    Source folder:   ", f.SourceFolder);
    line("    Size:            ", std::to_string(live.Size));
    line("    Created:         ", Full(live.Created));
    line("    Modified:        ", Full(live.Modified));
    line("    Read-only:       ", YesNo(live.ReadOnly));
    line("    Hidden:          ", YesNo(live.Hidden));
    line("    System:          ", YesNo(live.System));
    line("  DCF filename:      ", YesNo(f.DCFFilename));
    line("    DCF Batch:       ", DcfBatch(f));
    line("    DCF Volume:      ", DcfNumber(f, f.DCFVolume));
    line("    DCF digits:      ", DcfNumber(f, f.DCFVolumeDigits));
    line("  Extension:         ", TextOrNA(f.Extension));
    line("    External format: ", live.ExternalFormat);
    line("    Internal format: ", KnownOrNA(f.InternalFormat));
    line("  CIFF metadata:     ", YesNo(f.CIFFMetadata));
    line("    CIFF SubType:    ", KnownOrNA(f.CIFFSubType));
    line("    CapturedTime:    ", FullOrNA(f.CIFFCapturedDate));
    line("  RIFF metadata:     ", YesNo(f.RIFFMetadata));
    line("    RIFF form:       ", KnownOrNA(f.RIFFForm));
    line("    ICRD date:       ", DateOrNA(f.RIFFICRDDate));
    line("    etim time:       ", TimeOrNA(f.RIFFetimTime));
    line("    IDIT date/time:  ", FullOrNA(f.RIFFIDITDate));
    line("    cmnt date/time:  ", FullOrNA(f.RIFFcmntDate));
    line("    strd date/time:  ", FullOrNA(f.RIFFstrdDate));
    line("  TIFF metadata:     ", YesNo(f.TIFFMetadata));
    line("    APPx skipped:    ", NumberOrNA(f.APPXSkipCount, 0));
    line("    APP1 offset:     ", NumberOrNA(f.APP1Offset, -1));
    line("    APP1 length:     ", NumberOrNA(f.APP1Length, -1));
    line("    TIFF offset:     ", NumberOrNA(f.TIFFOffset, -1));
    line("    TIFF byte align: ", KnownOrNA(f.TIFFByteAlign));
    line("    IFD0 offset:     ", NumberOrNA(f.IFD0Offset, -1));
    line("    IFD0 entries:    ", NumberOrNA(f.IFD0Entries, -1));
    line("      Modified:      ", FullOrNA(f.EXIFDateModified));
    line("    SubIFD offset:   ", NumberOrNA(f.SubIFDOffset, -1));
    line("    SubIFD entries:  ", NumberOrNA(f.SubIFDEntries, -1));
    line("      Original:      ", FullOrNA(f.EXIFDateOriginal));
    line("      Digitized:     ", FullOrNA(f.EXIFDateDigitized));
    line("  Timestamped:       ", YesNo(f.Timestamped));
    line("    Date/Time:       ", WhenTimestamped(f, Full(f.TimestampDateTime)));
    line("    Sequence#:       ",
         f.Timestamped && f.SequenceNumber > 0 ? std::to_string(f.SequenceNumber) : kNotApplicable);
    line("    Operation:       ", WhereItIs(f, OperationText(f.Operation)));
    line("    New name:        ", WhereItIs(f, f.OutputFileName));
    line("    Output folder:   ", WhereItIs(f, f.OutputFolder));
    line("    Notes:           ", TextOrNA(f.Notes));
    line("  Movie metadata:    ", YesNo(f.MovieMetadata));
    line("    Movie date:      ", FullOrNA(f.MovieDate));
    line("    Date source:     ", KnownOrNA(f.MovieDateSource));
    line("    UTC offset:      ", OffsetOrNA(f.MovieUTCOffset));
    line("    Before shift:    ", WhenTimestamped(f, Full(f.DateBeforeShift)));
    line("    After shift:     ", WhenTimestamped(f, Full(f.TimestampDateTime)));
    line("    Time shift:      ", ShiftOrNA(f));
    line("  Date taken from:   ", WhenTimestamped(f, f.DateSource));
    line("  Camera:            ", CameraId::Of(f).Known() ? CameraId::Of(f).Label() : kNotApplicable);
    line("    Camera offset:   ", CameraOffsetOrNA(f));
    line("    Modified before: ", ModifiedTimeOrNA(f));
    // Only in a run that backs files up: other runs' logs read as before.
    for (const std::string& path : f.BackupFilePaths) line("    Backup copy:     ", path);
    line("    Lens:            ", TextOrNA(f.LensModel));
    line("    Artist:          ", TextOrNA(f.Artist));
    line("    Sub-seconds:     ", TextOrNA(f.SubSecTimeOriginal));
    line("  Job code:          ", TextOrNA(f.JobCode));
    line("    Continuing #:    ", ContinuingNumberOrNA(f));
    // Only for a file a backup lacks: its source stays.
    for (const std::string& folder : f.MissingBackups) line("    No backup copy:  ", folder);
    out.Line("");
    log.Write(out.text);
}

// ----------------------------------------------------------------- CSV log

struct CsvLog::Impl {
    FileSystem& fs;
    LogFile log;
    std::string runId;
};

CsvLog::CsvLog(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CsvLog::~CsvLog() { Close(); }
const std::string& CsvLog::Path() const { return impl_->log.path; }
const FileId& CsvLog::Id() const { return impl_->log.id; }
void CsvLog::Close() { impl_->log.Close(); }

const std::string& CsvLog::Error() const { return impl_->log.error; }

std::unique_ptr<CsvLog> CsvLog::Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now,
                                       std::string* error, const std::string& runId) {
    auto file = LogFile::Create(fs, outputFolder, now, ".csv", error);
    if (!file) return nullptr;
    std::unique_ptr<CsvLog> log(new CsvLog(std::unique_ptr<Impl>(new Impl{fs, std::move(*file), runId})));
    std::string header;
    for (const CsvColumn& column : kCsvColumns) {
        if (!header.empty()) header += ',';
        header += column.Name;
    }
    log->impl_->log.Line(header);
    return log;
}

void CsvLog::WriteRow(const FileFacts& f, const LiveFacts* asked) {
    LogFile& out = impl_->log;
    if (!out.open) return;
    LiveFacts live = asked ? *asked : AskFileSystem(impl_->fs, f);
    live.RunId = impl_->runId;
    // One write per row: a failing write loses the whole row rather than
    // leaving a short row that runs into the next one.
    std::string row;
    for (const CsvColumn& column : kCsvColumns) {
        if (&column != &kCsvColumns[0]) row += ',';
        const std::string field = column.Field(f, live);
        row += column.Quoted ? CsvQuoted(field) : field;
    }
    out.Line(row);
}

// ------------------------------------------------------------------ both

void RunLogs::WriteFileRecord(const FileFacts& facts) {
    // The file system asked once for both logs.
    std::optional<LiveFacts> live;
    if (text && csv) live = AskFileSystem(text->impl_->fs, facts);
    if (text) text->WriteBlock(facts, live ? &*live : nullptr);
    if (csv) csv->WriteRow(facts, live ? &*live : nullptr);
}

bool RunLogs::Holds(const FsItem& file) const {
    // By identity where the file system gives one: the same log may be
    // listed under another path (a bind mount of the output folder).
    const auto same = [&file](const FileId& id, const std::string& path) {
        return id.Known() && file.Id.Known() ? id == file.Id : path == file.Path;
    };
    return (text && same(text->Id(), text->Path())) || (csv && same(csv->Id(), csv->Path()));
}

std::string RunLogs::Failure() const {
    if (text && !text->Error().empty()) return "The log " + text->Path() + " could not be written: " + text->Error();
    if (csv && !csv->Error().empty()) return "The log " + csv->Path() + " could not be written: " + csv->Error();
    return "";
}

}  // namespace ravlen
