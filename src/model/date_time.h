#pragma once
// A calendar date and time of day with one-second resolution, in local civil
// time. Held as seconds since 1970-01-01 00:00:00 of that same calendar; no
// time zone is attached, so camera clock values keep their face value.

#include <compare>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace ravlen {

struct DateFields {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class DateTime {
public:
    constexpr DateTime() = default;
    static constexpr DateTime FromCivilSeconds(std::int64_t s) { DateTime d; d.seconds_ = s; return d; }

    // Year, month, day, hour, minute and second with values beyond a unit's
    // range carried into the next (month 13 is January of the next year, day 0
    // the last day of the previous month, hour 24 the next day). Empty when the
    // result falls outside years 1 to 9999.
    static std::optional<DateTime> FromFields(std::int64_t year, std::int64_t month, std::int64_t day,
                                              std::int64_t hour = 0, std::int64_t minute = 0,
                                              std::int64_t second = 0);
    // A point in time as the local clock of this machine shows it.
    static DateTime FromTimeT(std::time_t t);
    static DateTime Now();
    // The date/time whose numeric value is 0 in the classic date type.
    static DateTime Zero();

    std::int64_t CivilSeconds() const { return seconds_; }
    DateFields Fields() const;
    DateTime DateOnly() const;            // midnight of the same day
    std::int64_t SecondsOfDay() const;    // 0 .. 86399
    DateTime PlusSeconds(std::int64_t s) const { return FromCivilSeconds(seconds_ + s); }

    // Classic pattern codes: yyyy mm dd hh nn ss; every other character is copied.
    std::string Format(std::string_view pattern) const;
    std::string FormatFull() const { return Format("yyyy/mm/dd hh:nn:ss"); }

    friend constexpr auto operator<=>(const DateTime&, const DateTime&) = default;

private:
    std::int64_t seconds_ = 0;
};

}  // namespace ravlen
