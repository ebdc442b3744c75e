// The engine on real folders, with the program's own readers, date choice,
// filename builder and file system.

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>

#include "engine/rename_files.h"
#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

// 2004-12-25 18:09:11 plus some seconds (the tests run with TZ=UTC).
std::time_t Christmas(int plusSeconds = 0) {
    std::tm tm{};
    tm.tm_year = 104, tm.tm_mon = 11, tm.tm_mday = 25, tm.tm_hour = 18, tm.tm_min = 9, tm.tm_sec = 11 + plusSeconds;
    return timegm(&tm);
}

Names List(const std::string& folder) {
    Names out;
    for (const auto& e : fs::directory_iterator(folder)) out.insert(e.path().filename().string());
    return out;
}

// Every path below root with its size, time and mode.
Names Snapshot(const std::string& root) {
    Names out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st{};
        lstat(e.path().c_str(), &st);
        out.insert(e.path().string() + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtime) + " " +
                   std::to_string(st.st_mode));
    }
    return out;
}

// Refuses every move, as a read-only source medium does (permission bits do
// not bind root, so the refusal is made here), and counts existence tests.
class TestFs : public PosixFileSystem {
public:
    bool refuseMoves = false;
    int existenceTests = 0;
    bool FileExists(const std::string& path) override {
        ++existenceTests;
        return PosixFileSystem::FileExists(path);
    }

protected:
    int RenameNoReplace(const std::string& from, const std::string& to) override {
        return refuseMoves ? EROFS : PosixFileSystem::RenameNoReplace(from, to);
    }
};

struct RecordingSink : FileRecordSink {
    std::vector<FileFacts> records;
    void WriteFileRecord(const FileFacts& facts) override { records.push_back(facts); }
};

class RenameFilesTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string in = dir.Mkdir("in");
    std::string out = dir.Mkdir("out");
    TestFs files;
    test::FakePort port;
    RunOptions options;
    ChronologyList chronology;
    RecordingSink sink;
    RunTally tally;

    void SetUp() override {
        options.DateMode = 3;  // file-system dates: the readers stay out of the walk tests
        options.DateModeFileSystem = 1;
        options.FilenameFormat = 0;
        options.AddSerial = 1;
        options.AddBatchVolume = 0;
        options.ExcludePattern = 0;
        options.ReportErrors = 1;
    }
    std::string File(const std::string& relative, int plusSeconds = 0, const std::string& bytes = "") {
        const std::string path = dir.Write("in/" + relative, bytes.empty() ? relative : bytes);
        const timespec times[2] = {{Christmas(plusSeconds), 0}, {Christmas(plusSeconds), 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    }
    std::int32_t Count(bool stopAfterFirst = false) {
        return CountFiles(files, in, options.ProcessSubfolders > 0, options.ExcludeReadOnly != 0,
                          options.ExcludeHidden != 0, options.ExcludeSystem != 0, options.ExcludePatterns(),
                          options.IncludePatterns(), stopAfterFirst);
    }
    void Run(bool perform = true) {
        EngineContext context{files, port, options, chronology, &sink};
        tally.ResetPass();
        tally.NumberOfSourceObjects = Count();
        RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), perform, tally);
    }
};

TEST_F(RenameFilesTest, ThreeFilesInOneSecondThenASecondRun) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}) File(f);
    Run();
    EXPECT_EQ(List(out), (Names{"20041225_180911.JPG", "20041225_180911_001.JPG", "20041225_180911_002.JPG"}));
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|20041225180911#2|");
    EXPECT_TRUE(List(in).empty());
    ASSERT_EQ(sink.records.size(), 3u);
    EXPECT_EQ(sink.records[2].SequenceNumber, 2);
    EXPECT_LE(sink.records[2].StartTime, sink.records[2].FinishTime);

    // A later run into the same folder moves past the names already there.
    chronology.Reset();
    File("IMG_0004.JPG");
    Run();
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911_003.JPG"), "IMG_0004.JPG");
}

TEST_F(RenameFilesTest, ATakenNameThatNoSerialCanFreeLeavesTheFile) {
    // "Never"; and a template without %s, where the loop must still end.
    for (const char* tmpl : {"", "%d%e"}) {
        SCOPED_TRACE(tmpl);
        options.AddSerial = *tmpl ? 1 : 0;
        options.FilenameFormat = *tmpl ? 4 : 0;
        options.CustomFormat.Template = tmpl;
        options.CustomFormat.DatePrefix = options.CustomFormat.DateSuffix = "";
        options.CustomFormat.DateFormat = "yyyymmdd_hhnnss";
        options.CustomFormat.ExtensionFormat = ">&";
        dir.Write("out/20041225_180911.JPG", "older");
        File("IMG_0001.JPG");
        port.messages.clear();
        Run();
        EXPECT_EQ(test::ReadAll(out + "/20041225_180911.JPG"), "older");
        EXPECT_EQ(List(in), Names{"IMG_0001.JPG"});
        EXPECT_EQ(tally.NumberOfLockedFiles, 1);
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text, "IMG_0001.JPG could not be moved due to the following error: File exists.");
        EXPECT_EQ(port.messages[0].icon, MsgIcon::Exclamation);
    }
}

