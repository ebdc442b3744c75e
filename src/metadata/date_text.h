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
// Rejects everything else, impossible dates included. The text ends at its
// first zero byte.
std::optional<DateTime> ParseDateText(std::string_view text);

}  // namespace ravlen
