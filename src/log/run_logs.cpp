#include "log/run_logs.h"

#include <optional>
#include <string_view>
#include <vector>

namespace ravlen {
namespace {

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
};

LiveFacts AskFileSystem(FileSystem& fs, const FileFacts& facts) {
    const std::string path = facts.Timestamped && facts.Operation == "Moved"
                                 ? JoinPath(facts.OutputFolder, facts.OutputFileName)
                                 : facts.SourceFilePath;
    if (const auto item = fs.GetFile(path)) {
        return {item->Size,
                item->Created,
                item->Modified,
                (item->Attributes & kAttrReadOnly) != 0,
                (item->Attributes & kAttrHidden) != 0,
                (item->Attributes & kAttrSystem) != 0,
                fs.TypeDescription(path)};
    }
    return {facts.Size,           facts.FileSystemDateCreated, facts.FileSystemDateModified, facts.AttributeReadOnly,
            facts.AttributeHidden, facts.AttributeSystem,      facts.ExternalFormat};
}

std::string DcfBatch(const FileFacts& f) {
    return f.DCFFilename && !f.DCFBatch.empty() ? f.DCFBatch : kNotApplicable;
}
std::string DcfNumber(const FileFacts& f, std::int64_t value) {
    return f.DCFFilename ? std::to_string(value) : kNotApplicable;
}
std::string WhenTimestamped(const FileFacts& f, const std::string& value) {
    return f.Timestamped ? value : kNotApplicable;
}

// A created log file; every write error is ignored, so a failing write
// loses only what it was writing.
struct LogFile {
    std::unique_ptr<TextFile> file;
    std::string path;
    bool open = false;

    void Write(std::string_view text) {
        if (open) (void)file->Write(text);
    }
    void Line(std::string_view text) {
        std::string line(text);
        line += kLineEnd;
        Write(line);
    }
    void Close() {
        if (!open) return;
        open = false;
        (void)file->Close();
    }
    static std::optional<LogFile> Create(FileSystem& fs, const std::string& path) {
        std::string error;
        auto file = fs.CreateTextFile(path, error);
        if (!file) return std::nullopt;
        return LogFile{std::move(file), path, true};
    }
};

constexpr std::string_view kCsvHeaderText =
    "StartTime,FinishTime,SourceFileName,SourceFolder,Size,FileSystemDateCreated,FileSystemDateModified,"
    "AttributeReadOnly,AttributeHidden,AttributeSystem,DCFFilename,DCFBatch,DCFVolume,DCFVolumeDigits,Extension,"
    "ExternalFormat,InternalFormat,CIFFMetadata,CIFFSubType,CIFFCapturedDate,RIFFMetadata,RIFFForm,RIFFICRDDate,"
    "RIFFetimTime,RIFFIDITDate,RIFFcmntDate,RIFFstrdDate,TIFFMetadata,APPXSkipCount,APP1Offset,APP1Length,"
    "TIFFOffset,TIFFByteAlign,IFD0Offset,IFD0Entries,EXIFDateModified,SubIFDOffset,SubIFDEntries,EXIFDateOriginal,"
    "EXIFDateDigitized,Timestamped,Date/Time,Sequence#,Operation,OutputFileName,OutputFolder,Notes";

}  // namespace

std::string_view CsvLogHeader() { return kCsvHeaderText; }

std::string CsvQuoted(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
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
void TextLog::Close() { impl_->log.Close(); }

std::unique_ptr<TextLog> TextLog::Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now,
                                         const RunOptions& o, const ProgramFacts& p) {
    auto file = LogFile::Create(fs, LogFilePath(outputFolder, now, ".txt"));
    if (!file) return nullptr;
    std::unique_ptr<TextLog> log(new TextLog(std::unique_ptr<Impl>(new Impl{fs, std::move(*file)})));
    LogFile& out = log->impl_->log;
    auto option = [&out](const char* label, const std::string& value) { out.Line(std::string(label) + value); };
    auto number = [&option](const char* label, int value) { option(label, std::to_string(value)); };

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
    out.Line("");
    return log;
}

