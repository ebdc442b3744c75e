#include "app/cards/camera_media.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/mount_drives.h"
#include "platform/posix_file_system.h"
#include "support/fake_drives.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

using namespace std::string_literals;

using test::FakeDrives;

TEST(CameraMedia, FirstRemovableCardWithQualifyingFilesIsOffered) {
    test::TempDir root;
    for (const char* card : {"E", "F", "fixed", "gone"}) root.Write(card + "/DCIM/100CANON/IMG_0001.JPG"s, "x");
    root.Write("L/DCIM/100CANON/MISC.LOG", "x");  // only files the filters turn away:
    root.Write("L/DCIM/101CANON/.IMG_0002.JPG", "x");  // an excluded pattern and a hidden file
    root.Mkdir("noDcim");
    const auto card = [&root](const char* name, bool removable = true, bool ready = true) {
        return DriveInfo{root / name, "", removable, ready};
    };
    const std::string e = root / "E", f = root / "F";
    struct Case {
        const char* what;
        std::vector<DriveInfo> drives;
        std::string source;
        bool ask, yes, allFiles;
        std::string expected;  // the source afterwards
    } const cases[] = {
        {"fixed, not ready, no DCIM", {card("fixed", false), card("gone", true, false), card("noDcim"), card("E")}, "",
         true, true, false, e},
        {"card already chosen, as e//", {card("E"), card("F")}, e + "//", false, true, false, f},
        {"first card without qualifying files ends the search", {card("L"), card("F")}, "", true, true, false, ""},
        {"the filters let its files through", {card("L"), card("F")}, "", false, true, true, root / "L"},
        {"No leaves the options", {card("E")}, "/home/u/in", true, false, false, "/home/u/in"},
        {"asking off is silent", {card("E")}, "/home/u/in", false, true, false, e},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PosixFileSystem fs;
        test::FakePort port;
        FakeDrives drives;
        drives.drives = c.drives;
        RunOptions options{.SourcePath = c.source, .OutputPath = "", .ProcessSubfolders = ProcessSubfolders::Preserve,
                           .ExcludeHidden = !c.allFiles, .ExcludePattern = !c.allFiles};
        port.answers = {c.yes ? MsgAnswer::Yes : MsgAnswer::No};
        RunOptions expected = options;
        if (c.expected != c.source) expected.SourcePath = c.expected, expected.ProcessSubfolders = ProcessSubfolders::Flatten;
        DetectCameraMedia(c.ask, options, drives, fs, port);
        EXPECT_EQ(options, expected);
        const bool found = c.expected != c.source || !c.yes;  // a card was offered, or would have been
        ASSERT_EQ(port.messages.size(), c.ask && found ? 1u : 0u);
        if (port.messages.empty()) continue;
        EXPECT_EQ(port.messages[0].text, "Ravlen has found digital camera files on drive:\r\n\r\n\t" + e +
                                             "  (Removable Disk)\r\n\r\nSet Source Folder to the root of this drive?");
        EXPECT_EQ(port.messages[0].buttons, MsgButtons::YesNo);
    }
    EXPECT_NE(CameraMediaQuestion({e, "CANON_DC", true, true}).find("\t" + e + "  (CANON_DC)\r\n"), std::string::npos);
}

// The mount table on a fake /proc, /sys and /dev/disk/by-label.
TEST(MountTable, ListsBlockDeviceMountsWithRemovabilityAndLabels) {
    test::TempDir t;
    // A disk under sys/devices/<bus>/block/<disk>, with <part> (if any) as sys/dev/block/<number>.
    t.Mkdir("sys/dev/block");
    t.Mkdir("sys/class/block");
    const auto disk = [&](const std::string& bus, const std::string& name, const std::string& removable,
                          const std::string& part, const std::string& number) {
        std::string target = "devices/" + bus + "/block/" + name;
        if (!removable.empty()) t.Write("sys/" + target + "/removable", removable + "\n");
        if (!part.empty()) t.Write("sys/" + (target += "/" + part) + "/partition", "1\n");
        t.Mkdir("sys/" + target);
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
    for (const char* d : {"root", "My Card", "dvd", "sd", "emmc", "data", "bind", "fuse"}) t.Mkdir("mnt/"s + d);
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
    MountDriveList::Roots roots{t / "mountinfo", t / "sys", t / "by-label"};
    const auto listed = [&roots] {
        std::vector<std::string> drives;
        for (const DriveInfo& d : MountDriveList(roots).Drives())
            drives.push_back(d.MountPoint + "|" + d.VolumeLabel + (d.Removable ? "|removable" : "|fixed") +
                             (d.Ready ? "" : "|not ready"));
        return drives;
    };
    EXPECT_EQ(listed(), (std::vector<std::string>{m + "/root||fixed", m + "/My Card|CANON_DC|removable",
                                                  m + "/dvd||removable", m + "/sd|My Card|removable",
                                                  m + "/emmc||fixed", m + "/data||fixed", m + "/fuse||removable"}));
    // A mount point that has gone is listed as not ready.
    t.Write("mountinfo", "38 20 8:33 / " + m + "/gone rw - vfat /dev/sdc1 rw\n");
    EXPECT_EQ(listed(), std::vector<std::string>{m + "/gone||removable|not ready"});

    EXPECT_EQ(UnescapeMountField("/media/a\\040b\\011c\\012d\\134e"), "/media/a b\tc\nd\\e");
    EXPECT_EQ(UnescapeMountField("/x\\04"), "/x\\04");
    EXPECT_EQ(UnescapeLabelName("EOS\\x20DIGITAL\\x2fX\\x2"), "EOS DIGITAL/X\\x2");
}

}  // namespace
}  // namespace ravlen
