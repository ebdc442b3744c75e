#pragma once
// Turning a date text from a RIFF chunk into a date/time, independent of the
// locale.

#include <cstdint>
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

// The EXIF date text "yyyy:mm:dd hh:nn:ss" of every container (its first 19
// bytes; fewer where the file ends), cut into its six fields by position: a
// field is digits, blank-padded. Values beyond a unit's range carry over; a
// two-digit year is 1930 to 2029. Nothing when a field is not a number or the
// year, month or day is zero; `beyond` is set, and nothing returned, for a
// date past the years 1 to 9999.
std::optional<DateTime> ParseExifDate(std::string_view text, bool& beyond);

// A date text "YYYY-MM-DDTHH:MM:SS" (also with ':' or '/' in the date, a
// blank for the T, without seconds, with a fraction) and its zone: "Z",
// "+HH:MM", "+HHMM" or "+HH". Blanks and zero bytes around it are ignored.
struct ZonedDate {
    DateTime local;                    // the time of day the text states
    std::optional<std::int32_t> zone;  // minutes east of UTC
};

std::optional<ZonedDate> ParseZonedDate(std::string_view text);

}  // namespace ravlen
