#include "log/run_logs.h"
#include "log/csv_text.h"

#include <gtest/gtest.h>
#include <map>

#include "platform/posix_file_system.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::ReadAll;
using test::TempDir;

// The machine's file system with the facts (item, type description) of chosen
// paths made up, and every lookup recorded.
struct LogTestFs : PosixFileSystem {
    std::map<std::string, std::pair<FsItem, std::string>> files;
    std::vector<std::string> asked;
    std::optional<FsItem> GetFile(const std::string& path) override {
        asked.push_back(path);
        return files.count(path) ? std::optional<FsItem>(files[path].first) : PosixFileSystem::GetFile(path);
    }
    std::string TypeDescription(const std::string& path) override {
        return files.count(path) ? files[path].second : PosixFileSystem::TypeDescription(path);
    }
};

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
    o.ProcessSubfolders = ProcessSubfolders::Preserve, o.MoveOrCopy = MoveOrCopy::Copy;
    o.AddSerial = AddSerial::Never, o.AddBatchVolume = AddBatchVolume::Both, o.FilenameFormat = FilenameFormat::Custom;
    o.DateMode = DateMode::FileSystemWhenNoMetadata, o.DCFMode = DCFMode::ReplaceNonDcf;
    o.ExcludeReadOnly = false, o.ExcludeHidden = true, o.ExcludeSystem = false;
    o.ExcludePattern = true, o.ExcludePatternList = "*.ctg;*.ind", o.DisplayWarning = false, o.PreviewResults = true;
    o.RequestConfirmation = false, o.ReportErrors = true, o.SummarizeResults = false;
    o.DateModeTIFF = DateModeTIFF::DateTime, o.DateModeRIFF = DateModeRIFF::Idit;
    o.DateModeFileSystem = DateModeFileSystem::Created, o.DCFVolumeDigits = DCFVolumeDigits::UpTo7;
    o.DCFBatchCleanup = DCFBatchCleanup::DoNothing, o.CreateLog = CreateLog::Both, o.TimeShift = "-25:00:00";
    o.DateFolders = true, o.DateFolderFormat = "yyyy/\"Summer \"yyyy";
    return o;
}

// A JPEG moved into `out`; its size, dates and attributes are stale in the
// record, so the logs must show what the file system says of the new place.
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
    f.DateBeforeShift = At(2004, 12, 26, 19, 9, 11), f.ShiftSeconds = -90000;
    f.DateSource = "EXIF DateTimeOriginal";
    f.Operation = FileOperation::Moved, f.OutputFileName = "{DT=2004-12-25 @18-09-11}.jpg", f.OutputFolder = out;
    FsItem now{"", "", false, 2345678, kAttrReadOnly | kAttrSystem, At(2021, 7, 3, 9, 5, 8), At(2004, 12, 25, 18, 9, 11), {}};
    fs.files[JoinPath(out, f.OutputFileName)] = {now, "JPEG image"};
    return f;
}

std::string CrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

