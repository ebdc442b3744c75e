#include "app/clocks/camera_survey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/clocks/camera_clock_table.h"

#include "platform/posix_file_system.h"
#include "support/camera_jpeg.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::CameraJpeg;
namespace fs = std::filesystem;

struct Card {
    test::TempDir dir;
    std::string src = dir.Mkdir("card"), out = dir / "out";
    PosixFileSystem files;
    test::FakePort port;
    RunOptions options{.SourcePath = src, .OutputPath = out, .DateMode = DateMode::MetadataOnly,
                       .AutoDetect = false, .RequestConfirmation = false};
    CameraSurvey Survey() { return SurveyCameras(RunServices{files, port, nullptr, nullptr, {}}, options); }
};

// The files the run would place, by camera: its clock's first and last time
// (before the run's shift), the offset kept for it, the files that name no
// camera last; the filters' and the skipped files left out; nothing made.
TEST(CameraSurvey, ListsEachCamerasFilesTimesAndOffset) {
    Card card;
    card.dir.Write("card/IMG_0003.JPG", CameraJpeg("2024:07:14 10:00:00", "Canon", "EOS\\R5", "012345"));
    card.dir.Write("card/IMG_0001.JPG", CameraJpeg("2024:07:14 09:00:00", "Canon", "EOS\\R5", "012345"));
    card.dir.Write("card/IMG_0002.JPG", CameraJpeg("2024:07:14 09:30:00", "Canon", "EOS\\R5", "999"));
    card.dir.Write("card/IMG_0004.JPG", CameraJpeg("2024:07:14 11:00:00", "Apple", "iPhone 12"));
    card.dir.Write("card/IMG_0005.JPG", CameraJpeg("2024:07:14 12:00:00", "", ""));
    card.dir.Write("card/IMG_0006.JPG", "no metadata: skipped");
    card.dir.Write("card/IMG_0007.JPG", CameraJpeg("2024:07:14 13:00:00", "Apple", "iPhone 12"));
    card.options.ExcludePattern = true, card.options.ExcludePatternList = "*7.JPG";
    card.options.TimeShift = "+1 00:00:00";
    card.options.CameraOffsets = "Canon|EOS\\\\R5|012345=-00:05:00;Apple|iPhone 12|=+00:00:30";

    const CameraSurvey survey = card.Survey();
    EXPECT_FALSE(survey.Stopped);
    ASSERT_EQ(survey.Cameras.size(), 4u);
    std::vector<std::string> lines;
    for (const CameraSummary& camera : survey.Cameras) lines.push_back(CameraLine(camera));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Apple\tiPhone 12\t\t1\t2024/07/14 11:00:00\t2024/07/14 11:00:00\t+00:00:30\t",
                         "Canon\tEOS\\\\R5\t012345\t2\t2024/07/14 09:00:00\t2024/07/14 10:00:00\t-00:05:00\t",
                         "Canon\tEOS\\\\R5\t999\t1\t2024/07/14 09:30:00\t2024/07/14 09:30:00\t\t",
                         "\t\t\t1\t2024/07/14 12:00:00\t2024/07/14 12:00:00\t\t",
                     }));
    EXPECT_EQ(survey.Cameras[1].Files[0].SourceName, "IMG_0001.JPG");
    EXPECT_FALSE(fs::exists(card.out));
}

// A camera whose clock runs 3 min 20 s slow of the GPS time its photo stores
// (exiftool's tags): the error is listed, and the clocks dialog offers its
// correction.
TEST(CameraSurvey, ClockErrorAgainstGps) {
    Card card;
    std::ifstream seed(RAVLEN_FUZZ_CORPUS "/jpeg_tiff/gps_zone.jpg", std::ios::binary);
    card.dir.Write("card/DSC_0001.JPG", std::string(std::istreambuf_iterator<char>(seed), {}));
    const CameraSurvey survey = card.Survey();
    ASSERT_EQ(survey.Cameras.size(), 1u);
    EXPECT_EQ(CameraLine(survey.Cameras[0]),
              "Nikon\tZ6\t3001234\t1\t2023/03/12 07:15:30\t2023/03/12 07:15:30\t\t-00:03:20");
    const CameraClockTable table(survey.Cameras, {});
    ASSERT_TRUE(table.Rows().at(0).Suggested);
    EXPECT_EQ(table.Rows()[0].Suggested->Text(), "+00:03:20");
    EXPECT_EQ(table.Rows()[0].Offset, "");  // offered, not typed in
}

// Stop is answered: the survey ends with the files read before it; a check
// that refuses the run ends it with its message.
TEST(CameraSurvey, StopsWhenAskedAndEndsOnARefusedCheck) {
    Card card;
    for (int i = 1; i <= 5; ++i)
        card.dir.Write("card/IMG_000" + std::to_string(i) + ".JPG", CameraJpeg("2024:07:14 09:00:0" + std::to_string(i), "A", "B"));
    card.port.onPump = [](test::FakePort& p) { p.SetCancel(p.progressValue >= 2); };
    const CameraSurvey stopped = card.Survey();
    EXPECT_TRUE(stopped.Stopped);
    ASSERT_EQ(stopped.Cameras.size(), 1u);
    EXPECT_LT(stopped.Cameras[0].Files.size(), 5u);

    card.port.onPump = nullptr;
    card.options.TimeShift = "+01:60:00";
    EXPECT_EQ(card.Survey().Outcome, RunOutcome::Ended);
    EXPECT_NE(card.port.messages.back().text.find("time shift"), std::string::npos);
}

}  // namespace
}  // namespace ravlen
