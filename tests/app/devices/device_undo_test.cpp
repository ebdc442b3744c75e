// The undo of a run whose source was a phone on a cable, from its journal and
// from its CSV log: nothing is written back to the device, and a copy goes
// only while the device, plugged in, still holds its original.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/records/import_store.h"
#include "app/records/intent_store.h"
#include "app/run/run_driver.h"
#include "app/undo/undo.h"
#include "app/undo/undo_report.h"
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

// The phone as the undo reaches it: plugged in or not.
struct Cables : UndoDevices {
    test::FakeDevice& device;
    FileSystem& disk;
    bool plugged = true;
    int reached = 0;
    std::unique_ptr<DeviceSource> source;
    Cables(test::FakeDevice& d, FileSystem& f) : device(d), disk(f) {}
    DeviceSource* Reach(const std::string& top, std::string& why) override {
        ++reached;
        if (!plugged) {
            why = DeviceOpenMessage(*ParseDeviceSourcePath(top), DeviceStatus::Fail(DeviceFault::Unplugged, ""));
            return nullptr;
        }
        source = std::make_unique<DeviceSource>(device, disk, top);
        return source.get();
    }
};

struct DeviceUndo : ::testing::Test {
    test::TempDir dir;
    std::string out = dir.Mkdir("out");
    PosixFileSystem files;
    test::FakePort port;
    test::FakeDevice device;
    std::unique_ptr<SqliteIntentRecord> record = Open(dir / "placements.sqlite");
    std::unique_ptr<DeviceSource> source;
    Cables cables{device, files};
    std::string csv, runId;

    static std::unique_ptr<SqliteIntentRecord> Open(const std::string& path) {
        std::string error;
        auto opened = SqliteIntentRecord::Open(path, error);
        EXPECT_TRUE(opened) << error;
        return opened;
    }
    std::string PathOf(int i) const { return kFolder + std::string("PXL_000") + std::to_string(i) + ".jpg"; }
    std::string Placed(int i) const {
        return out + "/2021-06-01 @10-00-0" + std::to_string(i) + " #001 PXL_000" + std::to_string(i) + ".jpg";
    }
    std::string backup;  // a backup folder, when set
    std::unique_ptr<SqliteImportRecord> imports;  // the record of imports, when set
    void Run(MoveOrCopy moveOrCopy, int pictures = 4) {
        for (int i = 1; i <= pictures; ++i) {
            device.files[PathOf(i)] = test::CameraJpeg("2021:06:01 10:00:0" + std::to_string(i), "Google", "Pixel 8");
            device.times[PathOf(i)] = 1622541600 + i;
        }
        RunOptions options{.SourcePath = kPhone, .OutputPath = out, .DateMode = DateMode::MetadataOnly,
                           .AutoDetect = false, .RequestConfirmation = false};
        options.ProcessSubfolders = ProcessSubfolders::Flatten;
        options.SummarizeResults = false;
        options.FilenameFormat = FilenameFormat::Vantor1;
        options.MoveOrCopy = moveOrCopy;
        options.CreateLog = CreateLog::Csv;
        options.BackupPaths = backup;
        options.SkipImported = imports != nullptr;
        RunServices services{files, port, {}, {}, {}};
        services.imports = imports.get();
        services.intents = record.get();
        services.journal = record.get();
        services.openSource = [this](const std::string& path, const std::string& output, std::string&) {
            source = std::make_unique<DeviceSource>(device, files, path);
            source->SetScratchFolder(output);
            return static_cast<FileSource*>(source.get());
        };
        ASSERT_EQ(RunDriver(std::move(services)).Go(options), RunOutcome::Completed);
        source.reset();
        runId = LastRunToUndo(*record);
        ASSERT_FALSE(runId.empty());
        csv = record->Run(runId)->CsvLog;
    }
    UndoResult UndoLog() {
        port.messages.clear();
        return RunUndo(csv, files, port, true, nullptr, record.get(), record.get(), nullptr, &cables);
    }
    UndoResult UndoRun() {
        port.messages.clear();
        return RunJournalUndo(runId, *record, files, port, true, nullptr, record.get(), &cables);
    }
    static const UndoRow& RowOf(const UndoResult& result, const std::string& name) {
        for (const UndoRow& row : result.Rows)
            if (row.SourceFileName == name) return row;
        static const UndoRow none;
        ADD_FAILURE() << name;
        return none;
    }
};

