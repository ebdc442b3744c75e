#include "engine/filters.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace ravlen {
namespace {

// A character of a name or pattern: a Unicode code point, or 0xDC00 + byte
// for a byte that is not part of a valid UTF-8 sequence (such values never
// come out of valid UTF-8, so a stray byte only matches itself).
using Char = char32_t;

Char UpperAscii(Char c) { return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c; }

std::vector<Char> Decode(std::string_view text) {
    std::vector<Char> out;
    out.reserve(text.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned b0 = byte(i);
        std::size_t len = 0;
        Char cp = 0, min = 0;
        if (b0 < 0x80) { out.push_back(UpperAscii(b0)); ++i; continue; }
        if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
        else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
        else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
        bool valid = len != 0 && len <= text.size() - i;
        for (std::size_t k = 1; valid && k < len; ++k) {
            const unsigned bk = byte(i + k);
            if ((bk & 0xC0) != 0x80) valid = false;
            else cp = (cp << 6) | (bk & 0x3F);
        }
        if (valid && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
        if (valid) {
            out.push_back(cp);
            i += len;
        } else {
            out.push_back(0xDC00 + b0);
            ++i;
        }
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

bool FileFilter::PassesFile(const FsItem& file) const {
    return Passes(file, IncludePatterns.empty() || MatchesPatternList(file.Name, IncludePatterns));
}

bool FileFilter::PassesFolder(const FsItem& folder) const { return Passes(folder, true); }

bool FileFilter::Passes(const FsItem& item, bool included) const {
    if (!included) return false;
    if (!ExcludePatterns.empty() && MatchesPatternList(item.Name, ExcludePatterns)) return false;
    if ((item.Attributes & kAttrReadOnly) && ExcludeReadOnly) return false;
    if ((item.Attributes & kAttrHidden) && ExcludeHidden) return false;
    return !((item.Attributes & kAttrSystem) && ExcludeSystem);
}

}  // namespace ravlen