TEST(TextLog, HeaderAndOneBlockAgainstTheLayout) {
    TempDir dir;
    LogTestFs fs;
    EXPECT_EQ(LogFilePath("/", kStart, ".csv"), "/" + kStem + ".csv");
    auto log = TextLog::Create(fs, dir.path(), kStart, Options(), Program());
    ASSERT_TRUE(log);
    EXPECT_EQ(log->Path(), dir.path() + kStem + ".txt");
    log->WriteBlock(MovedJpeg(fs, dir.path()));
    log->Close();
    log->WriteBlock(MovedJpeg(fs, dir.path()));  // after Close: nothing
    // An existing log stays as it is; a second run of the same second gets its own.
    EXPECT_EQ(TextLog::Create(fs, dir.path(), kStart, Options(), Program())->Path(), dir.path() + kStem + " (2).txt");
    EXPECT_FALSE(TextLog::Create(fs, dir / "gone", kStart, Options(), Program()));
    const std::string rule(80, '-');
    EXPECT_EQ(ReadAll(log->Path()), CrLf({
        rule, "Operating System", "", "  Name:     Linux", "  Version:  6.1.0-18-amd64",
        "  Build:    #1 SMP Debian 6.1.76-1", "", "Application", "", "  Name:     Ravlen", "  Version:  2.8",
        "  Build:    41", "  EXE File: ravlen", "  EXE Path: /usr/bin", "", "Settings", "", "  Main:",
        "    SourcePath:          /media/card/DCIM", "    OutputPath:          /home/ann/Pictures",
        "    ProcessSubfolders:   2", "    MoveOrCopy:          1", "    AddSerial:           0",
        "    AddBatchVolume:      3", "    FilenameFormat:      4", "  Filter:", "    DateMode:            2",
        "    DCFMode:             3", "    ExcludeReadOnly:     0", "    ExcludeHidden:       1",
        "    ExcludeSystem:       0", "    ExcludePattern:      1", "    ExcludePatternList:  *.ctg;*.ind",
        "  Feedback:", "    DisplayWarning:      0", "    PreviewResults:      1", "    RequestConfirmation: 0",
        "    ReportErrors:        1", "    SummarizeResults:    0", "  Advanced:", "    DateModeTIFF:        2",
        "    DateModeRIFF:        1", "    DateModeFileSystem:  0", "    DCFVolumeDigits:     3",
        "    DCFBatchCleanup:     0", "    CreateLog:           3", "  Time:",
        "    TimeShift:           -1 01:00:00", "    CameraOffsets:       None",
        "    MovieTimeZone:       This computer's", "    SetFileTime:         0", "  Copy:", "    VerifyCopies:        0",
        "  Import:", "    KeepPairsTogether:   1", "    DateFolders:         1",
        "    DateFolderFormat:    yyyy/\"Summer \"yyyy", "    SkipImported:        1",
        "    JobCode:             None", "    SequenceScope:       0", "", rule,
        "/card/DCIM/IMG_0042.JPG", "",
        "  Start time:        2021/07/03 09:05:08", "  Finish time:       2021/07/03 09:05:09",
        "  Original name:     IMG_0042.JPG", "    Source folder:   /card/DCIM", "    Size:            2345678",
        "    Created:         2021/07/03 09:05:08", "    Modified:        2004/12/25 18:09:11",
        "    Read-only:       Yes", "    Hidden:          No", "    System:          Yes", "  DCF filename:      Yes",
        "    DCF Batch:       IMG_", "    DCF Volume:      42", "    DCF digits:      4", "  Extension:         JPG",
        "    External format: JPEG image", "    Internal format: JPEG", "  CIFF metadata:     No",
        "    CIFF SubType:    N/A", "    CapturedTime:    N/A", "  RIFF metadata:     No", "    RIFF form:       N/A",
        "    ICRD date:       N/A", "    etim time:       N/A", "    IDIT date/time:  N/A", "    cmnt date/time:  N/A",
        "    strd date/time:  N/A", "  TIFF metadata:     Yes", "    APPx skipped:    2", "    APP1 offset:     2",
        "    APP1 length:     9000", "    TIFF offset:     12", "    TIFF byte align: Intel", "    IFD0 offset:     8",
        "    IFD0 entries:    11", "      Modified:      2004/12/26 08:00:00", "    SubIFD offset:   300",
        "    SubIFD entries:  27", "      Original:      2004/12/25 18:09:11",
        "      Digitized:     2004/12/25 18:09:12", "  Timestamped:       Yes",
        "    Date/Time:       2004/12/25 18:09:11", "    Sequence#:       N/A", "    Operation:       Moved",
        "    New name:        {DT=2004-12-25 @18-09-11}.jpg", "    Output folder:   " + dir.path(),
        "    Notes:           N/A", "  Movie metadata:    No", "    Movie date:      N/A", "    Date source:     N/A",
        "    UTC offset:      N/A", "    Before shift:    2004/12/26 19:09:11",
        "    After shift:     2004/12/25 18:09:11", "    Time shift:      -1 01:00:00",
        "  Date taken from:   EXIF DateTimeOriginal",
        "  Camera:            N/A", "    Camera offset:   N/A", "    Modified before: N/A",
        "    Lens:            N/A", "    Artist:          N/A", "    Sub-seconds:     N/A", "  Job code:          N/A",
        "    Continuing #:    N/A", ""}));
}

