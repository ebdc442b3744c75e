// A run whose source is a phone on a cable: the walk, the reads, placement,
// the record of imports and the faults of a device, through the run driver.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/records/import_store.h"
#include "app/run/run_driver.h"
#include "engine/card_verdict.h"
#include "log/csv_text.h"
#include "platform/device_source.h"
#include "platform/posix_file_system.h"
#include "support/camera_jpeg.h"
#include "support/fake_device.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

namespace fs = std::filesystem;
constexpr const char* kPhone = "camera:Pixel 8@usb:001,004";
constexpr const char* kFolder = "/store_00010001/DCIM/Camera/";

struct DeviceRun : ::testing::Test {
    test::TempDir dir;
    std::string out = dir.Mkdir("out");
    PosixFileSystem files;
    test::FakePort port;
    test::FakeDevice device;
    std::unique_ptr<SqliteImportRecord> imports = SqliteImportRecord::Open(dir / "imports.sqlite");
    std::unique_ptr<DeviceSource> source;
    RunOptions options{.SourcePath = kPhone, .OutputPath = out, .DateMode = DateMode::MetadataOnly,
                       .AutoDetect = false, .RequestConfirmation = false};

    void SetUp() override {
        options.ProcessSubfolders = ProcessSubfolders::Flatten;
        options.SummarizeResults = false;
        options.FilenameFormat = FilenameFormat::Vantor1;
    }
    void Picture(int i, std::int64_t time = 1622541600) {
        const std::string path = kFolder + std::string("PXL_000") + std::to_string(i) + ".jpg";
        device.files[path] = test::CameraJpeg("2021:06:01 10:00:0" + std::to_string(i), "Google", "Pixel 8");
        device.times[path] = time;
    }
    RunOutcome Go() {
        RunServices services{files, port, {}, {}, {}};
        services.imports = imports.get();
        services.openSource = [this](const std::string& path, const std::string& output, std::string& refusal) {
            source.reset();
            if (path != kPhone) return static_cast<FileSource*>(nullptr);
            if (device.busy) {
                refusal = DeviceOpenMessage(*ParseDeviceSourcePath(path),
                                            DeviceStatus::Fail(DeviceFault::Busy, "Could not claim the USB device"));
                return static_cast<FileSource*>(nullptr);
            }
            source = std::make_unique<DeviceSource>(device, files, path);
            source->SetScratchFolder(output);
            return static_cast<FileSource*>(source.get());
        };
        services.checkCard = checkCard;
        RunDriver driver(std::move(services));
        const RunOutcome outcome = driver.Go(options);
        tally = driver.Tally();
        verdict = driver.Verdict();
        return outcome;
    }
    std::vector<std::string> Placed() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out))
            if (entry.path().filename().string()[0] != '.') names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    CardVerdict Check() {
        CardCheckRequest request = CardCheckOf(options);
        request.Source = kPhone;
        request.Output = out;
        return CheckCard(*source, files, imports.get(), request);
    }
    int Downloads() const {
        int n = 0;
        for (const auto& [path, count] : device.downloads) n += count;
        return n;
    }
    RunTally tally;
    bool checkCard = false;
    std::optional<CardVerdict> verdict;
};

// A move takes each file off the phone once it is placed; the same pictures
// put back on the phone are then known by their name, size and time and
// never cross the cable again, while one whose time differs is known by its
// bytes.
TEST_F(DeviceRun, PlacesTheFilesOnceAndKnowsThemAgainWithoutATransfer) {
    for (int i = 1; i <= 3; ++i) Picture(i);
    const auto pictures = device.files;
    options.SkipImported = true;
    ASSERT_EQ(Go(), RunOutcome::Completed) << port.messages.size();
    EXPECT_EQ(Placed(), (std::vector<std::string>{"2021-06-01 @10-00-01 #001 PXL_0001.jpg", "2021-06-01 @10-00-02 #001 PXL_0002.jpg",
                                              "2021-06-01 @10-00-03 #001 PXL_0003.jpg"}));
    EXPECT_TRUE(device.files.empty());
    for (const auto& [path, bytes] : pictures) EXPECT_EQ(device.downloads[path], 1) << path;

    device.files = pictures;
    device.asked.clear(), device.downloads.clear();
    device.times[kFolder + std::string("PXL_0003.jpg")] += 60;  // set anew on the phone: only its bytes tell
    options.MoveOrCopy = MoveOrCopy::Copy;
    EXPECT_EQ(Go(), RunOutcome::Completed);
    EXPECT_EQ(tally.NumberOfAlreadyImported, 3);
    EXPECT_EQ(Placed().size(), 3u);
    for (int i = 1; i <= 2; ++i) {
        const std::string path = kFolder + std::string("PXL_000") + std::to_string(i) + ".jpg";
        EXPECT_EQ(device.asked[path] + device.downloads[path], 0u) << path;
    }
    EXPECT_EQ(device.files.size(), 3u);
}

