#include "app/clocks/camera_survey.h"

#include <gtest/gtest.h>

#include <filesystem>

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
                         "Apple\tiPhone 12\t\t1\t2024/07/14 11:00:00\t2024/07/14 11:00:00\t+00:00:30",
                         "Canon\tEOS\\\\R5\t012345\t2\t2024/07/14 09:00:00\t2024/07/14 10:00:00\t-00:05:00",
                         "Canon\tEOS\\\\R5\t999\t1\t2024/07/14 09:30:00\t2024/07/14 09:30:00\t",
                         "\t\t\t1\t2024/07/14 12:00:00\t2024/07/14 12:00:00\t",
                     }));
    EXPECT_EQ(survey.Cameras[1].Files[0].SourceName, "IMG_0001.JPG");
    EXPECT_FALSE(fs::exists(card.out));
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
