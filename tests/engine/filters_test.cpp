#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "engine/filters.h"

namespace ravlen {
namespace {

struct MatchCase {
    const char* name;
    const char* pattern;
    bool match;
};

TEST(WildcardMatch, Table) {
    const MatchCase cases[] = {
        {"IMG_0001.JPG", "*.jpg", true},
        {"img_0002.jpg", "*.JPG", true},
        {"IMG_0001.JPG", "IMG_0001.JPG", true},
        {"IMG_0001.JPG", "IMG_0001.JP", false},  // the whole name must match
        {"IMG_0001.JPG", "MG_0001.JPG", false},
        {"IMG_0001.JPG", "IMG_####.JPG", true},
        {"IMG_00A1.JPG", "IMG_####.JPG", false},
        {"IMG_0001.JPG", "IMG_?00?.*", true},
        {"IMG_.JPG", "IMG_?.JPG", false},
        {"", "*", true},
        {"", "?", false},
        {"", "", true},
        {"abc", "", false},
        {"abc", "***", true},
        {"abc", "a*b*c*", true},
        {"abc", "*c*b", false},
        {"A", "[A-F]", true},
        {"g", "[A-F]", false},
        {"d", "[a-f]", true},  // letters compare without case, also in ranges
        {"-", "[A-]", true},   // a hyphen at either end is itself
        {"-", "[-A]", true},
        {"B", "[A-]", false},
        {"x", "[!I]", true},
        {"i", "[!I]", false},
        {"*", "[*]", true},  // special characters inside brackets stand for themselves
        {"a", "[*]", false},
        {"#1", "[#]#", true},
        {"?", "[?]", true},
        {"[", "[[]", true},
        {"photo[1.jpg", "photo[1.jpg", true},  // an unclosed "[" is an ordinary character
        {"photo1.jpg", "photo[1.jpg", false},
        {"x[", "x[", true},
        {"ab", "a[]b", true},  // "[]" matches the empty text
        {"ab", "a[!]", true},  // "[!]" matches any one character
        {"a", "a[!]", false},
        {"Ärger.jpg", "?rger.jpg", true},  // one UTF-8 character is one character
        {"ärger.jpg", "Ärger.jpg", false}, // only ASCII letters are case-folded
        {"\xff" "a.jpg", "?a.jpg", true},   // a stray byte is one character
        {"\xff" "a.jpg", "\xfe" "a.jpg", false},
        {"a\nb.jpg", "a?b.jpg", true},
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

FsItem Item(const std::string& name, int attributes = 0) {
    FsItem item;
    item.Name = name;
    item.Path = "/some/DCIM/folder/" + name;
    item.Attributes = attributes;
    return item;
}

struct FilterCase {
    const char* name;
    int attributes;
    const char* exclude;
    const char* include;
    bool passes;
};

TEST(PassesFilter, Table) {
    const FilterCase cases[] = {
        {"IMG_0001.JPG", 0, "", "*.jpg", true},
        {"MVI_0003.AVI", 0, "", "*.JPG; *.AVI", false},  // items are not trimmed
        {"MVI_0003.AVI", 0, "", "*.JPG;*.AVI", true},
        {"IMG_0001.JPG", 0, "", ";;*.JPG;", true},       // empty items are ignored
        {"IMG_0001.JPG", 0, "", ";", false},             // a list of separators lets nothing in
        {"IMG_0001.JPG", 0, "IMG_*", "*.JPG", false},    // exclusion wins
        {"DSC_0001.JPG", 0, "IMG_*", "*.JPG", true},
        {"xmas.jpg", 0, "[!I]*", "", false},
        {"img_0001.jpg", 0, "[!I]*", "", true},
        {"info.ctg", 0, "*.ctg;*.ind;*.log", "", false},
        {"folder", 0, "*folder*x", "", true},           // the path is never tested
        {"IMG_0001.JPG", kAttrHidden, "", "", true},
        {"IMG_0001.JPG", kAttrReadOnly | kAttrSystem, "", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PassesFilter(Item(c.name, c.attributes), false, false, false, c.exclude, c.include), c.passes)
            << c.name << " exclude \"" << c.exclude << "\" include \"" << c.include << '"';
}

TEST(PassesFilter, AttributeSwitches) {
    const struct {
        int attributes;
        bool readOnly, hidden, system, passes;
    } cases[] = {
        {kAttrReadOnly, true, false, false, false}, {kAttrReadOnly, false, true, true, true},
        {kAttrHidden, false, true, false, false},   {kAttrHidden, true, false, true, true},
        {kAttrSystem, false, false, true, false},   {kAttrSystem, true, true, false, true},
        {0, true, true, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PassesFilter(Item("IMG_0001.JPG", c.attributes), c.readOnly, c.hidden, c.system, "", "*.JPG"),
                  c.passes)
            << "attributes " << c.attributes;
}

}  // namespace
}  // namespace ravlen
