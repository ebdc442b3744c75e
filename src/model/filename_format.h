#pragma once
#include <string>

namespace ravlen {

// The 19 texts that define a filename format: the template and, for each of
// the six variables (%d %s %b %v %o %e), its prefix, format and suffix.
struct FilenameFormatDefinition {
    std::string Template;
    std::string DatePrefix, DateFormat, DateSuffix;
    std::string SerialPrefix, SerialFormat, SerialSuffix;
    std::string BatchPrefix, BatchFormat, BatchSuffix;
    std::string VolumePrefix, VolumeFormat, VolumeSuffix;
    std::string OriginalPrefix, OriginalFormat, OriginalSuffix;
    std::string ExtensionPrefix, ExtensionFormat, ExtensionSuffix;

    bool operator==(const FilenameFormatDefinition&) const = default;
};

}  // namespace ravlen
