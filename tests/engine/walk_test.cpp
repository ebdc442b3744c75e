// The folder walk over an in-memory file system with stand-in stages.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/engine_stages.h"
#include "fake_fs.h"
#include "support/fake_port.h"

namespace ravlen {
namespace {

struct RecordingSink : FileRecordSink {
    std::vector<FileFacts> records;
    void WriteFileRecord(const FileFacts& facts) override { records.push_back(facts); }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& r : records) out.push_back(r.SourceFileName);
        return out;
    }
};

DateTime At(int s) { return *DateTime::FromFields(2004, 12, 25, 18, 9, s); }

// Date from the listing, name as DCF Style would give it.
EngineStages StandInStages() {
    EngineStages s;
    s.readMetadata = [](FileSystem&, UserPort&, const RunOptions&, FileFacts&, MetadataPass&, RunTally&) {
        return false;
    };
    s.chooseTimestamp = [](FileFacts& f, const RunOptions&, RunTally&, UserPort&) {
        if (f.Timestamped) f.TimestampDateTime = f.FileSystemDateModified;
    };
    s.newFilename = [](const FileFacts& f, const RunOptions&, std::int32_t serial) {
        return f.TimestampDateTime.Format("yyyymmdd_hhnnss") + (serial > 0 ? "_" + std::to_string(serial) : "") +
               "." + f.Extension;
    };
    return s;
}

class WalkTest : public ::testing::Test {
protected:
    test::FakeFs fs;
    test::FakePort port;
    RunOptions options;
    ChronologyList chronology;
    RecordingSink sink;
    RunTally tally;
    EngineStages stages = StandInStages();

    void SetUp() override {
        fs.AddFolder("/r/in");
        fs.AddFolder("/r/out");
        options.DateMode = 3;
        options.ExcludePattern = 0;
        options.ExcludeReadOnly = options.ExcludeHidden = options.ExcludeSystem = 0;
        options.AddSerial = 1;
    }
    void Run(bool perform = true) {
        EngineContext context{fs, port, options, chronology, &sink};
        tally.ResetPass();
        RenameFilesWith(stages, context, *fs.GetFolder("/r/in"), *fs.GetFolder("/r/out"), perform, tally);
    }
    std::int32_t Count(bool subfolders, bool stopAfterFirst = false) {
        return CountFiles(fs, "/r/in", subfolders, options.ExcludeReadOnly, options.ExcludeHidden,
                          options.ExcludeSystem, options.ExcludePatterns(), options.IncludePatterns(),
                          stopAfterFirst);
    }
    void Tree() {
        fs.AddFile("/r/in/IMG_0001.JPG", At(1));
        fs.AddFile("/r/in/IMG_0002.JPG", At(2));
        fs.AddFolder("/r/in/A");
        fs.AddFile("/r/in/A/IMG_0003.JPG", At(3));
        fs.AddFolder("/r/in/A/Deep");
        fs.AddFile("/r/in/A/Deep/IMG_0004.JPG", At(4));
        fs.AddFolder("/r/in/B");
        fs.AddFile("/r/in/B/IMG_0005.JPG", At(5));
        fs.AddFolder("/r/in/Empty");
    }
};

TEST(FormatCount, ThousandsSeparators) {
    EXPECT_EQ(FormatCount(0), "0");
    EXPECT_EQ(FormatCount(999), "999");
    EXPECT_EQ(FormatCount(1204), "1,204");
    EXPECT_EQ(FormatCount(3000000), "3,000,000");
    EXPECT_EQ(FormatCount(-1234), "-1,234");
}

TEST_F(WalkTest, FilesBeforeSubfoldersDepthFirstWithProgress) {
    Tree();
    EXPECT_EQ(Count(true), 5);
    tally.NumberOfSourceObjects = 1204;
    Run();
    EXPECT_EQ(sink.Names(), (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG",
                                                      "IMG_0004.JPG", "IMG_0005.JPG"}));
    EXPECT_EQ(port.progressMessages.front(), "1 of 1,204");
    EXPECT_EQ(port.progressMessages.back(), "5 of 1,204");
    EXPECT_EQ(port.progressValue, 5);
    EXPECT_EQ(tally.SourceObjectNumber, 5);
    // Flatten: everything lands in the top output folder, no subfolder is made.
    EXPECT_EQ(fs.Names("/r/out").size(), 5u);
    EXPECT_TRUE(std::none_of(fs.changes.begin(), fs.changes.end(),
                             [](const std::string& c) { return c.starts_with("mkdir") || c.starts_with("rmdir"); }));
    const FileFacts& deep = sink.records[3];
    EXPECT_EQ(deep.SourceFolder, "/r/in/A/Deep");
    EXPECT_EQ(deep.SourceFilePath, "/r/in/A/Deep/IMG_0004.JPG");
    EXPECT_EQ(deep.OutputFolder, "/r/out");
    EXPECT_EQ(deep.Extension, "JPG");
    EXPECT_EQ(deep.DCFBatch, "IMG_");
    EXPECT_EQ(deep.Operation, "Moved");
}

