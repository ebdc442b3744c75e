#include "app/cards/media_arrivals.h"

#include <gtest/gtest.h>

#include "platform/posix_file_system.h"
#include "support/fake_drives.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using namespace std::string_literals;

std::vector<std::string> MountPoints(const std::vector<DriveInfo>& drives) {
    std::vector<std::string> points;
    for (const DriveInfo& d : drives) points.push_back(d.MountPoint);
    return points;
}

TEST(MediaArrivals, EachMountIsNewOnceAndAgainAfterItWentAway) {
    test::FakeDrives table;
    const DriveInfo root{"/", "", false, true}, card{"/media/card", "", true, true};
    table.drives = {root, {"/media/old", "", true, true}, {"/media/slow", "", true, false}};
    MediaArrivals arrivals(table);
    EXPECT_TRUE(arrivals.Arrived().empty());  // what was there at the start

    table.drives = {root, card, {"/media/slow", "", true, true}};
    EXPECT_EQ(MountPoints(arrivals.Arrived()), (std::vector<std::string>{"/media/card", "/media/slow"}));
    EXPECT_TRUE(arrivals.Arrived().empty());
    table.drives = {root};
    EXPECT_TRUE(arrivals.Arrived().empty());
    table.drives = {root, {"/media/old", "", true, true}, card};  // put back
    EXPECT_EQ(MountPoints(arrivals.Arrived()), (std::vector<std::string>{"/media/old", "/media/card"}));
}

// The card mounted after the wait began is taken without a question, also at
// the folder that was the source last time; a fixed disk, a card without
// camera files and the cards that were there before are passed over.
TEST(MediaArrivals, WaitTakesTheFirstCameraCardMountedAfterItBegan) {
    test::TempDir t;
    for (const char* d : {"before", "fixed", "empty", "card"}) t.Write(d + "/DCIM/100CANON/IMG_0001.JPG"s, "x");
    t.Write("empty/DCIM/100CANON/MISC.LOG", "x");
    std::filesystem::remove(t / "empty/DCIM/100CANON/IMG_0001.JPG");
    test::FakeDrives table;
    table.drives = {{t / "before", "", true, true}};
    MediaArrivals arrivals(table);
    // Each wait mounts the next of these.
    std::vector<DriveInfo> mounts = {{t / "fixed", "", false, true}, {t / "empty", "", true, true},
                                     {t / "card", "CANON_DC", true, true}};
    std::size_t waits = 0;
    const auto nextMount = [&] {
        if (waits == mounts.size()) return false;
        table.drives.push_back(mounts[waits++]);
        return true;
    };
    PosixFileSystem fs;
    test::FakePort port;
    RunOptions options;
    options.SourcePath = t / "card";
    options.ProcessSubfolders = ProcessSubfolders::Preserve;
    options.ExcludePattern = true;
    ASSERT_TRUE(WaitForCameraCard(nextMount, arrivals, options, fs, port));
    EXPECT_EQ(waits, 3u);
    EXPECT_EQ(options.SourcePath, t / "card");
    EXPECT_EQ(options.ProcessSubfolders, ProcessSubfolders::Flatten);
    EXPECT_TRUE(port.messages.empty());

    // Stopped (Ctrl+C) before any card: the options stay as they were.
    RunOptions unchanged;
    unchanged.SourcePath = "/home/u/in";
    EXPECT_FALSE(WaitForCameraCard(nextMount, arrivals, unchanged, fs, port));
    EXPECT_EQ(unchanged.SourcePath, "/home/u/in");
}

}  // namespace
}  // namespace ravlen
