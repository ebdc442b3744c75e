#pragma once
// Per-camera clock offsets: a camera as its files name it, and the
// correction that applies to every file it recorded.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/date_time.h"
#include "model/file_facts.h"
#include "model/time_shift.h"

namespace ravlen {

// Make and Model as the file states them, plus the body's serial number
// where the file stores one (empty otherwise).
struct CameraId {
    std::string Make;
    std::string Model;
    std::string Serial;

    static CameraId Of(const FileFacts& facts) { return {facts.CameraMake, facts.CameraModel, facts.CameraSerial}; }
    bool Known() const { return !Make.empty() || !Model.empty(); }
    // "Make Model #Serial" for messages and reports.
    std::string Label() const;
    auto operator<=>(const CameraId&) const = default;
};

struct CameraOffset {
    CameraId Camera;
    TimeShift Offset;
    bool operator==(const CameraOffset&) const = default;
};

// The offsets as one settings text: entries joined by ";", each
// "Make|Model|Serial=+hh:mm:ss" (TimeShift's form); a "\" keeps the next
// character from being a separator. Nothing when the text has another form.
std::optional<std::vector<CameraOffset>> ParseCameraOffsets(std::string_view text);
// The offsets of a text the run's check has accepted; none for another form.
std::vector<CameraOffset> KeptCameraOffsets(std::string_view text);
std::string CameraOffsetsText(const std::vector<CameraOffset>& offsets);

// "Label +hh:mm:ss" for each entry, joined by ", "; empty for none.
std::string CameraOffsetsLabel(const std::vector<CameraOffset>& offsets);

// The offset kept for this camera (exact Make, Model and Serial); none for
// an unknown camera or one without an entry.
TimeShift OffsetFor(const std::vector<CameraOffset>& offsets, const CameraId& camera);
// Replaces the camera's entry, adds it, or removes it when the offset is none.
void SetOffset(std::vector<CameraOffset>& offsets, const CameraId& camera, TimeShift offset);

// Aligning a camera to a reference: two pictures of the same moment, one
// from each; the offset that moves the camera's time onto the reference's.
TimeShift AlignOffset(const DateTime& reference, const DateTime& camera);

}  // namespace ravlen
