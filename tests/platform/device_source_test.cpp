#include "platform/device_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>

#include "platform/gphoto_link.h"
#include "platform/posix_file_system.h"
#include "support/fake_device.h"
#include "support/library_leaks.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

namespace fs = std::filesystem;
using test::FakeDevice;

constexpr const char* kTop = "camera:Pixel 8@usb:001,004";
constexpr const char* kPicture = "/store_00010001/DCIM/Camera/PXL_0001.jpg";

class DeviceSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.files[kPicture] = std::string(50000, 'p');
        device.times[kPicture] = 1700000000;
        device.files["/store_00010001/DCIM/Camera/PXL_0002.mp4"] = "movie";
        device.files["/store_00020001/DCIM/100CANON/IMG_0001.JPG"] = "card";
        out = dir.Mkdir("out");
        source.SetScratchFolder(out);
    }
    std::string Path(const std::string& devicePath) const { return kTop + devicePath; }
    // Staged, flushed and named as a batch does it.
    FsStatus Place(const std::string& from, const std::string& to, bool verify = true) {
        FsStatus status;
        std::unique_ptr<StagedCopy> copy = source.StageCopy(from, to, verify, status);
        if (!copy) return status;
        if (status = disk.FlushFileSystem(out); !status) return status;
        if (status = disk.VerifyStaged(*copy); !status) return status;
        if (status = disk.NameStaged(*copy); !status) return status;
        return source.GiveUpSource(*copy);
    }

    test::TempDir dir;
    std::string out;
    FakeDevice device;
    PosixFileSystem disk;
    DeviceSource source{device, disk, kTop};
};

// Storages are the top's folders, and a file's path is the device's own
// folder path under the source's.
TEST_F(DeviceSourceTest, ListsStoragesFoldersAndFilesUnderItsOwnPath) {
    std::vector<FsItem> files, folders;
    ASSERT_TRUE(source.ListFolder(kTop, files, folders));
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].Path, Path("/store_00010001"));
    EXPECT_TRUE(files.empty());
    ASSERT_TRUE(source.ListFolder(Path("/store_00010001/DCIM/Camera"), files, folders));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].Path, Path(kPicture));
    EXPECT_EQ(files[0].Size, 50000);
    EXPECT_EQ(files[0].Modified, DateTime::FromTimeT(1700000000));
    EXPECT_EQ(source.ModifiedTime(Path(kPicture)), (FileTime{1700000000, 0}));
    EXPECT_EQ(source.DevicePath(kTop), "/");
    EXPECT_FALSE(source.ListFolder(Path("/store_00010001/Gone"), files, folders) && !files.empty());
}

