#include "app/camera_media.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/mount_drives.h"
#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

struct FakeDrives : DriveList {
    std::vector<DriveInfo> drives;
    std::vector<DriveInfo> Drives() override { return drives; }
};

DriveInfo Card(const std::string& mount, const std::string& label = "", bool removable = true, bool ready = true) {
    return DriveInfo{mount, label, removable, ready};
}

class CameraMedia : public ::testing::Test {
protected:
    test::TempDir root;
    PosixFileSystem fs;
    test::FakePort port;
    FakeDrives drives;
    RunOptions options;

    // A mounted card holding one file in DCIM/100CANON.
    std::string MakeCard(const std::string& name, const std::string& file = "IMG_0001.JPG") {
        root.Write(name + "/DCIM/100CANON/" + file, "x");
        return root / name;
    }
    void Detect(bool ask) { DetectCameraMedia(ask, options, drives, fs, port); }
};

TEST_F(CameraMedia, OffersTheCardAndTakesItsRootOnYes) {
    const std::string e = MakeCard("E");
    drives.drives = {Card(MakeCard("fixed"), "", false), Card(MakeCard("gone"), "", true, false), Card(e, "CANON_DC")};
    options.ProcessSubfolders = 2;
    Detect(true);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, "Ravlen has found digital camera files on drive:\r\n\r\n\t" + e +
                                         "  (CANON_DC)\r\n\r\nSet Source Folder to the root of this drive?");
    EXPECT_EQ(port.messages[0].icon, MsgIcon::Question);
    EXPECT_EQ(port.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(port.messages[0].title, "Ravlen");
    EXPECT_EQ(options.SourcePath, e);
    EXPECT_EQ(options.ProcessSubfolders, 1);
    EXPECT_NE(CameraMediaQuestion(Card("/media/u/9C33")).find("\t/media/u/9C33  (Removable Disk)\r\n"),
              std::string::npos);
}

TEST_F(CameraMedia, CardAlreadyChosenIsPassedOverForTheNext) {
    const std::string e = MakeCard("E"), f = MakeCard("F");
    drives.drives = {Card(root.Mkdir("noDcim")), Card(e), Card(f)};
    for (const std::string& source : {e, e + "/", e + "//"}) {
        options.SourcePath = source;
        Detect(false);
        EXPECT_EQ(options.SourcePath, f) << source;
    }
}

TEST_F(CameraMedia, CardWithoutQualifyingFilesEndsTheSearch) {
    // Only files the filters turn away: a log (excluded pattern) and a hidden file.
    const std::string e = MakeCard("E", "MISC.LOG");
    root.Write("E/DCIM/101CANON/.IMG_0002.JPG", "x");
    drives.drives = {Card(e), Card(MakeCard("F"))};
    Detect(true);
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(options, RunOptions{});
    // The same card qualifies once the filters let its files through.
    options.ExcludePattern = 0;
    options.ExcludeHidden = 0;
    Detect(false);
    EXPECT_EQ(options.SourcePath, e);
}

TEST_F(CameraMedia, NoLeavesTheOptionsAndAskingOffIsSilent) {
    drives.drives = {Card(MakeCard("E"))};
    options.SourcePath = "/home/u/in";
    options.ProcessSubfolders = 0;
    const RunOptions before = options;
    port.answers = {MsgAnswer::No};
    Detect(true);
    EXPECT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(options, before);
    Detect(false);
    EXPECT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(options.SourcePath, root / "E");
}

