#include <gtest/gtest.h>

#include "metadata/date_selection.h"
#include "support/fake_port.h"

namespace ravlen::test {
namespace {

using Date = std::optional<DateTime>;
DateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *DateTime::FromFields(y, mo, d, h, mi, s); }

const DateTime kCreated = D(2010, 1, 2, 3, 4, 5), kModified = D(2009, 6, 7, 8, 9, 10);

// Runs the choice with reported errors; the note, if any, is shown once.
FileFacts Choose(FileFacts f, int dateMode, int tiff, int riff, int fs, RunTally& tally) {
    f.SourceFileName = "MVI_0001.AVI";
    f.FileSystemDateCreated = kCreated;
    f.FileSystemDateModified = kModified;
    RunOptions o;
    o.DateMode = dateMode, o.DateModeTIFF = tiff, o.DateModeRIFF = riff, o.DateModeFileSystem = fs;
    o.ReportErrors = 1;
    FakePort port;
    ChooseTimestamp(f, o, tally, port);
    EXPECT_EQ(port.messages.size(), f.Notes.empty() ? 0u : 1u);
    for (const auto& m : port.messages) EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    return f;
}

struct Case { FileFacts f; int option; Date expected; bool hasTime; const char* note; };

// Mode 1 takes the rule's date or skips with its note; mode 2 falls back to
// the earlier file-system date without a note.
void Check(const std::vector<Case>& cases, bool riff) {
    for (const auto& c : cases) {
        for (int mode : {1, 2}) {
            RunTally tally;
            const FileFacts f = Choose(c.f, mode, riff ? 3 : c.option, riff ? c.option : 4, 2, tally);
            SCOPED_TRACE(std::string(c.note) + " mode " + std::to_string(mode));
            EXPECT_EQ(f.Timestamped, c.expected || mode == 2);
            if (f.Timestamped) { EXPECT_EQ(f.TimestampDateTime, c.expected.value_or(kModified)); }
            EXPECT_EQ(f.TimestampHasTime, c.expected ? c.hasTime : true);
            EXPECT_EQ(f.Notes, mode == 1 && *c.note ? "MVI_0001.AVI" + std::string(c.note) : "");
            EXPECT_EQ(tally.NumberOfInvalidDateFiles, mode == 1 && !c.expected ? 1 : 0);
        }
    }
}

TEST(DateSelection, TiffRule) {
    const DateTime o = D(2004, 12, 25, 18, 9, 11), g = D(2004, 12, 25, 18, 9, 12), m = D(2005, 1, 1);
    auto tiff = [](Date original, Date digitized, Date modified) {
        FileFacts f;
        f.InternalFormat = "JPEG";
        f.EXIFDateOriginal = original, f.EXIFDateDigitized = digitized, f.EXIFDateModified = modified;
        return f;
    };
    Check({{tiff(o, g, m), 0, o, true, ""}, {tiff(o, g, m), 1, g, true, ""}, {tiff(o, g, m), 2, m, true, ""},
           {tiff(o, g, m), 3, o, true, ""}, {tiff({}, g, m), 3, g, true, ""}, {tiff({}, {}, m), 3, m, true, ""},
           {tiff({}, {}, m), 0, {}, true, " contains valid TIFF metadata but has no DateTimeOriginal information."},
           {tiff(o, {}, m), 1, {}, true, " contains valid TIFF metadata but has no DateTimeDigitized information."},
           {tiff(o, g, {}), 2, {}, true, " contains valid TIFF metadata but has no DateTime information."},
           {tiff({}, {}, {}), 3, {}, true, " contains valid TIFF metadata but has no date information."}},
          false);
}

TEST(DateSelection, RiffRule) {
    const DateTime icrd = D(2003, 5, 17), etim = D(1899, 12, 30, 10, 23, 45), idit = D(2003, 5, 18, 1, 2, 3);
    const DateTime strd = D(2003, 5, 19, 4, 5, 6), cmnt = D(2003, 5, 20, 7, 8, 9), both = D(2003, 5, 17, 10, 23, 45);
    auto riff = [](Date i, Date e, Date d, Date s, Date c) {
        FileFacts f;
        f.InternalFormat = "RIFF";
        f.RIFFICRDDate = i, f.RIFFetimTime = e, f.RIFFIDITDate = d, f.RIFFstrdDate = s, f.RIFFcmntDate = c;
        return f;
    };
    const FileFacts all = riff(icrd, etim, idit, strd, cmnt), icrdOnly = riff(icrd, {}, {}, {}, {});
    Check({{all, 0, both, true, ""}, {all, 4, both, true, ""}, {icrdOnly, 0, icrd, false, ""},
           {riff(icrd, {}, idit, strd, cmnt), 4, idit, true, ""}, {riff(icrd, {}, {}, strd, cmnt), 4, strd, true, ""},
           {riff(icrd, {}, {}, {}, cmnt), 4, cmnt, true, ""}, {icrdOnly, 4, icrd, false, ""},
           {all, 1, idit, true, ""}, {all, 2, strd, true, ""}, {all, 3, cmnt, true, ""},
           {riff({}, etim, idit, {}, {}), 0, {}, true,
            " contains valid RIFF metadata including etim time of original recording but has no ICRD date information."},
           {riff({}, {}, idit, {}, {}), 0, {}, true, " contains valid RIFF metadata but has no ICRD/etim information."},
           {icrdOnly, 1, {}, true, " contains valid RIFF metadata but has no IDIT information."},
           {icrdOnly, 2, {}, true, " contains valid RIFF metadata but has no strd information."},
           {icrdOnly, 3, {}, true, " contains valid RIFF metadata but has no cmnt information."},
           {riff({}, etim, {}, {}, {}), 4, {}, true,
            " contains valid RIFF metadata including etim time of original recording but has no ICRD, IDIT, cmnt, or strd date information."},
           {riff({}, {}, {}, {}, {}), 4, {}, true, " contains valid RIFF metadata but has no date or time information."}},
          true);
}

TEST(DateSelection, CiffAndFileSystemRules) {
    FileFacts ciff;
    ciff.InternalFormat = "CIFF";
    Check({{ciff, 0, {}, true, " contains valid CIFF metadata but has no CapturedTime information."}}, false);
    ciff.CIFFCapturedDate = D(2002, 2, 2, 2, 2, 2);
    Check({{ciff, 0, ciff.CIFFCapturedDate, true, ""}}, false);
    // Mode 3 takes the file-system date by its option, whatever the metadata.
    RunTally tally;
    EXPECT_EQ(Choose(ciff, 3, 3, 4, 0, tally).TimestampDateTime, kCreated);
    EXPECT_EQ(Choose(ciff, 3, 3, 4, 1, tally).TimestampDateTime, kModified);
    EXPECT_EQ(Choose(FileFacts{}, 2, 3, 4, 0, tally).TimestampDateTime, kCreated);
    // A file already stopped stays untouched.
    FileFacts stopped;
    stopped.Timestamped = false;
    EXPECT_FALSE(Choose(stopped, 1, 3, 4, 2, tally).Timestamped);
    EXPECT_EQ(tally.NumberOfInvalidDateFiles, 0);
}

}  // namespace
}  // namespace ravlen::test