// With partial reads, the readers' small reads ask the device for a window,
// never for the file; without them, the file crosses the cable once whatever
// reads it afterwards, its copy included.
TEST_F(DeviceSourceTest, AFileCrossesTheCableAtMostOnce) {
    FsStatus status;
    std::unique_ptr<ReadStream> in = source.OpenRead(Path(kPicture), status);
    ASSERT_TRUE(in) << status.error;
    std::string bytes;
    ASSERT_TRUE(in->Read(12, bytes));
    ASSERT_TRUE(in->Read(100, bytes));
    ASSERT_TRUE(in->Skip(30000));
    ASSERT_TRUE(in->Read(8, bytes));
    EXPECT_FALSE(in->Read(50000, bytes).ok);
    EXPECT_EQ(bytes, std::string(120, 'p'));
    EXPECT_LE(device.asked[kPicture], 2u * 4096);
    FileSample sample;
    ASSERT_TRUE(source.ReadSample(Path(kPicture), sample));
    EXPECT_EQ(sample.Bytes.size(), 2 * kSampleBytes);
    EXPECT_EQ(device.downloads[kPicture], 0);
    // A movie whose index lies after its samples: the reader goes back to
    // them, asking an earlier part in the same open.
    const std::string movie = "/store_00010001/DCIM/Camera/PXL_0002.mp4";
    device.files[movie] = "0123456789" + std::string(40000, 'm') + "tail";
    in = source.OpenRead(Path(movie), status);
    ASSERT_TRUE(in) << status.error;
    bytes.clear();
    ASSERT_TRUE(in->Skip(40010));
    ASSERT_TRUE(in->Read(4, bytes));
    EXPECT_FALSE(in->GoBack(40020));
    ASSERT_TRUE(in->GoBack(2));
    ASSERT_TRUE(in->Read(3, bytes));
    EXPECT_EQ(bytes, "tail234");
    EXPECT_EQ(device.downloads[movie], 0);

    device.partial = false;
    DeviceSource whole(device, disk, kTop);
    whole.SetScratchFolder(out);
    for (int i = 0; i < 2; ++i) {
        in = whole.OpenRead(Path(kPicture), status);
        ASSERT_TRUE(in) << status.error;
        bytes.clear();
        ASSERT_TRUE(in->Read(4, bytes));
        EXPECT_EQ(bytes, "pppp");
    }
    std::string hash;
    ASSERT_TRUE(whole.ContentHash(Path(kPicture), hash, {}));
    EXPECT_EQ(hash.size(), 32u);
    status = whole.StageCopy(Path(kPicture), out + "/a.jpg", true, status) ? FsStatus::Ok() : status;
    EXPECT_TRUE(status) << status.error;
    EXPECT_EQ(device.downloads[kPicture], 1);
    // The download went into the copy: a later read asks the device anew.
    in = whole.OpenRead(Path(kPicture), status);
    ASSERT_TRUE(in) << status.error;
    bytes.clear();
    ASSERT_TRUE(in->Read(50000, bytes)) << "the download moved away is no longer read";
}

