#include "log/run_logs.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "platform/posix_file_system.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::ReadAll;
using test::TempDir;

// The machine's file system, with the facts of chosen paths replaced by a
// table, every lookup recorded, and log creation or single writes made to fail.
class LogTestFs : public PosixFileSystem {
public:
    std::map<std::string, std::pair<FsItem, std::string>> files;  // item and type description
    std::vector<std::string> asked;
    bool refuseCreate = false;
    std::set<int> failingWrites;  // 1-based numbers of writes
    int writes = 0;

    std::optional<FsItem> GetFile(const std::string& path) override {
        asked.push_back(path);
        const auto it = files.find(path);
        return it != files.end() ? std::optional<FsItem>(it->second.first) : PosixFileSystem::GetFile(path);
    }
    std::string TypeDescription(const std::string& path) override {
        const auto it = files.find(path);
        return it != files.end() ? it->second.second : PosixFileSystem::TypeDescription(path);
    }
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) override {
        if (refuseCreate) return nullptr;  // as in a read-only folder
        auto file = PosixFileSystem::CreateTextFile(path, error);
        return file ? std::make_unique<Flaky>(std::move(file), *this) : nullptr;
    }

private:
    struct Flaky : TextFile {
        Flaky(std::unique_ptr<TextFile> f, LogTestFs& o) : inner(std::move(f)), owner(o) {}
        FsStatus Write(std::string_view text) override {
            return owner.failingWrites.count(++owner.writes) ? FsStatus::Fail("No space") : inner->Write(text);
        }
        FsStatus Close() override { return inner->Close(); }
        std::unique_ptr<TextFile> inner;
        LogTestFs& owner;
    };
};

std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t from = 0, end; from < text.size(); from = end + 2) {
        end = text.find("\r\n", from);
        if (end == std::string::npos) end = text.size();  // an unterminated last line shows as a mismatch
        lines.push_back(text.substr(from, end - from));
    }
    return lines;
}

// A strict RFC 4180 reader; false on malformed input.
bool ParseCsv(const std::string& t, std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> row(1);
    for (std::size_t i = 0; i < t.size();) {
        if (t[i] == '"') {
            for (++i;; ++i) {
                if (i >= t.size()) return false;
                if (t[i] == '"' && (i + 1 >= t.size() || t[i + 1] != '"')) break;
                if (t[i] == '"') ++i;
                row.back() += t[i];
            }
            ++i;
        } else {
            while (i < t.size() && t[i] != ',' && t[i] != '\r') {
                if (t[i] == '"' || t[i] == '\n') return false;
                row.back() += t[i++];
            }
        }
        if (i < t.size() && t[i] == ',') { row.emplace_back(); ++i; }
        else if (t.compare(i, 2, "\r\n") == 0) { rows.push_back(row); row.assign(1, ""); i += 2; }
        else return false;
    }
    return row.size() == 1 && row[0].empty();
}

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *DateTime::FromFields(y, mo, d, h, mi, s); }
const DateTime kStart = At(2021, 7, 3, 9, 5, 7);
const std::string kStem = "/Ravlen Log 2021-07-03 @09-05-07";

ProgramFacts Program() {
    return {"Linux", "6.1.0-18-amd64", "#1 SMP Debian 6.1.76-1", "Ravlen", 2, 8, 41, "ravlen", "/usr/bin"};
}

RunOptions Options() {  // neighbours differ, so a swapped line shows
    RunOptions o;
    o.SourcePath = "/media/card/DCIM";
    o.OutputPath = "/home/ann/Pictures";
    o.ProcessSubfolders = 2, o.MoveOrCopy = 1, o.AddSerial = 0, o.AddBatchVolume = 3, o.FilenameFormat = 4;
    o.DateMode = 2, o.DCFMode = 3, o.ExcludeReadOnly = 0, o.ExcludeHidden = 1, o.ExcludeSystem = 0;
    o.ExcludePattern = 1, o.ExcludePatternList = "*.ctg;*.ind";
    o.DisplayWarning = 0, o.PreviewResults = 1, o.RequestConfirmation = 0, o.ReportErrors = 1, o.SummarizeResults = 0;
    o.DateModeTIFF = 2, o.DateModeRIFF = 1, o.DateModeFileSystem = 0, o.DCFVolumeDigits = 3, o.DCFBatchCleanup = 0;
    o.CreateLog = 3;
    return o;
}

