#include "log/run_logs.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "log/log_test_support.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::LogTestFs;
using test::ParseCsv;
using test::ReadAll;
using test::SplitCrLf;
using test::TempDir;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *DateTime::FromFields(y, mo, d, h, mi, s); }

const DateTime kRunStart = At(2021, 7, 3, 9, 5, 7);

ProgramFacts Program() {
    ProgramFacts p;
    p.OsName = "Linux";
    p.OsVersion = "6.1.0-18-amd64";
    p.OsBuild = "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)";
    p.ProductName = "Ravlen";
    p.Major = 2;
    p.Minor = 8;
    p.Revision = 41;
    p.ExeName = "ravlen";
    p.ExePath = "/usr/bin";
    return p;
}

// Every option different from its neighbours, so that a swapped line shows.
RunOptions Options() {
    RunOptions o;
    o.SourcePath = "/media/card/DCIM";
    o.OutputPath = "/home/ann/Pictures";
    o.ProcessSubfolders = 2;
    o.MoveOrCopy = 1;
    o.AddSerial = 0;
    o.AddBatchVolume = 3;
    o.FilenameFormat = 4;
    o.DateMode = 2;
    o.DCFMode = 3;
    o.ExcludeReadOnly = 0;
    o.ExcludeHidden = 1;
    o.ExcludeSystem = 0;
    o.ExcludePattern = 1;
    o.ExcludePatternList = "*.ctg;*.ind";
    o.DisplayWarning = 0;
    o.PreviewResults = 1;
    o.RequestConfirmation = 0;
    o.ReportErrors = 1;
    o.SummarizeResults = 0;
    o.DateModeTIFF = 2;
    o.DateModeRIFF = 1;
    o.DateModeFileSystem = 0;
    o.DCFVolumeDigits = 3;
    o.DCFBatchCleanup = 0;
    o.CreateLog = 3;
    return o;
}

std::vector<std::string> ExpectedHeader() {
    return {std::string(80, '-'),
            "Operating System",
            "",
            "  Name:     Linux",
            "  Version:  6.1.0-18-amd64",
            "  Build:    #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)",
            "",
            "Application",
            "",
            "  Name:     Ravlen",
            "  Version:  2.8",
            "  Build:    41",
            "  EXE File: ravlen",
            "  EXE Path: /usr/bin",
            "",
            "Settings",
            "",
            "  Main:",
            "    SourcePath:          /media/card/DCIM",
            "    OutputPath:          /home/ann/Pictures",
            "    ProcessSubfolders:   2",
            "    MoveOrCopy:          1",
            "    AddSerial:           0",
            "    AddBatchVolume:      3",
            "    FilenameFormat:      4",
            "  Filter:",
            "    DateMode:            2",
            "    DCFMode:             3",
            "    ExcludeReadOnly:     0",
            "    ExcludeHidden:       1",
            "    ExcludeSystem:       0",
            "    ExcludePattern:      1",
            "    ExcludePatternList:  *.ctg;*.ind",
            "  Feedback:",
            "    DisplayWarning:      0",
            "    PreviewResults:      1",
            "    RequestConfirmation: 0",
            "    ReportErrors:        1",
            "    SummarizeResults:    0",
            "  Advanced:",
            "    DateModeTIFF:        2",
            "    DateModeRIFF:        1",
            "    DateModeFileSystem:  0",
            "    DCFVolumeDigits:     3",
            "    DCFBatchCleanup:     0",
            "    CreateLog:           3",
            ""};
}

