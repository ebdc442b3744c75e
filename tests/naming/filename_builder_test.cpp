#include "naming/filename_builder.h"

#include <gtest/gtest.h>

#include <regex>

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
        // The plain formats show "Both" as the whole DCF name.
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 0, 3, 0, 1, 1, true, "20041225_180911_001_ABCD1234.JPG"},
        {"ABCD1234.jpg", "ABCD", 1234, 4, true, 1, 2, 0, 1, 1, true, "2004-12-25 @18-09-11 #001 1234.jpg"},
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
        // The volume keeps the digit count of the name; an empty batch is left out.
        {"IMG_0001.JPG", "IMG_", 1, 4, true, 0, 2, 1, 1, 0, true, "20041225_180911_0001.JPG"},
        {"12345678.jpg", "", 12345678, 8, true, 2, 3, 0, 1, 0, true, "{DT=2004-12-25 @18-09-11}{VO=12345678}.jpg"},
        // Non-DCF names: kept as comment (mode 2) whatever AddBatchVolume says, or dropped (mode 3).
        {"Holiday.jpg", "", 0, 0, false, 2, 3, 0, 2, 0, true, "{DT=2004-12-25 @18-09-11}{CO=Holiday}.jpg"},
        {"Holiday.jpg", "", 0, 0, false, 2, 3, 0, 3, 0, true, "{DT=2004-12-25 @18-09-11}.jpg"},
        {"my.trip.jpg", "", 0, 0, false, 1, 0, 0, 2, 0, true, "2004-12-25 @18-09-11 my.trip.jpg"},
    };
    for (const auto& c : cases) {
        FileFacts f;
        f.SourceFileName = c.name, f.Extension = ExtensionOf(c.name), f.DCFFilename = c.dcf, f.DCFBatch = c.batch;
        f.DCFVolume = c.volume, f.DCFVolumeDigits = c.digits, f.TimestampHasTime = c.hasTime;
        f.TimestampDateTime = c.hasTime ? kXmas : kXmas.DateOnly();
        RunOptions o;
        // The options as stored integers, as the table gives them.
        o.FilenameFormat = static_cast<FilenameFormat>(c.format);
        o.AddBatchVolume = static_cast<AddBatchVolume>(c.addBatchVolume);
        o.DCFBatchCleanup = static_cast<DCFBatchCleanup>(c.cleanup), o.DCFMode = static_cast<DCFMode>(c.dcfMode);
        EXPECT_EQ(NewFilename(f, o, c.serial), c.expected) << c.name << " format " << c.format;
    }
}

TEST(BuildFilename, VariableFormats) {
    struct Case { const char* symbol; const char* format; std::int32_t serial; const char* text; const char* expected; };
    const Case cases[] = {
        {"%s", "000", 7, "", "007"}, {"%s", "000", 1234, "", "1234"}, {"%s", "", 1234, "", "1234"},
        {"%s", "#0", 5, "", "5"}, {"%s", "0-00", 12345, "", "123-45"}, {"%s", "\"No.\"\\00", 3, "", "No.03"},
        {"%o", "&", 0, "MiXed", "MiXed"}, {"%o", "", 0, "MiXed", "MiXed"}, {"%o", "<&", 0, "MiXed", "mixed"},
        {"%o", ">&", 0, "MiXed", "MIXED"}, {"%o", "(@@@)", 0, "ab", "( ab)"}, {"%o", "!&-&", 0, "abc", "a-bc"},
        // ASCII letters change case; other characters keep their bytes and count as one.
        {"%o", ">&", 0, "f\xC3\xA9te", "F\xC3\xA9TE"}, {"%o", "&-&", 0, "\xC3\xA9\xC3\xA8x", "\xC3\xA9\xC3\xA8-x"},
        {"%d", "", 0, "", "2004-12-25 18:09:11"},  // no date format: the general one
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
    FilenameFormatDefinition f = BuiltInFormat(FilenameFormat::Vantor2Short, true);
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
    f.Template = "%e-%s%e%";
    EXPECT_EQ(BuildFilename(f, all), ".jpg-{SN=007}.jpg%");
    f.Template = "%s%e.%s";
    EXPECT_EQ(BuildFilename(f, all), "{SN=007}.jpg.{SN=007}");
    // A symbol formed where an absent value's symbol went is expanded too.
    f.Template = "%%ds";
    EXPECT_EQ(BuildFilename(f, {DateTime::Zero(), 7, "", "", "", ""}), "{SN=007}");
    // Later symbols expand inside the text of earlier ones, but none again inside its own text.
    f.Template = "%d%o", f.DatePrefix = "%e:", f.OriginalPrefix = "%o";
    EXPECT_EQ(BuildFilename(f, {kXmas, 0, "", "", "A%e", "AVI"}), ".avi:2004-12-25 @18-09-11}%oA.avi}");
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// Every template of up to five characters of "%", "d", "s", "e" and "x",
// with values present and absent and texts with and without a "%": the name
// is what expanding %d, %s, %b, %v, %o and %e one after another over the
// whole text gives.
TEST(BuildFilename, EveryShortTemplateAsSymbolAfterSymbol) {
    const std::vector<std::regex> symbols{std::regex("%d"), std::regex("%s"), std::regex("%b"),
                                          std::regex("%v"), std::regex("%o"), std::regex("%e")};
    const auto expandInTurn = [&](std::string text, const std::vector<std::string>& parts) {
        for (std::size_t i = 0; i < symbols.size(); ++i)
            text = std::regex_replace(text, symbols[i], parts[i]);  // the parts hold no "$"
        return text;
    };
    const std::string alphabet = "%dsex";
    for (const std::string datePrefix : {"", "%e"}) {
        for (const std::int32_t serial : {0, 3}) {
            FilenameFormatDefinition f;
            f.DateFormat = "yyyy", f.DatePrefix = datePrefix, f.SerialFormat = "0", f.ExtensionPrefix = ".";
            f.ExtensionFormat = "&";
            const FilenameValues v{kXmas, serial, "", "", "", "jpg"};
            const std::vector<std::string> parts{datePrefix + "2004", serial ? "3" : "", "", "", "", ".jpg"};
            for (std::size_t length = 0, count = 1; length <= 5; ++length, count *= alphabet.size())
                for (std::size_t n = 0; n < count; ++n) {
                    std::string t;
                    for (std::size_t k = n, i = 0; i < length; ++i, k /= alphabet.size()) t += alphabet[k % alphabet.size()];
                    f.Template = t;
                    ASSERT_EQ(BuildFilename(f, v), expandInTurn(t, parts)) << t << " " << datePrefix << " " << serial;
                }
        }
    }
}

}  // namespace
}  // namespace ravlen