const std::vector<std::string> kHeader = {
    std::string(80, '-'), "Operating System", "", "  Name:     Linux", "  Version:  6.1.0-18-amd64",
    "  Build:    #1 SMP Debian 6.1.76-1", "", "Application", "", "  Name:     Ravlen", "  Version:  2.8",
    "  Build:    41", "  EXE File: ravlen", "  EXE Path: /usr/bin", "", "Settings", "", "  Main:",
    "    SourcePath:          /media/card/DCIM", "    OutputPath:          /home/ann/Pictures",
    "    ProcessSubfolders:   2", "    MoveOrCopy:          1", "    AddSerial:           0",
    "    AddBatchVolume:      3", "    FilenameFormat:      4", "  Filter:", "    DateMode:            2",
    "    DCFMode:             3", "    ExcludeReadOnly:     0", "    ExcludeHidden:       1",
    "    ExcludeSystem:       0", "    ExcludePattern:      1", "    ExcludePatternList:  *.ctg;*.ind", "  Feedback:",
    "    DisplayWarning:      0", "    PreviewResults:      1", "    RequestConfirmation: 0",
    "    ReportErrors:        1", "    SummarizeResults:    0", "  Advanced:", "    DateModeTIFF:        2",
    "    DateModeRIFF:        1", "    DateModeFileSystem:  0", "    DCFVolumeDigits:     3",
    "    DCFBatchCleanup:     0", "    CreateLog:           3", ""};

// A JPEG moved into `out`; its size, dates and attributes are stale in the
// record, so the block must show what the file system says of the new place.
FileFacts MovedJpeg(LogTestFs& fs, const std::string& out) {
    FileFacts f;
    f.StartTime = At(2021, 7, 3, 9, 5, 8), f.FinishTime = At(2021, 7, 3, 9, 5, 9);
    f.SourceFileName = "IMG_0042.JPG", f.SourceFilePath = "/card/DCIM/IMG_0042.JPG", f.SourceFolder = "/card/DCIM";
    f.Size = 1, f.ExternalFormat = "stale";
    f.DCFBatch = "IMG_", f.DCFVolume = 42, f.DCFVolumeDigits = 4, f.Extension = "JPG", f.InternalFormat = "JPEG";
    f.TIFFMetadata = true, f.APPXSkipCount = 2, f.APP1Offset = 2, f.APP1Length = 9000, f.TIFFOffset = 12;
    f.TIFFByteAlign = "Intel", f.IFD0Offset = 8, f.IFD0Entries = 11, f.EXIFDateModified = At(2004, 12, 26, 8);
    f.SubIFDOffset = 300, f.SubIFDEntries = 27, f.EXIFDateOriginal = At(2004, 12, 25, 18, 9, 11);
    f.EXIFDateDigitized = At(2004, 12, 25, 18, 9, 12), f.TimestampDateTime = At(2004, 12, 25, 18, 9, 11);
    f.Operation = "Moved", f.OutputFileName = "{DT=2004-12-25 @18-09-11}.jpg", f.OutputFolder = out;
    FsItem now{"", "", false, 2345678, kAttrReadOnly | kAttrSystem, At(2021, 7, 3, 9, 5, 8), At(2004, 12, 25, 18, 9, 11)};
    fs.files[JoinPath(out, f.OutputFileName)] = {now, "JPEG image"};
    return f;
}