// A JPEG moved into the output folder, with everything found.
FileFacts MovedJpeg(const std::string& folder) {
    FileFacts f;
    f.StartTime = At(2021, 7, 3, 9, 5, 8);
    f.FinishTime = At(2021, 7, 3, 9, 5, 9);
    f.SourceFileName = "IMG_0042.JPG";
    f.SourceFilePath = "/media/card/DCIM/100CANON/IMG_0042.JPG";
    f.SourceFolder = "/media/card/DCIM/100CANON";
    f.Size = 1;  // stale: the file system is asked
    f.DCFBatch = "IMG_";
    f.DCFVolume = 42;
    f.DCFVolumeDigits = 4;
    f.Extension = "JPG";
    f.ExternalFormat = "stale";
    f.InternalFormat = "JPEG";
    f.TIFFMetadata = true;
    f.APPXSkipCount = 2;
    f.APP1Offset = 2;
    f.APP1Length = 9000;
    f.TIFFOffset = 12;
    f.TIFFByteAlign = "Intel";
    f.IFD0Offset = 8;
    f.IFD0Entries = 11;
    f.EXIFDateModified = At(2004, 12, 26, 8, 0, 0);
    f.SubIFDOffset = 300;
    f.SubIFDEntries = 27;
    f.EXIFDateOriginal = At(2004, 12, 25, 18, 9, 11);
    f.EXIFDateDigitized = At(2004, 12, 25, 18, 9, 12);
    f.TimestampDateTime = At(2004, 12, 25, 18, 9, 11);
    f.SequenceNumber = 0;
    f.Operation = "Moved";
    f.OutputFileName = "{DT=2004-12-25 @18-09-11}{BA=IMG}{VO=0042}.jpg";
    f.OutputFolder = folder;
    return f;
}

FsItem OnDisk(std::int64_t size, int attributes) {
    FsItem item;
    item.Size = size;
    item.Attributes = attributes;
    item.Created = At(2021, 7, 3, 9, 5, 8);
    item.Modified = At(2004, 12, 25, 18, 9, 11);
    return item;
}

std::vector<std::string> ExpectedMovedJpegBlock(const std::string& folder) {
    return {std::string(80, '-'),
            "/media/card/DCIM/100CANON/IMG_0042.JPG",
            "",
            "  Start time:        2021/07/03 09:05:08",
            "  Finish time:       2021/07/03 09:05:09",
            "  Original name:     IMG_0042.JPG",
            "    Source folder:   /media/card/DCIM/100CANON",
            "    Size:            2345678",
            "    Created:         2021/07/03 09:05:08",
            "    Modified:        2004/12/25 18:09:11",
            "    Read-only:       Yes",
            "    Hidden:          No",
            "    System:          Yes",
            "  DCF filename:      Yes",
            "    DCF Batch:       IMG_",
            "    DCF Volume:      42",
            "    DCF digits:      4",
            "  Extension:         JPG",
            "    External format: JPEG image",
            "    Internal format: JPEG",
            "  CIFF metadata:     No",
            "    CIFF SubType:    N/A",
            "    CapturedTime:    N/A",
            "  RIFF metadata:     No",
            "    RIFF form:       N/A",
            "    ICRD date:       N/A",
            "    etim time:       N/A",
            "    IDIT date/time:  N/A",
            "    cmnt date/time:  N/A",
            "    strd date/time:  N/A",
            "  TIFF metadata:     Yes",
            "    APPx skipped:    2",
            "    APP1 offset:     2",
            "    APP1 length:     9000",
            "    TIFF offset:     12",
            "    TIFF byte align: Intel",
            "    IFD0 offset:     8",
            "    IFD0 entries:    11",
            "      Modified:      2004/12/26 08:00:00",
            "    SubIFD offset:   300",
            "    SubIFD entries:  27",
            "      Original:      2004/12/25 18:09:11",
            "      Digitized:     2004/12/25 18:09:12",
            "  Timestamped:       Yes",
            "    Date/Time:       2004/12/25 18:09:11",
            "    Sequence#:       N/A",
            "    Operation:       Moved",
            "    New name:        {DT=2004-12-25 @18-09-11}{BA=IMG}{VO=0042}.jpg",
            "    Output folder:   " + folder,
            "    Notes:           N/A",
            ""};
}

void ExpectLines(const std::vector<std::string>& actual, std::size_t from, const std::vector<std::string>& expected) {
    ASSERT_GE(actual.size(), from + expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual[from + i], expected[i]) << "line " << from + i + 1;
}

