#include "naming/filename_builder.h"

#include <gtest/gtest.h>

namespace ravlen {
namespace {

const DateTime kXmas = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);

// name, DCF batch, volume, digits, valid DCF name, format, AddBatchVolume, cleanup, DCFMode, serial, has time
struct NameCase {
    const char* name; const char* batch; std::int32_t volume; int digits; bool dcf;
    int format, addBatchVolume, cleanup, dcfMode, serial; bool hasTime; const char* expected;
};

TEST(NewFilename, FormatsAndBatchVolumeOriginalRules) {
    const NameCase cases[] = {
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 0, 1, 0, 1, 1, true, "20041225_180911_001_ABCD.JPG"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 0, 3, 0, 1, 1, true, "20041225_180911_001_ABCD1234.JPG"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 1, 2, 0, 1, 1, true, "2004-12-25 @18-09-11 #001 1234.jpg"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 1, 3, 0, 1, 1, true, "2004-12-25 @18-09-11 #001 ABCD1234.jpg"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 2, 3, 0, 1, 1, true,
         "{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}{VO=1234}.jpg"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 3, 3, 0, 1, 1, true,
         "{Captured Date=2004-12-25 @18-09-11}{Sequence Number=001}{Batch=ABCD}{Volume=1234}.jpg"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 0, 1, 0, 1, 0, true, "20041225_180911_ABCD.JPG"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 0, 0, 0, 1, 1000, true, "20041225_180911_1000.JPG"},
        // Date-only timestamps: the long-label format still writes the time.
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 0, 1, 0, 1, 0, false, "20041225_ABCD.JPG"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 3, 1, 0, 1, 0, false,
         "{Captured Date=2004-12-25 @00-00-00}{Batch=ABCD}.jpg"},
        // The custom format is used as stored: its date format keeps the time.
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 4, 2, 0, 1, 0, false, "{DT=2004-12-25 @00-00-00}{VO=1234}.jpg"},
        // Cleanup removes one final underscore, never from the whole name of "Both".
        {"ABC_1234.jpg", "ABC_", 1234, 4, true, 0, 1, 1, 1, 0, true, "20041225_180911_ABC.JPG"},
        {"AB__1234.jpg", "AB__", 1234, 4, true, 2, 3, 1, 1, 0, true, "{DT=2004-12-25 @18-09-11}{BA=AB_}{VO=1234}.jpg"},
        {"ABC_1234.jpg", "ABC_", 1234, 4, true, 1, 3, 1, 1, 0, true, "2004-12-25 @18-09-11 ABC_1234.jpg"},
        // The volume keeps the digit count of the name.
        {"IMG_0001.JPG", "IMG_", 1, 4, true, 0, 2, 1, 1, 0, true, "20041225_180911_0001.JPG"},
        {"ABC01234.jpg", "ABC", 1234, 5, true, 2, 2, 0, 1, 0, true, "{DT=2004-12-25 @18-09-11}{VO=01234}.jpg"},
        {"12345678.jpg", "", 12345678, 8, true, 2, 3, 0, 1, 0, true, "{DT=2004-12-25 @18-09-11}{VO=12345678}.jpg"},
        // Non-DCF names: kept as comment (mode 2) or dropped (mode 3).
        {"Holiday.jpg", "", 0, 0, false, 2, 3, 0, 2, 0, true, "{DT=2004-12-25 @18-09-11}{CO=Holiday}.jpg"},
        {"Holiday.jpg", "", 0, 0, false, 2, 3, 0, 3, 0, true, "{DT=2004-12-25 @18-09-11}.jpg"},
        {"my.trip.jpg", "", 0, 0, false, 1, 0, 0, 2, 0, true, "2004-12-25 @18-09-11 my.trip.jpg"},
        // %e is replaced after %o, so it expands inside the original name too.
        {"A%e.avi", "", 0, 0, false, 2, 3, 0, 2, 2, true, "{DT=2004-12-25 @18-09-11}{SN=002}{CO=A.avi}.avi"},
    };
    for (const auto& c : cases) {
        FileFacts f;
        f.SourceFileName = c.name;
        f.Extension = ExtensionOf(c.name);
        f.DCFFilename = c.dcf;
        f.DCFBatch = c.batch;
        f.DCFVolume = c.volume;
        f.DCFVolumeDigits = c.digits;
        f.TimestampDateTime = c.hasTime ? kXmas : kXmas.DateOnly();
        f.TimestampHasTime = c.hasTime;
        RunOptions o;
        o.FilenameFormat = c.format;
        o.AddBatchVolume = c.addBatchVolume;
        o.DCFBatchCleanup = c.cleanup;
        o.DCFMode = c.dcfMode;
        EXPECT_EQ(NewFilename(f, o, c.serial), c.expected) << c.name << " format " << c.format;
    }
}