void TextLog::WriteBlock(const FileFacts& f) {
    LogFile& out = impl_->log;
    if (!out.open) return;
    const LiveFacts live = AskFileSystem(impl_->fs, f);
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
    line("    Operation:       ", WhenTimestamped(f, f.Operation));
    line("    New name:        ", WhenTimestamped(f, f.OutputFileName));
    line("    Output folder:   ", WhenTimestamped(f, f.OutputFolder));
    line("    Notes:           ", TextOrNA(f.Notes));
    out.Line("");
}

// ----------------------------------------------------------------- CSV log

struct CsvLog::Impl {
    FileSystem& fs;
    LogFile log;
};

CsvLog::CsvLog(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CsvLog::~CsvLog() { Close(); }
const std::string& CsvLog::Path() const { return impl_->log.path; }
void CsvLog::Close() { impl_->log.Close(); }

std::unique_ptr<CsvLog> CsvLog::Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now) {
    auto file = LogFile::Create(fs, LogFilePath(outputFolder, now, ".csv"));
    if (!file) return nullptr;
    std::unique_ptr<CsvLog> log(new CsvLog(std::unique_ptr<Impl>(new Impl{fs, std::move(*file)})));
    log->impl_->log.Line(CsvLogHeader());
    return log;
}

void CsvLog::WriteRow(const FileFacts& f) {
    LogFile& out = impl_->log;
    if (!out.open) return;
    const LiveFacts live = AskFileSystem(impl_->fs, f);
    const std::vector<std::string> fields = {
        Full(f.StartTime),
        Full(f.FinishTime),
        CsvQuoted(f.SourceFileName),
        CsvQuoted(f.SourceFolder),
        std::to_string(live.Size),
        Full(live.Created),
        Full(live.Modified),
        YesNo(live.ReadOnly),
        YesNo(live.Hidden),
        YesNo(live.System),
        YesNo(f.DCFFilename),
        CsvQuoted(DcfBatch(f)),
        DcfNumber(f, f.DCFVolume),
        DcfNumber(f, f.DCFVolumeDigits),
        CsvQuoted(TextOrNA(f.Extension)),
        CsvQuoted(live.ExternalFormat),
        CsvQuoted(KnownOrNA(f.InternalFormat)),
        YesNo(f.CIFFMetadata),
        CsvQuoted(KnownOrNA(f.CIFFSubType)),
        FullOrNA(f.CIFFCapturedDate),
        YesNo(f.RIFFMetadata),
        CsvQuoted(KnownOrNA(f.RIFFForm)),
        DateOrNA(f.RIFFICRDDate),
        TimeOrNA(f.RIFFetimTime),
        FullOrNA(f.RIFFIDITDate),
        FullOrNA(f.RIFFcmntDate),
        FullOrNA(f.RIFFstrdDate),
        YesNo(f.TIFFMetadata),
        NumberOrNA(f.APPXSkipCount, 0),
        NumberOrNA(f.APP1Offset, -1),
        NumberOrNA(f.APP1Length, -1),
        NumberOrNA(f.TIFFOffset, -1),
        CsvQuoted(KnownOrNA(f.TIFFByteAlign)),
        NumberOrNA(f.IFD0Offset, -1),
        NumberOrNA(f.IFD0Entries, -1),
        FullOrNA(f.EXIFDateModified),
        NumberOrNA(f.SubIFDOffset, -1),
        NumberOrNA(f.SubIFDEntries, -1),
        FullOrNA(f.EXIFDateOriginal),
        FullOrNA(f.EXIFDateDigitized),
        YesNo(f.Timestamped),
        WhenTimestamped(f, Full(f.TimestampDateTime)),
        WhenTimestamped(f, std::to_string(f.SequenceNumber)),  // 0 when the name has no serial
        CsvQuoted(WhenTimestamped(f, f.Operation)),
        CsvQuoted(WhenTimestamped(f, f.OutputFileName)),
        CsvQuoted(WhenTimestamped(f, f.OutputFolder)),
        CsvQuoted(TextOrNA(f.Notes)),
    };
    // One write per row: a failing write loses the whole row rather than
    // leaving a short row that runs into the next one.
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) row += ',';
        row += fields[i];
    }
    out.Line(row);
}

// ------------------------------------------------------------------ both

void RunLogs::WriteFileRecord(const FileFacts& facts) {
    if (text) text->WriteBlock(facts);
    if (csv) csv->WriteRow(facts);
}

}  // namespace ravlen
