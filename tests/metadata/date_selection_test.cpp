#include <gtest/gtest.h>

#include "metadata/date_selection.h"
#include "support/fake_port.h"

namespace ravlen::test {
namespace {

DateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *DateTime::FromFields(y, mo, d, h, mi, s); }

const DateTime kCreated = D(2010, 1, 2, 3, 4, 5);
const DateTime kModified = D(2009, 6, 7, 8, 9, 10);

struct Outcome {
    bool timestamped;
    DateTime when;
    bool hasTime;
    std::string notes;
    int invalidDates;
};

Outcome Choose(FileFacts f, int dateMode, int tiff = 3, int riff = 4, int fs = 2) {
    f.SourceFileName = "MVI_0001.AVI";
    f.FileSystemDateCreated = kCreated;
    f.FileSystemDateModified = kModified;
    RunOptions o;
    o.DateMode = dateMode;
    o.DateModeTIFF = tiff;
    o.DateModeRIFF = riff;
    o.DateModeFileSystem = fs;
    o.ReportErrors = 1;
    RunTally tally;
    FakePort port;
    ChooseTimestamp(f, o, tally, port);
    EXPECT_EQ(port.messages.size(), f.Notes.empty() ? 0u : 1u);
    if (!port.messages.empty()) { EXPECT_EQ(port.messages[0].icon, MsgIcon::Exclamation); }
    return {f.Timestamped, f.TimestampDateTime, f.TimestampHasTime, f.Notes, tally.NumberOfInvalidDateFiles};
}

FileFacts Tiff(std::optional<DateTime> original, std::optional<DateTime> digitized, std::optional<DateTime> modified) {
    FileFacts f;
    f.InternalFormat = "JPEG";
    f.EXIFDateOriginal = original;
    f.EXIFDateDigitized = digitized;
    f.EXIFDateModified = modified;
    return f;
}

TEST(DateSelection, TiffRule) {
    const DateTime o = D(2004, 12, 25, 18, 9, 11), g = D(2004, 12, 25, 18, 9, 12), m = D(2005, 1, 1);
    const FileFacts all = Tiff(o, g, m), onlyModified = Tiff({}, {}, m), none = Tiff({}, {}, {});
    struct Case { FileFacts f; int mode; std::optional<DateTime> expected; const char* note; };
    const std::vector<Case> cases = {
        {all, 0, o, ""}, {all, 1, g, ""}, {all, 2, m, ""}, {all, 3, o, ""},
        {Tiff({}, g, m), 3, g, ""}, {onlyModified, 3, m, ""},
        {onlyModified, 0, {}, " contains valid TIFF metadata but has no DateTimeOriginal information."},
        {Tiff(o, {}, m), 1, {}, " contains valid TIFF metadata but has no DateTimeDigitized information."},
        {Tiff(o, g, {}), 2, {}, " contains valid TIFF metadata but has no DateTime information."},
        {none, 3, {}, " contains valid TIFF metadata but has no date information."},
    };
    for (const auto& c : cases) {
        const Outcome strict = Choose(c.f, 1, c.mode);
        EXPECT_EQ(strict.timestamped, c.expected.has_value());
        if (c.expected) { EXPECT_EQ(strict.when, *c.expected); }
        EXPECT_EQ(strict.notes, *c.note ? "MVI_0001.AVI" + std::string(c.note) : "");
        EXPECT_EQ(strict.invalidDates, c.expected ? 0 : 1);
        // Mode 2 falls back to the earlier file-system date, silently.
        const Outcome lax = Choose(c.f, 2, c.mode);
        EXPECT_TRUE(lax.timestamped);
        EXPECT_EQ(lax.when, c.expected.value_or(kModified));
        EXPECT_EQ(lax.notes, "");
        EXPECT_EQ(lax.invalidDates, 0);
    }
}

TEST(DateSelection, RiffRule) {
    const DateTime icrd = D(2003, 5, 17), etim = D(1899, 12, 30, 10, 23, 45), idit = D(2003, 5, 18, 1, 2, 3);
    const DateTime strd = D(2003, 5, 19, 4, 5, 6), cmnt = D(2003, 5, 20, 7, 8, 9);
    auto riff = [](std::optional<DateTime> i, std::optional<DateTime> e, std::optional<DateTime> d,
                   std::optional<DateTime> s, std::optional<DateTime> c) {
        FileFacts f;
        f.InternalFormat = "RIFF";
        f.RIFFICRDDate = i, f.RIFFetimTime = e, f.RIFFIDITDate = d, f.RIFFstrdDate = s, f.RIFFcmntDate = c;
        return f;
    };
    const FileFacts full = riff(icrd, etim, idit, strd, cmnt);
    struct Case { FileFacts f; int mode; std::optional<DateTime> expected; bool hasTime; const char* note; };
    const std::vector<Case> cases = {
        {full, 0, D(2003, 5, 17, 10, 23, 45), true, ""},
        {full, 4, D(2003, 5, 17, 10, 23, 45), true, ""},
        {riff(icrd, {}, {}, {}, {}), 0, icrd, false, ""},
        {riff(icrd, {}, idit, {}, {}), 4, idit, true, ""},
        {riff(icrd, {}, {}, {}, cmnt), 4, cmnt, true, ""},
        {riff(icrd, {}, {}, strd, cmnt), 4, strd, true, ""},
        {riff(icrd, {}, {}, {}, {}), 4, icrd, false, ""},
        {full, 1, idit, true, ""}, {full, 2, strd, true, ""}, {full, 3, cmnt, true, ""},
        {riff({}, etim, idit, {}, {}), 0, {}, true,
         " contains valid RIFF metadata including etim time of original recording but has no ICRD date information."},
        {riff({}, {}, idit, {}, {}), 0, {}, true, " contains valid RIFF metadata but has no ICRD/etim information."},
        {riff(icrd, {}, {}, {}, {}), 1, {}, true, " contains valid RIFF metadata but has no IDIT information."},
        {riff(icrd, {}, {}, {}, {}), 2, {}, true, " contains valid RIFF metadata but has no strd information."},
        {riff(icrd, {}, {}, {}, {}), 3, {}, true, " contains valid RIFF metadata but has no cmnt information."},
        {riff({}, etim, {}, {}, {}), 4, {}, true,
         " contains valid RIFF metadata including etim time of original recording but has no ICRD, IDIT, cmnt, or strd date information."},
        {riff({}, {}, {}, {}, {}), 4, {}, true, " contains valid RIFF metadata but has no date or time information."},
    };
    for (const auto& c : cases) {
        const Outcome r = Choose(c.f, 1, 3, c.mode);
        EXPECT_EQ(r.timestamped, c.expected.has_value()) << c.note;
        if (c.expected) { EXPECT_EQ(r.when, *c.expected); }
        EXPECT_EQ(r.hasTime, c.hasTime) << c.note;
        EXPECT_EQ(r.notes, *c.note ? "MVI_0001.AVI" + std::string(c.note) : "");
    }
}

TEST(DateSelection, CiffAndFileSystemRules) {
    FileFacts ciff;
    ciff.InternalFormat = "CIFF";
    EXPECT_EQ(Choose(ciff, 1).notes, "MVI_0001.AVI contains valid CIFF metadata but has no CapturedTime information.");
    ciff.CIFFCapturedDate = D(2002, 2, 2, 2, 2, 2);
    EXPECT_EQ(Choose(ciff, 1).when, D(2002, 2, 2, 2, 2, 2));
    // Mode 3 ignores the metadata; the file-system rule by its option.
    EXPECT_EQ(Choose(ciff, 3, 3, 4, 0).when, kCreated);
    EXPECT_EQ(Choose(ciff, 3, 3, 4, 1).when, kModified);
    EXPECT_EQ(Choose(ciff, 3, 3, 4, 2).when, kModified);
    FileFacts unknown;
    EXPECT_EQ(Choose(unknown, 2, 3, 4, 0).when, kCreated);
    // An ICRD read before a reader fault still names the file in mode 2.
    FileFacts riff;
    riff.InternalFormat = "RIFF";
    riff.RIFFICRDDate = D(2003, 5, 17);
    const Outcome r = Choose(riff, 2);
    EXPECT_EQ(r.when, D(2003, 5, 17));
    EXPECT_FALSE(r.hasTime);
    // A file already stopped stays untouched.
    FileFacts stopped = unknown;
    stopped.Timestamped = false;
    const Outcome s = Choose(stopped, 1);
    EXPECT_FALSE(s.timestamped);
    EXPECT_EQ(s.invalidDates, 0);
    EXPECT_EQ(s.notes, "");
}

}  // namespace
}  // namespace ravlen::test