TEST(BuildFilename, VariableFormats) {
    struct Case { const char* symbol; const char* format; std::int32_t serial; const char* text; const char* expected; };
    const Case cases[] = {
        {"%s", "000", 7, "", "007"}, {"%s", "000", 123, "", "123"}, {"%s", "000", 1234, "", "1234"},
        {"%s", "", 1234, "", "1234"}, {"%s", "#0", 5, "", "5"}, {"%s", "0-00", 12345, "", "123-45"},
        {"%s", "\"No.\"\\00", 3, "", "No.03"},
        {"%o", "&", 0, "MiXed", "MiXed"}, {"%o", "", 0, "MiXed", "MiXed"}, {"%o", "<&", 0, "MiXed", "mixed"},
        {"%o", ">&", 0, "MiXed", "MIXED"},
        // ASCII letters change case; other characters keep their bytes and count as one.
        {"%o", ">&", 0, "f\xC3\xA9te", "F\xC3\xA9TE"}, {"%o", "&-&", 0, "\xC3\xA9\xC3\xA8x", "\xC3\xA9\xC3\xA8-x"},
        {"%o", "(@@@)", 0, "ab", "( ab)"}, {"%o", "!&-&", 0, "abc", "a-bc"},
        {"%d", "yyyymmdd_hhnnss", 0, "", "20041225_180911"}, {"%d", "yyyy-mm-dd @hh-nn-ss", 0, "", "2004-12-25 @18-09-11"},
        {"%d", "", 0, "", "2004-12-25 18:09:11"},
    };
    for (const auto& c : cases) {
        FilenameFormatDefinition f;
        f.Template = c.symbol;
        f.SerialFormat = f.OriginalFormat = f.DateFormat = c.format;
        const FilenameValues v{kXmas, c.serial, "", "", c.text, ""};
        EXPECT_EQ(BuildFilename(f, v), c.expected) << c.symbol << " " << c.format;
    }
}

TEST(BuildFilename, AbsentVariablesAndPlainText) {
    FilenameFormatDefinition f = BuiltInFormat(2, true);
    f.Template = "[%d|%s|%b|%v|%o|%e]";
    EXPECT_EQ(BuildFilename(f, {DateTime::Zero(), 0, "", "", "", ""}), "[|||||]");
    EXPECT_EQ(BuildFilename(f, {DateTime::Zero().PlusSeconds(-1), -3, "", "", "", ""}), "[|||||]");
    EXPECT_EQ(BuildFilename(f, {DateTime::Zero().PlusSeconds(1), 0, "", "", "", ""}), "[{DT=1899-12-30 @00-00-01}|||||]");
    const FilenameValues all{kXmas, 7, "Abcd", "0042", "Orig", "Jpg"};
    EXPECT_EQ(BuildFilename(f, all), "[{DT=2004-12-25 @18-09-11}|{SN=007}|{BA=Abcd}|{VO=0042}|{CO=Orig}|.jpg]");
    f.Template = "photo";
    EXPECT_EQ(BuildFilename(f, all), "photo");
    f.Template = "%D%x%%s%%s";
    EXPECT_EQ(BuildFilename(f, all), "%D%x%{SN=007}%{SN=007}");
}

TEST(BuildFilename, LaterSymbolsExpandInsideEarlierParts) {
    FilenameFormatDefinition f = BuiltInFormat(1, true);
    f.Template = "%d";
    f.DatePrefix = "%e:";
    const FilenameValues v{kXmas, 0, "", "", "A%e", "AVI"};
    EXPECT_EQ(BuildFilename(f, v), ".avi:2004-12-25 @18-09-11");
    // A symbol is not expanded again inside its own part.
    f.Template = "%o";
    f.OriginalPrefix = "%o";
    EXPECT_EQ(BuildFilename(f, v), "%oA.avi");
}

}  // namespace
}  // namespace ravlen
