// The engine on real folders: the program's own stages and file system.

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/rename_files.h"
#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

namespace fs = std::filesystem;

// 2004-12-25 18:09:11 plus some seconds, as the clock of the test (TZ=UTC) shows it.
std::time_t Christmas(int plusSeconds = 0) {
    std::tm tm{};
    tm.tm_year = 104;
    tm.tm_mon = 11;
    tm.tm_mday = 25;
    tm.tm_hour = 18;
    tm.tm_min = 9;
    tm.tm_sec = 11 + plusSeconds;
    return timegm(&tm);
}

void SetModified(const std::string& path, std::time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Every path below root with its size and modification time.
std::set<std::string> Snapshot(const std::string& root) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st{};
        lstat(e.path().c_str(), &st);
        out.insert(fs::relative(e.path(), root).string() + " " + std::to_string(st.st_size) + " " +
                   std::to_string(st.st_mtime) + " " + std::to_string(st.st_mode));
    }
    return out;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.insert(e.path().filename().string());
    return out;
}

// Refuses every move, as a read-only source medium does (root ignores the
// permission bits, so the refusal is simulated there).
class ReadOnlySourceFs : public PosixFileSystem {
protected:
    int RenameNoReplace(const std::string&, const std::string&) override { return EACCES; }
};

class RenameFilesTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string in = dir.Mkdir("in");
    std::string out = dir.Mkdir("out");
    PosixFileSystem posix;
    FileSystem* fileSystem = &posix;
    test::FakePort port;
    RunOptions options;
    ChronologyList chronology;
    RunTally tally;

    void SetUp() override {
        options.DateMode = 3;
        options.DateModeFileSystem = 1;
        options.FilenameFormat = 0;
        options.AddSerial = 1;
        options.AddBatchVolume = 0;
        options.ExcludePattern = 0;
        options.ExcludeHidden = options.ExcludeReadOnly = options.ExcludeSystem = 0;
    }
    std::string File(const std::string& relative, int plusSeconds = 0) {
        const std::string path = dir.Write("in/" + relative, "picture " + relative);
        SetModified(path, Christmas(plusSeconds));
        return path;
    }
    void Run(bool perform = true) {
        EngineContext context{*fileSystem, port, options, chronology, nullptr};
        tally.ResetPass();
        tally.NumberOfSourceObjects = CountFiles(*fileSystem, in, options.ProcessSubfolders > 0, false, false,
                                                 false, options.ExcludePatterns(), options.IncludePatterns(), false);
        RenameFiles(context, *fileSystem->GetFolder(in), *fileSystem->GetFolder(out), perform, tally);
    }
};

TEST_F(RenameFilesTest, ThreeFilesInOneSecondThenASecondRun) {
    File("IMG_0001.JPG");
    File("IMG_0002.JPG");
    File("IMG_0003.JPG");
    Run();
    EXPECT_EQ(Names(out),
              (std::set<std::string>{"20041225_180911.JPG", "20041225_180911_001.JPG", "20041225_180911_002.JPG"}));
    EXPECT_TRUE(Names(in).empty());
    EXPECT_EQ(tally.SourceObjectNumber, 3);
    EXPECT_EQ(port.progressMessages.back(), "3 of 3");

    // A later run into the same folder moves past the names already there.
    chronology.Reset();
    File("IMG_0004.JPG");
    File("IMG_0005.JPG");
    Run();
    EXPECT_EQ(Names(out).size(), 5u);
    EXPECT_TRUE(Names(out).count("20041225_180911_003.JPG"));
    EXPECT_TRUE(Names(out).count("20041225_180911_004.JPG"));
    EXPECT_EQ((std::set<std::string>{test::ReadAll(out + "/20041225_180911_003.JPG"),
                                     test::ReadAll(out + "/20041225_180911_004.JPG")}),
              (std::set<std::string>{"picture IMG_0004.JPG", "picture IMG_0005.JPG"}));
}

TEST_F(RenameFilesTest, NeverWithATakenNameLeavesTheFile) {
    options.AddSerial = 0;
    dir.Write("out/20041225_180911.JPG", "older");
    File("IMG_0001.JPG");
    options.ReportErrors = 1;
    Run();
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911.JPG"), "older");
    EXPECT_EQ(test::ReadAll(in + "/IMG_0001.JPG"), "picture IMG_0001.JPG");
    EXPECT_EQ(tally.NumberOfLockedFiles, 1);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, "IMG_0001.JPG could not be moved due to the following error: File exists.");
}

