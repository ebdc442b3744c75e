#include "app/camera_media.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/mount_drives.h"
#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::FakePort;
using test::TempDir;

struct FakeDrives : DriveList {
    std::vector<DriveInfo> drives;
    std::vector<DriveInfo> Drives() override { return drives; }
};

DriveInfo Card(const std::string& mount, const std::string& label = "", bool removable = true, bool ready = true) {
    DriveInfo d;
    d.MountPoint = mount;
    d.VolumeLabel = label;
    d.Removable = removable;
    d.Ready = ready;
    return d;
}

class CameraMedia : public ::testing::Test {
protected:
    TempDir root;
    PosixFileSystem fs;
    FakePort port;
    FakeDrives drives;
    RunOptions options;

    // A mounted card with one picture in DCIM/100CANON.
    std::string MakeCard(const std::string& name, const std::string& file = "IMG_0001.JPG") {
        root.Write(name + "/DCIM/100CANON/" + file, "x");
        return root / name;
    }
    void Detect(bool ask) { DetectCameraMedia(ask, options, drives, fs, port); }
};

TEST_F(CameraMedia, OffersTheCardAndTakesItsRootOnYes) {
    const std::string e = MakeCard("E");
    drives.drives = {Card(root / "fixed", "", false), Card(e, "CANON_DC")};
    root.Mkdir("fixed/DCIM");
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
}

TEST_F(CameraMedia, UnlabelledCardIsARemovableDisk) {
    EXPECT_EQ(CameraMediaQuestion(Card("/media/u/9C33-6BBD")),
              "Ravlen has found digital camera files on drive:\r\n\r\n\t/media/u/9C33-6BBD  (Removable Disk)"
              "\r\n\r\nSet Source Folder to the root of this drive?");
}

TEST_F(CameraMedia, CardAlreadyChosenIsPassedOverForTheNext) {
    const std::string e = MakeCard("E"), f = MakeCard("F");
    drives.drives = {Card(e), Card(f)};
    for (const std::string& source : {e, e + "/", e + "//"}) {
        options.SourcePath = source;
        port.messages.clear();
        Detect(true);
        ASSERT_EQ(port.messages.size(), 1u) << source;
        EXPECT_NE(port.messages[0].text.find("\t" + f + "  "), std::string::npos);
        EXPECT_EQ(options.SourcePath, f);
    }
}

TEST_F(CameraMedia, OnlyRemovableReadyDrivesWithDcimAreCandidates) {
    const std::string fixed = MakeCard("fixed"), gone = MakeCard("gone"), bare = root.Mkdir("bare");
    drives.drives = {Card(fixed, "", false), Card(gone, "", true, false), Card(bare)};
    options.SourcePath = "/home/u/in";
    Detect(false);
    Detect(true);
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(options.SourcePath, "/home/u/in");
}

TEST_F(CameraMedia, CardWithoutQualifyingFilesEndsTheSearch) {
    // Only files the filters turn away: a log (excluded pattern) and a hidden file.
    const std::string e = MakeCard("E", "MISC.LOG");
    root.Write("E/DCIM/101CANON/.IMG_0002.JPG", "x");
    const std::string f = MakeCard("F");
    drives.drives = {Card(e), Card(f)};
    Detect(false);
    EXPECT_EQ(options, RunOptions{});

    // With include-only *.avi a card of pictures is not offered either.
    drives.drives = {Card(f)};
    options.IncludePattern = 1;
    options.IncludePatternList = "*.avi";
    Detect(true);
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(options.SourcePath, "");

    // Without the filters the same first card qualifies.
    drives.drives = {Card(e), Card(f)};
    options = RunOptions{};
    options.ExcludePattern = 0;
    options.ExcludeHidden = 0;
    Detect(false);
    EXPECT_EQ(options.SourcePath, e);
}

TEST_F(CameraMedia, NoLeavesTheOptionsAndAskingOffIsSilent) {
    const std::string e = MakeCard("E");
    drives.drives = {Card(e)};
    options.SourcePath = "/home/u/in";
    options.ProcessSubfolders = 0;
    const RunOptions before = options;
    port.answers = {MsgAnswer::No};
    Detect(true);
    EXPECT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(options, before);

    port.messages.clear();
    Detect(false);
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(options.SourcePath, e);
    EXPECT_EQ(options.ProcessSubfolders, 1);
}

// ---------------------------------------------------------------------------
// The mount table on a fake /proc, /sys and /dev/disk/by-label.

class MountTable : public ::testing::Test {
protected:
    TempDir t;

