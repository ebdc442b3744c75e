#include <gtest/gtest.h>

#include "metadata/date_selection.h"
#include "model/report.h"
#include "support/fake_port.h"

namespace ravlen::test {
namespace {

using Date = std::optional<DateTime>;
DateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *DateTime::FromFields(y, mo, d, h, mi, s); }
const DateTime kCreated = D(2010, 1, 2, 3, 4, 5), kModified = D(2009, 6, 7, 8, 9, 10), o = D(2004, 12, 25, 18, 9, 11);
const DateTime g = D(2004, 12, 25, 18, 9, 12), m = D(2005, 1, 1), icrd = D(2003, 5, 17), idit = D(2003, 5, 18, 1);
const DateTime etim = D(1899, 12, 30, 10, 23, 45), strd = D(2003, 5, 19, 4), cmnt = D(2003, 5, 20, 7);

// The dates of a JPEG (original, digitized, modified), RIFF (ICRD, etim, IDIT, strd, cmnt) or CIFF.
FileFacts F(const std::string& format, std::vector<Date> d = {}) {
    FileFacts f;
    f.InternalFormat = format, f.SourceFileName = "MVI_0001.AVI";
    f.FileSystemDateCreated = kCreated, f.FileSystemDateModified = kModified;
    d.resize(5);
    if (format == "JPEG") f.EXIFDateOriginal = d[0], f.EXIFDateDigitized = d[1], f.EXIFDateModified = d[2];
    if (format == "RIFF") f.RIFFICRDDate = d[0], f.RIFFetimTime = d[1], f.RIFFIDITDate = d[2];
    if (format == "RIFF") f.RIFFstrdDate = d[3], f.RIFFcmntDate = d[4];
    if (format == "CIFF") f.CIFFCapturedDate = d[0];
    if (format == "ISOMedia") f.MovieMetadata = true, f.MovieDate = d[0], f.MovieDateSource = "mvhd", f.EXIFDateOriginal = d[1];
    return f;
}

// The choice with reported errors: a note is shown once, as a warning.
FileFacts Choose(FileFacts f, int dateMode, int option, int fs, RunTally& tally) {
    RunOptions opt;
    // The options as stored integers, as the tables below give them.
    opt.DateMode = static_cast<DateMode>(dateMode), opt.DateModeFileSystem = static_cast<DateModeFileSystem>(fs);
    opt.DateModeTIFF = static_cast<DateModeTIFF>(option), opt.DateModeRIFF = static_cast<DateModeRIFF>(option);
    opt.ReportErrors = true;
    FakePort port;
    ChooseTimestamp(f, opt, tally, ProblemReporter{port, true});
    EXPECT_EQ(port.messages.size(), f.Notes.empty() ? 0u : 1u);
    for (const auto& msg : port.messages) EXPECT_EQ(msg.icon, MsgIcon::Exclamation);
    return f;
}

// Each rule's date and the tag it came from by its option; without it mode 1 skips the file with the rule's note and mode 2 takes
// the earlier file-system date, as mode 3 always does. Only an ICRD date without etim has no time of day.
TEST(DateSelection, Rules) {
    const FileFacts jpeg = F("JPEG", {o, g, m}), all = F("RIFF", {icrd, etim, idit, strd, cmnt}), ic = F("RIFF", {icrd});
    const std::string tiff = "TIFF metadata but has no ", riff = "RIFF metadata but has no ";
    const std::string etimNo = "RIFF metadata including etim time of original recording but has no ";
    const DateTime both = D(2003, 5, 17, 10, 23, 45);
    for (const auto& [f, option, expected, note] : std::vector<std::tuple<FileFacts, int, Date, std::string>>{
             {jpeg, 3, o, "EXIF DateTimeOriginal"}, {F("JPEG", {{}, g, m}), 3, g, "EXIF DateTimeDigitized"}, {F("JPEG", {{}, {}, m}), 3, m, "EXIF DateTime"},
             {all, 0, both, "RIFF ICRD+etim"}, {ic, 0, icrd, "RIFF ICRD"}, {all, 4, both, "RIFF ICRD+etim"},
             {ic, 4, icrd, "RIFF ICRD"}, {F("CIFF", {o}), 0, o, "CIFF CapturedTime"},
             {F("RIFF", {icrd, {}, idit, strd}), 4, idit, "RIFF IDIT"},
             {F("RIFF", {icrd, {}, {}, strd, cmnt}), 4, strd, "RIFF strd"},
             {F("RIFF", {icrd, {}, {}, {}, cmnt}), 4, cmnt, "RIFF cmnt"},
             {F("JPEG", {{}, g, m}), 0, {}, tiff + "DateTimeOriginal information."},
             {F("JPEG", {o, {}, m}), 1, {}, tiff + "DateTimeDigitized information."},
             {F("JPEG", {o, g}), 2, {}, tiff + "DateTime information."}, {F("JPEG"), 3, {}, tiff + "date information."},
             {F("RIFF", {{}, etim, idit}), 0, {}, etimNo + "ICRD date information."},
             {F("RIFF", {{}, {}, idit}), 0, {}, riff + "ICRD/etim information."},
             {F("RIFF"), 4, {}, riff + "date or time information."},
             {F("RIFF", {icrd, etim, {}, strd, cmnt}), 1, {}, riff + "IDIT information."},
             {F("RIFF", {icrd, etim, idit, {}, cmnt}), 2, {}, riff + "strd information."},
             {F("RIFF", {icrd, etim, idit, strd}), 3, {}, riff + "cmnt information."},
             {F("RIFF", {{}, etim}), 4, {}, etimNo + "ICRD, IDIT, cmnt, or strd date information."},
             {F("CIFF"), 0, {}, "CIFF metadata but has no CapturedTime information."},
             {F("ISOMedia", {o, g}), 0, o, "QuickTime mvhd"},  // a movie's own date, whatever the TIFF option
             {F("ISOMedia", {{}, g}), 3, {}, "movie metadata but has no recording date information."}}) {
        for (int mode : {1, 2, 3}) {
            RunTally tally;
            const FileFacts r = Choose(f, mode, option, 2, tally);
            const bool skipped = mode == 1 && !expected, fs = mode == 3 || !expected;
            EXPECT_EQ(r.Notes, skipped ? "MVI_0001.AVI contains valid " + note : "");
            EXPECT_EQ(r.DateSource, skipped ? "" : fs ? "File system modified" : note);
            EXPECT_EQ(r.Timestamped, !skipped) << note;
            EXPECT_EQ(tally.NumberOfInvalidDateFiles, skipped ? 1 : 0) << note;
            if (skipped) continue;
            EXPECT_EQ(r.TimestampDateTime, fs ? kModified : *expected) << note << " " << option;
            EXPECT_EQ(r.TimestampHasTime, fs || expected != icrd) << note << " " << option;
        }
    }
    // The file-system date by its option; a file already stopped stays untouched.
    RunTally tally;
    const FileFacts created = Choose(jpeg, 3, 0, 0, tally);
    EXPECT_EQ(created.TimestampDateTime.FormatFull() + " " + created.DateSource, "2010/01/02 03:04:05 File system created");
    EXPECT_EQ(Choose(F("JPEG"), 2, 3, 0, tally).TimestampDateTime, kCreated);
    FileFacts stopped = F("JPEG");
    stopped.Timestamped = false;
    EXPECT_FALSE(Choose(stopped, 1, 3, 2, tally).Timestamped);
    EXPECT_EQ(tally.NumberOfInvalidDateFiles, 0);
}

// The time shift moves metadata dates only, keeps the date before it, and
// skips a file it would move off the calendar.
TEST(DateSelection, TimeShiftMovesMetadataDatesOnly) {
    const auto choose = [](FileFacts f, DateMode mode, const char* shift, RunTally& tally) {
        RunOptions opt;
        opt.DateMode = mode, opt.TimeShift = shift;
        FakePort port;
        ChooseTimestamp(f, opt, tally, ProblemReporter{port, false});
        return f;
    };
    RunTally tally;
    const FileFacts shifted = choose(F("JPEG", {D(2024, 2, 29, 23, 30)}), DateMode::MetadataOnly, "+01:00:00", tally);
    EXPECT_EQ(shifted.TimestampDateTime, D(2024, 3, 1, 0, 30));
    EXPECT_EQ(shifted.DateBeforeShift, D(2024, 2, 29, 23, 30));
    EXPECT_EQ(shifted.ShiftSeconds, 3600);
    for (const DateMode mode : {DateMode::FileSystemWhenNoMetadata, DateMode::FileSystemOnly}) {
        const FileFacts fs = choose(F("JPEG", mode == DateMode::FileSystemOnly ? std::vector<Date>{o} : std::vector<Date>{}),
                                    mode, "-2 00:00:00", tally);
        EXPECT_EQ(fs.TimestampDateTime, kModified);
        EXPECT_EQ(fs.DateBeforeShift, kModified);
        EXPECT_FALSE(fs.ShiftSeconds);
    }
    const FileFacts off = choose(F("CIFF", {D(9999, 12, 31, 23)}), DateMode::FileSystemWhenNoMetadata, "+01:00:00", tally);
    EXPECT_FALSE(off.Timestamped);
    EXPECT_EQ(off.Notes, "MVI_0001.AVI has a date that the time shift +01:00:00 moves outside the years 1 to 9999.");
    EXPECT_EQ(tally.NumberOfInvalidDateFiles, 1);
}

}  // namespace
}  // namespace ravlen::test