// A file the run leaves is not downloaded for nothing when its name keeps it
// from the run, and, when it was downloaded for its dates and had none, its
// download waiting in the output folder is no copy for the verdict.
TEST_F(DeviceRun, AFileTheRunLeavesIsNotDownloadedForNothingNorTakenAsHeld) {
    Picture(1);
    const std::string holiday = kFolder + std::string("holiday.jpg"), undated = kFolder + std::string("PXL_0002.jpg");
    device.files[holiday] = test::CameraJpeg("2021:06:01 11:00:00", "Google", "Pixel 8 Pro");  // no size placed
    device.files[undated] = "no date in here";
    device.partial = false;
    options.MoveOrCopy = MoveOrCopy::Copy;
    checkCard = true;
    EXPECT_EQ(Go(), RunOutcome::Incomplete);
    EXPECT_EQ(device.downloads[holiday], 0);
    EXPECT_EQ(device.downloads[undated], 1);
    ASSERT_TRUE(verdict);
    std::map<std::string, UnsafeReason> unsafe;
    for (const UnsafeFile& file : verdict->Unsafe) unsafe[source->DevicePath(file.Path)] = file.Reason;
    EXPECT_EQ(unsafe, (std::map<std::string, UnsafeReason>{{holiday, UnsafeReason::NonDcfName},
                                                           {undated, UnsafeReason::UnsupportedKind}}))
        << VerdictText(*verdict);
}

// Unplugged halfway: the files placed before stay placed, the rest are
// reported, and nothing partial stays in the output folder. A device
// another program holds ends the run before it starts, saying how to release it.
TEST_F(DeviceRun, AnUnpluggedOrBusyDeviceLosesNothing) {
    for (int i = 1; i <= 4; ++i) Picture(i);
    device.partial = false;
    options.MoveOrCopy = MoveOrCopy::Copy;
    device.unplugAfterBytes = static_cast<int>(2 * device.files.begin()->second.size() + 100);
    EXPECT_EQ(Go(), RunOutcome::Incomplete);
    EXPECT_EQ(Placed(), (std::vector<std::string>{"2021-06-01 @10-00-01 #001 PXL_0001.jpg", "2021-06-01 @10-00-02 #001 PXL_0002.jpg"}));
    EXPECT_EQ(tally.NumberOfLockedFiles + tally.NumberOfInvalidEXIFFiles + tally.NumberOfInvalidDateFiles, 2);
    EXPECT_EQ(device.files.size(), 4u);
    // Read whole for its dates, each file was copied from that download.
    EXPECT_EQ(test::ReadAll(out + "/2021-06-01 @10-00-02 #001 PXL_0002.jpg"), device.files[kFolder + std::string("PXL_0002.jpg")]);

    device.busy = true;
    EXPECT_EQ(Go(), RunOutcome::Ended);
    ASSERT_FALSE(port.messages.empty());
    EXPECT_NE(port.messages.back().text.find("is in use by another program. Release it (on GNOME: gio mount -s gphoto2)"),
              std::string::npos)
        << port.messages.back().text;
}

