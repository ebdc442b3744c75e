#pragma once
// Turning a date text from a RIFF chunk into a date/time, independent of the
// locale.

#include <optional>
#include <string_view>

#include "model/date_time.h"

namespace ravlen {

// Accepts "YYYY Mon DD HH:MM:SS" (English month names or abbreviations, any
// letter case, a blank-padded day), "YYYY MM DD HH:MM:SS", "YYYY/MM/DD HH:MM:SS",
// "YYYY-MM-DD", "YYYY/MM/DD" and a time alone "HH:MM:SS" (on day zero).
// Generally: a four-digit year, a month (digits or name) and a day separated
// by blanks or twice by one of / - : . ; then optionally, after blanks, "T" or
// ",", a time H:MM or H:MM:SS; and the ctime layout "Sat May 17 10:23:45 2003".
// Rejects everything else, impossible dates
// included. The text ends at its first zero byte; surrounding blanks, tabs,
// CR and LF are ignored.
std::optional<DateTime> ParseDateText(std::string_view text);

}  // namespace ravlen
