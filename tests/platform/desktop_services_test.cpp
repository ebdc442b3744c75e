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
