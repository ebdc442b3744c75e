#pragma once
// The example filename beside the main window's "Format" list.

#include <cstddef>
#include <string>

#include "model/date_time.h"
#include "model/filename_format.h"
#include "model/run_options.h"

namespace ravlen {

// The sample name for the chosen format, serial choice and batch/volume
// choice, built for `now` and wrapped for display.
std::string FilenameSample(FilenameFormat format, AddSerial serial, AddBatchVolume batchVolume,
                           const FilenameFormatDefinition& custom, const DateTime& now);

// The wrap width of a format's sample: 48 and 158 for the two labelled
// formats, 0 (no wrapping) otherwise.
std::size_t SampleWrapWidth(FilenameFormat format);

// Breaks a long sample into lines of at most `width` characters, each line
// ending after its last "}" where one lies within reach; lines are joined by
// CR LF. Unchanged when width is 0 or the text holds no "}".
std::string WrapSample(const std::string& text, std::size_t width);

}  // namespace ravlen