TEST(LogFilePath, PlainConcatenation) {
    EXPECT_EQ(LogFilePath("/home/ann/Pictures", kRunStart, ".txt"),
              "/home/ann/Pictures/Ravlen Log 2021-07-03 @09-05-07.txt");
    EXPECT_EQ(LogFilePath("/", At(2021, 12, 31, 23, 59, 58), ".csv"), "//Ravlen Log 2021-12-31 @23-59-58.csv");
}

TEST(TextLog, HeaderAndBlocksLineByLine) {
    TempDir dir;
    LogTestFs fs;
    const std::string moved = JoinPath(dir.path(), "{DT=2004-12-25 @18-09-11}{BA=IMG}{VO=0042}.jpg");
    fs.files[moved] = OnDisk(2345678, kAttrReadOnly | kAttrSystem);
    fs.types[moved] = "JPEG image";

    auto log = TextLog::Create(fs, dir.path(), kRunStart, Options(), Program());
    ASSERT_TRUE(log);
    EXPECT_EQ(log->Path(), dir.path() + "/Ravlen Log 2021-07-03 @09-05-07.txt");
    log->WriteBlock(MovedJpeg(dir.path()));

    // A skipped AVI whose source can no longer be found: the record's own
    // file-system values stand in, and the run's results read N/A.
    FileFacts skipped;
    skipped.StartTime = skipped.FinishTime = At(2021, 7, 3, 9, 5, 10);
    skipped.SourceFileName = "Holiday \"best\".avi";
    skipped.SourceFilePath = "/media/card/Holiday \"best\".avi";
    skipped.SourceFolder = "/media/card";
    skipped.Size = 77;
    skipped.FileSystemDateCreated = At(2020, 1, 2, 3, 4, 5);
    skipped.FileSystemDateModified = At(2020, 1, 2, 3, 4, 6);
    skipped.AttributeHidden = true;
    skipped.DCFFilename = false;
    skipped.DCFBatch = "junk";
    skipped.Extension = "avi";
    skipped.ExternalFormat = "AVI video";
    skipped.InternalFormat = "RIFF";
    skipped.RIFFMetadata = true;
    skipped.RIFFForm = "AVI ";
    skipped.RIFFICRDDate = At(2004, 12, 25);
    skipped.RIFFetimTime = At(1970, 1, 1, 18, 9, 11);
    skipped.RIFFIDITDate = At(2004, 12, 25, 18, 9, 11);
    skipped.TIFFOffset = 0;
    skipped.Timestamped = false;
    skipped.SequenceNumber = 3;
    skipped.Operation = "Moved";
    skipped.OutputFileName = "x.avi";
    skipped.OutputFolder = "/out";
    skipped.Notes = "Holiday \"best\".avi does not have a valid DCF file name. Second note.";
    log->WriteBlock(skipped);
    log->Close();

    std::vector<std::string> lines;
    ASSERT_TRUE(SplitCrLf(ReadAll(log->Path()), lines)) << "every line ends with CR LF";
    ExpectLines(lines, 0, ExpectedHeader());
    ExpectLines(lines, 47, ExpectedMovedJpegBlock(dir.path()));
    const std::vector<std::pair<std::size_t, std::string>> skippedLines = {
        {2, "/media/card/Holiday \"best\".avi"},
        {8, "    Size:            77"},
        {9, "    Created:         2020/01/02 03:04:05"},
        {10, "    Modified:        2020/01/02 03:04:06"},
        {11, "    Read-only:       No"},
        {12, "    Hidden:          Yes"},
        {14, "  DCF filename:      No"},
        {15, "    DCF Batch:       N/A"},
        {16, "    DCF Volume:      N/A"},
        {17, "    DCF digits:      N/A"},
        {19, "    External format: AVI video"},
        {25, "    RIFF form:       AVI "},
        {26, "    ICRD date:       2004/12/25"},
        {27, "    etim time:       18:09:11"},
        {28, "    IDIT date/time:  2004/12/25 18:09:11"},
        {32, "    APPx skipped:    N/A"},
        {35, "    TIFF offset:     0"},
        {36, "    TIFF byte align: N/A"},
        {44, "  Timestamped:       No"},
        {45, "    Date/Time:       N/A"},
        {46, "    Sequence#:       N/A"},
        {47, "    Operation:       N/A"},
        {48, "    New name:        N/A"},
        {49, "    Output folder:   N/A"},
        {50, "    Notes:           Holiday \"best\".avi does not have a valid DCF file name. Second note."},
        {51, ""},
    };
    const std::size_t second = 47 + 51;
    ASSERT_EQ(lines.size(), second + 51);
    for (const auto& [n, text] : skippedLines) EXPECT_EQ(lines[second + n - 1], text) << "block line " << n;
    // The moved file is looked up where it now is, the skipped one at its source.
    EXPECT_EQ(fs.asked, (std::vector<std::string>{JoinPath(dir.path(), MovedJpeg("").OutputFileName),
                                                   skipped.SourceFilePath}));
}

