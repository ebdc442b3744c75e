#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "engine/filters.h"

namespace ravlen {
namespace {

TEST(WildcardMatch, Table) {
    const struct {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"img_0002.jpg", "*.JPG", true},
        {"IMG_0001.JPG", "IMG_0001.JP", false},  // the whole name must match
        {"IMG_0001.JPG", "IMG_####.JPG", true},
        {"IMG_00A1.JPG", "IMG_####.JPG", false},
        {"IMG_0001.JPG", "IMG_?00?.*", true},
        {"", "*", true},
        {"", "?", false},
        {"abc", "a*b*c*", true},
        {"d", "[a-f]", true},  // letters compare without case, also in ranges
        {"g", "[A-F]", false},
        {"-", "[A-]", true},  // a hyphen at either end is itself
        {"i", "[!I]", false},
        {"*", "[*]", true},  // special characters inside brackets stand for themselves
        {"#1", "[#]#", true},
        {"[", "[[]", true},
        {"photo[1.jpg", "photo[1.jpg", true},  // an unclosed "[" is an ordinary character
        {"ab", "a[]b", true},  // "[]" matches the empty text
        {"ab", "a[!]", true},  // "[!]" matches any one character
        {"\xc3\x84rger.jpg", "?rger.jpg", true},  // one UTF-8 character is one character
        {"\xc3\xa4rger.jpg", "\xc3\x84rger.jpg", false},  // only ASCII letters are case-folded
        {"\xff" "a.jpg", "?a.jpg", true},  // a stray byte is one character
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.match) << '"' << c.name << "\" vs \"" << c.pattern << '"';
}

TEST(WildcardMatch, ManyStarsStayFast) {
    const std::string name(20000, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WildcardMatch(name, "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(WildcardMatch(name + "b", "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(PassesFilter, Table) {
    const struct {
        const char* name;
        int attributes;
        bool excludeReadOnly, excludeHidden, excludeSystem;
        const char* exclude;
        const char* include;
        bool passes;
    } cases[] = {
        {"MVI_0003.AVI", 0, false, false, false, "", "*.JPG; *.AVI", false},  // items are not trimmed
        {"MVI_0003.AVI", 0, false, false, false, "", "*.JPG;*.AVI", true},
        {"IMG_0001.JPG", 0, false, false, false, "", ";;*.JPG;", true},  // empty items are ignored
        {"IMG_0001.JPG", 0, false, false, false, "", ";", false},        // separators alone let nothing in
        {"IMG_0001.JPG", 0, false, false, false, "IMG_*", "*.JPG", false},  // exclusion wins
        {"xmas.jpg", 0, false, false, false, "[!I]*", "", false},
        {"img_0001.jpg", 0, false, false, false, "[!I]*", "", true},
        {"IMG_0001.JPG", kAttrHidden, false, false, false, "", "", true},
        {"IMG_0001.JPG", kAttrHidden, false, true, false, "", "", false},
        {"IMG_0001.JPG", kAttrReadOnly, false, true, true, "", "", true},
        {"IMG_0001.JPG", kAttrReadOnly, true, false, false, "", "", false},
        {"IMG_0001.JPG", kAttrSystem, false, false, true, "", "", false},
    };
    for (const auto& c : cases) {
        FsItem item;
        item.Name = c.name;
        item.Path = "/x/IMG_folder/" + item.Name;  // the path is never tested
        item.Attributes = c.attributes;
        EXPECT_EQ(PassesFilter(item, c.excludeReadOnly, c.excludeHidden, c.excludeSystem, c.exclude, c.include),
                  c.passes)
            << c.name << " attributes " << c.attributes << " exclude \"" << c.exclude << "\" include \""
            << c.include << '"';
    }
}

}  // namespace
}  // namespace ravlen
