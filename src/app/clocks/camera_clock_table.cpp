#include "app/clocks/camera_clock_table.h"

#include <utility>

namespace ravlen {

CameraClockTable::CameraClockTable(std::vector<CameraSummary> cameras, const std::vector<CameraOffset>& kept) {
    std::vector<Row> unnamed;
    for (CameraSummary& camera : cameras) {
        Row row{camera.Camera, std::move(camera.Files), camera.Offset.IsNone() ? "" : camera.Offset.Text()};
        if (camera.ClockError) row.Suggested = TimeShift{-*camera.ClockError};
        (row.Editable() ? rows_ : unnamed).push_back(std::move(row));
    }
    for (const CameraOffset& offset : kept) {
        bool met = false;
        for (const Row& row : rows_) met = met || row.Camera == offset.Camera;
        if (!met) rows_.push_back({offset.Camera, {}, offset.Offset.Text()});
    }
    for (Row& row : unnamed) rows_.push_back(std::move(row));
}

void CameraClockTable::SetOffset(std::size_t row, std::string text) {
    // Blanks around the text are no part of it.
    const std::size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (row < rows_.size() && rows_[row].Editable()) rows_[row].Offset = std::move(text);
}

std::optional<TimeShift> CameraClockTable::Align(std::size_t referenceRow, const DateTime& reference,
                                                 std::size_t cameraRow, const DateTime& picture) {
    if (referenceRow >= rows_.size() || cameraRow >= rows_.size() || referenceRow == cameraRow ||
        !rows_[cameraRow].Editable())
        return std::nullopt;
    const std::optional<TimeShift> own = TimeShift::Parse(rows_[referenceRow].Offset);
    if (!own) return std::nullopt;
    const TimeShift offset{AlignOffset(reference, picture).Seconds + own->Seconds};
    rows_[cameraRow].Offset = offset.IsNone() ? "" : offset.Text();
    return offset;
}

CameraClockTable::Outcome CameraClockTable::Result() const {
    std::vector<CameraOffset> offsets;
    for (const Row& row : rows_) {
        if (!row.Editable()) continue;
        const std::optional<TimeShift> offset = TimeShift::Parse(row.Offset);
        if (!offset)
            return {"", "The offset \"" + row.Offset + "\" of " + row.Camera.Label() +
                            " is not valid. " + kTimeShiftForm};
        ravlen::SetOffset(offsets, row.Camera, *offset);
    }
    return {CameraOffsetsText(offsets), ""};
}

}  // namespace ravlen
