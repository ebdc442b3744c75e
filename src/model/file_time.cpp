#include "model/file_time.h"

#include <ctime>

namespace ravlen {

namespace {
constexpr int kNanoDigits = 9;
}  // namespace

std::string FileTime::Text() const {
    std::string nanos = std::to_string(Nanoseconds);
    return std::to_string(Seconds) + "." + std::string(kNanoDigits - nanos.size(), '0') + nanos;
}

std::optional<FileTime> FileTime::Parse(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || text.size() - dot - 1 != kNanoDigits) return std::nullopt;
    std::string_view whole = text.substr(0, dot);
    const bool negative = !whole.empty() && whole.front() == '-';
    if (negative) whole.remove_prefix(1);
    if (whole.empty() || whole.size() > 15) return std::nullopt;
    FileTime t;
    for (char c : whole) {
        if (c < '0' || c > '9') return std::nullopt;
        t.Seconds = t.Seconds * 10 + (c - '0');
    }
    if (negative) t.Seconds = -t.Seconds;
    for (char c : text.substr(dot + 1)) {
        if (c < '0' || c > '9') return std::nullopt;
        t.Nanoseconds = t.Nanoseconds * 10 + (c - '0');
    }
    return t;
}

FileTime FileTime::FromLocal(const DateTime& local) {
    const DateFields f = local.Fields();
    std::tm tm{};
    tm.tm_year = f.year - 1900, tm.tm_mon = f.month - 1, tm.tm_mday = f.day;
    tm.tm_hour = f.hour, tm.tm_min = f.minute, tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    return {static_cast<std::int64_t>(t), 0};
}

}  // namespace ravlen
