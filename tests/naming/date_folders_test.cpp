#include <gtest/gtest.h>

#include "naming/date_folders.h"
#include "naming/filename_builder.h"
#include "naming/format_validation.h"

namespace ravlen {
namespace {

const DateTime kWhen = *DateTime::FromFields(2024, 7, 14, 9, 5, 3);

TEST(DateFolderPattern, FoldersOfGoodFormats) {
    struct Case { const char* format; std::vector<std::string> folders; };
    const Case cases[] = {
        {"yyyy/yyyy-mm-dd", {"2024", "2024-07-14"}},
        // Quoted text keeps its letters: no "mm" month in "Summer".
        {"yyyy/\"Summer \"yyyy", {"2024", "Summer 2024"}},
        {"yyyy/mm \"dd\" dd/hh\"h\"nn", {"2024", "07 dd 14", "09h05"}},
        {"\"\"yyyy\"\"", {"2024"}},
        {"\"Fotos\"", {"Fotos"}},
    };
    for (const Case& c : cases) {
        const auto pattern = DateFolderPattern::Parse(c.format);
        ASSERT_TRUE(pattern) << c.format;
        EXPECT_EQ(pattern->Folders(kWhen), c.folders) << c.format;
    }
    EXPECT_EQ(DateFolderSample("yyyy/yyyy-mm-dd", kWhen), "2024/2024-07-14");
}

TEST(DateFolderPattern, ProblemsOfBadFormats) {
    struct Case { std::string format, problem; };
    const Case cases[] = {
        {"", "Zero length"},
        {"/yyyy", "Begins with \"/\""},
        {"yyyy//dd", "Empty folder name"},
        {"yyyy/", "Empty folder name"},
        {"yyyy/\"\"", "Empty folder name"},
        {"yyyy/\"Summer", "Double quote not closed"},
        {"yyyy/..", "Folder name \"..\" not allowed"},
        {"\".\"/yyyy", "Folder name \".\" not allowed"},
        // A "/" in quotes would be a folder name with a "/" in it.
        {"yyyy/\"a/b\"", "Illegal character: /"},
        {"hh:nn", "Illegal character: :"},
        {"yyyy\\mm", "Illegal character: \\"},
        {std::string("yyyy\0mm", 7), "Illegal character: NUL"},
        {std::string(247, '1') + "yyyy", "Exceeds maximum 250 characters"},
        // Letters outside quotes that no date code takes are named, never read as codes.
        {"yyyy/Summer", "Letters that are not date codes: \"Su\", \"er\""},
        {"Fotos/yyyy", "Letters that are not date codes: \"Fotos\""},
        {"yyyy/mmm-d\"d\"x", "Letters that are not date codes: \"m\", \"d\", \"x\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DateFolderFormatProblem(c.format), c.problem) << c.format;
        EXPECT_FALSE(DateFolderPattern::Parse(c.format)) << c.format;
    }
    EXPECT_EQ(DateFolderFormatProblem(std::string(246, '1') + "yyyy"), "");
    // A "%" symbol is the symbols' own affair.
    EXPECT_FALSE(DateFolderFormatProblem("yyyy/mm%c").starts_with("Letters"));
}

// The custom filename format's date takes quoted text the same way.
TEST(FormatDate, QuotedTextInTheFilenameFormat) {
    FilenameFormatDefinition format = BuiltInFormat(FilenameFormat::DcfStyle, true);
    format.DateFormat = "\"Summer \"yyyy-mm";
    EXPECT_EQ(ValidateFormat(FormatDialogSample(format, kWhen), format.Template).Status, "Good");
    EXPECT_EQ(FormatDialogSample(format, kWhen), "Summer 2024-07_001_ABCD_1234.JPG");
}

}  // namespace
}  // namespace ravlen
