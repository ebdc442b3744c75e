#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>

#include "engine/dcf.h"
#include "engine/filters.h"
#include "model/utf8.h"
#include "naming/filename_builder.h"

namespace ravlen {
namespace {

TEST(WildcardMatch, Table) {
    const struct {
        const char *name, *pattern;
        bool match;
    } cases[] = {
        {"img_0002.jpg", "*.JPG", true}, {"IMG_0001.JPG", "IMG_0001.JP", false},  // the whole name must match
        {"IMG_0001.JPG", "IMG_####.JPG", true}, {"IMG_00A1.JPG", "IMG_####.JPG", false},
        {"IMG_0001.JPG", "IMG_?00?.*", true}, {"", "*", true}, {"", "?", false}, {"abc", "a*b*c*", true},
        {"d", "[a-f]", true}, {"g", "[A-F]", false}, {"i", "[!I]", false},  // no case, also in ranges
        {"-", "[A-]", true}, {"*", "[*]", true}, {"#1", "[#]#", true}, {"[", "[[]", true},  // in brackets: themselves
        {"photo[1.jpg", "photo[1.jpg", true},                           // an unclosed "[" is an ordinary character
        {"ab", "a[]b", true}, {"ab", "a[!]", true},  // "[]" matches the empty text, "[!]" any one character
        {"\xc3\x84rger.jpg", "?rger.jpg", true},          // one UTF-8 character is one character
        {"\xc3\xa4rger.jpg", "\xc3\x84rger.jpg", false},  // only ASCII letters are case-folded
        {"\xff" "a.jpg", "?a.jpg", true},                 // a stray byte is one character
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.match) << '"' << c.name << "\" vs \"" << c.pattern << '"';
}

// The matcher and the filename builder cut names into the same characters:
// a well-formed sequence is one, an ill-formed piece one per maximal subpart.
TEST(WildcardMatch, CountsCharactersAsTheFilenameBuilderDoes) {
    const struct {
        std::string text;
        std::size_t chars;
    } cases[] = {
        {"a\xC3\x84\xE2\x82\xAC\xF0\x9F\x93\xB7", 4},  // one to four bytes each
        {"\xE0\x80\x80", 3}, {"\xC0\xAF", 2},                 // overlong
        {"\xED\xA0\x80", 3},                                 // a surrogate
        {"\xF4\x90\x80\x80", 4}, {"\xF5\x80", 2},           // past U+10FFFF
        {"\xE2\x82" "A", 2}, {"\xF0\x9F\x93", 1},              // cut short
        {"\x80\xBF\xFF", 3},                                 // no lead byte
    };
    FilenameFormatDefinition padded;
    padded.Template = "%o";
    padded.OriginalFormat = std::string(8, '@');  // fills from the right, a blank for each missing character
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(utf8::CharCount(c.text), c.chars);
        EXPECT_TRUE(WildcardMatch(c.text, std::string(c.chars, '?')));
        EXPECT_FALSE(WildcardMatch(c.text, std::string(c.chars - 1, '?')));
        EXPECT_EQ(BuildFilename(padded, {DateTime::Zero(), 0, "", "", c.text, ""}),
                  std::string(8 - c.chars, ' ') + c.text);
    }
    // An ill-formed piece is a character that matches only the same bytes.
    EXPECT_TRUE(WildcardMatch("\xE2\x82" "A", "\xE2\x82" "?"));
    EXPECT_FALSE(WildcardMatch("\xE2\x82" "A", "\xE2\x83" "?"));
    EXPECT_FALSE(WildcardMatch("\xE2\x82" "A", "\xE2?"));
    EXPECT_FALSE(WildcardMatch("\xFF", "[\x01-\xF4\x8F\xBF\xBF]"));  // no range of characters holds it
}

TEST(WildcardMatch, ManyStarsStayFast) {
    const std::string name(20000, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WildcardMatch(name, "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(WildcardMatch(name + "b", "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(FileFilter, Table) {
    const struct {
        const char *name, *exclude, *include;
        int attributes, excluded;  // the item's attributes; those the filter turns away
        bool passes;
    } cases[] = {
        {"MVI_0003.AVI", "", "*.JPG; *.AVI", 0, 0, false},  // items are not trimmed
        {"MVI_0003.AVI", "", "*.JPG;*.AVI", 0, 0, true},
        {"IMG_0001.JPG", "", ";;*.JPG;", 0, 0, true},     // empty items are ignored
        {"IMG_0001.JPG", "", ";", 0, 0, false},           // separators alone let nothing in
        {"IMG_0001.JPG", "IMG_*", "*.JPG", 0, 0, false},  // exclusion wins
        {"a", "", "", kAttrHidden, 0, true},         {"a", "", "", kAttrHidden, kAttrHidden, false},
        {"a", "", "", kAttrReadOnly, kAttrHidden | kAttrSystem, true},
        {"a", "", "", kAttrReadOnly, kAttrReadOnly, false}, {"a", "", "", kAttrSystem, kAttrSystem, false},
    };
    for (const auto& c : cases) {
        const FsItem item{c.name, "", false, 0, c.attributes, {}, {}, {}};
        const FileFilter filter{false, (c.excluded & kAttrReadOnly) != 0, (c.excluded & kAttrHidden) != 0,
                                (c.excluded & kAttrSystem) != 0, c.exclude, c.include};
        EXPECT_EQ(filter.PassesFile(item), c.passes)
            << c.name << " attributes " << c.attributes << " exclude " << c.exclude << " include " << c.include;
    }
}

TEST(Dcf, Validity) {
    for (const char* name : {"IMG_0001", "img_0001", "DSC00001", "12345678", "____9999"})
        EXPECT_TRUE(IsDcfBaseName(name)) << name;
    for (const char* name : {"IMG_0000", "IMG-0001", "IMG_001", "IMG_00001", "IMG_00A1", "IMG 0001", "",
                             "\xc3\x84MG0001", "\xffMG_0001", "Holiday"})
        EXPECT_FALSE(IsDcfBaseName(name)) << name;
}

TEST(Dcf, SplitForEveryVolumeDigitsOption) {
    const struct {
        const char* name;
        int option;
        const char* batch;
        int volume, digits;
    } cases[] = {
        {"IMG_0001", 0, "IMG_", 1, 4},    {"IMG_0001", 4, "IMG_", 1, 4},
        {"DSC00001", 0, "DSC0", 1, 4},    {"DSC00001", 1, "DSC", 1, 5},      {"DSC00001", 4, "DSC", 1, 5},
        {"P1010001", 0, "P101", 1, 4},    {"P1010001", 2, "P1", 10001, 6},   {"P1010001", 3, "P", 1010001, 7},
        {"12345678", 0, "1234", 5678, 4}, {"12345678", 4, "", 12345678, 8},  {"99999999", 4, "", 99999999, 8},
        {"12345678", 9, "", 12345678, 8}, {"12345678", -1, "1234", 5678, 4},  // held to the list
    };
    for (const auto& c : cases) {
        const DcfSplit s = SplitDcfBaseName(c.name, static_cast<DCFVolumeDigits>(c.option));
        EXPECT_EQ(std::tie(s.Batch, s.Volume, s.VolumeDigits),
                  std::make_tuple(std::string(c.batch), c.volume, c.digits)) << c.name << " option " << c.option;
    }
}

}  // namespace
}  // namespace ravlen
