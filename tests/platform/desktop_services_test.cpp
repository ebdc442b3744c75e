#include <gtest/gtest.h>

#include <filesystem>

#include "platform/desktop_services.h"

namespace ravlen {
namespace {

TEST(DesktopServices, DescribesTypesAndFindsTheProgram) {
    // The file does not exist: only its name counts.
    EXPECT_EQ(MimeTypeDescription("/nowhere/IMG_0001.JPG"), "JPEG image");
    EXPECT_EQ(MimeTypeDescription("/nowhere/card.zq9x"), "ZQ9X file");
    EXPECT_EQ(MimeTypeDescription("/nowhere/IMG_0001"), "File");
    // Names told apart only by the digits of their extensions keep their own
    // types, asked in any order.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(MimeTypeDescription("/nowhere/MVI_0002.MP4"), "MPEG-4 video");
        EXPECT_EQ(MimeTypeDescription("/nowhere/MVI_0003.MP3"), "MP3 audio");
        EXPECT_EQ(MimeTypeDescription("/nowhere/IMG_0004.ZQ8X"), "ZQ8X file");
        EXPECT_EQ(MimeTypeDescription("/nowhere/IMG_0005.ZQ9X"), "ZQ9X file");
    }
    EXPECT_EQ(ProgramFileName(), "platform_desktop_tests");
    EXPECT_TRUE(std::filesystem::is_directory(ProgramFolder()));
    EXPECT_TRUE(std::filesystem::exists(ProgramFolder() + "/" + ProgramFileName()));
}

TEST(DesktopServices, MissingDocumentIsNotOpened) {
    std::string error;
    EXPECT_FALSE(OpenWithDesktop("\"/nowhere/Ravlen User Guide.htm\"", error));
    EXPECT_EQ(error, "No such file or directory");
}

}  // namespace
}  // namespace ravlen
