#include <gtest/gtest.h>

#include "model/camera_clock.h"

namespace ravlen {
namespace {

TEST(CameraClock, OffsetsTextRoundTripsAndFindsOnlyTheSameCamera) {
    std::vector<CameraOffset> offsets;
    const CameraId r5{"Canon", "Canon EOS R5", "0123"}, odd{"A|B;C", "x=y\\z", ""};
    SetOffset(offsets, r5, TimeShift{3600});
    SetOffset(offsets, odd, TimeShift{-90});
    SetOffset(offsets, {"", "", ""}, TimeShift{5});  // an unknown camera has no entry
    const std::string text = CameraOffsetsText(offsets);
    EXPECT_EQ(text, "Canon|Canon EOS R5|0123=+01:00:00;A\\|B\\;C|x\\=y\\\\z|=-00:01:30");
    EXPECT_EQ(ParseCameraOffsets(text), offsets);
    EXPECT_EQ(OffsetFor(offsets, r5).Seconds, 3600);
    // Another body of the same model, or the model without its serial, is another camera.
    EXPECT_TRUE(OffsetFor(offsets, {"Canon", "Canon EOS R5", "0124"}).IsNone());
    EXPECT_TRUE(OffsetFor(offsets, {"Canon", "Canon EOS R5", ""}).IsNone());
    EXPECT_EQ(CameraOffsetsLabel(offsets), "Canon EOS R5 #0123 +01:00:00, A|B;C x=y\\z -00:01:30");
    SetOffset(offsets, r5, TimeShift{});  // no offset: the entry goes
    EXPECT_EQ(offsets.size(), 1u);
    EXPECT_EQ(ParseCameraOffsets(""), std::vector<CameraOffset>{});
    for (const char* bad : {"Canon|R5=+01:00:00", "Canon|R5|=01:00", "Canon|R5|=+00:00:00", "||=+01:00:00",
                            "Canon|R5|=+01:00:00;", "Canon|R5|\\", "Canon|R5||x=+01:00:00"})
        EXPECT_FALSE(ParseCameraOffsets(bad)) << bad;
}

// Two pictures of one moment: the offset moves the camera's time onto the
// reference's, across a day's and a year's end.
TEST(CameraClock, AlignOffsetIsTheDifferenceOfTheRecordedTimes) {
    const DateTime reference = *DateTime::FromFields(2025, 1, 1, 0, 0, 30);
    const DateTime camera = *DateTime::FromFields(2024, 12, 31, 23, 1, 0);
    const TimeShift offset = AlignOffset(reference, camera);
    EXPECT_EQ(offset.Text(), "+00:59:30");
    EXPECT_EQ(offset.Apply(camera), reference);
    EXPECT_EQ(AlignOffset(camera, reference).Text(), "-00:59:30");
    EXPECT_TRUE(AlignOffset(camera, camera).IsNone());
}

}  // namespace
}  // namespace ravlen
