#include "engine/filters.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "model/utf8.h"

namespace ravlen {
namespace {

// A character of a name or pattern: its code point, or for an ill-formed
// piece a value that no code point has, so that it only matches itself.
using Char = char32_t;

Char UpperAscii(Char c) { return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c; }

std::vector<Char> Decode(std::string_view text) {
    std::vector<Char> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const utf8::Unit unit = utf8::Next(text, i);
        out.push_back(UpperAscii(unit.value));
        i += unit.length;
    }
    return out;
}

struct Token {
    enum Kind { Star, AnyOne, Digit, Literal, Set };
    explicit Token(Kind k, Char c = 0) : kind(k), literal(c) {}
    Kind kind;
    Char literal;
    bool negated = false;
    std::vector<std::pair<Char, Char>> ranges;  // inclusive
};

std::vector<Token> Compile(const std::vector<Char>& p) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Char c = p[i];
        if (c == U'*') {
            if (tokens.empty() || tokens.back().kind != Token::Star) tokens.emplace_back(Token::Star);
        } else if (c == U'?') {
            tokens.emplace_back(Token::AnyOne);
        } else if (c == U'#') {
            tokens.emplace_back(Token::Digit);
        } else if (c == U'[') {
            std::size_t close = i + 1;
            while (close < p.size() && p[close] != U']') ++close;
            if (close == p.size()) {  // unclosed: the "[" stands for itself
                tokens.emplace_back(Token::Literal, c);
                continue;
            }
            Token set(Token::Set);
            std::size_t j = i + 1;
            if (j < close && p[j] == U'!') {
                set.negated = true;
                ++j;
            }
            for (; j < close; ++j) {
                // A hyphen between two characters makes a range; at either end it is itself.
                if (j + 2 < close && p[j + 1] == U'-') {
                    set.ranges.emplace_back(p[j], p[j + 2]);
                    j += 2;
                } else {
                    set.ranges.emplace_back(p[j], p[j]);
                }
            }
            i = close;
            if (set.ranges.empty() && !set.negated) continue;  // "[]" matches the empty text
            tokens.push_back(std::move(set));
        } else {
            tokens.emplace_back(Token::Literal, c);
        }
    }
    return tokens;
}

bool MatchesOne(const Token& t, Char c) {
    switch (t.kind) {
        case Token::AnyOne: return true;
        case Token::Digit: return c >= U'0' && c <= U'9';
        case Token::Literal: return c == t.literal;
        case Token::Set: {
            bool in = false;
            for (const auto& [lo, hi] : t.ranges)
                if (c >= lo && c <= hi) { in = true; break; }
            return in != t.negated;
        }
        case Token::Star: break;
    }
    return false;
}

bool Matches(const std::vector<Char>& s, const std::vector<Token>& t) {
    // Every token but the star consumes exactly one character, so on a
    // mismatch it is enough to let the last star swallow one more character
    // and retry from there: quadratic at worst, never exponential.
    std::size_t ti = 0, si = 0;
    std::size_t starToken = t.size(), starChar = 0;
    while (si < s.size()) {
        if (ti < t.size() && t[ti].kind == Token::Star) {
            starToken = ti++;
            starChar = si;
        } else if (ti < t.size() && MatchesOne(t[ti], s[si])) {
            ++ti;
            ++si;
        } else if (starToken != t.size()) {
            ti = starToken + 1;
            si = ++starChar;
        } else {
            return false;
        }
    }
    while (ti < t.size() && t[ti].kind == Token::Star) ++ti;
    return ti == t.size();
}

// A pattern list split at ";" into its non-empty items, each compiled.
struct CompiledList {
    std::string text;
    std::vector<std::vector<Token>> items;
};

// A run tests every file against the same one or two lists, so each is
// compiled once and kept until another list comes.
const CompiledList& CompiledPatterns(std::string_view patterns) {
    thread_local CompiledList kept[2];
    thread_local std::size_t older = 0;
    for (const CompiledList& list : kept)
        if (list.text == patterns && !list.items.empty()) return list;
    CompiledList& list = kept[older];
    older = 1 - older;
    list.text.assign(patterns);
    list.items.clear();
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(';', start);
        if (end == std::string_view::npos) end = patterns.size();
        const std::string_view item = patterns.substr(start, end - start);
        if (!item.empty()) list.items.push_back(Compile(Decode(item)));
        start = end + 1;
    }
    return list;
}

}  // namespace

bool WildcardMatch(std::string_view name, std::string_view pattern) {
    return Matches(Decode(name), Compile(Decode(pattern)));
}

bool MatchesPatternList(std::string_view name, std::string_view patterns) {
    if (patterns.find_first_not_of(';') == std::string_view::npos) return false;  // no items
    const CompiledList& list = CompiledPatterns(patterns);
    const std::vector<Char> s = Decode(name);
    for (const std::vector<Token>& item : list.items)
        if (Matches(s, item)) return true;
    return false;
}

FileFilter FileFilter::Of(const RunOptions& options) {
    return {options.ProcessSubfolders != ProcessSubfolders::Ignore,
            options.ExcludeReadOnly,
            options.ExcludeHidden,
            options.ExcludeSystem,
            options.ExcludePatterns(),
            options.IncludePatterns()};
}

const char* ExclusionWord(Exclusion exclusion) {
    switch (exclusion) {
        case Exclusion::None: break;
        case Exclusion::NotIncluded: return "include patterns";
        case Exclusion::ExcludePattern: return "exclude patterns";
        case Exclusion::ReadOnly: return "read-only";
        case Exclusion::Hidden: return "hidden";
        case Exclusion::System: return "system";
    }
    return "";
}

Exclusion FileFilter::ExclusionOf(const FsItem& file) const {
    return Excludes(file, IncludePatterns.empty() || MatchesPatternList(file.Name, IncludePatterns));
}

Exclusion FileFilter::Excludes(const FsItem& item, bool included) const {
    if (!included) return Exclusion::NotIncluded;
    if (!ExcludePatterns.empty() && MatchesPatternList(item.Name, ExcludePatterns)) return Exclusion::ExcludePattern;
    if ((item.Attributes & kAttrReadOnly) && ExcludeReadOnly) return Exclusion::ReadOnly;
    if ((item.Attributes & kAttrHidden) && ExcludeHidden) return Exclusion::Hidden;
    if ((item.Attributes & kAttrSystem) && ExcludeSystem) return Exclusion::System;
    return Exclusion::None;
}

}  // namespace ravlen