    // A disk under sys/devices/<parent>/block/<disk>, its partition <part>
    // (none when empty) reachable as sys/dev/block/<number>.
    void Disk(const std::string& parent, const std::string& disk, const std::string& removable,
              const std::string& part, const std::string& number) {
        const std::string diskDir = "sys/devices/" + parent + "/block/" + disk;
        t.Mkdir(diskDir);
        if (!removable.empty()) t.Write(diskDir + "/removable", removable + "\n");
        std::string target = diskDir;
        if (!part.empty()) {
            target += "/" + part;
            t.Write(target + "/partition", "1\n");
        }
        t.Mkdir("sys/dev/block");
        std::filesystem::create_directory_symlink("../../" + target.substr(4), t / ("sys/dev/block/" + number));
        t.Mkdir("sys/class/block");
        std::filesystem::create_directory_symlink("../../" + target.substr(4),
                                                  t / ("sys/class/block/" + (part.empty() ? disk : part)));
    }
    void Label(const std::string& escaped, const std::string& device) {
        t.Mkdir("by-label");
        std::filesystem::create_symlink("../../" + device, t / ("by-label/" + escaped));
    }
    std::vector<DriveInfo> Read(const std::string& mountinfo) {
        t.Write("mountinfo", mountinfo);
        MountDriveList::Roots roots;
        roots.mountInfo = t / "mountinfo";
        roots.sys = t / "sys";
        roots.byLabel = t / "by-label";
        return MountDriveList(roots).Drives();
    }
};

TEST_F(MountTable, ListsBlockDeviceMountsWithRemovabilityAndLabels) {
    Disk("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", "sda", "0", "sda2", "8:2");
    Disk("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0", "sdb", "0", "sdb1", "8:17");
    Disk("pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0", "sr0", "", "", "11:0");
    Disk("platform/mmc0/mmc0:0001", "mmcblk0", "0", "mmcblk0p1", "179:1");
    t.Write("sys/devices/platform/mmc0/mmc0:0001/block/mmcblk0/device/type", "SD\n");
    Disk("platform/mmc1/mmc1:0001", "mmcblk1", "0", "mmcblk1p1", "179:9");
    t.Write("sys/devices/platform/mmc1/mmc1:0001/block/mmcblk1/device/type", "MMC\n");
    Disk("pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0", "sdd", "", "", "8:48");  // no removable file
    Disk("pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0", "sdc", "1", "sdc1", "8:33");
    Label("CANON_DC", "sdb1");
    Label("My\\x20Card", "mmcblk0p1");
    Label("ROOT", "sda2");

    const std::string root = t.Mkdir("mnt/root"), card = t.Mkdir("mnt/My Card"), dvd = t.Mkdir("mnt/dvd");
    const std::string sd = t.Mkdir("mnt/sd"), emmc = t.Mkdir("mnt/emmc"), data = t.Mkdir("mnt/data");
    const std::string bind = t.Mkdir("mnt/bind"), fuse = t.Mkdir("mnt/fuse");
    const std::string esc = t.path();
    const std::string table =
        "20 1 8:2 / " + root + " rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
        "21 20 0:5 / /proc rw - proc proc rw\n"
        "22 20 0:25 / /run rw,nosuid shared:5 master:2 - tmpfs tmpfs rw\n"
        "garbage line\n"
        "\n"
        "30 20 8:17 / " + esc + "/mnt/My\\040Card rw,nosuid - vfat /dev/sdb1 rw\n"
        "31 20 11:0 / " + dvd + " ro - iso9660 /dev/sr0 ro\n"
        "32 20 179:1 / " + sd + " rw - exfat /dev/mmcblk0p1 rw\n"
        "33 20 179:9 / " + emmc + " rw - ext4 /dev/mmcblk1p1 rw\n"
        "34 20 8:48 / " + data + " rw - ext4 /dev/sdd rw\n"
        "35 20 8:17 /DCIM " + bind + " rw - vfat /dev/sdb1 rw\n"
        "36 20 0:50 / " + fuse + " rw - fuseblk /dev/sdc1 rw\n"
        "37 20 8:99 / /mnt/unknown rw - ext4 /dev/sdz9 rw\n"
        "38 20 8:2 / " + esc + "/mnt/vanished rw - ext4 /dev/sda2 rw\n"
        "40 20 8:2 / /short\n";
    const std::vector<DriveInfo> drives = Read(table);

    struct Expected {
        std::string mount, label;
        bool removable;
    };
    const std::vector<Expected> expected = {
        {root, "ROOT", false}, {card, "CANON_DC", true}, {dvd, "", true},  {sd, "My Card", true},
        {emmc, "", false},     {data, "", false},        {fuse, "", true},
    };
    ASSERT_EQ(drives.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].mount);
        EXPECT_EQ(drives[i].MountPoint, expected[i].mount);
        EXPECT_EQ(drives[i].VolumeLabel, expected[i].label);
        EXPECT_EQ(drives[i].Removable, expected[i].removable);
        EXPECT_TRUE(drives[i].Ready);
    }
}

TEST_F(MountTable, MountThatVanishedIsNotReady) {
    Disk("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", "sdb", "1", "", "8:16");
    const std::vector<DriveInfo> drives = Read("30 20 8:16 / " + t.path() + "/gone rw - vfat /dev/sdb rw\n");
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_TRUE(drives[0].Removable);
    EXPECT_FALSE(drives[0].Ready);
    EXPECT_TRUE(Read("").empty());
}

TEST(MountFields, EscapesAreUndone) {
    EXPECT_EQ(UnescapeMountField("/media/a\\040b\\011c\\012d\\134e"), "/media/a b\tc\nd\\e");
    EXPECT_EQ(UnescapeMountField("/x\\04"), "/x\\04");
    EXPECT_EQ(UnescapeLabelName("EOS\\x20DIGITAL\\x2fX\\x2"), "EOS DIGITAL/X\\x2");
}

}  // namespace
}  // namespace ravlen
