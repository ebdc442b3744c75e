#pragma once
// The Camera clocks dialog without its widgets: a row for each camera with
// its files and the offset typed for it, aligning one camera to another, and
// the offsets to keep on OK.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/clocks/camera_survey.h"
#include "model/camera_clock.h"

namespace ravlen {

class CameraClockTable {
public:
    struct Row {
        CameraId Camera;  // empty: the files that name no camera, whose dates no offset corrects
        std::vector<FileRow> Files;  // in recording order; none for a camera known only from its kept offset
        std::string Offset;          // as typed; empty for none
        // The offset that would set the clock right by the GPS time its
        // files store; only offered, never typed in for the user.
        std::optional<TimeShift> Suggested = std::nullopt;
        bool Editable() const { return Camera.Known(); }
    };

    // The cameras surveyed, then those with a kept offset that the survey did
    // not meet (so that their offsets can be seen and cleared), then the files
    // that name no camera.
    CameraClockTable(std::vector<CameraSummary> cameras, const std::vector<CameraOffset>& kept);

    const std::vector<Row>& Rows() const { return rows_; }
    void SetOffset(std::size_t row, std::string text);

    // Two pictures of the same moment, one by each camera: the camera's
    // offset becomes the one that brings its clock onto the reference's as
    // corrected by the reference's own offset, and is typed into its row.
    // Nothing (and no change) when the cameras are one, or the reference's
    // offset is not valid.
    std::optional<TimeShift> Align(std::size_t referenceRow, const DateTime& reference, std::size_t cameraRow,
                                   const DateTime& picture);

    // OK: the CameraOffsets text to keep, or the refusal of the first offset
    // that is not valid (then nothing is kept).
    struct Outcome {
        std::string Text;
        std::string Refusal;
    };
    Outcome Result() const;

private:
    std::vector<Row> rows_;
};

}  // namespace ravlen
