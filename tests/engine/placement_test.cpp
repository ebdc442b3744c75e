#include <gtest/gtest.h>

#include <cstdio>

#include "engine/placement.h"
#include "fake_fs.h"
#include "support/fake_port.h"

namespace ravlen {
namespace {

DateTime At(int h, int n, int s) { return *DateTime::FromFields(2004, 12, 25, h, n, s); }

// The DCF Style shape: date, then _nnn when there is a serial number.
std::string DcfStyleName(const FileFacts& facts, std::int32_t serial) {
    std::string name = facts.TimestampDateTime.Format("yyyymmdd_hhnnss");
    if (serial > 0) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "_%03d", static_cast<int>(serial));
        name += buf;
    }
    return name + ".JPG";
}

class PlacementTest : public ::testing::Test {
protected:
    test::FakeFs fs;
    test::FakePort port;
    RunOptions options;
    ChronologyList chronology;
    RunTally tally;

    void SetUp() override {
        fs.AddFolder("/r/in");
        fs.AddFolder("/r/out");
        options.AddSerial = 1;
        options.MoveOrCopy = 0;
        options.ReportErrors = 1;
    }

    FileFacts Place(const std::string& source, DateTime when, bool perform = true, NameBuilder build = {}) {
        if (!fs.Has("/r/in/" + source)) fs.AddFile("/r/in/" + source);
        FileFacts facts;
        facts.SourceFileName = source;
        facts.SourceFilePath = "/r/in/" + source;
        facts.TimestampDateTime = when;
        const ProblemReporter report{port, options.ReportErrors == 1};
        PlacementContext context{fs, options, chronology, report};
        if (!build) build = [&facts](std::int32_t serial) { return DcfStyleName(facts, serial); };
        PlaceFile(context, facts, "/r/out", perform, tally, build);
        return facts;
    }
};

TEST_F(PlacementTest, SameSecondGetsSerialNumbersUnderDuplicatesOnly) {
    const FileFacts a = Place("IMG_0001.JPG", At(18, 9, 11));
    const FileFacts b = Place("IMG_0002.JPG", At(18, 9, 11));
    const FileFacts c = Place("IMG_0003.JPG", At(18, 9, 11));
    EXPECT_EQ(a.OutputFileName, "20041225_180911.JPG");
    EXPECT_EQ(b.OutputFileName, "20041225_180911_001.JPG");
    EXPECT_EQ(c.OutputFileName, "20041225_180911_002.JPG");
    EXPECT_EQ(c.SequenceNumber, 2);
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|20041225180911#2|");
    for (const FileFacts& f : {a, b, c}) {
        EXPECT_EQ(f.Operation, "Moved");
        EXPECT_TRUE(f.Timestamped);
        EXPECT_EQ(f.OutputFolder, "/r/out");
        EXPECT_TRUE(fs.Has("/r/out/" + f.OutputFileName));
        EXPECT_FALSE(fs.Has(f.SourceFilePath));
    }
}

TEST_F(PlacementTest, AlwaysStartsAtOne) {
    options.AddSerial = 2;
    EXPECT_EQ(Place("IMG_0001.JPG", At(1, 2, 3)).OutputFileName, "20041225_010203_001.JPG");
    EXPECT_EQ(Place("IMG_0002.JPG", At(1, 2, 4)).OutputFileName, "20041225_010204_001.JPG");
}

TEST_F(PlacementTest, NamesOnDiskPushTheSerialUp) {
    fs.AddFile("/r/out/20041225_180911.JPG");
    fs.AddFile("/r/out/20041225_180911_001.JPG");
    const FileFacts f = Place("IMG_0001.JPG", At(18, 9, 11));
    EXPECT_EQ(f.OutputFileName, "20041225_180911_002.JPG");
    EXPECT_EQ(chronology.Text(), "|20041225180911#2|");
}

