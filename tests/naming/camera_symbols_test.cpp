#include <gtest/gtest.h>

#include "naming/date_folders.h"
#include "naming/filename_builder.h"
#include "naming/format_validation.h"

namespace ravlen {
namespace {

const DateTime kXmas = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);

FileFacts Shot(const char* make, const char* model, const char* serial) {
    FileFacts f;
    f.SourceFileName = "IMG_0001.JPG", f.Extension = "JPG", f.DCFBatch = "IMG_", f.DCFVolume = 1;
    f.DCFVolumeDigits = 4, f.TimestampDateTime = kXmas;
    f.CameraMake = make, f.CameraModel = model, f.CameraSerial = serial;
    return f;
}

RunOptions Custom(const char* templateText) {
    RunOptions o;
    o.FilenameFormat = FilenameFormat::Custom;
    o.CustomFormat.Template = templateText;
    return o;
}

TEST(CameraSymbols, ValuesMadeFitForNames) {
    EXPECT_EQ(ShortCameraName("Canon", "Canon EOS R6"), "Canon EOS R6");
    EXPECT_EQ(ShortCameraName("NIKON CORPORATION", "NIKON D850"), "NIKON D850");
    EXPECT_EQ(ShortCameraName("samsung", "SAMSUNG SM-G991B"), "SAMSUNG SM-G991B");
    EXPECT_EQ(ShortCameraName("SONY", "ILCE-7M3"), "SONY ILCE-7M3");
    EXPECT_EQ(ShortCameraName("", "E-M5"), "E-M5");
    EXPECT_EQ(ShortCameraName("Apple", ""), "Apple");
    EXPECT_EQ(NameValue("  EF 24/70 f:2.8 \"L\" <x>|*?\\ "), "EF 24-70 f-2.8 -L- -x-----");
    EXPECT_EQ(NameValue("a\tb\x7F"), "a-b-");
    EXPECT_EQ(NameValue(".."), "--");
    EXPECT_EQ(NameValue(std::string(70, 'x')), std::string(64, 'x'));
    // Cut at 64 bytes, never inside a character.
    EXPECT_EQ(NameValue(std::string(63, 'x') + "\xC3\xA9"), std::string(63, 'x'));
    EXPECT_EQ(Hundredths("4"), "40");
    EXPECT_EQ(Hundredths("123"), "12");
    EXPECT_EQ(Hundredths(""), "00");
    EXPECT_EQ(Hundredths(" 7"), "70");
    EXPECT_EQ(Hundredths("x1"), "00");
    EXPECT_EQ(FormatDate(kXmas, "hhnnss.ff\"ff\"fff", "4"), "180911.40ff40f");
}

TEST(CameraSymbols, NamesFromWhatTheCameraWrote) {
    RunOptions o = Custom("%d_%c_%n_%l_%a_%j_%q%e");
    o.CustomFormat.DateFormat = "yyyymmdd-hhnnssff", o.CustomFormat.DatePrefix = o.CustomFormat.DateSuffix = "";
    o.CustomFormat.CameraPrefix = "[", o.CustomFormat.CameraSuffix = "]";
    o.CustomFormat.ExtensionPrefix = ".", o.CustomFormat.ExtensionFormat = "<&";
    o.JobCode = " Smith/Jones ";
    FileFacts f = Shot("Canon", "Canon EOS R6", "012345678901");
    f.LensModel = "RF24-105mm F4 L IS USM", f.Artist = "Ann", f.SubSecTimeOriginal = "123";
    f.ContinuingNumber = 7;
    EXPECT_EQ(NewFilename(f, o, 1), "20041225-18091112_[Canon EOS R6]_012345678901_RF24-105mm F4 L IS USM_Ann_"
                                    "Smith-Jones_0007.jpg");
    // Absent values leave their prefix and suffix out; no sub-seconds write "00".
    const FileFacts bare = Shot("", "", "");
    o.JobCode.clear();
    EXPECT_EQ(NewFilename(bare, o, 1), "20041225-18091100______.jpg");
    // Two bodies of one model are told apart by their serial numbers.
    o = Custom("%c-%n");
    EXPECT_NE(NewFilename(Shot("NIKON CORPORATION", "NIKON Z 6", "3001"), o, 0),
              NewFilename(Shot("NIKON CORPORATION", "NIKON Z 6", "3002"), o, 0));
    EXPECT_EQ(NewFilename(Shot("NIKON CORPORATION", "NIKON Z 6", "3001"), o, 0), "NIKON Z 6-3001");
    // The built-in formats and templates without the new symbols are as before.
    EXPECT_EQ(NewFilename(f, RunOptions{}, 1), "{DT=2004-12-25 @18-09-11}{SN=001}{BA=IMG}{VO=0001}.jpg");
}

// A walk's files one after another, the values of each body its own: the
// values kept from the file before serve only the same body.
TEST(CameraSymbols, AWalkOfTwoBodiesNamesEachByItsOwn) {
    RunOptions o = Custom("%c-%n-%q%s");
    CameraValueMemo memo;
    const auto name = [&](FileFacts f, std::int64_t number, std::int32_t serial) {
        f.ContinuingNumber = number;
        return SerialNamer(f, o, memo.For(f, o))(serial);
    };
    const FileFacts a = Shot("NIKON CORPORATION", "NIKON Z 6", "3001"), b = Shot("NIKON CORPORATION", "NIKON Z 6", "3002");
    EXPECT_EQ(name(a, 1, 0), "NIKON Z 6-3001-0001");
    EXPECT_EQ(name(b, 2, 0), "NIKON Z 6-3002-0002");
    EXPECT_EQ(name(a, 3, 2), "NIKON Z 6-3001-0003{SN=002}");
    EXPECT_EQ(name(Shot("Canon", "Canon EOS R6", "3001"), 4, 1), "Canon EOS R6-3001-0004{SN=001}");
    EXPECT_EQ(memo.Fill(b, "Job/A").Job, "Job-A");
    EXPECT_EQ(memo.Fill(b, "Job B").Job, "Job B");
}

TEST(CameraSymbols, SampleAndJobCodeNeeds) {
    FilenameFormatDefinition f = RunOptions{}.CustomFormat;
    f.Template = "%d%c%n%l%a%j%q%e";
    const std::string sample = FormatDialogSample(f, kXmas);
    EXPECT_EQ(sample, "{DT=2004-12-25 @18-09-11}Canon EOS R6012345678901RF24-105mm F4 L IS USMJane DoeWedding0001.jpg");
    f.LensPrefix = "?";
    EXPECT_EQ(ValidateFormat(FormatDialogSample(f, kXmas), f.Template).Problem, "Illegal character: ?");

    RunOptions o = Custom("%d%s%e");
    EXPECT_FALSE(NeedsJobCode(o));
    o.SequenceScope = SequenceScope::PerJob;
    EXPECT_FALSE(NeedsJobCode(o));  // no continuing number in the names
    o.DateFolders = true, o.DateFolderFormat = "yyyy/%q";
    EXPECT_TRUE(NeedsJobCode(o));
    o.SequenceScope = SequenceScope::PerDay;
    EXPECT_FALSE(NeedsJobCode(o));
    o.CustomFormat.Template = "%j%d";
    EXPECT_TRUE(NeedsJobCode(o));
    o.FilenameFormat = FilenameFormat::DcfStyle;  // the custom template is not used
    EXPECT_FALSE(NeedsJobCode(o));
}

TEST(CameraSymbols, DateFoldersWithSymbols) {
    const auto pattern = DateFolderPattern::Parse("yyyy/\"Trip \"yyyy-mm-dd/%c \"%c\"/%j");
    ASSERT_TRUE(pattern);
    FilenameValues v;
    v.Camera = "Canon EOS R6", v.Job = "Smith";
    FilenameFormatDefinition formats;
    formats.JobFormat = ">&";
    EXPECT_EQ(pattern->Folders(kXmas, v, formats),
              (std::vector<std::string>{"2004", "Trip 2004-12-25", "Canon EOS R6 %c", "SMITH"}));
    // A folder that only an absent value would name is left out.
    v.Job.clear();
    EXPECT_EQ(pattern->Folders(kXmas, v, formats),
              (std::vector<std::string>{"2004", "Trip 2004-12-25", "Canon EOS R6 %c"}));
    EXPECT_EQ(DateFolderSample("yyyy/%c/%q", kXmas), "2004/Canon EOS R6/0001");
    EXPECT_EQ(DateFolderFormatProblem("yyyy/%c:"), "Illegal character: :");
    EXPECT_EQ(DateFolderFormatProblem("yyyy/%x"), "");  // no symbol: plain text
}

}  // namespace
}  // namespace ravlen
