#include <gtest/gtest.h>

#include "engine/dcf.h"
#include "support/fake_port.h"

namespace ravlen {
namespace {

TEST(Dcf, Validity) {
    for (const char* name : {"IMG_0001", "img_0001", "DSC00001", "12345678", "____9999"})
        EXPECT_TRUE(IsDcfBaseName(name)) << name;
    for (const char* name : {"IMG_0000", "IMG-0001", "IMG_001", "IMG_00001", "IMG_00A1", "IMG 0001", "",
                             "\xc3\x84MG0001", "\xffMG_0001", "Holiday"})
        EXPECT_FALSE(IsDcfBaseName(name)) << name;
}

TEST(Dcf, SplitForEveryVolumeDigitsOption) {
    const struct {
        const char* name;
        int option;
        const char* batch;
        int volume, digits;
    } cases[] = {
        {"IMG_0001", 0, "IMG_", 1, 4},    {"IMG_0001", 4, "IMG_", 1, 4},
        {"DSC00001", 0, "DSC0", 1, 4},    {"DSC00001", 1, "DSC", 1, 5},      {"DSC00001", 4, "DSC", 1, 5},
        {"P1010001", 0, "P101", 1, 4},    {"P1010001", 2, "P1", 10001, 6},   {"P1010001", 3, "P", 1010001, 7},
        {"12345678", 0, "1234", 5678, 4}, {"12345678", 4, "", 12345678, 8},  {"99999999", 4, "", 99999999, 8},
        {"12345678", 9, "", 12345678, 8}, {"12345678", -1, "1234", 5678, 4},  // held to the list
    };
    for (const auto& c : cases) {
        const DcfSplit s = SplitDcfBaseName(c.name, c.option);
        EXPECT_EQ(s.Batch, c.batch) << c.name << " option " << c.option;
        EXPECT_EQ(s.Volume, c.volume) << c.name << " option " << c.option;
        EXPECT_EQ(s.VolumeDigits, c.digits) << c.name << " option " << c.option;
    }
}

TEST(Dcf, OnlyModeOneStopsAnInvalidName) {
    for (int mode : {1, 2, 3}) {
        test::FakePort port;
        RunOptions options;
        options.DCFMode = mode;
        RunTally tally;
        FileFacts facts;
        facts.SourceFileName = "Holiday.jpg";
        EXPECT_EQ(AnalyseDcfName(facts, "Holiday", options, tally, ProblemReporter{port, true}), mode != 1);
        EXPECT_FALSE(facts.DCFFilename);
        EXPECT_EQ(facts.Timestamped, mode != 1);
        EXPECT_EQ(tally.NumberOfInvalidDCFFiles, mode == 1 ? 1 : 0);
        EXPECT_EQ(facts.Notes, mode == 1 ? "Holiday.jpg does not have a valid DCF file name." : "");
        EXPECT_EQ(port.messages.size(), mode == 1 ? 1u : 0u);
    }
}

}  // namespace
}  // namespace ravlen
