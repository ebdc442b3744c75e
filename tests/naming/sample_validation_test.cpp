#include <gtest/gtest.h>

#include "model/run_options.h"
#include "naming/filename_builder.h"
#include "naming/format_validation.h"
#include "naming/sample.h"

namespace ravlen {
namespace {

const DateTime kNow = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);

TEST(FilenameSample, EveryCombination) {
    const FilenameFormatDefinition custom = RunOptions().CustomFormat;
    // Serial part and batch/volume/original part of each format, for AddSerial 0..2
    // and AddBatchVolume 0..3.
    struct Format { int index; const char* date; const char* serial; const char* parts[4]; const char* ext; };
    const Format formats[] = {
        {0, "20041225_180911", "_001", {"", "_ABCD", "_1234", "_ABCD1234"}, ".JPG"},
        {1, "2004-12-25 @18-09-11", " #001", {"", " ABCD", " 1234", " ABCD1234"}, ".jpg"},
        {2, "{DT=2004-12-25 @18-09-11}", "{SN=001}", {"", "{BA=ABCD}", "{VO=1234}", "{BA=ABCD}{VO=1234}"}, ".jpg"},
        {3, "{Captured Date=2004-12-25 @18-09-11}", "{Sequence Number=001}",
         {"", "{Batch=ABCD}", "{Volume=1234}", "{Batch=ABCD}{Volume=1234}"}, ".jpg"},
        {4, "{DT=2004-12-25 @18-09-11}", "{SN=001}", {"", "{BA=ABCD}", "{VO=1234}", "{BA=ABCD}{VO=1234}"}, ".jpg"},
    };
    for (const auto& f : formats) {
        for (int serial = 0; serial <= 2; ++serial) {
            for (int bv = 0; bv <= 3; ++bv) {
                const std::string built =
                    std::string(f.date) + (serial ? f.serial : "") + f.parts[bv] + f.ext;
                const std::string expected = WrapSample(built, SampleWrapWidth(f.index));
                EXPECT_EQ(FilenameSample(f.index, serial, bv, custom, kNow), expected)
                    << "format " << f.index << " serial " << serial << " batch/volume " << bv;
            }
        }
    }
}

TEST(FilenameSample, CustomNeverShowsOriginalAndUsesDefinitionAsStored) {
    FilenameFormatDefinition custom;
    custom.Template = "%o|%d";
    custom.DateFormat = "yyyymmdd";
    EXPECT_EQ(FilenameSample(4, 2, 3, custom, kNow), "|20041225");
}

TEST(WrapSample, BreaksAfterLastBraceWithinWidth) {
    const std::string full = "{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}{VO=1234}.jpg";
    ASSERT_EQ(full.size(), 55u);
    EXPECT_EQ(WrapSample(full, 48), "{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}\r\n{VO=1234}.jpg");
    EXPECT_EQ(FilenameSample(2, 2, 3, {}, kNow), WrapSample(full, 48));

    // Short samples, and the longest long-label sample, stay on one line.
    EXPECT_EQ(WrapSample("{DT=x}.jpg", 48), "{DT=x}.jpg");
    const std::string longest = FilenameSample(3, 2, 3, {}, kNow);
    EXPECT_EQ(longest.find('\r'), std::string::npos);
    EXPECT_LT(longest.size(), 158u);
    // Formats 0, 1 and 4 never wrap.
    FilenameFormatDefinition custom = RunOptions().CustomFormat;
    custom.Template = "%d%d%d";
    EXPECT_EQ(FilenameSample(4, 2, 3, custom, kNow).find('\r'), std::string::npos);

    // Without "}" there is nothing to wrap at, and the text stays as it is.
    EXPECT_EQ(WrapSample(std::string(100, 'a'), 48), std::string(100, 'a'));
    // No "}" within reach: a hard break at position 1 + W of the first line
    // (the break rule counts from position 1), after W characters on later lines.
    const std::string hard = std::string(120, 'a') + "}";
    EXPECT_EQ(WrapSample(hard, 48), std::string(49, 'a') + "\r\n" + std::string(48, 'a') + "\r\n" +
                                        std::string(23, 'a') + "}");
    // Several lines; each starts after the previous break.
    const std::string part = "{" + std::string(20, 'x') + "}";  // 22 characters
    std::string many;
    for (int i = 0; i < 5; ++i) many += part;
    EXPECT_EQ(WrapSample(many, 48), part + part + "\r\n" + part + part + "\r\n" + part);
    // Widths count characters, not bytes: a two-byte letter is never split.
    const std::string wide = "{" + std::string(47, 'a') + "\xC3\xA9\xC3\xA9" + "}";
    EXPECT_EQ(WrapSample(wide, 48), "{" + std::string(47, 'a') + "\xC3\xA9\r\n\xC3\xA9}");
}

TEST(ValidateFormat, RulesInOrder) {
    const std::string all = "%d%s%b%v%o%e";
    struct Case { std::string sample, templ, status, problem, result; };
    const Case cases[] = {
        {std::string(251, 'a') + ":", all, "Fail", "Exceeds maximum 250 characters", "No files will be processed"},
        {std::string(251, 'a'), "", "Fail", "Exceeds maximum 250 characters", "No files will be processed"},
        {"12:30", all, "Fail", "Illegal character: :", "No files will be processed"},
        {"", "%o", "Warn", "Zero length", "Files won't be renamed and duplicates won't be processed"},
        {"photo", "photo", "Warn", "Template does not include Date/Time", "Processed files won't sort chronologically"},
        {"x", "%d%b%v%o%e", "Warn", "Template does not include Serial Number", "Duplicate files won't be processed"},
        {"x", "%d%s%b%v%o", "Warn", "Template does not include Extension", "Processed files won't open properly"},
        {"x", "%d%s%e", "Warn", "Template does not include Batch, Volume, or Original Filename",
         "Original filenames will always be discarded"},
        {"x", "%d%s%v%o%e", "Warn", "Template does not include Batch", "DCF Batch will never be included"},
        {"x", "%d%s%b%o%e", "Warn", "Template does not include Volume", "DCF Volume will never be included"},
        {"x", "%d%s%b%v%e", "Warn", "Template does not include Original Filename",
         "Non-DCF filenames will always be discarded"},
        {"x", "%D%s%b%v%o%e", "Warn", "Template does not include Date/Time", "Processed files won't sort chronologically"},
        {std::string(201, 'a'), all, "Warn", "Exceeds safe limit of 200 characters", "Some files may not be processed"},
        {std::string(250, 'a'), all, "Warn", "Exceeds safe limit of 200 characters", "Some files may not be processed"},
        {std::string(200, 'a'), all, "Good", "", ""},
        // 200 characters of two bytes each: counted as characters.
        {[] { std::string s; for (int i = 0; i < 200; ++i) s += "\xC3\xA9"; return s; }(), all, "Good", "", ""},
    };
    for (const auto& c : cases) {
        const FormatVerdict v = ValidateFormat(c.sample, c.templ);
        EXPECT_EQ(v.Status, c.status) << c.sample.substr(0, 20) << " / " << c.templ;
        EXPECT_EQ(v.Problem, c.problem) << c.sample.substr(0, 20) << " / " << c.templ;
        EXPECT_EQ(v.Result, c.result) << c.sample.substr(0, 20) << " / " << c.templ;
    }
}

TEST(ValidateFormat, IllegalCharacterNamedInListOrder) {
    const std::string list = "\\/:*?\"<>|";
    // Each character alone is reported; with every later one present before it
    // in the sample, the earlier one of the list still wins.
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string sample = "a" + list.substr(i + 1) + list.substr(i, 1);
        EXPECT_EQ(ValidateFormat(sample, "%d%s%b%v%o%e").Problem, "Illegal character: " + list.substr(i, 1));
    }
}