std::vector<std::string> MovedJpegBlock(const std::string& out) {
    return {std::string(80, '-'), "/card/DCIM/IMG_0042.JPG", "",
            "  Start time:        2021/07/03 09:05:08", "  Finish time:       2021/07/03 09:05:09",
            "  Original name:     IMG_0042.JPG", "    Source folder:   /card/DCIM", "    Size:            2345678",
            "    Created:         2021/07/03 09:05:08", "    Modified:        2004/12/25 18:09:11",
            "    Read-only:       Yes", "    Hidden:          No", "    System:          Yes",
            "  DCF filename:      Yes", "    DCF Batch:       IMG_", "    DCF Volume:      42",
            "    DCF digits:      4", "  Extension:         JPG", "    External format: JPEG image",
            "    Internal format: JPEG", "  CIFF metadata:     No", "    CIFF SubType:    N/A",
            "    CapturedTime:    N/A", "  RIFF metadata:     No", "    RIFF form:       N/A",
            "    ICRD date:       N/A", "    etim time:       N/A", "    IDIT date/time:  N/A",
            "    cmnt date/time:  N/A", "    strd date/time:  N/A", "  TIFF metadata:     Yes",
            "    APPx skipped:    2", "    APP1 offset:     2", "    APP1 length:     9000", "    TIFF offset:     12",
            "    TIFF byte align: Intel", "    IFD0 offset:     8", "    IFD0 entries:    11",
            "      Modified:      2004/12/26 08:00:00", "    SubIFD offset:   300", "    SubIFD entries:  27",
            "      Original:      2004/12/25 18:09:11", "      Digitized:     2004/12/25 18:09:12",
            "  Timestamped:       Yes", "    Date/Time:       2004/12/25 18:09:11", "    Sequence#:       N/A",
            "    Operation:       Moved", "    New name:        {DT=2004-12-25 @18-09-11}.jpg",
            "    Output folder:   " + out, "    Notes:           N/A", ""};
}

// A skipped AVI whose source is gone: the record's own file-system values
// stand in, and the results of the run read N/A.
FileFacts SkippedAvi() {
    FileFacts f;
    f.SourceFileName = "Trip \"best\", 1.avi", f.SourceFilePath = "/card/gone.avi", f.Size = 77;
    f.FileSystemDateCreated = At(2020, 1, 2, 3, 4, 5), f.AttributeHidden = true, f.ExternalFormat = "AVI video";
    f.DCFFilename = false, f.DCFBatch = "junk", f.InternalFormat = "RIFF", f.RIFFMetadata = true, f.RIFFForm = "AVI ";
    f.RIFFICRDDate = At(2004, 12, 25), f.RIFFetimTime = At(1970, 1, 1, 18, 9, 11), f.TIFFOffset = 0;
    f.Timestamped = false, f.SequenceNumber = 3, f.Operation = "Moved", f.OutputFileName = "x.avi";
    f.Notes = "Trip \"best\", 1.avi does not have a valid DCF file name.\nSecond, note.";
    return f;
}