TEST_F(RenameFilesTest, CopyWhenUnableToMoveFromAReadOnlySource) {
    ReadOnlySourceFs refusing;
    if (geteuid() == 0) fileSystem = &refusing;
    options.MoveOrCopy = 2;
    options.ReportErrors = 1;
    File("IMG_0001.JPG");
    ASSERT_EQ(chmod(in.c_str(), 0555), 0);
    Run();
    chmod(in.c_str(), 0755);
    EXPECT_EQ(Names(in), std::set<std::string>{"IMG_0001.JPG"});
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911.JPG"), "picture IMG_0001.JPG");
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(tally.NumberOfLockedFiles, 0);
}

TEST_F(RenameFilesTest, CustomTemplateCannotLeaveTheOutputFolder) {
    options.FilenameFormat = 4;
    options.MoveOrCopy = 1;
    for (const char* tmpl : {"../x", "a/b", "", "..", "%d/%e"}) {
        SCOPED_TRACE(tmpl);
        options.CustomFormat.Template = tmpl;
        File("IMG_0001.JPG");
        const auto outside = Snapshot(dir.path());
        port.messages.clear();
        options.ReportErrors = 1;
        Run();
        EXPECT_EQ(Snapshot(dir.path()), outside);
        EXPECT_EQ(tally.NumberOfLockedFiles, 1);
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text,
                  "IMG_0001.JPG could not be copied due to the following error: Invalid file name.");
    }
    // The custom prefix texts are no way out either.
    options.CustomFormat.Template = "%d%e";
    options.CustomFormat.DatePrefix = "../";
    port.messages.clear();
    Run();
    EXPECT_TRUE(Names(out).empty());
    EXPECT_FALSE(fs::exists(dir.path() + "/20041225_180911.jpg"));
    EXPECT_EQ(port.messages.size(), 1u);
}

TEST_F(RenameFilesTest, PreviewTouchesNothing) {
    File("IMG_0001.JPG");
    File("Sub/IMG_0002.JPG");
    File("Sub/Deeper/IMG_0003.JPG", 1);
    dir.Mkdir("in/Empty");
    options.ProcessSubfolders = 2;
    const auto before = Snapshot(dir.path());
    Run(false);
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_EQ(tally.SourceObjectNumber, 3);
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|20041225180912#0|");

    // The same with processing: subfolders preserved, the empty one not made.
    chronology.Reset();
    Run(true);
    EXPECT_EQ(Names(out), (std::set<std::string>{"20041225_180911.JPG", "Sub"}));
    EXPECT_EQ(Names(out + "/Sub"), (std::set<std::string>{"20041225_180911_001.JPG", "Deeper"}));
    EXPECT_EQ(Names(out + "/Sub/Deeper"), std::set<std::string>{"20041225_180912.JPG"});
}

TEST_F(RenameFilesTest, AwkwardNamesAndLinks) {
    options.DCFMode = 2;
    options.FilenameFormat = 1;
    const std::string names[] = {"my photo.jpg", "it's \"quoted\".jpg", "line\nbreak.jpg", "bad\xff\xfe.jpg",
                                 ".hidden.jpg", "noextension"};
    for (int i = 0; i < 6; ++i) File(names[i], i);
    const std::string elsewhere = dir.Mkdir("elsewhere");
    dir.Write("elsewhere/IMG_0009.JPG", "not ours");
    fs::create_directory_symlink(elsewhere, in + "/linked");
    fs::create_symlink(elsewhere + "/IMG_0009.JPG", in + "/IMG_0009.JPG");
    Run();
    EXPECT_EQ(tally.SourceObjectNumber, 6);
    EXPECT_EQ(tally.NumberOfSourceObjects, 6);
    EXPECT_EQ(Names(out), (std::set<std::string>{
                              "2004-12-25 @18-09-11 my photo.jpg", "2004-12-25 @18-09-12 it's \"quoted\".jpg",
                              "2004-12-25 @18-09-13 line\nbreak.jpg", "2004-12-25 @18-09-14 bad\xff\xfe.jpg",
                              "2004-12-25 @18-09-15 .hidden.jpg", "2004-12-25 @18-09-16 noextension"}));
    EXPECT_EQ(Names(elsewhere), std::set<std::string>{"IMG_0009.JPG"});
    EXPECT_EQ(Names(in), (std::set<std::string>{"linked", "IMG_0009.JPG"}));
}

