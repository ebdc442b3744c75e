#include "naming/filename_builder.h"

#include <gtest/gtest.h>

namespace ravlen {
namespace {

DateTime Christmas(int h = 18, int n = 9, int s = 11) { return *DateTime::FromFields(2004, 12, 25, h, n, s); }

// A file as the engine hands it to the naming step after the DCF split.
FileFacts DcfFile(const std::string& name, const std::string& batch, std::int32_t volume, int digits) {
    FileFacts f;
    f.SourceFileName = name;
    f.Extension = ExtensionOf(name);
    f.DCFBatch = batch;
    f.DCFVolume = volume;
    f.DCFVolumeDigits = digits;
    f.TimestampDateTime = Christmas();
    return f;
}

RunOptions Options(int format, int addBatchVolume, int cleanup = 0) {
    RunOptions o;
    o.FilenameFormat = format;
    o.AddBatchVolume = addBatchVolume;
    o.DCFBatchCleanup = cleanup;
    return o;
}

TEST(BuiltInFormat, ExamplesOfEachFormat) {
    struct Case { int format, addBatchVolume; const char* expected; };
    const Case cases[] = {
        {0, 1, "20041225_180911_001_ABCD.JPG"},
        {0, 3, "20041225_180911_001_ABCD1234.JPG"},
        {1, 2, "2004-12-25 @18-09-11 #001 1234.jpg"},
        {1, 3, "2004-12-25 @18-09-11 #001 ABCD1234.jpg"},
        {2, 3, "{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}{VO=1234}.jpg"},
        {3, 3, "{Captured Date=2004-12-25 @18-09-11}{Sequence Number=001}{Batch=ABCD}{Volume=1234}.jpg"},
        {0, 0, "20041225_180911_001.JPG"},
    };
    const FileFacts f = DcfFile("ABCD1234.jpg", "ABCD", 1234, 4);
    for (const auto& c : cases)
        EXPECT_EQ(NewFilename(f, Options(c.format, c.addBatchVolume), 1), c.expected)
            << "format " << c.format << " batch/volume " << c.addBatchVolume;
}

TEST(BuiltInFormat, TableFields) {
    const auto dcf = BuiltInFormat(0, true);
    EXPECT_EQ(dcf.Template, "%d%s%b%v%o%e");
    EXPECT_EQ(dcf.DateFormat, "yyyymmdd_hhnnss");
    EXPECT_EQ(dcf.ExtensionFormat, ">&");
    EXPECT_EQ(BuiltInFormat(0, false).DateFormat, "yyyymmdd");
    EXPECT_EQ(BuiltInFormat(1, false).DateFormat, "yyyy-mm-dd");
    EXPECT_EQ(BuiltInFormat(2, false).DateFormat, "yyyy-mm-dd");
    EXPECT_EQ(BuiltInFormat(3, false).DateFormat, "yyyy-mm-dd @hh-nn-ss");
    // The dialog's Reset definition is the short-label format with the time.
    EXPECT_EQ(BuiltInFormat(2, true), RunOptions().CustomFormat);
    const auto v1 = BuiltInFormat(1, true);
    EXPECT_EQ(v1.SerialPrefix, " #");
    EXPECT_EQ(v1.OriginalPrefix, " ");
    EXPECT_EQ(v1.ExtensionFormat, "<&");
    const auto v3 = BuiltInFormat(3, true);
    EXPECT_EQ(v3.OriginalPrefix, "{Comment=");
    EXPECT_EQ(v3.OriginalSuffix, "}");
    EXPECT_EQ(v3.ExtensionSuffix, "");
}

TEST(NewFilename, DateOnlyTimestamps) {
    FileFacts f = DcfFile("ABCD1234.jpg", "ABCD", 1234, 4);
    f.TimestampDateTime = Christmas(0, 0, 0);
    f.TimestampHasTime = false;
    EXPECT_EQ(NewFilename(f, Options(0, 1), 0), "20041225_ABCD.JPG");
    EXPECT_EQ(NewFilename(f, Options(1, 1), 0), "2004-12-25 ABCD.jpg");
    EXPECT_EQ(NewFilename(f, Options(3, 1), 0), "{Captured Date=2004-12-25 @00-00-00}{Batch=ABCD}.jpg");
}

TEST(NewFilename, BatchVolumeOriginalRules) {
    struct Case {
        const char* name; const char* batch; std::int32_t volume; int digits; bool dcf;
        int format, addBatchVolume, cleanup, dcfMode; const char* expected;
    };
    const Case cases[] = {
        {"ABC_1234.jpg", "ABC_", 1234, 4, true, 0, 1, 0, 1, "20041225_180911_ABC_.JPG"},
        {"ABC_1234.jpg", "ABC_", 1234, 4, true, 0, 1, 1, 1, "20041225_180911_ABC.JPG"},
        {"ABC_1234.jpg", "ABC_", 1234, 4, true, 2, 3, 1, 1, "{DT=2004-12-25 @18-09-11}{BA=ABC}{VO=1234}.jpg"},
        // Cleanup removes one underscore only, and never touches the whole name of rule 1.
        {"AB__1234.jpg", "AB__", 1234, 4, true, 2, 1, 1, 1, "{DT=2004-12-25 @18-09-11}{BA=AB_}.jpg"},
        {"ABC_1234.jpg", "ABC_", 1234, 4, true, 0, 3, 1, 1, "20041225_180911_ABC_1234.JPG"},
        {"IMG_0001.JPG", "IMG_", 1, 4, true, 0, 2, 1, 1, "20041225_180911_0001.JPG"},
        {"ABC01234.jpg", "ABC", 1234, 5, true, 2, 2, 0, 1, "{DT=2004-12-25 @18-09-11}{VO=01234}.jpg"},
        // An all-digit name split into eight digits has no batch part.
        {"12345678.jpg", "", 12345678, 8, true, 2, 3, 0, 1, "{DT=2004-12-25 @18-09-11}{VO=12345678}.jpg"},
        {"MVI_1234.avi", "MVI_", 1234, 4, true, 0, 3, 0, 1, "20041225_180911_MVI_1234.AVI"},
        {"Holiday.jpg", "", 0, 0, false, 2, 3, 0, 2, "{DT=2004-12-25 @18-09-11}{CO=Holiday}.jpg"},
        {"Holiday.jpg", "", 0, 0, false, 2, 3, 0, 3, "{DT=2004-12-25 @18-09-11}.jpg"},
        {"my.trip.jpg", "", 0, 0, false, 1, 0, 0, 2, "2004-12-25 @18-09-11 my.trip.jpg"},
        {"noext", "", 0, 0, false, 0, 0, 0, 2, "20041225_180911_noext"},
    };
    for (const auto& c : cases) {
        FileFacts f = DcfFile(c.name, c.batch, c.volume, c.digits);
        f.DCFFilename = c.dcf;
        RunOptions o = Options(c.format, c.addBatchVolume, c.cleanup);
        o.DCFMode = c.dcfMode;
        EXPECT_EQ(NewFilename(f, o, 0), c.expected) << c.name;
    }
}

TEST(NewFilename, CustomFormatIgnoresMissingTime) {
    FileFacts f = DcfFile("ABCD1234.jpg", "ABCD", 1234, 4);
    f.TimestampHasTime = false;
    f.TimestampDateTime = Christmas(0, 0, 0);
    RunOptions o = Options(4, 3);
    o.CustomFormat.Template = "%d-%v%e";
    o.CustomFormat.DatePrefix = o.CustomFormat.DateSuffix = "";
    EXPECT_EQ(NewFilename(f, o, 0), "2004-12-25 @00-00-00-{VO=1234}.jpg");
}

FilenameValues AllValues() {
    FilenameValues v;
    v.DateTime = Christmas();
    v.SerialNumber = 7;
    v.Batch = "Abcd";
    v.Volume = "0042";
    v.Original = "Orig";
    v.Extension = "Jpg";
    return v;
}

TEST(BuildFilename, SerialPadsButNeverCuts) {
    FilenameFormatDefinition f;
    f.Template = "%s";
    FilenameValues v;
    struct Case { const char* format; std::int32_t n; const char* expected; };
    const Case cases[] = {
        {"000", 7, "007"}, {"000", 42, "042"}, {"000", 123, "123"}, {"000", 1000, "1000"},
        {"", 1234, "1234"}, {"0", 56, "56"}, {"#0", 5, "5"}, {"A00B", 7, "A07B"},
        {"0-00", 12345, "123-45"}, {"\\000", 7, "007"}, {"\"No.\"00", 3, "No.03"}, {"x", 9, "x9"},
    };
    for (const auto& c : cases) {
        f.SerialFormat = c.format;
        v.SerialNumber = c.n;
        EXPECT_EQ(BuildFilename(f, v), c.expected) << c.format << " " << c.n;
    }
}

TEST(BuildFilename, TextFormats) {
    FilenameFormatDefinition f;
    f.Template = "%o";
    FilenameValues v;
    struct Case { const char* format; const char* value; const char* expected; };
    const Case cases[] = {
        {"&", "MiXed", "MiXed"}, {"", "MiXed", "MiXed"}, {"<&", "MiXed", "mixed"}, {">&", "MiXed", "MIXED"},
        {"<", "MiXed", "mixed"},
        // Only ASCII letters change case; the bytes of other characters stay intact.
        {">&", "f\xC3\xA9te", "F\xC3\xA9TE"}, {"<&", "\xC3\x89T\xC3\x89", "\xC3\x89t\xC3\x89"},
        {"&-&", "\xC3\xA9\xC3\xA8x", "\xC3\xA9\xC3\xA8-x"}, {"(&)", "ab", "(ab)"}, {"@@@@", "ab", "  ab"},
        {"!&&&-", "abcd", "abcd-"}, {"!@@@", "a", "a  "},
    };
    for (const auto& c : cases) {
        f.OriginalFormat = c.format;
        v.Original = c.value;
        EXPECT_EQ(BuildFilename(f, v), c.expected) << c.format << " " << c.value;
    }
}

TEST(BuildFilename, DateFormats) {
    FilenameFormatDefinition f;
    f.Template = "%d";
    FilenameValues v;
    v.DateTime = Christmas();
    f.DateFormat = "yyyymmdd_hhnnss";
    EXPECT_EQ(BuildFilename(f, v), "20041225_180911");
    f.DateFormat = "yyyy-mm-dd @hh-nn-ss";
    EXPECT_EQ(BuildFilename(f, v), "2004-12-25 @18-09-11");
    f.DateFormat = "";
    EXPECT_EQ(BuildFilename(f, v), "2004-12-25 18:09:11");
}

TEST(BuildFilename, AbsentVariablesDropPrefixAndSuffix) {
    FilenameFormatDefinition f = BuiltInFormat(2, true);
    f.Template = "[%d|%s|%b|%v|%o|%e]";
    FilenameValues none;
    none.DateTime = DateTime::Zero();
    EXPECT_EQ(BuildFilename(f, none), "[|||||]");
    none.DateTime = DateTime::Zero().PlusSeconds(-86400);  // before the zero date: absent too
    EXPECT_EQ(BuildFilename(f, none), "[|||||]");
    none.DateTime = DateTime::Zero().PlusSeconds(1);
    none.SerialNumber = -3;
    EXPECT_EQ(BuildFilename(f, none), "[{DT=1899-12-30 @00-00-01}|||||]");
    EXPECT_EQ(BuildFilename(f, AllValues()),
              "[{DT=2004-12-25 @18-09-11}|{SN=007}|{BA=Abcd}|{VO=0042}|{CO=Orig}|.jpg]");
}

TEST(BuildFilename, TemplateTextAndRepeatedSymbols) {
    FilenameFormatDefinition f = BuiltInFormat(0, true);
    const FilenameValues v = AllValues();
    f.Template = "photo";
    EXPECT_EQ(BuildFilename(f, v), "photo");
    f.Template = "%s%s";
    EXPECT_EQ(BuildFilename(f, v), "_007_007");
    f.Template = "%D%x%%s%";
    EXPECT_EQ(BuildFilename(f, v), "%D%x%_007%");
    f.Template = "";
    EXPECT_EQ(BuildFilename(f, v), "");
}

TEST(BuildFilename, LaterSymbolsExpandInsideEarlierParts) {
    FilenameFormatDefinition f = BuiltInFormat(1, true);
    f.Template = "%o%e";
    FilenameValues v;
    v.Original = "A%e";
    v.Extension = "AVI";
    EXPECT_EQ(BuildFilename(f, v), " A.avi.avi");
    // A prefix holding a later symbol receives that part...
    f.Template = "%d";
    f.DatePrefix = "%e:";
    v.DateTime = Christmas();
    EXPECT_EQ(BuildFilename(f, v), ".avi:2004-12-25 @18-09-11");
    // ...but a symbol is not expanded again inside its own part.
    f.Template = "%o";
    f.OriginalPrefix = "%o";
    EXPECT_EQ(BuildFilename(f, v), "%oA.avi");
}

TEST(NewFilename, NonDcfOriginalHoldingExtensionSymbol) {
    FileFacts f;
    f.SourceFileName = "A%e.avi";
    f.Extension = "avi";
    f.DCFFilename = false;
    f.TimestampDateTime = Christmas();
    RunOptions o = Options(2, 3);
    o.DCFMode = 2;
    EXPECT_EQ(NewFilename(f, o, 2), "{DT=2004-12-25 @18-09-11}{SN=002}{CO=A.avi}.avi");
}

}  // namespace
}  // namespace ravlen
