#pragma once
// Building a new filename from a template and the six variables.

#include <cstdint>
#include <string>
#include <string_view>

#include "model/date_time.h"
#include "model/file_facts.h"
#include "model/filename_format.h"
#include "model/run_options.h"

namespace ravlen {

struct FilenameValues {
    ravlen::DateTime DateTime;      // absent when not after DateTime::Zero()
    std::int32_t SerialNumber = 0;  // absent when below 1
    std::string Batch;              // absent when empty (likewise the next three)
    std::string Volume;
    std::string Original;
    std::string Extension;
};

// A date written with a date format: yyyy mm dd hh nn ss, text between
// double quotes as it stands (an unclosed quote runs to the end), every other
// character copied.
std::string FormatDate(const DateTime& when, std::string_view format);

// Expands %d %s %b %v %o %e in that order; later symbols are also replaced
// inside text inserted for earlier ones.
std::string BuildFilename(const FilenameFormatDefinition& format, const FilenameValues& values);

// The four built-in definitions, with or without the time; Custom gives the
// DCF style, as does any value outside the list.
FilenameFormatDefinition BuiltInFormat(FilenameFormat format, bool hasTime);

// The definition a run uses for a file: a built-in one, or the custom one.
FilenameFormatDefinition FormatForRun(const RunOptions& options, bool hasTime);

// The per-file naming step: the new filename of a timestamped file for the
// given serial number (0: no serial part).
std::string NewFilename(const FileFacts& facts, const RunOptions& options, std::int32_t serialNumber);

}  // namespace ravlen