TEST_F(RenameFilesTest, CopyWhenUnableToMoveFromAReadOnlySource) {
    files.refuseMoves = true;
    options.MoveOrCopy = 2;
    File("IMG_0001.JPG");
    Run();
    EXPECT_EQ(List(in), Names{"IMG_0001.JPG"});
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911.JPG"), "IMG_0001.JPG");
    EXPECT_EQ(sink.records.at(0).Operation, "Copied");
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(RenameFilesTest, BuiltNamesThatAreNoPlainNameAreNeverUsed) {
    options.FilenameFormat = 4;
    options.MoveOrCopy = 1;
    File("IMG_0001.JPG");
    const struct {
        std::string tmpl, prefix, reason;
    } cases[] = {
        {"../x", "", "Invalid file name"},      {"a/b", "", "Invalid file name"},
        {"", "", "Invalid file name"},          {"..", "", "Invalid file name"},
        {"%d%e", "../", "Invalid file name"},  {std::string(300, 'x'), "", "File name too long"},
    };
    const Names before = Snapshot(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpl);
        options.CustomFormat.Template = c.tmpl;
        options.CustomFormat.DatePrefix = c.prefix;
        port.messages.clear();
        Run();
        EXPECT_EQ(Snapshot(dir.path()), before);
        EXPECT_EQ(tally.NumberOfLockedFiles, 1);
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text,
                  "IMG_0001.JPG could not be copied due to the following error: " + c.reason + ".");
    }
}

TEST_F(RenameFilesTest, PreviewTouchesNothingAndPreservingKeepsOnlyFoldersThatReceivedFiles) {
    File("IMG_0001.JPG");
    File("Sub/IMG_0002.JPG");
    File("Sub/Deeper/IMG_0003.JPG", 1);
    File("Skipped/Holiday.jpg");  // stopped by the DCF check
    dir.Mkdir("in/Empty");
    dir.Mkdir("out/Empty");  // an empty output folder of that name goes too
    options.ProcessSubfolders = 2;
    const Names before = Snapshot(dir.path());
    Run(false);
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_TRUE(sink.records.empty());
    EXPECT_EQ(tally.SourceObjectNumber, 4);
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|20041225180912#0|");

    chronology.Reset();
    Run();
    EXPECT_EQ(List(out), (Names{"20041225_180911.JPG", "Sub"}));
    EXPECT_EQ(List(out + "/Sub"), (Names{"20041225_180911_001.JPG", "Deeper"}));
    EXPECT_EQ(List(out + "/Sub/Deeper"), Names{"20041225_180912.JPG"});
    EXPECT_EQ(tally.NumberOfInvalidDCFFiles, 1);
}

TEST_F(RenameFilesTest, CancelStopsEveryLevel) {
    File("A/Holiday.jpg");  // A receives nothing, so its output folder goes again
    File("A/IMG_0002.JPG");
    File("B/IMG_0003.JPG");
    options.ProcessSubfolders = 2;
    port.onPump = [](test::FakePort& p) { p.SetCancel(true); };
    EngineContext context{files, port, options, chronology, &sink};
    tally.NumberOfSourceObjects = 1204;
    RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), true, tally);
    EXPECT_EQ(tally.SourceObjectNumber, 1);
    EXPECT_EQ(port.progressMessages, std::vector<std::string>{"1 of 1,204"});
    EXPECT_TRUE(List(out).empty());
    EXPECT_EQ(List(in + "/A"), (Names{"Holiday.jpg", "IMG_0002.JPG"}));
}

TEST_F(RenameFilesTest, FiltersDecideWhatIsCountedAndHandled) {
    File("IMG_0001.JPG");
    File(".IMG_0002.JPG");  // hidden
    File("info.ctg");
    File("DCIM/IMG_0003.JPG", 1);
    File(".thumbs/IMG_0004.JPG", 2);
    options.ExcludePattern = options.IncludePattern = 1;
    options.ExcludePatternList = "*.ctg";
    options.IncludePatternList = "*.JPG";  // include patterns never stop the descent
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Count(true), 1);
    options.ExcludePatternList = "*.ctg;D*";  // an excluded folder takes everything below it
    EXPECT_EQ(Count(), 1);
    options.ExcludePatternList = "*.ctg";
    Run();
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_EQ(sink.records[1].SourceFolder, in + "/DCIM");
    options.IncludePatternList = "*.avi";
    EXPECT_EQ(Count(true), 0);
}