TEST(TextLog, SerialAndCopiedFileDetails) {
    TempDir dir;
    LogTestFs fs;
    auto log = TextLog::Create(fs, dir.path(), kRunStart, Options(), Program());
    ASSERT_TRUE(log);
    FileFacts copied = MovedJpeg("/out");
    copied.Operation = "Copied";
    copied.SequenceNumber = 12;
    copied.DCFBatch = "";  // an all-digit name split into eight volume digits
    log->WriteBlock(copied);
    log->Close();
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitCrLf(ReadAll(log->Path()), lines));
    ASSERT_EQ(lines.size(), 47u + 51u);
    EXPECT_EQ(lines[47 + 14], "    DCF Batch:       N/A");
    EXPECT_EQ(lines[47 + 45], "    Sequence#:       12");
    EXPECT_EQ(lines[47 + 46], "    Operation:       Copied");
    // A copied file stays at its source, so that is where it is looked up;
    // here it is gone, so the record's values are written.
    EXPECT_EQ(fs.asked, std::vector<std::string>{copied.SourceFilePath});
    EXPECT_EQ(lines[47 + 7], "    Size:            1");
    EXPECT_EQ(lines[47 + 18], "    External format: stale");
}

TEST(TextLog, FailingWriteLosesOnlyThatLine) {
    TempDir dir;
    LogTestFs fs;
    const std::string moved = JoinPath(dir.path(), MovedJpeg("").OutputFileName);
    fs.files[moved] = OnDisk(2345678, kAttrReadOnly | kAttrSystem);
    fs.types[moved] = "JPEG image";
    fs.failingWrites = {4, 47 + 8};  // header line 4, and the block's Size line
    auto log = TextLog::Create(fs, dir.path(), kRunStart, Options(), Program());
    ASSERT_TRUE(log);
    log->WriteBlock(MovedJpeg(dir.path()));
    log->Close();
    log->WriteBlock(MovedJpeg(dir.path()));  // after Close: ignored
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitCrLf(ReadAll(log->Path()), lines));
    std::vector<std::string> expected = ExpectedHeader();
    for (const auto& line : ExpectedMovedJpegBlock(dir.path())) expected.push_back(line);
    expected.erase(expected.begin() + 47 + 7);
    expected.erase(expected.begin() + 3);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
}

TEST(Logs, ExistingFileIsNeverOverwritten) {
    TempDir dir;
    LogTestFs fs;
    const std::string txt = dir.Write("Ravlen Log 2021-07-03 @09-05-07.txt", "keep me");
    const std::string csv = dir.Write("Ravlen Log 2021-07-03 @09-05-07.csv", "keep me too");
    EXPECT_FALSE(TextLog::Create(fs, dir.path(), kRunStart, Options(), Program()));
    EXPECT_FALSE(CsvLog::Create(fs, dir.path(), kRunStart));
    EXPECT_EQ(ReadAll(txt), "keep me");
    EXPECT_EQ(ReadAll(csv), "keep me too");
    // A second later the names are free again.
    EXPECT_TRUE(TextLog::Create(fs, dir.path(), kRunStart.PlusSeconds(1), Options(), Program()));
}

