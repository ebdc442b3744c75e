#include "model/time_shift.h"

namespace ravlen {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number of the `count` digits at the front of `text`, which it consumes.
std::optional<std::int64_t> TakeDigits(std::string_view& text, std::size_t count) {
    if (text.size() < count) return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!IsDigit(text[i])) return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(count);
    return value;
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

void Append2(std::string& out, std::int64_t v) {
    out.push_back(static_cast<char>('0' + (v / 10) % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

}  // namespace

std::optional<TimeShift> TimeShift::Parse(std::string_view text) {
    if (text.empty()) return TimeShift{};
    int sign = 1;
    if (TakeChar(text, '-')) sign = -1;
    else TakeChar(text, '+');
    std::int64_t days = 0;
    if (const std::size_t blank = text.find(' '); blank != std::string_view::npos) {
        if (blank < 1 || blank > 5) return std::nullopt;
        const auto d = TakeDigits(text, blank);
        if (!d || !TakeChar(text, ' ')) return std::nullopt;
        days = *d;
    }
    const auto hours = TakeDigits(text, 2);
    if (!hours || !TakeChar(text, ':')) return std::nullopt;
    const auto minutes = TakeDigits(text, 2);
    if (!minutes || *minutes > 59 || !TakeChar(text, ':')) return std::nullopt;
    const auto seconds = TakeDigits(text, 2);
    if (!seconds || *seconds > 59 || !text.empty()) return std::nullopt;
    return TimeShift{sign * (((days * 24 + *hours) * 60 + *minutes) * 60 + *seconds)};
}

std::string TimeShift::Text() const {
    std::string out(1, Seconds < 0 ? '-' : '+');
    const std::int64_t magnitude = Seconds < 0 ? -Seconds : Seconds;
    const std::int64_t days = magnitude / 86400;
    const std::int64_t rest = magnitude % 86400;
    if (days > 0) out += std::to_string(days) + ' ';
    Append2(out, rest / 3600);
    out += ':';
    Append2(out, rest / 60 % 60);
    out += ':';
    Append2(out, rest % 60);
    return out;
}

std::optional<DateTime> TimeShift::Apply(const DateTime& date) const {
    const DateFields f = date.Fields();
    return DateTime::FromFields(f.year, f.month, f.day, f.hour, f.minute, std::int64_t{f.second} + Seconds);
}

}  // namespace ravlen