TEST_F(RenameFilesTest, AwkwardNamesAndLinks) {
    options.DCFMode = 2;
    options.FilenameFormat = 1;
    options.ExcludeHidden = 0;
    const std::string names[] = {"my photo.jpg", "it's \"quoted\".jpg", "line\nbreak.jpg", "bad\xff.jpg",
                                 ".hidden.jpg", "noextension"};
    for (int i = 0; i < 6; ++i) File(names[i], i);
    const std::string elsewhere = dir.Mkdir("elsewhere");
    dir.Write("elsewhere/IMG_0009.JPG", "not ours");
    fs::create_directory_symlink(elsewhere, in + "/linked");
    fs::create_symlink(elsewhere + "/IMG_0009.JPG", in + "/IMG_0009.JPG");
    Run();
    EXPECT_EQ(tally.SourceObjectNumber, 6);
    EXPECT_EQ(List(out), (Names{"2004-12-25 @18-09-11 my photo.jpg", "2004-12-25 @18-09-12 it's \"quoted\".jpg",
                                "2004-12-25 @18-09-13 line\nbreak.jpg", "2004-12-25 @18-09-14 bad\xff.jpg",
                                "2004-12-25 @18-09-15 .hidden.jpg", "2004-12-25 @18-09-16 noextension"}));
    EXPECT_EQ(List(elsewhere), Names{"IMG_0009.JPG"});
}

TEST_F(RenameFilesTest, RenamingInPlaceHandlesEachFileOnce) {
    out = in;
    File("IMG_0001.JPG");
    File("Sub/IMG_0002.JPG");
    options.ProcessSubfolders = 2;
    Run();
    EXPECT_EQ(tally.SourceObjectNumber, 2);
    EXPECT_EQ(List(in), (Names{"20041225_180911.JPG", "Sub"}));
    EXPECT_EQ(List(in + "/Sub"), Names{"20041225_180911_001.JPG"});
}

TEST_F(RenameFilesTest, OutputSubfolderThatCannotBeMadeEndsThePass) {
    File("A/IMG_0001.JPG");
    dir.Write("out/A", "a file where the folder should go");
    options.ProcessSubfolders = 2;
    try {
        Run();
        ADD_FAILURE() << "the pass went on";
    } catch (const EngineFailure& e) {
        EXPECT_EQ(e.Number, 76);
    }
}

TEST_F(RenameFilesTest, WorkPerFileStaysFlatWhenManyFilesShareASecond) {
    const int n = 150;
    for (int i = 0; i < n; ++i) File("F" + std::to_string(i) + ".JPG");
    options.DCFMode = 3;
    Run();
    EXPECT_LE(files.existenceTests, n);
    // Again into the same folder: the names on disk are passed over once, not once per file.
    for (int i = 0; i < n; ++i) File("G" + std::to_string(i) + ".JPG");
    chronology.Reset();
    files.existenceTests = 0;
    Run();
    EXPECT_EQ(List(out).size(), 2u * n);
    EXPECT_TRUE(List(out).count("20041225_180911_299.JPG"));
    EXPECT_LE(files.existenceTests, 3 * n);
}

// A JPEG whose EXIF block holds only DateTimeOriginal. With outOfOrder the
// EXIF sub-directory lies before IFD0, which makes the reader begin the file again.
std::string ExifJpeg(const std::string& dateTimeOriginal, bool outOfOrder) {
    const auto u16 = [](unsigned v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const auto u32 = [&](unsigned v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    const auto dir = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
        return u16(1) + u16(tag) + u16(type) + u32(count) + u32(value) + u32(0);
    };
    const std::string date = dateTimeOriginal + std::string(1, '\0');
    std::string tiff = "II*" + std::string(1, '\0');
    if (!outOfOrder)  // IFD0 at 8, sub-directory at 26, date at 44
        tiff += u32(8) + dir(0x8769, 4, 1, 26) + dir(0x9003, 2, 20, 44) + date;
    else  // sub-directory at 8, date at 26, IFD0 at 46
        tiff += u32(46) + dir(0x9003, 2, 20, 26) + date + dir(0x8769, 4, 1, 8);
    const std::string payload = "Exif" + std::string(2, '\0') + tiff;
    const auto length = static_cast<unsigned>(payload.size() + 2);
    return std::string("\xFF\xD8\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + payload + "\xFF\xD9";
}

TEST_F(RenameFilesTest, JpegsAreNamedFromTheirExifDates) {
    options.DateMode = 1;
    File("IMG_0001.JPG", 0, ExifJpeg("2001:02:03 04:05:06", false));
    File("IMG_0002.JPG", 0, ExifJpeg("2001:02:03 04:05:07", true));
    File("IMG_0003.JPG", 0, "not a picture at all");
    Run();
    EXPECT_EQ(List(out), (Names{"20010203_040506.JPG", "20010203_040507.JPG"}));
    EXPECT_EQ(List(in), Names{"IMG_0003.JPG"});
    EXPECT_EQ(tally.NumberOfInvalidEXIFFiles, 1);
    // The reader's note on the restart is shown, but the record begins afresh.
    ASSERT_EQ(sink.records.size(), 3u);
    EXPECT_EQ(sink.records[1].Notes, "");
    EXPECT_EQ(port.messages.at(0).text, "Proceeding with parsing of IMG_0002.JPG even though it contains an "
                                        "out-of-sequence TIFF APP1 SubIFD.");
}

}  // namespace
}  // namespace ravlen