TEST(FormatDialog, SampleAndVerdictOfResetDefinition) {
    const FilenameFormatDefinition reset = BuiltInFormat(2, true);
    const std::string sample = FormatDialogSample(reset, kNow);
    EXPECT_EQ(sample, "{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}{VO=1234}.jpg");
    EXPECT_EQ(ValidateFormat(sample, reset.Template).Status, "Good");

    FilenameFormatDefinition colon = reset;
    colon.DateFormat = "hh:nn";
    EXPECT_EQ(ValidateFormat(FormatDialogSample(colon, kNow), colon.Template).Problem, "Illegal character: :");

    FilenameFormatDefinition originalOnly = reset;
    originalOnly.Template = "%o";
    EXPECT_EQ(ValidateFormat(FormatDialogSample(originalOnly, kNow), originalOnly.Template).Problem, "Zero length");
}

TEST(FormatDialog, MessageTexts) {
    const FormatVerdict warn{"Warn", "Template does not include Serial Number", "Duplicate files won't be processed"};
    EXPECT_EQ(FormatWarnQuestion(warn),
              "Problem:  Template does not include Serial Number\r\n"
              "Result:     Duplicate files won't be processed\r\n\r\n"
              "Are you sure you want to use this filename format?");
    const FormatVerdict fail{"Fail", "Illegal character: :", "No files will be processed"};
    EXPECT_EQ(FormatFailMessage(fail),
              "Problem:  Illegal character: :\r\n"
              "Result:     No files will be processed\r\n\r\n"
              "Please correct this problem before proceeding.");
}

}  // namespace
}  // namespace ravlen
