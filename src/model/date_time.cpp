#include "model/date_time.h"

#include <chrono>

namespace ravlen {
namespace {

using namespace std::chrono;

constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

void Append2(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + (v / 10) % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

}  // namespace

std::optional<DateTime> DateTime::FromFields(std::int64_t year, std::int64_t month, std::int64_t day,
                                             std::int64_t hour, std::int64_t minute, std::int64_t second) {
    // Keep every intermediate well inside 64 bits whatever the caller passes.
    constexpr std::int64_t kLimit = std::int64_t{1} << 40;
    for (std::int64_t v : {year, month, day, hour, minute, second})
        if (v > kLimit || v < -kLimit) return std::nullopt;
    const std::int64_t m0 = month - 1;
    const std::int64_t y = year + FloorDiv(m0, 12);
    const std::int64_t m = m0 - FloorDiv(m0, 12) * 12 + 1;
    if (y < 1 || y > 9999) return std::nullopt;
    const sys_days first = year_month_day{std::chrono::year{static_cast<int>(y)},
                                          std::chrono::month{static_cast<unsigned>(m)}, std::chrono::day{1}};
    const std::int64_t days = first.time_since_epoch().count() + (day - 1);
    const std::int64_t total = days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    const DateTime result = FromCivilSeconds(total);
    const int ry = result.Fields().year;
    if (ry < 1 || ry > 9999) return std::nullopt;
    return result;
}

DateTime DateTime::FromTimeT(std::time_t t) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return FromCivilSeconds(static_cast<std::int64_t>(t));
    auto d = FromFields(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return d ? *d : FromCivilSeconds(static_cast<std::int64_t>(t));
}

DateTime DateTime::Now() { return FromTimeT(std::time(nullptr)); }

DateTime DateTime::Zero() { return *FromFields(1899, 12, 30); }

DateFields DateTime::Fields() const {
    const std::int64_t days = FloorDiv(seconds_, kSecondsPerDay);
    const std::int64_t sod = seconds_ - days * kSecondsPerDay;
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    DateFields f;
    f.year = static_cast<int>(ymd.year());
    f.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    f.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    f.hour = static_cast<int>(sod / 3600);
    f.minute = static_cast<int>((sod / 60) % 60);
    f.second = static_cast<int>(sod % 60);
    return f;
}

DateTime DateTime::DateOnly() const { return FromCivilSeconds(FloorDiv(seconds_, kSecondsPerDay) * kSecondsPerDay); }

std::int64_t DateTime::SecondsOfDay() const { return seconds_ - FloorDiv(seconds_, kSecondsPerDay) * kSecondsPerDay; }

std::string DateTime::Format(std::string_view pattern) const {
    const DateFields f = Fields();
    std::string out;
    out.reserve(pattern.size() + 4);
    for (std::size_t i = 0; i < pattern.size();) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("yyyy")) {
            Append2(out, f.year / 100);
            Append2(out, f.year % 100);
            i += 4;
        } else if (rest.starts_with("mm")) { Append2(out, f.month); i += 2; }
        else if (rest.starts_with("dd")) { Append2(out, f.day); i += 2; }
        else if (rest.starts_with("hh")) { Append2(out, f.hour); i += 2; }
        else if (rest.starts_with("nn")) { Append2(out, f.minute); i += 2; }
        else if (rest.starts_with("ss")) { Append2(out, f.second); i += 2; }
        else { out.push_back(pattern[i]); ++i; }
    }
    return out;
}

}  // namespace ravlen