TEST_F(WalkTest, IgnoreLeavesSubfoldersAlone) {
    Tree();
    options.ProcessSubfolders = 0;
    EXPECT_EQ(Count(false), 2);
    Run();
    EXPECT_EQ(tally.SourceObjectNumber, 2);
    EXPECT_TRUE(fs.Has("/r/in/A/IMG_0003.JPG"));
}

TEST_F(WalkTest, PreserveMakesOutputSubfoldersAndRemovesThoseLeftEmpty) {
    Tree();
    fs.AddFile("/r/in/B/Holiday.jpg");  // the only other file of B is stopped by the DCF check
    fs.AddFolder("/r/out/Empty");       // an empty folder of the same name is removed too
    fs.AddFolder("/r/out/Kept");
    fs.AddFile("/r/in/B/x.txt");
    options.ProcessSubfolders = 2;
    options.IncludePattern = 1;
    options.IncludePatternList = "*.JPG";
    fs.items.erase("/r/in/B/IMG_0005.JPG");
    EXPECT_EQ(Count(true), 5);
    Run();
    EXPECT_TRUE(fs.Has("/r/out/A/" + sink.records[2].OutputFileName));
    EXPECT_TRUE(fs.Has("/r/out/A/Deep/" + sink.records[3].OutputFileName));
    EXPECT_EQ(sink.records[3].OutputFolder, "/r/out/A/Deep");
    EXPECT_FALSE(fs.Has("/r/out/B"));
    EXPECT_FALSE(fs.Has("/r/out/Empty"));
    EXPECT_TRUE(fs.Has("/r/out/Kept"));
    EXPECT_EQ(tally.NumberOfInvalidDCFFiles, 1);
    EXPECT_EQ(tally.SourceObjectNumber, 5);
}

TEST_F(WalkTest, PreviewMakesNoFolderAndNoRecord) {
    Tree();
    options.ProcessSubfolders = 2;
    Run(false);
    EXPECT_TRUE(fs.changes.empty());
    EXPECT_TRUE(sink.records.empty());
    EXPECT_EQ(tally.SourceObjectNumber, 5);
    // Every preview goes against the output folder itself.
    EXPECT_EQ(chronology.Text(), "|20041225180901#0|20041225180902#0|20041225180903#0|20041225180904#0|"
                                 "20041225180905#0|");
}

TEST_F(WalkTest, FiltersDecideWhatCounts) {
    fs.AddFile("/r/in/IMG_0001.JPG", At(1));
    fs.AddFile("/r/in/.IMG_0002.JPG", At(2), kAttrHidden);
    fs.AddFile("/r/in/info.ctg", At(3));
    fs.AddFolder("/r/in/DCIM");
    fs.AddFile("/r/in/DCIM/IMG_0003.JPG", At(3));
    fs.AddFolder("/r/in/Locked", kAttrReadOnly);
    fs.AddFile("/r/in/Locked/IMG_0004.JPG", At(4));
    fs.AddFolder("/r/in/misc.JPG.d");
    fs.AddFile("/r/in/misc.JPG.d/IMG_0005.JPG", At(5));
    options.ExcludeHidden = options.ExcludeReadOnly = 1;
    options.ExcludePattern = 1;
    options.ExcludePatternList = "*.ctg";
    options.IncludePattern = 1;
    options.IncludePatternList = "*.JPG";  // never stops the descent
    EXPECT_EQ(Count(true), 3);
    options.ExcludePatternList = "*.ctg;D*";  // a folder excluded takes everything below it
    EXPECT_EQ(Count(true), 2);
    options.ExcludePatternList = "*.ctg";
    Run();
    EXPECT_EQ(sink.Names(), (std::vector<std::string>{"IMG_0001.JPG", "IMG_0003.JPG", "IMG_0005.JPG"}));
    EXPECT_EQ(tally.SourceObjectNumber, 3);
}

TEST_F(WalkTest, CountFilesStopAfterFirst) {
    fs.AddFolder("/r/in/A");
    fs.AddFolder("/r/in/B");
    fs.AddFile("/r/in/B/one.avi");
    fs.AddFile("/r/in/B/two.avi");
    EXPECT_EQ(Count(true, true), 1);
    EXPECT_EQ(Count(false, true), 0);
    fs.AddFile("/r/in/top.avi");
    fs.AddFile("/r/in/top2.avi");
    EXPECT_EQ(Count(true, true), 1);
    EXPECT_EQ(Count(true, false), 4);
    fs.unlistable.insert("/r/in/B");
    EXPECT_EQ(Count(true, false), 2);
    EXPECT_EQ(CountFiles(fs, "/r/missing", true, false, false, false, "", "", false), 0);
}

