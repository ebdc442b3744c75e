#pragma once
#include <string>

namespace ravlen {

// The texts that define a filename format: the template and, for each of the
// variables (%d %s %b %v %o %e, then %c %n %l %a %j %q), its prefix, format
// and suffix.
struct FilenameFormatDefinition {
    std::string Template;
    std::string DatePrefix, DateFormat, DateSuffix;
    std::string SerialPrefix, SerialFormat, SerialSuffix;
    std::string BatchPrefix, BatchFormat, BatchSuffix;
    std::string VolumePrefix, VolumeFormat, VolumeSuffix;
    std::string OriginalPrefix, OriginalFormat, OriginalSuffix;
    std::string ExtensionPrefix, ExtensionFormat, ExtensionSuffix;
    // What the camera wrote and what the import adds; a template holding none
    // of these symbols is not touched by them.
    std::string CameraPrefix{}, CameraFormat = "&", CameraSuffix{};
    std::string BodySerialPrefix{}, BodySerialFormat = "&", BodySerialSuffix{};
    std::string LensPrefix{}, LensFormat = "&", LensSuffix{};
    std::string ArtistPrefix{}, ArtistFormat = "&", ArtistSuffix{};
    std::string JobPrefix{}, JobFormat = "&", JobSuffix{};
    std::string SequencePrefix{}, SequenceFormat = "0000", SequenceSuffix{};

    bool operator==(const FilenameFormatDefinition&) const = default;
};

}  // namespace ravlen