// A copy streams into a staged file nobody takes for a finished one, is named
// without replacing, keeps the device's time, and only then is the file
// deleted on the device, while it is still the file copied.
TEST_F(DeviceSourceTest, AMoveDeletesOnTheDeviceOnlyAfterItsCopyIsNamed) {
    FsStatus status;
    std::unique_ptr<StagedCopy> copy = source.StageCopy(Path(kPicture), out + "/PXL_0001.jpg", true, status);
    ASSERT_TRUE(copy) << status.error;
    EXPECT_TRUE(test::Tree(out).empty());
    ASSERT_TRUE(disk.FlushFileSystem(out));
    ASSERT_TRUE(disk.VerifyStaged(*copy));
    ASSERT_TRUE(disk.NameStaged(*copy));
    EXPECT_TRUE(device.deleted.empty());
    ASSERT_TRUE(source.GiveUpSource(*copy));
    EXPECT_EQ(device.deleted, std::vector<std::string>{kPicture});
    EXPECT_EQ(test::ReadAll(out + "/PXL_0001.jpg"), std::string(50000, 'p'));
    struct stat st{};
    ASSERT_EQ(stat((out + "/PXL_0001.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);

    // A file that changed on the device since it was copied stays there.
    const std::string movie = "/store_00010001/DCIM/Camera/PXL_0002.mp4";
    std::vector<FsItem> files, folders;
    source.ListFolder(Path("/store_00010001/DCIM/Camera"), files, folders);
    copy = source.StageCopy(Path(movie), out + "/PXL_0002.mp4", false, status);
    ASSERT_TRUE(copy);
    device.files[movie] = "longer movie";
    EXPECT_TRUE(source.GiveUpSource(*copy).Is(FsFault::ChangedWhileCopied));
    EXPECT_TRUE(copy->SourceChanged);
    EXPECT_TRUE(device.files.count(movie));

    // Move without a batch: copied, named and flushed, then deleted.
    ASSERT_TRUE(source.MoveFile(Path("/store_00020001/DCIM/100CANON/IMG_0001.JPG"), out + "/IMG_0001.JPG"));
    EXPECT_EQ(test::ReadAll(out + "/IMG_0001.JPG"), "card");
    EXPECT_EQ(device.files.count("/store_00020001/DCIM/100CANON/IMG_0001.JPG"), 0u);
}

// One file the device fails on is that file's failure alone; a device
// unplugged halfway through a download leaves nothing in the output folder
// and says so, for that file and every later one.
TEST_F(DeviceSourceTest, AFailingFileOrAnUnpluggedDeviceLeavesNothingPartial) {
    device.broken.insert(kPicture);
    FsStatus status = Place(Path(kPicture), out + "/PXL_0001.jpg");
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.error.find("PTP I/O error"), std::string::npos) << status.error;
    EXPECT_FALSE(source.Unplugged());
    EXPECT_TRUE(Place(Path("/store_00010001/DCIM/Camera/PXL_0002.mp4"), out + "/PXL_0002.mp4"));

    device.broken.clear();
    device.unplugAfterBytes = static_cast<int>(device.sent) + 20000;
    status = Place(Path(kPicture), out + "/PXL_0001.jpg");
    EXPECT_EQ(status.error, "The device is no longer connected");
    EXPECT_TRUE(source.Unplugged());
    EXPECT_EQ(test::Tree(out), (std::map<std::string, std::string>{{"PXL_0002.mp4", "movie"}}));
    EXPECT_FALSE(Place(Path("/store_00020001/DCIM/100CANON/IMG_0001.JPG"), out + "/IMG_0001.JPG").ok);
    EXPECT_TRUE(device.files.count(kPicture));
}

TEST(DeviceSourcePath, NamesAModelOnAPortAndSaysHowToReleaseABusyOne) {
    const DeviceInfo device{"Canon EOS R6", "usb:001,004"};
    EXPECT_EQ(DeviceSourcePath(device), "camera:Canon EOS R6@usb:001,004");
    const auto back = ParseDeviceSourcePath("camera:Web@Cam 2@usb:001,004");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Model, "Web@Cam 2");
    EXPECT_EQ(back->Port, "usb:001,004");
    EXPECT_FALSE(ParseDeviceSourcePath("camera:NoPort"));
    EXPECT_FALSE(ParseDeviceSourcePath("/media/card"));
    EXPECT_EQ(DeviceOpenMessage(device, DeviceStatus::Fail(DeviceFault::Busy, "Could not claim the USB device")),
              "Canon EOS R6 (usb:001,004) is in use by another program. Release it (on GNOME: gio mount -s "
              "gphoto2) and try again.");
}


// A download waits for the next pass, the one a preview made for its run,
// unless the device lists the file otherwise by then; a scratch folder left
// by a process that is gone is removed, one of a live process kept.
TEST_F(DeviceSourceTest, KeepsDownloadsForTheNextPassWhileTheFileIsTheSame) {
    device.partial = false;
    FileSample sample;
    std::vector<FsItem> files, folders;
    const std::string folder = Path("/store_00010001/DCIM/Camera");
    ASSERT_TRUE(source.ListFolder(folder, files, folders));
    ASSERT_TRUE(source.ReadSample(Path(kPicture), sample));
    source.ReadsOver();
    ASSERT_TRUE(source.ListFolder(folder, files, folders));
    ASSERT_TRUE(source.ReadSample(Path(kPicture), sample));
    EXPECT_EQ(device.downloads[kPicture], 1);
    device.times[kPicture] += 2;  // taken anew under the same name
    source.ReadsOver();
    ASSERT_TRUE(source.ListFolder(folder, files, folders));
    ASSERT_TRUE(source.ReadSample(Path(kPicture), sample));
    EXPECT_EQ(device.downloads[kPicture], 2);

    dir.Write("out/.ravlen-device-999999999-abcdef/1", "left by a killed run");
    const std::string live = ".ravlen-device-" + std::to_string(getppid()) + "-abcdef";
    dir.Write("out/" + live + "/1", "another run's, under way");
    DeviceSource next(device, disk, kTop);
    next.SetScratchFolder(out);
    EXPECT_FALSE(fs::exists(out + "/.ravlen-device-999999999-abcdef"));
    EXPECT_TRUE(fs::exists(out + "/" + live + "/1"));
}

// A download's first and last bytes are kept as it arrives: reads and samples
// served from them give what the file on the disk gives, whatever its size,
// and a read past them, or of an earlier download, goes to the file.
TEST_F(DeviceSourceTest, ReadsFromADownloadsHeldBytesAsFromTheFile) {
    device.partial = false;
    std::map<std::string, std::string> bytes;
    for (const std::size_t size : {0u, 100u, 6000u, 70000u, 200000u}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7919 + size) % 251);
        const std::string path = "/store_00010001/DCIM/Camera/F" + std::to_string(size) + ".jpg";
        device.files[path] = bytes[path] = content;
    }
    const auto expectedSample = [](const std::string& content) {
        const std::size_t head = std::min(content.size(), kSampleBytes);
        const std::size_t tail = std::min(content.size() - head, kSampleBytes);
        return content.substr(0, head) + content.substr(content.size() - tail);
    };
    for (const auto& [path, content] : bytes) {
        FsStatus status;
        std::unique_ptr<ReadStream> in = source.OpenRead(Path(path), status);
        ASSERT_TRUE(in) << status.error;
        std::string got;
        const std::size_t size = content.size();
        if (size >= 100) {
            ASSERT_TRUE(in->Read(10, got));
            ASSERT_TRUE(in->Skip(size - 30));
            ASSERT_TRUE(in->Read(20, got));  // past the head held, for the larger files
            ASSERT_TRUE(in->GoBack(5));
            ASSERT_TRUE(in->Read(10, got));
            EXPECT_EQ(got, content.substr(0, 10) + content.substr(size - 20) + content.substr(5, 10)) << path;
        }
        EXPECT_FALSE(in->Read(size + 1, got).ok);
        FileSample sample;
        ASSERT_TRUE(source.ReadSample(Path(path), sample));
        EXPECT_EQ(sample.Bytes, expectedSample(content)) << path;
    }
    // The earlier downloads' bytes are no longer held: read from their files.
    for (const auto& [path, content] : bytes) {
        FileSample sample;
        ASSERT_TRUE(source.ReadSample(Path(path), sample));
        EXPECT_EQ(sample.Bytes, expectedSample(content)) << path;
        EXPECT_EQ(device.downloads[path], 1);
    }
}

