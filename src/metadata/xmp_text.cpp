#include "metadata/xmp_text.h"

#include <array>
#include <optional>

#include "metadata/date_text.h"

namespace ravlen {
namespace {

constexpr std::array<std::string_view, 3> kXmpDateTags{"exif:DateTimeOriginal", "xmp:CreateDate",
                                                       "photoshop:DateCreated"};
// Occurrences of a tag's name looked at (a name may also appear inside
// another's value or a comment).
constexpr int kMaxOccurrences = 64;
constexpr std::size_t kMaxValue = 64;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value the name at `at` carries: name="v" or name='v' (an attribute),
// or <name>v</name> (an element); empty when it is neither.
std::optional<std::string_view> ValueAt(std::string_view xml, std::size_t at, std::string_view name) {
    if (at == 0) return std::nullopt;
    const char before = xml[at - 1];
    std::size_t i = at + name.size();
    auto skipSpaces = [&] {
        while (i < xml.size() && IsSpace(xml[i])) ++i;
    };
    std::size_t end = std::string_view::npos;
    if (before == '<') {
        skipSpaces();
        if (i >= xml.size() || xml[i] != '>') return std::nullopt;
        ++i;
        end = xml.find('<', i);
    } else if (IsSpace(before)) {
        skipSpaces();
        if (i >= xml.size() || xml[i] != '=') return std::nullopt;
        ++i;
        skipSpaces();
        if (i >= xml.size() || (xml[i] != '"' && xml[i] != '\'')) return std::nullopt;
        end = xml.find(xml[i], i + 1);
        ++i;
    } else {
        return std::nullopt;
    }
    if (end == std::string_view::npos || end - i > kMaxValue) return std::nullopt;
    return xml.substr(i, end - i);
}

// "YYYY-MM-DD" alone.
std::optional<DateTime> DayAlone(std::string_view t) {
    while (!t.empty() && IsSpace(t.back())) t.remove_suffix(1);
    while (!t.empty() && IsSpace(t.front())) t.remove_prefix(1);
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return std::nullopt;
    int v[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int k = 0; k < 3; ++k)
        for (std::size_t d = 0; d < lengths[k]; ++d) {
            const char c = t[starts[k] + d];
            if (c < '0' || c > '9') return std::nullopt;
            v[k] = v[k] * 10 + (c - '0');
        }
    if (v[0] < 1 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31) return std::nullopt;
    const auto date = DateTime::FromFields(v[0], v[1], v[2], 0, 0, 0);
    if (!date || date->Fields().day != v[2]) return std::nullopt;
    return date;
}

}  // namespace

void TakeXmpDate(std::string_view packet, FileFacts& facts) {
    if (facts.XMPDate) return;
    const std::string_view xml = packet.substr(0, kMaxXmpPacket);
    for (std::string_view tag : kXmpDateTags) {
        std::size_t from = 0;
        for (int n = 0; n < kMaxOccurrences; ++n) {
            const std::size_t at = xml.find(tag, from);
            if (at == std::string_view::npos) break;
            from = at + tag.size();
            const auto value = ValueAt(xml, at, tag);
            if (!value) continue;
            if (const auto zoned = ParseZonedDate(*value)) {
                facts.XMPDate = zoned->local;
                facts.XMPUTCOffset = zoned->zone;
                facts.XMPDateHasTime = true;
            } else if (const auto day = DayAlone(*value)) {
                facts.XMPDate = day;
                facts.XMPDateHasTime = false;
            } else {
                continue;
            }
            facts.XMPDateTag = std::string(tag);
            return;
        }
    }
}

}  // namespace ravlen