TEST(Logs, ReadOnlyFolderMeansNoLogAndTheRunGoesOn) {
    TempDir dir;
    LogTestFs fs;
    fs.refuseCreate = true;
    RunLogs logs;
    logs.text = TextLog::Create(fs, dir.path(), kRunStart, Options(), Program());
    logs.csv = CsvLog::Create(fs, dir.path(), kRunStart);
    EXPECT_FALSE(logs.text);
    EXPECT_FALSE(logs.csv);
    logs.WriteFileRecord(MovedJpeg(dir.path()));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Logs, MissingFolderMeansNoLog) {
    TempDir dir;
    LogTestFs fs;
    EXPECT_FALSE(TextLog::Create(fs, dir / "gone", kRunStart, Options(), Program()));
    EXPECT_FALSE(CsvLog::Create(fs, dir / "gone", kRunStart));
}

const char* const kCsvHeader =
    "StartTime,FinishTime,SourceFileName,SourceFolder,Size,FileSystemDateCreated,FileSystemDateModified,"
    "AttributeReadOnly,AttributeHidden,AttributeSystem,DCFFilename,DCFBatch,DCFVolume,DCFVolumeDigits,Extension,"
    "ExternalFormat,InternalFormat,CIFFMetadata,CIFFSubType,CIFFCapturedDate,RIFFMetadata,RIFFForm,RIFFICRDDate,"
    "RIFFetimTime,RIFFIDITDate,RIFFcmntDate,RIFFstrdDate,TIFFMetadata,APPXSkipCount,APP1Offset,APP1Length,"
    "TIFFOffset,TIFFByteAlign,IFD0Offset,IFD0Entries,EXIFDateModified,SubIFDOffset,SubIFDEntries,EXIFDateOriginal,"
    "EXIFDateDigitized,Timestamped,Date/Time,Sequence#,Operation,OutputFileName,OutputFolder,Notes\r\n";