// libgphoto2's own calls, on its Directory Browse camera over a folder.
TEST(GphotoLink, ListsDownloadsAndDeletesOnADirectoryBrowseCamera) {
    RAVLEN_LIBRARY_LEAKS_OFF;
    test::TempDir dir;
    dir.Write("card/DCIM/100TEST/IMG_0001.JPG", std::string(300000, 'j'));
    dir.Write("card/DCIM/100TEST/IMG_0002.JPG", "small");
    DeviceStatus status;
    std::unique_ptr<DeviceLink> link = OpenDevice({"Directory Browse", "disk:" + dir / "card"}, status);
    if (!link && status.error.find("driver") != std::string::npos) GTEST_SKIP() << "no Directory Browse camlib: " << status.error;
    ASSERT_TRUE(link) << status.error;
    std::vector<DeviceEntry> files, folders;
    ASSERT_TRUE(link->List("/DCIM/100TEST", files, folders)) << status.error;
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].Name, "IMG_0001.JPG");
    EXPECT_EQ(files[0].Size, 300000);
    EXPECT_NE(files[0].Modified, 0);
    std::string got;
    ASSERT_TRUE(link->Download("/DCIM/100TEST", "IMG_0001.JPG", [&](const char* b, std::size_t n) {
        got.append(b, n);
        return true;
    }));
    EXPECT_EQ(got, std::string(300000, 'j'));
    EXPECT_EQ(link->Download("/DCIM/100TEST", "IMG_0009.JPG", [](const char*, std::size_t) { return true; }).ok(), false);
    ASSERT_TRUE(link->Delete("/DCIM/100TEST", "IMG_0002.JPG"));
    EXPECT_FALSE(fs::exists(dir / "card/DCIM/100TEST/IMG_0002.JPG"));
    char buffer[16];
    std::uint64_t size = sizeof buffer;
    EXPECT_EQ(link->ReadPart("/DCIM/100TEST", "IMG_0001.JPG", 0, buffer, size).fault, DeviceFault::NotSupported);
}

}  // namespace
}  // namespace ravlen