TEST_F(RenameFilesTest, RenamingInPlaceHandlesEachFileOnce) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        test::TempDir here;
        in = out = here.path();
        here.Write("IMG_0001.JPG", "a");
        here.Write("Sub/IMG_0002.JPG", "b");
        here.Write("Sub/IMG_0003.JPG", "c");
        for (const char* f : {"IMG_0001.JPG", "Sub/IMG_0002.JPG", "Sub/IMG_0003.JPG"})
            SetModified(here / f, Christmas());
        options.ProcessSubfolders = mode;
        chronology.Reset();
        Run();
        EXPECT_EQ(tally.SourceObjectNumber, 3);
        EXPECT_EQ(tally.NumberOfLockedFiles, 0);
        if (mode == 1) {
            EXPECT_EQ(Names(in), (std::set<std::string>{"20041225_180911.JPG", "20041225_180911_001.JPG",
                                                        "20041225_180911_002.JPG", "Sub"}));
            EXPECT_TRUE(Names(in + "/Sub").empty());
        } else {
            EXPECT_EQ(Names(in), (std::set<std::string>{"20041225_180911.JPG", "Sub"}));
            EXPECT_EQ(Names(in + "/Sub"),
                      (std::set<std::string>{"20041225_180911_001.JPG", "20041225_180911_002.JPG"}));
        }
    }
}

TEST_F(RenameFilesTest, UnreadableSubfolderCountsAsEmpty) {
    if (geteuid() == 0) GTEST_SKIP() << "permission bits do not bind root";
    File("IMG_0001.JPG");
    File("Locked/IMG_0002.JPG");
    ASSERT_EQ(chmod((in + "/Locked").c_str(), 0), 0);
    Run();
    chmod((in + "/Locked").c_str(), 0755);
    EXPECT_EQ(tally.SourceObjectNumber, 1);
    EXPECT_TRUE(port.messages.empty());
}

// A JPEG whose EXIF block holds only DateTimeOriginal. With outOfOrder the
// EXIF sub-directory lies before IFD0, which makes the reader begin the file again.
std::string ExifJpeg(const std::string& dateTimeOriginal, bool outOfOrder) {
    const auto u16 = [](unsigned v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const auto u32 = [&](unsigned v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    const auto entry = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
        return u16(tag) + u16(type) + u32(count) + u32(value);
    };
    const std::string date = dateTimeOriginal + std::string(1, '\0');
    std::string tiff = "II*" + std::string(1, '\0');
    if (!outOfOrder) {
        tiff += u32(8);
        tiff += u16(1) + entry(0x8769, 4, 1, 26) + u32(0);   // IFD0 at 8
        tiff += u16(1) + entry(0x9003, 2, 20, 44) + u32(0);  // sub-directory at 26
        tiff += date;                                        // at 44
    } else {
        tiff += u32(46);
        tiff += u16(1) + entry(0x9003, 2, 20, 26) + u32(0);  // sub-directory at 8
        tiff += date;                                        // at 26
        tiff += u16(1) + entry(0x8769, 4, 1, 8) + u32(0);    // IFD0 at 46
    }
    const std::string payload = "Exif" + std::string(2, '\0') + tiff;
    const unsigned length = static_cast<unsigned>(payload.size() + 2);
    return std::string("\xFF\xD8\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + payload + "\xFF\xD9";
}

TEST_F(RenameFilesTest, JpegsAreNamedFromTheirExifDates) {
    options.DateMode = 1;
    options.ReportErrors = 1;
    SetModified(dir.Write("in/IMG_0001.JPG", ExifJpeg("2001:02:03 04:05:06", false)), Christmas());
    SetModified(dir.Write("in/IMG_0002.JPG", ExifJpeg("2001:02:03 04:05:06", true)), Christmas());
    SetModified(dir.Write("in/IMG_0003.JPG", "not a picture at all"), Christmas());
    Run();
    EXPECT_EQ(Names(out), (std::set<std::string>{"20010203_040506.JPG", "20010203_040506_001.JPG"}));
    // Listing order decides which of the two gets the serial number.
    EXPECT_EQ((std::set<std::string>{test::ReadAll(out + "/20010203_040506.JPG"),
                                     test::ReadAll(out + "/20010203_040506_001.JPG")}),
              (std::set<std::string>{ExifJpeg("2001:02:03 04:05:06", false), ExifJpeg("2001:02:03 04:05:06", true)}));
    EXPECT_EQ(Names(in), std::set<std::string>{"IMG_0003.JPG"});
    EXPECT_EQ(tally.NumberOfInvalidEXIFFiles, 1);
    EXPECT_EQ(tally.SourceObjectNumber, 3);
    // The reader's note on the restart is shown, though the file's record begins afresh.
    std::set<std::string> shown;
    for (const auto& m : port.messages) shown.insert(m.text);
    EXPECT_EQ(shown, (std::set<std::string>{"Proceeding with parsing of IMG_0002.JPG even though it contains an "
                                            "out-of-sequence TIFF APP1 SubIFD.",
                                            "IMG_0003.JPG is not a valid JPEG, TIFF, or RIFF file."}));
}

}  // namespace
}  // namespace ravlen
