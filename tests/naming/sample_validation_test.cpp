#include <gtest/gtest.h>

#include "model/run_options.h"
#include "naming/filename_builder.h"
#include "naming/format_validation.h"
#include "naming/sample.h"

namespace ravlen {
namespace {

const DateTime kNow = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);

TEST(FilenameSample, EveryCombination) {
    struct Format { int index; const char* date; const char* serial; const char* parts[4]; const char* ext; };
    const Format formats[] = {
        {0, "20041225_180911", "_001", {"", "_ABCD", "_1234", "_ABCD1234"}, ".JPG"},
        {1, "2004-12-25 @18-09-11", " #001", {"", " ABCD", " 1234", " ABCD1234"}, ".jpg"},
        {2, "{DT=2004-12-25 @18-09-11}", "{SN=001}", {"", "{BA=ABCD}", "{VO=1234}", "{BA=ABCD}{VO=1234}"}, ".jpg"},
        {3, "{Captured Date=2004-12-25 @18-09-11}", "{Sequence Number=001}",
         {"", "{Batch=ABCD}", "{Volume=1234}", "{Batch=ABCD}{Volume=1234}"}, ".jpg"},
        {4, "{DT=2004-12-25 @18-09-11}", "{SN=001}", {"", "{BA=ABCD}", "{VO=1234}", "{BA=ABCD}{VO=1234}"}, ".jpg"},
    };
    for (const auto& f : formats)
        for (int serial = 0; serial <= 2; ++serial)
            for (int bv = 0; bv <= 3; ++bv) {
                std::string expected = std::string(f.date) + (serial ? f.serial : "") + f.parts[bv] + f.ext;
                // Only the full short-label sample is long enough to wrap.
                if (f.index == 2 && serial && bv == 3) expected.insert(42, "\r\n");
                EXPECT_EQ(FilenameSample(static_cast<FilenameFormat>(f.index), static_cast<AddSerial>(serial),
                                         static_cast<AddBatchVolume>(bv), RunOptions().CustomFormat, kNow),
                          expected)
                    << "format " << f.index << " serial " << serial << " batch/volume " << bv;
            }
}

TEST(WrapSample, BreakRule) {
    const std::string part = "{" + std::string(20, 'x') + "}";  // 22 characters
    const std::string e2 = "\xC3\xA9";
    struct Case { std::string text; std::size_t width; std::string expected; };
    const Case cases[] = {
        {std::string(100, 'a'), 48, std::string(100, 'a')},  // no "}" at all
        {part + part + part + part + part, 48, part + part + "\r\n" + part + part + "\r\n" + part},
        // No "}" within reach: the first break falls after position 1 + W (the
        // rule counts from position 1), later ones after W characters.
        {std::string(120, 'a') + "}", 48,
         std::string(49, 'a') + "\r\n" + std::string(48, 'a') + "\r\n" + std::string(23, 'a') + "}"},
        // Characters, not bytes: a two-byte letter is never split.
        {"{" + std::string(47, 'a') + e2 + e2 + "}", 48, "{" + std::string(47, 'a') + e2 + "\r\n" + e2 + "}"},
    };
    for (const auto& c : cases) EXPECT_EQ(WrapSample(c.text, c.width), c.expected) << c.text;
}

TEST(ValidateFormat, RulesInOrderAndTheirMessages) {
    const std::string all = "%d%s%b%v%o%e";
    const std::string e200 = [] { std::string s; for (int i = 0; i < 200; ++i) s += "\xC3\xA9"; return s; }();
    struct Case { std::string sample, templ, status, problem, result; };
    const Case cases[] = {
        {std::string(251, 'a') + ":", all, "Fail", "Exceeds maximum 250 characters", "No files will be processed"},
        {"12:30", "", "Fail", "Illegal character: :", "No files will be processed"},
        {"", "%o", "Warn", "Zero length", "Files won't be renamed and duplicates won't be processed"},
        {"photo", "photo", "Warn", "Template does not include Date/Time", "Processed files won't sort chronologically"},
        {"x", "%d%b%v%o%e", "Warn", "Template does not include Serial Number", "Duplicate files won't be processed"},
        {"x", "%d%s%b%v%o", "Warn", "Template does not include Extension", "Processed files won't open properly"},
        {"x", "%d%s%e", "Warn", "Template does not include Batch, Volume, or Original Filename",
         "Original filenames will always be discarded"},
        {"x", "%d%s%v%o%e", "Warn", "Template does not include Batch", "DCF Batch will never be included"},
        {"x", "%d%s%b%o%e", "Warn", "Template does not include Volume", "DCF Volume will never be included"},
        {"x", "%d%s%b%v%e", "Warn", "Template does not include Original Filename", "Non-DCF filenames will always be discarded"},
        {std::string(201, 'a'), all, "Warn", "Exceeds safe limit of 200 characters", "Some files may not be processed"},
        {std::string(200, 'a'), all, "Good", "", ""},
        {e200, all, "Good", "", ""},  // length counts characters
    };
    for (const auto& c : cases) {
        const FormatVerdict v = ValidateFormat(c.sample, c.templ);
        EXPECT_EQ(v.Status + "|" + v.Problem + "|" + v.Result, c.status + "|" + c.problem + "|" + c.result)
            << c.sample.substr(0, 20) << " / " << c.templ;
    }
    // The first character of the list that occurs is named, not the first in the sample.
    const std::string list = "\\/:*?\"<>|";
    for (std::size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(ValidateFormat("a" + list.substr(i + 1) + list[i], all).Problem,
                  "Illegal character: " + list.substr(i, 1));
}

}  // namespace
}  // namespace ravlen
