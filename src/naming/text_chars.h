#pragma once
// Names are UTF-8 byte strings taken as they are. Where a rule counts or
// places characters (format placeholders, sample wrapping, length limits) it
// works on whole UTF-8 sequences so that no multi-byte character is split; a
// byte that does not start a well-formed sequence counts as one character.

#include <cstddef>
#include <string_view>
#include <vector>

namespace ravlen::naming_detail {

// Byte length of the character that starts at s[i].
inline std::size_t CharLength(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t n = 1;
    if (lead >= 0xC2 && lead <= 0xDF) n = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) n = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) n = 4;
    if (n > s.size() - i) return 1;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

inline std::vector<std::string_view> SplitChars(std::string_view s) {
    std::vector<std::string_view> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = CharLength(s, i);
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

inline std::size_t CharCount(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) ++count;
    return count;
}

}  // namespace ravlen::naming_detail