// The verdict on a phone after a run from it: its files are known held by
// the record of imports (name, size and time on the phone) without a second
// download, and said to be unproven by their bytes; a file the record did not
// see placed is downloaded once for its hash, which the record then keeps
// under its name on the phone; a file of a size the output folder lacks is
// never downloaded.
TEST_F(DeviceRun, TheVerdictOnAPhoneDownloadsOnlyWhatTheRecordCannotTell) {
    for (int i = 1; i <= 3; ++i) Picture(i);
    device.partial = false;
    options.MoveOrCopy = MoveOrCopy::Copy;
    checkCard = true;
    ASSERT_EQ(Go(), RunOutcome::Completed);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->Safe()) << VerdictText(*verdict);
    EXPECT_EQ(verdict->Checked, 3);
    EXPECT_EQ(verdict->Unproven.size(), 3u);
    EXPECT_NE(VerdictText(*verdict).find("3 files are taken as held"), std::string::npos) << VerdictText(*verdict);
    EXPECT_EQ(Downloads(), 3);

    const std::string changed = kFolder + std::string("PXL_0002.jpg");
    device.times[changed] += 60;  // its time set anew on the phone: only its bytes tell
    device.files[kFolder + std::string("PXL_0009.jpg")] = "a file no import saw";
    source = std::make_unique<DeviceSource>(device, files, kPhone);
    CardVerdict v = Check();
    EXPECT_EQ(v.Unsafe.size(), 1u);
    EXPECT_EQ(v.Unproven.size(), 2u);
    EXPECT_EQ(device.downloads[changed], 2);
    EXPECT_EQ(device.downloads[kFolder + std::string("PXL_0009.jpg")], 0);

    // Its hash kept, it is proven held again without a download.
    ASSERT_TRUE(imports->Flush());
    source = std::make_unique<DeviceSource>(device, files, kPhone);
    v = Check();
    EXPECT_EQ(v.Unsafe.size(), 1u);
    EXPECT_EQ(v.Unproven.size(), 2u);
    EXPECT_EQ(device.downloads[changed], 2);
}

// A phone's file was created when the phone says it was modified: the date
// a file system date mode takes, and the dates the log states, even of a
// file moved off the phone into a copy born with the run.
TEST_F(DeviceRun, APhonesFileWasCreatedAtItsTimeOnThePhone) {
    const std::int64_t time = 1577880000;  // 2020-01-01 12:00 UTC, unlike the pictures' own dates
    Picture(1, time);
    device.partial = false;
    options.DateMode = DateMode::FileSystemOnly;
    options.DateModeFileSystem = DateModeFileSystem::Created;
    options.CreateLog = CreateLog::Csv;
    ASSERT_EQ(Go(), RunOutcome::Completed);
    std::string csv;
    for (const auto& entry : fs::directory_iterator(out))
        if (entry.path().extension() == ".csv") csv = entry.path().string();
    const auto records = SplitCsv(test::ReadAll(csv));
    ASSERT_EQ(records.size(), 2u);
    const CsvHeader header(records[0].Fields);
    const auto field = [&](std::string_view column) { return records[1].Fields.at(*header.Find(column)); };
    const std::string expected = DateTime::FromTimeT(static_cast<std::time_t>(time)).FormatFull();
    EXPECT_EQ(field("FileSystemDateCreated"), expected);
    EXPECT_EQ(field("FileSystemDateModified"), expected);
    EXPECT_EQ(field("DateSource"), "File system created");
    EXPECT_EQ(field("Operation"), "Moved");

    // A phone that tells no time gives no date to take: the file stays.
    Picture(2, 0);
    EXPECT_EQ(Go(), RunOutcome::Incomplete);
    EXPECT_EQ(tally.NumberOfInvalidDateFiles, 1);
    EXPECT_EQ(device.files.size(), 1u);
}

// A preview and the run that follows it cross the cable once per file: a
// phone without partial reads is downloaded whole for the preview's dates and
// the run copies that download; one with them is asked for a few windows by
// the preview and downloaded once by the run. Nothing of it stays behind.
TEST_F(DeviceRun, APreviewAndItsRunTransferEachFileOnce) {
    for (const bool partial : {false, true}) {
        SCOPED_TRACE(partial ? "partial reads" : "downloads");
        device = {};
        for (const auto& entry : fs::directory_iterator(out)) fs::remove_all(entry.path());
        for (int i = 1; i <= 3; ++i) {
            Picture(i);
            device.files[kFolder + std::string("PXL_000") + std::to_string(i) + ".jpg"] += std::string(200000, '\0');
        }
        device.partial = partial;
        options.PreviewResults = true;
        options.MoveOrCopy = MoveOrCopy::Copy;
        ASSERT_EQ(Go(), RunOutcome::Completed);
        EXPECT_EQ(Placed().size(), 3u);
        for (const auto& [path, bytes] : device.files) {
            EXPECT_EQ(device.downloads[path], 1) << path;
            EXPECT_LE(device.asked[path], partial ? bytes.size() / 10 : 0u) << path;
        }
        source.reset();
        for (const auto& entry : fs::directory_iterator(out))
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
}

}  // namespace
}  // namespace ravlen
