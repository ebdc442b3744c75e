#pragma once
// The one reading of names as UTF-8, shared by every rule that counts or
// compares characters (format placeholders, sample wrapping, length limits,
// wildcard patterns). Names are byte strings taken as they are; a rule works
// on whole characters so that no multi-byte character is split.
//
// A well-formed sequence is one character. Anything else is cut as Unicode
// cuts it for replacement: each maximal subpart (the longest start of a
// well-formed sequence, at least one byte) is one character of its own. So an
// overlong E0 80 80 is three characters (E0 never starts one with 80), a
// truncated E2 82 before "A" is one, and a surrogate ED A0 80 is three.

#include <cstddef>
#include <string_view>
#include <vector>

namespace ravlen::utf8 {

struct Unit {
    std::size_t length = 1;  // bytes, at least 1
    // The code point; for an ill-formed unit a value above U+10FFFF made of
    // its bytes, so that it equals only the same bytes.
    char32_t value = 0;
    bool valid = true;
};

inline constexpr char32_t kIllFormedBase = 0x110000;

// The character that starts at s[i] (i < s.size()).
inline Unit Next(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) return {1, lead, true};
    std::size_t need = 0;
    unsigned lo = 0x80, hi = 0xBF;  // the second byte's range; later bytes are always 80..BF
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        if (lead == 0xE0) lo = 0xA0;  // below: overlong
        if (lead == 0xED) hi = 0x9F;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        if (lead == 0xF0) lo = 0x90;  // below: overlong
        if (lead == 0xF4) hi = 0x8F;  // above: past U+10FFFF
    }
    std::size_t have = 1;
    char32_t cp = need == 2 ? lead & 0x1F : need == 3 ? lead & 0x0F : lead & 0x07;
    while (have < need && have < s.size() - i) {
        const unsigned b = byte(have);
        if (have == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) break;
        cp = (cp << 6) | (b & 0x3F);
        ++have;
    }
    if (need != 0 && have == need) return {have, cp, true};
    // At most three bytes: their packed values (80..FF, E080..F4BF,
    // F09080..F48FBF) never meet, so the value names the bytes.
    char32_t packed = 0;
    for (std::size_t k = 0; k < have; ++k) packed = (packed << 8) | byte(k);
    return {have, kIllFormedBase + packed, false};
}

// The text cut into its characters.
inline std::vector<std::string_view> SplitChars(std::string_view s) {
    std::vector<std::string_view> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Next(s, i).length;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

inline std::size_t CharCount(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); i += Next(s, i).length) ++count;
    return count;
}

}  // namespace ravlen::utf8