TEST(TextLog, HeaderAndBlocksLineByLine) {
    TempDir dir;
    LogTestFs fs;
    EXPECT_EQ(LogFilePath("/", kStart, ".csv"), "/" + kStem + ".csv");
    fs.failingWrites = {47 + 51 + 8};  // the second block's Size line
    auto log = TextLog::Create(fs, dir.path(), kStart, Options(), Program());
    ASSERT_TRUE(log);
    EXPECT_EQ(log->Path(), dir.path() + kStem + ".txt");
    log->WriteBlock(MovedJpeg(fs, dir.path()));
    log->WriteBlock(SkippedAvi());
    log->Close();
    log->WriteBlock(SkippedAvi());  // after Close: nothing

    std::vector<std::string> expected = kHeader, block = MovedJpegBlock(dir.path());
    expected.insert(expected.end(), block.begin(), block.end());
    const auto lines = CrLfLines(ReadAll(log->Path()));
    ASSERT_EQ(lines.size(), expected.size() + 50);  // a failing write loses its line only
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    // The skipped file: its record's values, N/A for what the run did not do.
    const std::vector<std::pair<int, std::string>> skipped = {
        {7, "    Source folder:   "}, {9, "    Created:         2020/01/02 03:04:05"}, {12, "    Hidden:          Yes"}, {15, "    DCF Batch:       N/A"},
        {19, "    External format: AVI video"}, {27, "    etim time:       18:09:11"}, {35, "    TIFF offset:     0"},
        {44, "  Timestamped:       No"}, {46, "    Sequence#:       N/A"}, {48, "    New name:        N/A"},
        {50, "    Notes:           " + SkippedAvi().Notes}};
    for (const auto& [n, text] : skipped)
        EXPECT_EQ(lines[expected.size() + n - (n > 8 ? 2 : 1)], text) << "block line " << n;
    EXPECT_EQ(fs.asked, (std::vector<std::string>{dir.path() + "/{DT=2004-12-25 @18-09-11}.jpg", "/card/gone.avi"}));
}

TEST(CsvLog, RowsSplitIntoTheirColumnsWhateverTheNames) {
    TempDir dir;
    LogTestFs fs;
    RunLogs logs;
    logs.csv = CsvLog::Create(fs, dir.path(), kStart);
    ASSERT_TRUE(logs.csv);
    FileFacts exif = MovedJpeg(fs, dir.path());  // metadata dates, no serial
    exif.SourceFileName = "a \"q\", b\r\nc\nd.jpg", exif.Notes = "He said \"no\"";
    FileFacts riff = SkippedAvi();  // RIFF dates, placed by copying with a serial
    riff.DCFFilename = riff.Timestamped = true, riff.DCFVolume = 1, riff.DCFVolumeDigits = 4, riff.Extension = "AVI";
    riff.CIFFCapturedDate = At(2003, 1, 1), riff.RIFFcmntDate = At(2004, 12, 25, 7, 8, 9), riff.Operation = "Copied";
    FileFacts none;  // skipped, no dates, no extension
    none.SourceFileName = "README", none.SourceFilePath = "/card/README", none.Timestamped = false, none.Size = 5;
    for (const auto* f : {&exif, &riff, &none}) logs.WriteFileRecord(*f);
    logs.csv->Close();

    const std::string content = ReadAll(dir.path() + kStem + ".csv");
    EXPECT_EQ(content.substr(0, content.find("\r\n")),
              "StartTime,FinishTime,SourceFileName,SourceFolder,Size,FileSystemDateCreated,FileSystemDateModified,"
              "AttributeReadOnly,AttributeHidden,AttributeSystem,DCFFilename,DCFBatch,DCFVolume,DCFVolumeDigits,"
              "Extension,ExternalFormat,InternalFormat,CIFFMetadata,CIFFSubType,CIFFCapturedDate,RIFFMetadata,"
              "RIFFForm,RIFFICRDDate,RIFFetimTime,RIFFIDITDate,RIFFcmntDate,RIFFstrdDate,TIFFMetadata,APPXSkipCount,"
              "APP1Offset,APP1Length,TIFFOffset,TIFFByteAlign,IFD0Offset,IFD0Entries,EXIFDateModified,SubIFDOffset,"
              "SubIFDEntries,EXIFDateOriginal,EXIFDateDigitized,Timestamped,Date/Time,Sequence#,Operation,"
              "OutputFileName,OutputFolder,Notes");
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(ParseCsv(content, rows));
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows) ASSERT_EQ(row.size(), 47u);
    // column (1-based) -> value, per data row
    const std::vector<std::map<int, std::string>> expected = {
        {{3, exif.SourceFileName}, {5, "2345678"}, {8, "Yes"}, {12, "IMG_"}, {16, "JPEG image"}, {20, "N/A"},
         {29, "2"}, {36, "2004/12/26 08:00:00"}, {39, "2004/12/25 18:09:11"}, {43, "0"}, {47, "He said \"no\""}},
        {{3, riff.SourceFileName}, {5, "77"}, {9, "Yes"}, {12, "junk"}, {13, "1"}, {14, "4"}, {15, "AVI"},
         {20, "2003/01/01 00:00:00"}, {22, "AVI "}, {23, "2004/12/25"}, {24, "18:09:11"}, {25, "N/A"},
         {26, "2004/12/25 07:08:09"}, {29, "N/A"}, {32, "0"}, {42, "1970/01/01 00:00:00"}, {43, "3"}, {44, "Copied"},
         {45, "x.avi"}, {46, ""}, {47, riff.Notes}},
        {{11, "Yes"}, {12, "N/A"}, {15, "N/A"}, {16, ""}, {41, "No"}, {42, "N/A"}, {43, "N/A"}, {44, "N/A"},
         {47, "N/A"}},
    };
    for (std::size_t r = 0; r < expected.size(); ++r)
        for (const auto& [column, value] : expected[r])
            EXPECT_EQ(rows[r + 1][column - 1], value) << "row " << r + 1 << " column " << column;
    // A moved file is looked up at its new place, a copied or skipped one at its source.
    EXPECT_EQ(fs.asked, (std::vector<std::string>{dir.path() + "/{DT=2004-12-25 @18-09-11}.jpg", riff.SourceFilePath,
                                                  none.SourceFilePath}));
    // Bare and quoted N/A as the columns say.
    EXPECT_NE(content.find(",\"README\",\"\",5,"), std::string::npos);
    EXPECT_TRUE(content.ends_with(",No,N/A,N/A,\"N/A\",\"N/A\",\"N/A\",\"N/A\"\r\n"));
}