TEST_F(PlacementTest, NeverUsesATakenNameAndReportsTheFailure) {
    options.AddSerial = 0;
    fs.AddFile("/r/out/20041225_180911.JPG");
    const FileFacts f = Place("IMG_0001.JPG", At(18, 9, 11));
    EXPECT_FALSE(f.Timestamped);
    EXPECT_EQ(f.Operation, "Failed");
    EXPECT_EQ(f.Notes, "IMG_0001.JPG could not be moved due to the following error: File exists.");
    EXPECT_EQ(tally.NumberOfLockedFiles, 1);
    EXPECT_TRUE(fs.Has("/r/in/IMG_0001.JPG"));
    EXPECT_EQ(fs.existenceTests, 0);  // no test is made under "Never"
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].icon, MsgIcon::Exclamation);
}

TEST_F(PlacementTest, CopyKeepsTheSourceAndCopyFailureIsReported) {
    options.MoveOrCopy = 1;
    const FileFacts f = Place("IMG_0001.JPG", At(18, 9, 11));
    EXPECT_EQ(f.Operation, "Copied");
    EXPECT_TRUE(fs.Has("/r/in/IMG_0001.JPG"));
    EXPECT_TRUE(fs.Has("/r/out/20041225_180911.JPG"));

    options.AddSerial = 0;
    const FileFacts g = Place("IMG_0002.JPG", At(18, 9, 11));
    EXPECT_EQ(g.Operation, "Failed");
    EXPECT_EQ(g.Notes, "IMG_0002.JPG could not be copied due to the following error: File exists.");
    EXPECT_EQ(tally.NumberOfLockedFiles, 1);
}

TEST_F(PlacementTest, CopyWhenUnableToMoveFallsBackSilently) {
    options.MoveOrCopy = 2;
    fs.refuseMoveFrom.insert("/r/in");
    const FileFacts f = Place("IMG_0001.JPG", At(18, 9, 11));
    EXPECT_EQ(f.Operation, "Copied");
    EXPECT_TRUE(f.Timestamped);
    EXPECT_EQ(f.Notes, "");
    EXPECT_TRUE(port.messages.empty());
    EXPECT_TRUE(fs.Has("/r/in/IMG_0001.JPG"));
    EXPECT_TRUE(fs.Has("/r/out/20041225_180911.JPG"));

    fs.refuseMoveFrom.clear();
    EXPECT_EQ(Place("IMG_0002.JPG", At(18, 9, 12)).Operation, "Moved");
}

TEST_F(PlacementTest, PreviewTouchesNothing) {
    for (int mode : {0, 1, 2}) {
        options.MoveOrCopy = mode;
        const FileFacts f = Place("IMG_0001.JPG", At(18, 9, 11), false);
        EXPECT_EQ(f.Operation, mode == 1 ? "Copied" : "Moved");
        EXPECT_TRUE(f.Timestamped);
    }
    // The run's list still grows, so later previewed files get serials.
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|20041225180911#2|");
    EXPECT_TRUE(fs.changes.empty());
    EXPECT_EQ(tally.NumberOfLockedFiles, 0);
}

TEST_F(PlacementTest, LoopEndsWhenTheSerialDoesNotShow) {
    // A template without a serial part: the second try gives the first name again.
    const NameBuilder fixed = [](std::int32_t) { return std::string("fixed.JPG"); };
    const FileFacts a = Place("A.JPG", At(1, 1, 1), true, fixed);
    EXPECT_EQ(a.Operation, "Moved");
    const FileFacts b = Place("B.JPG", At(1, 1, 1), true, fixed);
    EXPECT_EQ(b.Operation, "Failed");
    EXPECT_EQ(b.SequenceNumber, 0);
    EXPECT_EQ(b.Notes, "B.JPG could not be moved due to the following error: File exists.");
    EXPECT_LE(fs.existenceTests, 3);

    // A serial format that changes only now and then: the loop still ends.
    options.AddSerial = 2;
    int calls = 0;
    const NameBuilder stuck = [&](std::int32_t serial) {
        ++calls;
        return serial < 3 ? "s" + std::to_string(serial) + ".JPG" : std::string("s3.JPG");
    };
    fs.AddFile("/r/out/s1.JPG");
    fs.AddFile("/r/out/s2.JPG");
    fs.AddFile("/r/out/s3.JPG");
    const FileFacts c = Place("C.JPG", At(2, 2, 2), true, stuck);
    EXPECT_EQ(c.Operation, "Failed");
    EXPECT_EQ(c.SequenceNumber, 3);
    EXPECT_EQ(calls, 4);
}