// A copy goes where the phone still holds its original with the copy's
// size; one whose original grew, or is gone from the phone, is kept, each
// said why. The phone itself is never written to.
TEST_F(DeviceUndo, RemovesOnlyCopiesWhoseOriginalThePhoneStillHolds) {
    Run(MoveOrCopy::Copy);
    device.files[PathOf(2)] += "more";
    device.files.erase(PathOf(3));
    const auto before = device.files;

    const UndoResult result = UndoRun();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Remove, 2);
    // Said apart from copies compared byte for byte with their originals.
    EXPECT_EQ(result.Done.RemoveFromDevice, 2);
    EXPECT_NE(UndoSummaryReport(result.Done, 0).find("2  copies from a camera or phone removed"), std::string::npos)
        << UndoSummaryReport(result.Done, 0);
    EXPECT_FALSE(fs::exists(Placed(1)));
    EXPECT_FALSE(fs::exists(Placed(4)));
    EXPECT_TRUE(fs::exists(Placed(2)));
    EXPECT_TRUE(fs::exists(Placed(3)));
    EXPECT_NE(RowOf(result, "PXL_0002.jpg").Reason.find("differ in size"), std::string::npos);
    EXPECT_NE(RowOf(result, "PXL_0003.jpg").Reason.find("no longer on the device"), std::string::npos);
    EXPECT_EQ(device.files, before);
    EXPECT_TRUE(device.deleted.empty());
}

// The log's undo of a Copy, with the phone unplugged, keeps every copy and
// says so; plugged in again, on another port, the same log undoes it.
TEST_F(DeviceUndo, KeepsTheCopiesWhileThePhoneIsNotPluggedIn) {
    Run(MoveOrCopy::Copy, 2);
    cables.plugged = false;
    UndoResult result = UndoLog();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.LeaveAlone, 2);
    EXPECT_TRUE(fs::exists(Placed(1)) && fs::exists(Placed(2)));
    EXPECT_NE(RowOf(result, "PXL_0001.jpg").Reason.find("is not connected"), std::string::npos)
        << RowOf(result, "PXL_0001.jpg").Reason;

    cables.plugged = true;
    result = UndoLog();
    EXPECT_EQ(result.Outcome, UndoOutcome::Completed);
    EXPECT_EQ(result.Done.Remove, 2);
    EXPECT_FALSE(fs::exists(Placed(1)) || fs::exists(Placed(2)));
    EXPECT_EQ(device.files.size(), 2u);
}

// A run that only brought a backup up to date with files imported from the
// phone before: its undo takes those backup copies away and nothing else,
// without the phone, from the journal as from the log.
TEST_F(DeviceUndo, TakesAwayOnlyTheBackupCopiesOfFilesImportedBefore) {
    imports = SqliteImportRecord::Open(dir / "imports.sqlite");
    ASSERT_TRUE(imports);
    Run(MoveOrCopy::Copy, 2);
    backup = dir.Mkdir("backup");
    Run(MoveOrCopy::Copy, 2);
    const std::string copy = backup + Placed(1).substr(out.size());
    ASSERT_TRUE(fs::exists(copy));
    cables.plugged = false;
    UndoResult result = UndoRun();
    EXPECT_EQ(result.Outcome, UndoOutcome::Completed) << RowOf(result, "PXL_0001.jpg").Reason;
    EXPECT_EQ(result.Done.RemoveBackups, 2);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_TRUE(fs::exists(Placed(1)) && fs::exists(Placed(2)));
    // A copy the run did not make, with the same bytes: the log's undo keeps it.
    fs::copy_file(Placed(1), copy);
    result = UndoLog();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_NE(RowOf(result, "PXL_0001.jpg").Reason.find("not the copy the run made"), std::string::npos);
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_EQ(device.files.size(), 2u);
    EXPECT_EQ(cables.reached, 0);
}

// The undo of a Move puts nothing back on the phone: every file stays where
// the run placed it, each row says why, and the phone is not even asked.
TEST_F(DeviceUndo, LeavesMovedFilesWhereTheyAre) {
    Run(MoveOrCopy::Move, 2);
    ASSERT_TRUE(device.files.empty());
    for (const UndoResult& result : {UndoRun(), UndoLog()}) {
        EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
        EXPECT_EQ(result.Done.LeaveAlone, 2);
        for (const UndoRow& row : result.Rows)
            EXPECT_NE(row.Reason.find("nothing is written back to a device"), std::string::npos) << row.Reason;
    }
    EXPECT_TRUE(fs::exists(Placed(1)) && fs::exists(Placed(2)));
    EXPECT_TRUE(device.files.empty());
    EXPECT_EQ(cables.reached, 0);
}

}  // namespace
}  // namespace ravlen