TEST(Logs, ExistingFileIsNeverOverwrittenAndUnwritableFolderMeansNoLog) {
    TempDir dir;
    LogTestFs fs;
    dir.Write(kStem.substr(1) + ".txt", "keep me");
    dir.Write(kStem.substr(1) + ".csv", "keep me too");
    EXPECT_FALSE(TextLog::Create(fs, dir.path(), kStart, Options(), Program()));
    EXPECT_FALSE(CsvLog::Create(fs, dir.path(), kStart));
    EXPECT_EQ(ReadAll(dir.path() + kStem + ".txt"), "keep me");
    EXPECT_EQ(ReadAll(dir.path() + kStem + ".csv"), "keep me too");
    EXPECT_FALSE(TextLog::Create(fs, dir / "gone", kStart, Options(), Program()));

    RunLogs logs;  // the run goes on without logs
    fs.refuseCreate = true;
    logs.text = TextLog::Create(fs, dir.path(), kStart.PlusSeconds(1), Options(), Program());
    logs.csv = CsvLog::Create(fs, dir.path(), kStart.PlusSeconds(1));
    EXPECT_FALSE(logs.text || logs.csv);
    logs.WriteFileRecord(SkippedAvi());

    if (geteuid() != 0) {  // permissions do not bind the superuser
        PosixFileSystem real;
        const std::string locked = dir.Mkdir("locked");
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_FALSE(CsvLog::Create(real, locked, kStart));
        EXPECT_TRUE(std::filesystem::is_empty(locked));
    }
}

TEST(ProgramFacts, DescribeThisMachineAndProgram) {
    const ProgramFacts p = ProgramFacts::Current();
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(std::vector<std::string>({p.OsName, p.OsVersion, p.OsBuild, p.ProductName, p.ExeName, p.ExePath}),
              std::vector<std::string>({"Linux", u.release, u.version, "Ravlen", exe.stem().string(),
                                        exe.parent_path().string()}));
    EXPECT_EQ(p.Major * 10 + p.Minor, 28);
}

}  // namespace
}  // namespace ravlen