TEST(CsvLog, RowsSplitIntoTheirColumnsWhateverTheNames) {
    TempDir dir;
    LogTestFs fs;
    auto log = CsvLog::Create(fs, dir.path(), kRunStart);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->Path(), dir.path() + "/Ravlen Log 2021-07-03 @09-05-07.csv");

    // EXIF dates, moved, no serial.
    const std::string tricky = "a \"quoted\", comma\r\nand\nnewline.jpg";
    FileFacts exif = MovedJpeg(dir.path());
    exif.SourceFileName = tricky;
    exif.OutputFileName = "out \"\",.jpg";
    exif.Notes = "He said \"no\", twice";
    fs.files[JoinPath(dir.path(), exif.OutputFileName)] = OnDisk(99, kAttrHidden);
    fs.types[JoinPath(dir.path(), exif.OutputFileName)] = "JPEG \"image\"";
    // RIFF dates, copied with a serial number.
    FileFacts riff;
    riff.SourceFileName = "MVI_0001.AVI";
    riff.SourceFilePath = "/src/MVI_0001.AVI";
    riff.DCFBatch = "MVI_";
    riff.DCFVolume = 1;
    riff.DCFVolumeDigits = 4;
    riff.InternalFormat = "RIFF";
    riff.RIFFMetadata = true;
    riff.RIFFForm = "AVI ";
    riff.RIFFICRDDate = At(2004, 12, 25);
    riff.RIFFetimTime = At(1970, 1, 1, 7, 8, 9);
    riff.RIFFcmntDate = At(2004, 12, 25, 7, 8, 9);
    riff.RIFFstrdDate = At(2004, 12, 25, 7, 8, 10);
    riff.CIFFCapturedDate = At(2003, 1, 1, 1, 1, 1);
    riff.TimestampDateTime = At(2004, 12, 25, 7, 8, 9);
    riff.SequenceNumber = 2;
    riff.Operation = "Copied";
    riff.OutputFileName = "r.avi";
    riff.OutputFolder = "/out";
    // Skipped: no dates at all, no extension.
    FileFacts skipped;
    skipped.SourceFileName = "README";
    skipped.SourceFilePath = "/src/README";
    skipped.DCFFilename = false;
    skipped.Timestamped = false;
    skipped.Size = 5;
    skipped.ExternalFormat = "Text";

    RunLogs logs;
    logs.csv = std::move(log);
    logs.WriteFileRecord(exif);
    logs.WriteFileRecord(riff);
    logs.WriteFileRecord(skipped);
    const std::string path = logs.csv->Path();
    logs.csv->Close();

    const std::string content = ReadAll(path);
    ASSERT_EQ(content.substr(0, std::string(kCsvHeader).size()), kCsvHeader);
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(ParseCsv(content, rows));
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows) EXPECT_EQ(row.size(), 47u);

    const auto& e = rows[1];
    EXPECT_EQ(e[0], "2021/07/03 09:05:08");
    EXPECT_EQ(e[2], tricky);
    EXPECT_EQ(e[4], "99");
    EXPECT_EQ(e[7], "No");
    EXPECT_EQ(e[8], "Yes");
    EXPECT_EQ(e[11], "IMG_");
    EXPECT_EQ(e[15], "JPEG \"image\"");
    EXPECT_EQ(e[19], "N/A");
    EXPECT_EQ(e[28], "2");
    EXPECT_EQ(e[35], "2004/12/26 08:00:00");
    EXPECT_EQ(e[38], "2004/12/25 18:09:11");
    EXPECT_EQ(e[42], "0") << "a name without serial shows 0";
    EXPECT_EQ(e[44], "out \"\",.jpg");
    EXPECT_EQ(e[46], "He said \"no\", twice");

    const std::vector<std::string> r = rows[2];
    const std::vector<std::pair<int, std::string>> riffFields = {
        {12, "1"}, {13, "4"}, {16, "RIFF"}, {19, "2003/01/01 01:01:01"}, {20, "Yes"}, {21, "AVI "},
        {22, "2004/12/25"}, {23, "07:08:09"}, {24, "N/A"}, {25, "2004/12/25 07:08:09"}, {26, "2004/12/25 07:08:10"},
        {28, "N/A"}, {29, "N/A"}, {31, "N/A"}, {32, "N/A"}, {41, "2004/12/25 07:08:09"}, {42, "2"}, {43, "Copied"},
        {45, "/out"}, {46, "N/A"},
    };
    for (const auto& [column, value] : riffFields) EXPECT_EQ(r[column], value) << "column " << column + 1;

    const auto& s = rows[3];
    EXPECT_EQ(s[10], "No");
    EXPECT_EQ(s[11], "N/A");
    EXPECT_EQ(s[12], "N/A");
    EXPECT_EQ(s[14], "N/A");
    EXPECT_EQ(s[40], "No");
    for (int column = 41; column <= 45; ++column) EXPECT_EQ(s[column], "N/A") << "column " << column + 1;

    // The raw text of the skipped row: quoted and bare N/A as the columns say.
    const std::size_t last = content.rfind("\r\n", content.size() - 3);
    const std::string raw = content.substr(last + 2);
    EXPECT_EQ(raw.substr(0, 8), "1970/01/");
    EXPECT_NE(raw.find(",\"README\",\"\",5,"), std::string::npos) << raw;
    EXPECT_NE(raw.find(",No,N/A,N/A,\"N/A\",\"N/A\",\"N/A\",\"N/A\"\r\n"), std::string::npos) << raw;
}

TEST(ProgramFacts, DescribeThisMachineAndProgram) {
    const ProgramFacts p = ProgramFacts::Current();
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    EXPECT_EQ(p.OsName, "Linux");
    EXPECT_EQ(p.OsVersion, u.release);
    EXPECT_EQ(p.OsBuild, u.version);
    EXPECT_EQ(p.ProductName, "Ravlen");
    EXPECT_EQ(p.Major, 2);
    EXPECT_EQ(p.Minor, 8);
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(p.ExeName, exe.stem().string());
    EXPECT_EQ(p.ExePath, exe.parent_path().string());
}

}  // namespace
}  // namespace ravlen
