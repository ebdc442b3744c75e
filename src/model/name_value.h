#pragma once
// The values that names and folders take from what a camera wrote.

#include <string>
#include <string_view>

namespace ravlen {

// A value from a file or the user made fit for a name: "/", control
// characters and the characters a name may not hold become "-", blanks at
// both ends go, and it is cut to at most 64 bytes (whole characters); a value
// of dots alone becomes dashes.
std::string NameValue(std::string_view text);

// The camera as a name shows it: the model alone where it already begins
// with the make or with the make's first word (letter case ignored), else
// make and model; either alone when the other is missing.
std::string ShortCameraName(std::string_view make, std::string_view model);

}  // namespace ravlen