TEST_F(WalkTest, CancelStopsEveryLevelButEmptyOutputFoldersStillGo) {
    fs.AddFolder("/r/in/A");
    fs.AddFile("/r/in/A/Holiday.jpg");  // stopped by the DCF check: A receives nothing
    fs.AddFile("/r/in/A/Party.jpg");
    fs.AddFolder("/r/in/B");
    fs.AddFile("/r/in/B/IMG_0003.JPG", At(3));
    options.ProcessSubfolders = 2;
    port.onPump = [](test::FakePort& p) {
        if (p.pumps == 1) p.SetCancel(true);
    };
    Run();
    EXPECT_EQ(tally.SourceObjectNumber, 1);
    EXPECT_EQ(sink.Names(), std::vector<std::string>{"Holiday.jpg"});
    EXPECT_FALSE(fs.Has("/r/out/A"));
    EXPECT_FALSE(fs.Has("/r/out/B"));
    EXPECT_TRUE(fs.Has("/r/in/B/IMG_0003.JPG"));
}

TEST_F(WalkTest, CancelAfterASubfolderWithoutFiles) {
    fs.AddFolder("/r/in/A");
    fs.AddFolder("/r/in/B");
    fs.AddFile("/r/in/B/IMG_0003.JPG", At(3));
    port.SetCancel(true);  // only read after a file or a subfolder
    Run();
    EXPECT_EQ(tally.SourceObjectNumber, 0);
}

TEST_F(WalkTest, UnlistableFolderIsEmpty) {
    Tree();
    fs.unlistable.insert("/r/in/A");
    Run();
    EXPECT_EQ(sink.Names(), (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0005.JPG"}));
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(WalkTest, MissingOutputSubfolderEndsThePass) {
    Tree();
    options.ProcessSubfolders = 2;
    fs.refuseCreate.insert("/r/out/A");
    try {
        Run();
        FAIL() << "no failure";
    } catch (const EngineFailure& e) {
        EXPECT_EQ(e.Number, 76);
        EXPECT_NE(std::string(e.what()).find("/r/out/A"), std::string::npos);
    }
    EXPECT_EQ(tally.SourceObjectNumber, 2);
}

TEST_F(WalkTest, OneRestartWithAFreshRecord) {
    fs.AddFile("/r/in/IMG_0001.JPG", At(1));
    options.DateMode = 2;
    std::vector<std::string> notesSeen;
    std::vector<bool> skipping;
    stages.readMetadata = [&](FileSystem&, UserPort&, const RunOptions&, FileFacts& f, MetadataPass& pass,
                              RunTally&) {
        notesSeen.push_back(f.Notes);
        skipping.push_back(pass.SkippingAllowed);
        f.Notes += "read";
        f.InternalFormat = "JPEG";
        return true;  // would restart every time
    };
    Run();
    EXPECT_EQ(notesSeen, (std::vector<std::string>{"", ""}));
    EXPECT_EQ(skipping, (std::vector<bool>{true, false}));
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].Notes, "read");
    EXPECT_EQ(sink.records[0].InternalFormat, "JPEG");
    EXPECT_EQ(sink.records[0].Operation, "Moved");
    EXPECT_LE(sink.records[0].StartTime, sink.records[0].FinishTime);
}

TEST_F(WalkTest, DateModeThreeNeverReads) {
    fs.AddFile("/r/in/IMG_0001.JPG", At(1));
    int reads = 0;
    stages.readMetadata = [&](FileSystem&, UserPort&, const RunOptions&, FileFacts&, MetadataPass&, RunTally&) {
        ++reads;
        return false;
    };
    Run();
    EXPECT_EQ(reads, 0);
}

TEST_F(WalkTest, AMissingStageLeavesTheFileUntimestampedButLoggedAndCounted) {
    fs.AddFile("/r/in/IMG_0001.JPG", At(1));
    stages.newFilename = nullptr;
    Run();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_FALSE(sink.records[0].Timestamped);
    EXPECT_EQ(tally.SourceObjectNumber, 1);
    EXPECT_TRUE(fs.Has("/r/in/IMG_0001.JPG"));
}

TEST_F(WalkTest, FilesOfOneSecondFromManyFoldersShareTheRunList) {
    fs.AddFolder("/r/in/A");
    fs.AddFolder("/r/in/B");
    fs.AddFile("/r/in/A/IMG_0001.JPG", At(7));
    fs.AddFile("/r/in/B/IMG_0001.JPG", At(7));
    options.ProcessSubfolders = 2;
    Run();
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_EQ(sink.records[0].OutputFileName, "20041225_180907.JPG");
    EXPECT_EQ(sink.records[1].OutputFileName, "20041225_180907_1.JPG");
    // No per-file listing of the output folder: one listing per source folder.
    EXPECT_EQ(fs.listings, 3);
}

}  // namespace
}  // namespace ravlen