TEST(CsvLog, RowsReadBackIntoTheirColumnsWhateverTheNames) {
    TempDir dir;
    LogTestFs fs;
    RunLogs logs;
    logs.csv = CsvLog::Create(fs, dir.path(), kStart);
    ASSERT_TRUE(logs.csv);
    FileFacts exif = MovedJpeg(fs, dir.path());  // metadata dates, no serial, looked up at its new place
    exif.SourceFileName = "a \"q\", b\r\nc\nd.jpg", exif.Notes = "He said \"no\"";
    exif.BackupFilePaths = {"/b1/x.jpg", "/b 2/x.jpg"};
    exif.MissingBackups = {"/b3: No space left on device"};
    FileFacts avi;  // skipped, RIFF dates, its source gone: the record's own values stand in
    avi.SourceFileName = "Trip \"best\", 1.avi", avi.SourceFilePath = "/card/gone.avi", avi.Size = 77;
    avi.FileSystemDateCreated = At(2020, 1, 2, 3, 4, 5), avi.AttributeHidden = true, avi.ExternalFormat = "AVI video";
    avi.DCFFilename = false, avi.DCFBatch = "junk", avi.Extension = "AVI", avi.InternalFormat = "RIFF";
    avi.RIFFMetadata = true, avi.RIFFForm = "AVI ", avi.RIFFICRDDate = At(2004, 12, 25), avi.TIFFOffset = 0;
    avi.RIFFetimTime = At(1970, 1, 1, 18, 9, 11), avi.RIFFcmntDate = At(2004, 12, 25, 7, 8, 9);
    avi.CIFFCapturedDate = At(2003, 1, 1), avi.Timestamped = false, avi.SequenceNumber = 3;
    avi.Operation = FileOperation::Moved;
    avi.Notes = "Trip \"best\", 1.avi is odd.\nSecond, note.";
    avi.MovieMetadata = true, avi.MovieDate = At(2019, 7, 24, 11, 25, 40), avi.MovieUTCOffset = -210;
    avi.MovieDateSource = "Keys:CreationDate";
    avi.EXIFOffsetDigitized = -150, avi.EXIFSubSecOriginal = "07", avi.GPSDateTime = At(2019, 7, 24, 14, 55, 40);
    avi.Latitude = -33.86882, avi.Longitude = 151.2092961, avi.PositionSource = "udta \xC2\xA9xyz";
    avi.MovieZoneSource = "Position", avi.XMPUTCOffset = 330;
    for (const auto* f : {&exif, &avi}) logs.WriteFileRecord(*f);
    logs.csv->Close();
    EXPECT_EQ(CsvLog::Create(fs, dir.path(), kStart)->Path(), dir.path() + kStem + " (2).csv");
    const std::string content = ReadAll(dir.path() + kStem + ".csv"), zero = "1970/01/01 00:00:00";
    EXPECT_EQ(content,
              "StartTime,FinishTime,SourceFileName,SourceFolder,Size,FileSystemDateCreated,FileSystemDateModified,"
              "AttributeReadOnly,AttributeHidden,AttributeSystem,DCFFilename,DCFBatch,DCFVolume,DCFVolumeDigits,"
              "Extension,ExternalFormat,InternalFormat,CIFFMetadata,CIFFSubType,CIFFCapturedDate,RIFFMetadata,"
              "RIFFForm,RIFFICRDDate,RIFFetimTime,RIFFIDITDate,RIFFcmntDate,RIFFstrdDate,TIFFMetadata,APPXSkipCount,"
              "APP1Offset,APP1Length,TIFFOffset,TIFFByteAlign,IFD0Offset,IFD0Entries,EXIFDateModified,SubIFDOffset,"
              "SubIFDEntries,EXIFDateOriginal,EXIFDateDigitized,Timestamped,Date/Time,Sequence#,Operation,"
              "OutputFileName,OutputFolder,Notes,MovieMetadata,MovieDate,MovieDateSource,MovieUTCOffset,"
              "DateBeforeShift,DateAfterShift,TimeShift,DateSource,CameraMake,CameraModel,CameraSerial,CameraOffset,"
              "OriginalModifiedTime,EXIFOffsetTimeOriginal,EXIFOffsetTimeDigitized,EXIFOffsetTime,"
              "EXIFSubSecTimeOriginal,GPSDateTime,Latitude,Longitude,PositionSource,MovieZoneSource,RunId,BackupPaths,"
              "CameraName,LensModel,Artist,SubSecTimeOriginal,JobCode,ContinuingNumber,ContinuingScope,XMPUTCOffset,"
              "MissingBackups\r\n"
              "2021/07/03 09:05:08,2021/07/03 09:05:09,\"a \"\"q\"\", b\r\nc\nd.jpg\",\"/card/DCIM\",2345678,"
              "2021/07/03 09:05:08,2004/12/25 18:09:11,Yes,No,Yes,Yes,\"IMG_\",42,4,\"JPG\",\"JPEG image\",\"JPEG\",No,"
              "\"N/A\",N/A,No,\"N/A\",N/A,N/A,N/A,N/A,N/A,Yes,2,2,9000,12,\"Intel\",8,11,2004/12/26 08:00:00,300,27,"
              "2004/12/25 18:09:11,2004/12/25 18:09:12,Yes,2004/12/25 18:09:11,0,\"Moved\","
              "\"{DT=2004-12-25 @18-09-11}.jpg\",\"" + dir.path() + "\",\"He said \"\"no\"\"\",No,N/A,\"N/A\",N/A,"
              "2004/12/26 19:09:11,2004/12/25 18:09:11,-1 01:00:00,\"EXIF DateTimeOriginal\",\"N/A\",\"N/A\","
              "\"N/A\",N/A,N/A,N/A,N/A,N/A,N/A,N/A,N/A,N/A,\"N/A\",\"N/A\",N/A,\"/b1/x.jpg;/b 2/x.jpg\",\"N/A\",\"N/A\",\"N/A\",\"N/A\",\"N/A\",N/A,\"N/A\",N/A,"
              "\"/b3: No space left on device\"\r\n" +
              zero + "," + zero + ",\"Trip \"\"best\"\", 1.avi\",\"\",77,2020/01/02 03:04:05," + zero +
              ",No,Yes,No,No,\"N/A\",N/A,N/A,\"AVI\",\"AVI video\",\"RIFF\",No,\"N/A\",2003/01/01 00:00:00,Yes,"
              "\"AVI \",2004/12/25,18:09:11,N/A,2004/12/25 07:08:09,N/A,No,N/A,N/A,N/A,0,\"N/A\",N/A,N/A,N/A,N/A,"
              "N/A,N/A,N/A,No,N/A,N/A,\"N/A\",\"N/A\",\"N/A\",\"Trip \"\"best\"\", 1.avi is odd.\nSecond, note.\","
              "Yes,2019/07/24 11:25:40,\"Keys:CreationDate\",-03:30,N/A,N/A,N/A,\"N/A\",\"N/A\",\"N/A\",\"N/A\","
              "N/A,N/A,N/A,-02:30,N/A,07,2019/07/24 14:55:40,-33.868820,151.209296,\"udta \xC2\xA9xyz\","
              "\"Position\",N/A,\"N/A\",\"N/A\",\"N/A\",\"N/A\",\"N/A\",\"N/A\",N/A,\"N/A\",+05:30,\"N/A\"\r\n");
    // The undo's reader splits every row into the columns, names and notes whole.
    const std::vector<CsvRecord> rows = SplitCsv(content);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) EXPECT_TRUE(row.Fields.size() == CsvLogColumns().size() && !row.BadQuotes);
    EXPECT_EQ(rows[1].Fields[2], exif.SourceFileName);
    EXPECT_EQ(rows[2].Fields[46], avi.Notes);  // the first 47 columns keep their places
    // A moved file is looked up at its new place, any other at its source
    // (the logs themselves once, when created, for their identity).
    std::erase_if(fs.asked, [](const std::string& path) { return path.find("Ravlen Log") != std::string::npos; });
    EXPECT_EQ(fs.asked, (std::vector<std::string>{dir.path() + "/{DT=2004-12-25 @18-09-11}.jpg", avi.SourceFilePath}));
}

}  // namespace
}  // namespace ravlen
