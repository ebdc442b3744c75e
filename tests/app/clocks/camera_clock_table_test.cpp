#include "app/clocks/camera_clock_table.h"

#include <gtest/gtest.h>

namespace ravlen {
namespace {

CameraSummary Camera(const std::string& model, const std::string& serial, const std::string& offset) {
    return {{"Make", model, serial}, {FileRow{}}, *TimeShift::Parse(offset), std::nullopt};
}

// The dialog's rows: the surveyed cameras, those known only from a kept
// offset, then the files that name no camera (no offset of their own).
TEST(CameraClockTable, RowsTypedOffsetsAndTheTextKeptOnOk) {
    const std::vector<CameraOffset> kept = *ParseCameraOffsets("Make|A|1=+00:10:00;Make|Gone|=-01:00:00");
    CameraClockTable table({Camera("A", "1", "+00:10:00"), CameraSummary{{}, {FileRow{}}, {}, std::nullopt}, Camera("B", "", "")},
                           kept);
    ASSERT_EQ(table.Rows().size(), 4u);
    EXPECT_EQ(table.Rows()[0].Offset, "+00:10:00");
    EXPECT_EQ(table.Rows()[1].Camera.Model, "B");
    EXPECT_EQ(table.Rows()[2].Camera.Model, "Gone");
    EXPECT_TRUE(table.Rows()[2].Files.empty());
    EXPECT_FALSE(table.Rows()[3].Editable());
    EXPECT_EQ(table.Result().Text, "Make|A|1=+00:10:00;Make|Gone|=-01:00:00");

    table.SetOffset(3, "+01:00:00");  // no camera: nothing to correct
    table.SetOffset(1, " -1 02:00:00 ");
    table.SetOffset(2, "");
    EXPECT_EQ(table.Result().Text, "Make|A|1=+00:10:00;Make|B|=-1 02:00:00");
    EXPECT_TRUE(table.Result().Refusal.empty());
    table.SetOffset(0, "+1:00:00");
    EXPECT_EQ(table.Result().Text, "");
    EXPECT_EQ(table.Result().Refusal, "The offset \"+1:00:00\" of Make A #1 is not valid. " + std::string(kTimeShiftForm));
}

// Two pictures of one moment: the camera's clock lands on the reference's
// as corrected, across a day; one camera cannot align to itself.
TEST(CameraClockTable, AlignsACameraToTheReferencesCorrectedClock) {
    CameraClockTable table({Camera("A", "", "+00:10:00"), Camera("B", "", "")}, {});
    const DateTime reference = *DateTime::FromFields(2024, 3, 1, 0, 5, 0);
    const DateTime picture = *DateTime::FromFields(2024, 2, 29, 23, 0, 0);
    EXPECT_EQ(table.Align(0, reference, 1, picture), TimeShift{4500});
    EXPECT_EQ(table.Rows()[1].Offset, "+01:15:00");
    EXPECT_EQ(table.Align(1, picture, 0, *DateTime::FromFields(2024, 2, 29, 22, 45, 0)), TimeShift{5400});
    EXPECT_EQ(table.Rows()[0].Offset, "+01:30:00");
    EXPECT_FALSE(table.Align(1, picture, 1, picture));
    table.SetOffset(0, "soon");
    EXPECT_FALSE(table.Align(0, reference, 1, picture));
    EXPECT_EQ(table.Rows()[1].Offset, "+01:15:00");
}

}  // namespace
}  // namespace ravlen