TEST_F(PlacementTest, WorkPerFileStaysFlatWhenManyFilesShareASecond) {
    const int n = 400;
    int builds = 0;
    const auto place = [&](const std::string& source) {
        FileFacts* current = nullptr;
        const NameBuilder counting = [&](std::int32_t serial) {
            ++builds;
            return DcfStyleName(*current, serial);
        };
        if (!fs.Has("/r/in/" + source)) fs.AddFile("/r/in/" + source);
        FileFacts facts;
        facts.SourceFileName = source;
        facts.SourceFilePath = "/r/in/" + source;
        facts.TimestampDateTime = At(5, 5, 5);
        current = &facts;
        const ProblemReporter report{port, false};
        PlacementContext context{fs, options, chronology, report};
        PlaceFile(context, facts, "/r/out", true, tally, counting);
        return facts;
    };
    for (int i = 0; i < n; ++i) place("F" + std::to_string(i) + ".JPG");
    EXPECT_TRUE(fs.Has("/r/out/20041225_050505_399.JPG"));
    EXPECT_LE(builds, 4 * n);
    EXPECT_LE(fs.existenceTests, n);

    // A second run into the same folder: the names on disk are passed over once.
    chronology.Reset();
    builds = fs.existenceTests = 0;
    for (int i = 0; i < n; ++i) place("G" + std::to_string(i) + ".JPG");
    EXPECT_TRUE(fs.Has("/r/out/20041225_050505_799.JPG"));
    EXPECT_LE(builds, 4 * n + n);
    EXPECT_LE(fs.existenceTests, 2 * n + n);
    EXPECT_EQ(tally.NumberOfLockedFiles, 0);
}

TEST_F(PlacementTest, UnusableNamesNeverReachTheFileSystem) {
    const struct {
        std::string name;
        const char* reason;
    } cases[] = {
        {"", "Invalid file name"},
        {".", "Invalid file name"},
        {"..", "Invalid file name"},
        {"../x.JPG", "Invalid file name"},
        {"a/b.JPG", "Invalid file name"},
        {"/etc/passwd", "Invalid file name"},
        {std::string("a\0b", 3), "Invalid file name"},
        {std::string(256, 'x'), "File name too long"},
    };
    int n = 0;
    for (const auto& c : cases) {
        for (int mode : {0, 1, 2}) {
            options.MoveOrCopy = mode;
            const std::string source = "F" + std::to_string(++n) + ".JPG";
            const FileFacts f = Place(source, At(3, 3, 3), true, [&](std::int32_t) { return c.name; });
            EXPECT_FALSE(f.Timestamped);
            EXPECT_EQ(f.Operation, "Failed");
            EXPECT_EQ(f.Notes, source + (mode == 0 ? " could not be moved" : " could not be copied") +
                                   " due to the following error: " + c.reason + ".");
            EXPECT_TRUE(fs.Has("/r/in/" + source));
        }
    }
    EXPECT_EQ(tally.NumberOfLockedFiles, n);
    EXPECT_TRUE(fs.changes.empty());
    EXPECT_EQ(fs.existenceTests, 0);

    // In a preview the file is reported the same way, but nothing is counted.
    RunTally previewTally;
    std::swap(tally, previewTally);
    const FileFacts p = Place("P.JPG", At(3, 3, 3), false, [](std::int32_t) { return std::string("../P.JPG"); });
    EXPECT_FALSE(p.Timestamped);
    EXPECT_EQ(tally.NumberOfLockedFiles, 0);
    EXPECT_EQ(UnusableFilenameReason(std::string(255, 'x')), "");
    EXPECT_EQ(UnusableFilenameReason(".hidden"), "");
}

}  // namespace
}  // namespace ravlen