// The mount table on a fake /proc, /sys and /dev/disk/by-label.
TEST(MountTable, ListsBlockDeviceMountsWithRemovabilityAndLabels) {
    test::TempDir t;
    // A disk under sys/devices/<bus>/block/<disk>, with <part> (if any) as sys/dev/block/<number>.
    const auto disk = [&](const std::string& bus, const std::string& name, const std::string& removable,
                          const std::string& part, const std::string& number) {
        std::string target = "devices/" + bus + "/block/" + name;
        if (!removable.empty()) t.Write("sys/" + target + "/removable", removable + "\n");
        if (!part.empty()) t.Write("sys/" + (target += "/" + part) + "/partition", "1\n");
        t.Mkdir("sys/" + target);
        t.Mkdir("sys/dev/block");
        t.Mkdir("sys/class/block");
        std::filesystem::create_directory_symlink("../../" + target, t / ("sys/dev/block/" + number));
        std::filesystem::create_directory_symlink("../../" + target,
                                                  t / ("sys/class/block/" + (part.empty() ? name : part)));
    };
    disk("pci0/ata1/host0", "sda", "0", "sda2", "8:2");
    disk("pci0/usb2/2-1/host6", "sdb", "0", "sdb1", "8:17");
    disk("pci0/ata2/host1", "sr0", "", "", "11:0");
    disk("mmc0/mmc0:1", "mmcblk0", "0", "mmcblk0p1", "179:1");
    t.Write("sys/devices/mmc0/mmc0:1/block/mmcblk0/device/type", "SD\n");
    disk("mmc1/mmc1:1", "mmcblk1", "0", "mmcblk1p1", "179:9");
    t.Write("sys/devices/mmc1/mmc1:1/block/mmcblk1/device/type", "MMC\n");
    disk("pci0/ata3/host2", "sdd", "", "", "8:48");  // no removable file
    disk("pci0/usb2/2-2/host7", "sdc", "1", "sdc1", "8:33");
    t.Mkdir("by-label");
    std::filesystem::create_symlink("../../sdb1", t / "by-label/CANON_DC");
    std::filesystem::create_symlink("../../mmcblk0p1", t / "by-label/My\\x20Card");

    const std::string m = t.Mkdir("mnt");
    for (const char* d : {"root", "My Card", "dvd", "sd", "emmc", "data", "bind", "fuse"}) t.Mkdir(std::string("mnt/") + d);
    t.Write("mountinfo",
            "20 1 8:2 / " + m + "/root rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
            "21 20 0:5 / /proc rw - proc proc rw\n"
            "22 20 0:25 / /run rw,nosuid shared:5 master:2 - tmpfs tmpfs rw\n"
            "garbage line\n\n"
            "30 20 8:17 / " + m + "/My\\040Card rw,nosuid - vfat /dev/sdb1 rw\n"
            "31 20 11:0 / " + m + "/dvd ro - iso9660 /dev/sr0 ro\n"
            "32 20 179:1 / " + m + "/sd rw - exfat /dev/mmcblk0p1 rw\n"
            "33 20 179:9 / " + m + "/emmc rw - ext4 /dev/mmcblk1p1 rw\n"
            "34 20 8:48 / " + m + "/data rw - ext4 /dev/sdd rw\n"
            "35 20 8:17 /DCIM " + m + "/bind rw - vfat /dev/sdb1 rw\n"
            "36 20 0:50 / " + m + "/fuse rw - fuseblk /dev/sdc1 rw\n"
            "37 20 8:99 / /mnt/unknown rw - ext4 /dev/sdz9 rw\n"
            "38 20 8:33 / " + m + "/gone rw - vfat /dev/sdc1 rw\n"
            "40 20 8:2 / /short\n");
    MountDriveList::Roots roots;
    roots.mountInfo = t / "mountinfo";
    roots.sys = t / "sys";
    roots.byLabel = t / "by-label";
    const std::vector<DriveInfo> drives = MountDriveList(roots).Drives();

    const std::vector<DriveInfo> expected = {
        {m + "/root", "", false, true}, {m + "/My Card", "CANON_DC", true, true}, {m + "/dvd", "", true, true},
        {m + "/sd", "My Card", true, true}, {m + "/emmc", "", false, true}, {m + "/data", "", false, true},
        {m + "/fuse", "", true, true}};
    ASSERT_EQ(drives.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].MountPoint);
        EXPECT_EQ(drives[i].MountPoint, expected[i].MountPoint);
        EXPECT_EQ(drives[i].VolumeLabel, expected[i].VolumeLabel);
        EXPECT_EQ(drives[i].Removable, expected[i].Removable);
        EXPECT_TRUE(drives[i].Ready);
    }

    // A mount point that has gone is listed as not ready.
    t.Write("mountinfo", "38 20 8:33 / " + m + "/gone rw - vfat /dev/sdc1 rw\n");
    const std::vector<DriveInfo> gone = MountDriveList(roots).Drives();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_FALSE(gone[0].Ready);
}

TEST(MountTable, EscapesAreUndone) {
    EXPECT_EQ(UnescapeMountField("/media/a\\040b\\011c\\012d\\134e"), "/media/a b\tc\nd\\e");
    EXPECT_EQ(UnescapeMountField("/x\\04"), "/x\\04");
    EXPECT_EQ(UnescapeLabelName("EOS\\x20DIGITAL\\x2fX\\x2"), "EOS DIGITAL/X\\x2");
}

}  // namespace
}  // namespace ravlen
