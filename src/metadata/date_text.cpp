#include "metadata/date_text.h"

#include <array>
#include <chrono>
#include <cstdint>

namespace ravlen {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A cursor over the text with the few tokens a date text is made of.
class Cursor {
public:
    explicit Cursor(std::string_view text) : s_(text) {}

    bool AtEnd() const { return i_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[i_]; }

    bool Take(char c) {
        if (AtEnd() || s_[i_] != c) return false;
        ++i_;
        return true;
    }
    // One or more spaces.
    bool Spaces() {
        const std::size_t start = i_;
        while (!AtEnd() && s_[i_] == ' ') ++i_;
        return i_ > start;
    }
    // Between minDigits and maxDigits decimal digits, no more.
    bool Number(int minDigits, int maxDigits, int& value) {
        int n = 0;
        value = 0;
        while (!AtEnd() && IsDigit(s_[i_]) && n < maxDigits) {
            value = value * 10 + (s_[i_] - '0');
            ++i_;
            ++n;
        }
        return n >= minDigits && !(!AtEnd() && IsDigit(s_[i_]));
    }
    // An English weekday name or its three-letter abbreviation, any case.
    bool WeekdayName() {
        static constexpr std::array<std::string_view, 7> kNames = {
            "monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
        const std::string word = Word();
        for (std::string_view name : kNames) {
            if (word == name || word == name.substr(0, 3)) {
                i_ += word.size();
                return true;
            }
        }
        return false;
    }
    // An English month name or its three-letter abbreviation ("Sept" too), any
    // letter case; 1 to 12.
    bool MonthName(int& month) {
        static constexpr std::array<std::string_view, 12> kNames = {
            "january", "february", "march",     "april",   "may",      "june",
            "july",    "august",   "september", "october", "november", "december"};
        const std::string word = Word();
        for (std::size_t m = 0; m < kNames.size(); ++m) {
            if (word == kNames[m] || word == kNames[m].substr(0, 3) || (m == 8 && word == "sept")) {
                month = static_cast<int>(m) + 1;
                i_ += word.size();
                return true;
            }
        }
        return false;
    }

private:
    // The letters from the cursor on, lower-cased (not consumed).
    std::string Word() const {
        std::string word;
        for (std::size_t k = i_; k < s_.size() && word.size() < 10; ++k) {
            const char c = Lower(s_[k]);
            if (c < 'a' || c > 'z') break;
            word.push_back(c);
        }
        return word;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

struct Clock {
    int hour = 0, minute = 0, second = 0;
};

// H:MM or H:MM:SS, hours of one or two digits.
bool ReadClock(Cursor& c, Clock& t) {
    if (!c.Number(1, 2, t.hour) || !c.Take(':') || !c.Number(2, 2, t.minute)) return false;
    t.second = 0;
    if (c.Take(':') && !c.Number(2, 2, t.second)) return false;
    return t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

bool IsCalendarDate(int year, int month, int day) {
    using namespace std::chrono;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    return year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                          std::chrono::day{static_cast<unsigned>(day)}}
        .ok();
}

// A month written as digits or as a name.
bool ReadMonth(Cursor& c, int& month) {
    if (IsDigit(c.Peek())) return c.Number(1, 2, month);
    return c.MonthName(month);
}

std::optional<DateTime> ParseTimeAlone(std::string_view text) {
    Cursor c(text);
    Clock t;
    if (!ReadClock(c, t) || !c.AtEnd()) return std::nullopt;
    return DateTime::Zero().PlusSeconds(std::int64_t{t.hour} * 3600 + t.minute * 60 + t.second);
}

// yyyy sep month sep day [time]: the separator is one of / - : . used twice,
// or blanks (a ctime-style day may be padded with a second blank).
std::optional<DateTime> ParseDate(std::string_view text) {
    Cursor c(text);
    int year = 0, month = 0, day = 0;
    if (!c.Number(4, 4, year)) return std::nullopt;
    const char sep = c.Peek();
    if (sep == ' ') {
        c.Spaces();
        if (!ReadMonth(c, month) || !c.Spaces()) return std::nullopt;
    } else if (sep == '/' || sep == '-' || sep == ':' || sep == '.') {
        c.Take(sep);
        if (!ReadMonth(c, month) || !c.Take(sep)) return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!c.Number(1, 2, day) || !IsCalendarDate(year, month, day)) return std::nullopt;

    Clock t;
    if (!c.AtEnd()) {
        // The time follows blanks, an ISO "T" or a comma.
        const bool spaced = c.Spaces();
        if (!spaced && !c.Take('T') && !c.Take(',')) return std::nullopt;
        c.Spaces();
        if (!ReadClock(c, t) || !c.AtEnd()) return std::nullopt;
    }
    return DateTime::FromFields(year, month, day, t.hour, t.minute, t.second);
}

// The ctime layout "Sat May 17 10:23:45 2003" (the day may be blank-padded).
std::optional<DateTime> ParseCtime(std::string_view text) {
    Cursor c(text);
    int year = 0, month = 0, day = 0;
    Clock t;
    if (!c.WeekdayName() || !c.Spaces() || !c.MonthName(month) || !c.Spaces() || !c.Number(1, 2, day) ||
        !c.Spaces() || !ReadClock(c, t) || !c.Spaces() || !c.Number(4, 4, year) || !c.AtEnd())
        return std::nullopt;
    if (!IsCalendarDate(year, month, day)) return std::nullopt;
    return DateTime::FromFields(year, month, day, t.hour, t.minute, t.second);
}

}  // namespace

std::optional<DateTime> ParseDateText(std::string_view text) {
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    // Nothing shorter is a date or a time; nothing this long is one either.
    if (text.size() < 4 || text.size() > 64) return std::nullopt;
    if (auto time = ParseTimeAlone(text)) return time;
    if (auto date = ParseDate(text)) return date;
    return ParseCtime(text);
}

namespace {

// A whole number from a fixed-width field of a date string: digits, possibly
// padded with blanks; anything else (or nothing) is not a number.
std::optional<std::int64_t> FieldNumber(std::string_view text, std::size_t at, std::size_t width) {
    if (at >= text.size() || text.size() - at < width) return std::nullopt;
    std::string_view field = text.substr(at, width);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    if (field.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

std::optional<DateTime> ParseExifDate(std::string_view text, bool& beyond) {
    beyond = false;
    const auto field = [&](std::size_t at, std::size_t width) { return FieldNumber(text, at, width).value_or(-1); };
    std::int64_t year = field(0, 4);
    const std::int64_t month = field(5, 2), day = field(8, 2);
    const std::int64_t hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
    if (year <= 0 || month <= 0 || day < 1 || hour < 0 || minute < 0 || second < 0) return std::nullopt;
    if (year < 30) year += 2000;
    else if (year < 100) year += 1900;
    const std::optional<DateTime> date = DateTime::FromFields(year, month, day, hour, minute, second);
    beyond = !date;
    return date;
}

std::optional<ZonedDate> ParseZonedDate(std::string_view t) {
    while (!t.empty() && (t.back() == '\0' || t.back() == ' ')) t.remove_suffix(1);
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    std::size_t i = 0;
    auto number = [&](std::size_t digits) -> std::optional<int> {
        if (t.size() - i < digits) return std::nullopt;
        int v = 0;
        for (std::size_t k = 0; k < digits; ++k, ++i) {
            if (t[i] < '0' || t[i] > '9') return std::nullopt;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    auto separator = [&](std::string_view allowed) {
        if (i < t.size() && allowed.find(t[i]) != std::string_view::npos) return ++i, true;
        return false;
    };
    const auto year = number(4);
    if (!year || !separator("-:/")) return std::nullopt;
    const auto month = number(2);
    if (!month || !separator("-:/")) return std::nullopt;
    const auto day = number(2);
    if (!day || !separator("T ")) return std::nullopt;
    const auto hour = number(2);
    if (!hour || !separator(":")) return std::nullopt;
    const auto minute = number(2);
    if (!minute) return std::nullopt;
    int second = 0;
    if (separator(":")) {
        const auto s = number(2);
        if (!s) return std::nullopt;
        second = *s;
        if (separator(".,"))
            while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    }
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || second > 60)
        return std::nullopt;
    const auto date = DateTime::FromFields(*year, *month, *day, *hour, *minute, second);
    if (!date || date->Fields().day != *day) return std::nullopt;  // no 31 April
    ZonedDate z{*date, std::nullopt};
    if (i == t.size()) return z;
    if (t[i] == 'Z' && i + 1 == t.size()) return z.zone = 0, z;
    if (t[i] != '+' && t[i] != '-') return std::nullopt;
    const int sign = t[i++] == '-' ? -1 : 1;
    const auto zh = number(2);
    if (!zh) return std::nullopt;
    int zm = 0;
    if (i < t.size()) {
        separator(":");
        const auto m = number(2);
        if (!m || i != t.size()) return std::nullopt;
        zm = *m;
    }
    if (*zh > 14 || zm > 59) return std::nullopt;
    z.zone = sign * (*zh * 60 + zm);
    return z;
}

}  // namespace ravlen
