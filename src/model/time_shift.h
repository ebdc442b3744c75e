#pragma once
// A signed duration that corrects a camera's clock: "[+|-][days ]hh:mm:ss".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/date_time.h"

namespace ravlen {

// How a shift is typed, as the refusal of one that is not valid says it.
inline constexpr const char* kTimeShiftForm =
    "Type a sign, days and a blank when needed, then hours:minutes:seconds, for example +01:00:00 or -1 02:30:00.";

struct TimeShift {
    std::int64_t Seconds = 0;

    // Empty text is no shift; otherwise an optional sign, up to five digits
    // of days and a blank, two digits of hours, then minutes and seconds
    // 00-59. Nothing when the text is anything else.
    static std::optional<TimeShift> Parse(std::string_view text);
    // Always signed, days only when there are some, hours below 24:
    // "+01:00:00", "-2 03:04:05".
    std::string Text() const;
    // The date moved by the shift, carried across days, months and years;
    // nothing when it leaves years 1 to 9999.
    std::optional<DateTime> Apply(const DateTime& date) const;

    bool IsNone() const { return Seconds == 0; }
    bool operator==(const TimeShift&) const = default;
};

}  // namespace ravlen
