// The engine on real folders, with the program's own readers, builder and file system.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sys/stat.h>
#include <string_view>
#include <utility>

#include "engine/card_verdict.h"
#include "engine/placement.h"
#include "engine/placement_batch.h"
#include "engine/rename_files.h"
#include "metadata/metadata.h"
#include "model/import_record.h"
#include "platform/posix_file_system.h"
#include "support/camera_jpeg.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

Names List(const std::string& folder) {
    Names out;
    for (const auto& e : fs::directory_iterator(folder)) out.insert(e.path().filename().string());
    return out;
}

// Every path below root with its size, time and mode.
Names Snapshot(const std::string& root) {
    Names out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st{};
        lstat(e.path().c_str(), &st);
        out.insert(e.path().string() + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtime) + " " +
                   std::to_string(st.st_mode));
    }
    return out;
}

// Refuses moves when asked, as a read-only card does (root ignores permission bits); counts existence tests.
// Plays another file system for the output when asked, logs the steps of a
// batch, and can spoil one staged copy's bytes on their way to the disk.
struct TestFs : PosixFileSystem {
    bool refuseMoves = false, across = false;
    int existenceTests = 0, hashes = 0, lookups = 0;
    std::vector<std::string> sampled;
    int spoilStage = 0;  // the staged copy (counted from 1) whose bytes arrive spoilt
    // The write (counted from 1) spoilt, or failing: a full disk. Backup
    // copies are written on a thread of their own.
    std::atomic<int> writes{0};
    int spoilWrite = 0, failWrite = 0;
    std::vector<std::string> steps;
    std::function<void(StagedCopy&)> beforeName;
    std::function<void()> afterMove;  // once, after the first move done
    bool refuseTimes = false;
    std::string refuseNamesIn;  // a copy into this folder cannot be named
    bool FileExists(const std::string& path) override { ++existenceTests; return PosixFileSystem::FileExists(path); }
    std::function<void()> afterReach;  // once, after the first folder reached beneath another
    FsStatus ReachFolderBeneath(const std::string& top, const std::string& folder, FileId* reached) override {
        const FsStatus status = PosixFileSystem::ReachFolderBeneath(top, folder, reached);
        if (afterReach) std::exchange(afterReach, nullptr)();
        return status;
    }
    std::optional<FsItem> GetFile(const std::string& path) override { ++lookups; return PosixFileSystem::GetFile(path); }
    FsStatus SetModifiedTime(const std::string& path, const FileTime& time) override {
        return refuseTimes ? FsStatus::Fail("Operation not permitted") : PosixFileSystem::SetModifiedTime(path, time);
    }
    FsStatus ReadSample(const std::string& path, FileSample& sample) override {
        sampled.push_back(path);
        return PosixFileSystem::ReadSample(path, sample);
    }
    FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) override {
        ++hashes;
        return PosixFileSystem::ContentHash(path, hash, pump);
    }
    std::function<void()> afterListedMove;  // once, after the first listed move done and looked at
    FsStatus MoveListed(const std::string& from, const std::string& to, const FsItem& listed,
                        std::optional<FsItem>& placed) override {
        const FsStatus status = PosixFileSystem::MoveListed(from, to, listed, placed);
        if (status && afterListedMove) std::exchange(afterListedMove, nullptr)();
        return status;
    }
    int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) override {
        const int err = refuseMoves ? EROFS : PosixFileSystem::RenameNoReplace(fromDir, from, toDir, to);
        if (err == 0 && afterMove) std::exchange(afterMove, nullptr)();
        return err;
    }
    bool SameFileSystem(const std::string& from, const std::string& to) override {
        return !across && PosixFileSystem::SameFileSystem(from, to);
    }
    std::unique_ptr<StagedCopy> StageCopy(const std::string& from, const std::string& to, bool verify,
                                          FsStatus& status) override {
        spoiling_ = ++stages_ == spoilStage;
        Step("stage " + fs::path(from).filename().string());
        return PosixFileSystem::StageCopy(from, to, verify, status);
    }
    std::vector<std::unique_ptr<StagedCopy>> StageCopies(const std::string& from,
                                                         const std::vector<std::string>& targets, bool verify,
                                                         std::vector<FsStatus>& statuses) override {
        spoiling_ = false;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            spoiling_ = ++stages_ == spoilStage || spoiling_;
            Step("stage " + fs::path(from).filename().string());
        }
        return PosixFileSystem::StageCopies(from, targets, verify, statuses);
    }
    std::string refuseFlushIn;  // a flush of the file system holding this folder fails
    FsStatus FlushFileSystem(const std::string& folder) override {
        Step("flush");
        if (!refuseFlushIn.empty() && folder.rfind(refuseFlushIn, 0) == 0)
            return FsStatus::System(EIO, "Input/output error");
        return PosixFileSystem::FlushFileSystem(folder);
    }
    FsStatus NameStaged(StagedCopy& copy) override {
        if (beforeName) std::exchange(beforeName, nullptr)(copy);
        Step("name " + fs::path(copy.Target).filename().string());
        if (!refuseNamesIn.empty() && copy.Target.rfind(refuseNamesIn, 0) == 0) return FsStatus::System(EIO, "Input/output error");
        return PosixFileSystem::NameStaged(copy);
    }
    FsStatus GiveUpSource(StagedCopy& copy) override {
        Step("give up " + fs::path(copy.Source).filename().string());
        return PosixFileSystem::GiveUpSource(copy);
    }

    // Sources are given up on the batch's threads while the next batch is staged.
    void Step(std::string step) {
        const std::lock_guard<std::mutex> lock(stepping_);
        steps.push_back(std::move(step));
    }

protected:
    long WriteChunk(int fd, const char* buffer, unsigned long size) override {
        if (++writes == failWrite) return errno = ENOSPC, -1;
        if (!(spoiling_ || writes == spoilWrite) || size == 0) return PosixFileSystem::WriteChunk(fd, buffer, size);
        std::string spoilt(buffer, size);
        spoilt[0] ^= 1;
        return PosixFileSystem::WriteChunk(fd, spoilt.data(), size);
    }

private:
    std::mutex stepping_;
    int stages_ = 0;
    std::atomic<bool> spoiling_{false};
};

// The record of intent as a run keeps it, in memory: the plans not struck out.
struct MemoryIntents : IntentRecord {
    std::map<std::int64_t, PlannedPlacement> left;
    std::int64_t next = 0;
    FsStatus Plan(PlannedPlacement& plan) override {
        plan.Id = ++next;
        left[plan.Id] = plan;
        return FsStatus::Ok();
    }
    void Done(std::int64_t id) override { left.erase(id); }
    std::vector<PlannedPlacement> Abandoned() override { return {}; }
};

class RenameFilesTest : public ::testing::Test, public FileRecordSink {
protected:
    std::vector<FileFacts> records;
    void WriteFileRecord(const FileFacts& facts) override {
        records.push_back(facts);
        files.Step("record " + facts.SourceFileName);
    }
    test::TempDir dir;
    std::string in = dir.Mkdir("in"), out = dir.Mkdir("out");
    TestFs files;
    test::FakePort port;
    RunOptions options;
    ChronologyList chronology;
    RunTally tally;
    MemoryIntents plans;
    IntentRecord* intents = &plans;

    void SetUp() override {
        // file dates: the readers stay out of the walk
        options.DateMode = DateMode::FileSystemOnly, options.DateModeFileSystem = DateModeFileSystem::Modified;
        options.FilenameFormat = FilenameFormat::DcfStyle, options.AddBatchVolume = AddBatchVolume::Neither;
        options.ExcludePattern = false;
        options.AddSerial = AddSerial::DuplicatesOnly, options.ReportErrors = true;
    }
    // A file dated 2004-12-25 18:09:11 plus some seconds (the tests run with TZ=UTC).
    void File(const std::string& relative, int plusSeconds = 0, const std::string& bytes = "") {
        const std::string path = dir.Write("in/" + relative, bytes.empty() ? relative : bytes);
        std::tm tm{};
        tm.tm_year = 104, tm.tm_mon = 11, tm.tm_mday = 25, tm.tm_hour = 18, tm.tm_min = 9, tm.tm_sec = 11 + plusSeconds;
        const timespec times[2] = {{timegm(&tm), 0}, {timegm(&tm), 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    ImportRecord* imports = nullptr;
    std::size_t batchFiles = 0;
    ContinuingNumbers* numbers = nullptr;
    void Run(bool perform = true) {
        EngineContext context{files, port, options, chronology, this, intents};
        context.imports = imports;
        context.numbers = numbers;
        context.batchFiles = batchFiles;
        tally.ResetPass();
        tally.NumberOfSourceObjects = CountFiles(files, in, FileFilter::Of(options), false);
        RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), perform, tally);
    }
};

// The numbers that continue between imports, in memory: what was kept and given back.
struct MemoryNumbers : ContinuingNumbers {
    std::map<std::string, std::int64_t> last;
    std::vector<std::string> said;
    std::int64_t Take(const std::string& scope) override { return ++last[scope]; }
    void Keep(const std::string& scope, std::int64_t n) override { said.push_back("keep " + scope + std::to_string(n)); }
    void GiveBack(const std::string& scope, std::int64_t n) override {
        said.push_back("back " + scope + std::to_string(n));
        if (last[scope] == n) --last[scope];
    }
    std::int64_t Next(const std::string& scope) override { return last[scope] + 1; }
};

// The files of one shot share a number, kept before they are placed; a file
// not placed gives its number back; a preview takes none, yet names as the
// run will.
TEST_F(RenameFilesTest, ContinuingNumbersForShotsAndFilesNotPlaced) {
    MemoryNumbers memory;
    numbers = &memory;
    memory.last["day 2004-12-25"] = 6;
    for (const char* f : {"IMG_0001.JPG", "IMG_0001.CR2", "IMG_0002.JPG"}) File(f);
    options.FilenameFormat = FilenameFormat::Custom, options.CustomFormat.Template = "%q%e";
    options.SequenceScope = SequenceScope::PerDay;
    FileList list;
    EngineContext context{files, port, options, chronology, this, intents};
    context.list = &list, context.numbers = numbers;
    RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), false, tally);
    EXPECT_EQ(memory.said.size(), 0u);
    ASSERT_EQ(list.Rows().size(), 3u);
    EXPECT_EQ(list.Rows()[2].OutputName + " " + list.Rows()[2].ContinuingNumber, "0008.jpg 8");
    // Kept before its file moves: a run killed during the move leaves a gap, not a number to hand out again.
    options.MoveOrCopy = MoveOrCopy::CopyWhenUnableToMove;
    files.afterMove = [&] { memory.said.push_back("moved"); };
    Run();
    EXPECT_EQ(List(out), (Names{"0007.cr2", "0007.jpg", "0008.jpg"}));
    EXPECT_EQ(memory.said, (std::vector<std::string>{"keep day 2004-12-257", "moved", "keep day 2004-12-258"}));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].ContinuingNumber, 7);
    EXPECT_EQ(records[1].ContinuingScope, "day 2004-12-25");
    // A name too long for the disk: the file stays, its number comes back.
    File("IMG_0003.JPG"), File(std::string(250, 'x') + ".JPG");
    options.DCFMode = DCFMode::PreserveAsComment, options.CustomFormat.Template = "%q%o%e";
    Run();
    EXPECT_EQ(memory.said.back(), "back day 2004-12-2510");
    EXPECT_EQ(memory.last["day 2004-12-25"], 9);
    EXPECT_EQ(records.back().Operation, FileOperation::Failed);
    EXPECT_EQ(records.back().ContinuingNumber, 0);
}

TEST_F(RenameFilesTest, ThreeFilesInOneSecondThenASecondRun) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}) File(f);
    Run();
    EXPECT_EQ(List(out), (Names{"20041225_180911.JPG", "20041225_180911_001.JPG", "20041225_180911_002.JPG"}));
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|20041225180911#2|");
    EXPECT_TRUE(List(in).empty());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_LE(files.existenceTests, 3);
    // A later run into the same folder, copying from a read-only card, moves
    // past the names already there, passing over them once, not once per file.
    chronology.Reset();
    files.existenceTests = 0, files.refuseMoves = true, options.MoveOrCopy = MoveOrCopy::CopyWhenUnableToMove;
    files.steps.clear();
    for (const char* f : {"IMG_0004.JPG", "IMG_0005.JPG", "IMG_0006.JPG"}) File(f);
    Run();
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911_005.JPG"), "IMG_0006.JPG");
    EXPECT_EQ(List(in).size(), 3u);
    EXPECT_EQ(records.back().Operation, FileOperation::Copied);
    EXPECT_TRUE(port.messages.empty());
    EXPECT_LE(files.existenceTests, 9);
    // Those copies are made durable as a batch: one flush before their names, not one each.
    EXPECT_EQ(files.steps.at(3), "flush");
    EXPECT_EQ(std::count(files.steps.begin(), files.steps.end(), "flush"), 2);
}

// A file removed after it was read and before its move is told as gone, not
// as a move that failed.
TEST_F(RenameFilesTest, AFileRemovedBeforeItsMoveIsToldAsGone) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG"}) File(f);
    files.afterMove = [&] { std::filesystem::remove(in + "/IMG_0002.JPG"); };
    Run();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Operation, FileOperation::Failed);
    EXPECT_EQ(records[1].Notes, "IMG_0002.JPG no longer exists.");
    EXPECT_EQ(tally.NumberOfLockedFiles, 1);
}

// A preview writes nothing: in an output folder that holds nothing only its
// own names are taken and none is looked for on the disk; in one that holds
// anything (a dangling link too) each name still is.
TEST_F(RenameFilesTest, APreviewLooksForNamesOnDiskOnlyWhereTheFolderHoldsSomething) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG"}) File(f);
    Run(false);
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|");
    EXPECT_EQ(files.existenceTests, 0);
    std::filesystem::create_symlink("nowhere", out + "/20041225_180911.JPG");
    chronology.Reset();
    Run(false);
    EXPECT_EQ(chronology.Text(), "|20041225180911#1|20041225180911#2|");
    EXPECT_GT(files.existenceTests, 0);
}

// A move to another file system: the copies are staged, flushed together,
// named, flushed again, and only then do the sources go; the records follow
// in the files' order, a file skipped among them included.
TEST_F(RenameFilesTest, ABatchNamesItsCopiesAfterOneFlushAndGivesUpSourcesAfterTheNext) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG"}) File(f, 0, std::string(f) + "!");
    File("IMG_0002x.JPG");
    files.across = true;
    // A name taken while the batch was open is not replaced: that file fails.
    files.beforeName = [&](StagedCopy&) { dir.Write("out/20041225_180911_001.JPG", "theirs"); };
    Run();
    EXPECT_EQ(files.steps, (std::vector<std::string>{
        "stage IMG_0001.JPG", "stage IMG_0002.JPG", "stage IMG_0003.JPG", "stage IMG_0004.JPG", "flush",
        "name 20041225_180911.JPG", "name 20041225_180911_001.JPG", "name 20041225_180911_002.JPG",
        "name 20041225_180911_003.JPG", "flush", "give up IMG_0001.JPG", "give up IMG_0003.JPG",
        "give up IMG_0004.JPG", "record IMG_0001.JPG", "record IMG_0002.JPG", "record IMG_0002x.JPG",
        "record IMG_0003.JPG", "record IMG_0004.JPG"}));
    EXPECT_EQ(List(in), (Names{"IMG_0002x.JPG", "IMG_0002.JPG"}));
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911_001.JPG"), "theirs");
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911_003.JPG"), "IMG_0004.JPG!");
    EXPECT_EQ(tally.NumberOfLockedFiles, 1);
    EXPECT_EQ(records[1].Operation, FileOperation::Failed);
    EXPECT_FALSE(records[1].Timestamped);
    EXPECT_EQ(records[1].Notes, "IMG_0002.JPG could not be moved due to the following error: File exists.");
    EXPECT_EQ(records[4].Operation, FileOperation::Moved);
}

// Stop takes effect after the file in hand, with the open batch committed;
// a copy that reads back different is removed and its file reported.
TEST_F(RenameFilesTest, StopCommitsTheOpenBatchAndASpoiltCopyIsNotPlaced) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG"}) File(f);
    options.MoveOrCopy = MoveOrCopy::Copy, options.VerifyCopies = true;
    files.spoilStage = 2;
    port.onPump = [](test::FakePort& p) { p.SetCancel(p.pumps >= 3); };
    Run();
    EXPECT_EQ(tally.SourceObjectNumber, 3);
    EXPECT_EQ(List(out), (Names{"20041225_180911.JPG", "20041225_180911_002.JPG"}));
    EXPECT_EQ(List(in).size(), 4u);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].Notes, "IMG_0002.JPG could not be copied due to the following error: The copy read back "
                                "from the disk differs from the original.");
    EXPECT_EQ(tally.NumberOfLockedFiles, 1);
    EXPECT_EQ(records[2].Operation, FileOperation::Copied);
}

// A card walked again: files whose bytes are already in the output folder
// are told in the preview and the run and left where they are; a different
// photo of the same name, size and date is placed; under "Never" the one
// name built is compared too.
TEST_F(RenameFilesTest, FilesAlreadyInTheOutputFolderAreNotPlacedAgain) {
    const auto card = [&] { for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG"}) File(f); };
    card();
    Run();
    const Names placed = List(out);
    card();
    for (bool perform : {false, true}) {
        chronology.Reset(), records.clear();
        Run(perform);
        EXPECT_EQ(tally.NumberOfAlreadyImported, 2);
        EXPECT_EQ(tally.NumberOfLockedFiles, 0);
    }
    EXPECT_EQ(List(out), placed);
    EXPECT_EQ(List(in).size(), 2u);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Operation, FileOperation::AlreadyImported);
    EXPECT_FALSE(records[1].Timestamped);
    EXPECT_EQ(records[1].OutputFileName, "20041225_180911_001.JPG");
    EXPECT_EQ(records[1].OutputFolder, out);

    File("IMG_0002.JPG", 0, "IMG_0002.JPX");  // same size and date, other bytes
    options.AddSerial = AddSerial::Never;
    chronology.Reset(), records.clear();
    Run();
    EXPECT_EQ(records[0].Operation, FileOperation::AlreadyImported);
    EXPECT_EQ(records[1].Operation, FileOperation::Failed);  // its name is taken by another photo
    options.AddSerial = AddSerial::DuplicatesOnly;
    chronology.Reset(), records.clear();
    Run();
    EXPECT_EQ(records[1].OutputFileName, "20041225_180911_002.JPG");
    EXPECT_EQ(test::ReadAll(out + "/20041225_180911_002.JPG"), "IMG_0002.JPX");
}

// The record of imports as the app keeps it, in memory.
struct MemoryImports : ImportRecord {
    std::vector<ImportedFile> files;
    std::optional<std::vector<std::int64_t>> Sizes(const std::string&) override {
        std::vector<std::int64_t> sizes;
        for (const ImportedFile& f : files) sizes.push_back(f.Size);
        return sizes;
    }
    std::vector<ImportedFile> WithSize(std::int64_t size, const std::string& folder) override {
        std::vector<ImportedFile> out;
        for (const ImportedFile& f : files)
            if (f.Size == size && f.Path.rfind(folder, 0) == 0) out.push_back(f);
        return out;
    }
    void Add(const ImportedFile& file, const std::string&) override { files.push_back(file); }
    void KeepHash(const std::string& path, DateTime modified, const std::string& hash) override {
        for (ImportedFile& f : files)
            if (f.Path == path) f.Hash = hash, f.Modified = modified;
    }
    void Forget(const std::string&) override {}
    std::map<std::string, std::pair<FileStamp, std::string>> stamped;
    void KeepStampedHash(const std::string& path, const FileStamp& stamp, const std::string& hash) override {
        stamped[path] = {stamp, hash};
    }
    std::string StampedHash(const std::string& path, const FileStamp& stamp) override {
        const auto kept = stamped.find(path);
        return kept != stamped.end() && kept->second.first == stamp ? kept->second.second : std::string();
    }
};

// A placement costs no read for the record; a file placed under a name of
// another format is known by its bytes, hashed when first compared and kept
// in the record; other bytes of that size are told by their first or last
// bytes unread, but equal ends still take the whole files' bytes; a recorded
// file since replaced is read afresh before it counts.
TEST_F(RenameFilesTest, TheRecordOfImportsHashesAPlacedFileOnlyWhenAnotherOfItsSizeComes) {
    MemoryImports record;
    imports = &record;
    options.SkipImported = true;
    File("IMG_0001.JPG", 0, "one");
    File("IMG_0002.JPG", 1, "second");
    Run();
    EXPECT_EQ(files.hashes, 0);
    ASSERT_EQ(record.files.size(), 2u);
    EXPECT_EQ(record.files[0].Hash, "");

    File("IMG_0001.JPG", 0, "one");
    options.FilenameFormat = FilenameFormat::Vantor1;
    Run(false);  // a preview tells it too, and writes nothing to the record
    EXPECT_EQ(record.files[0].Hash, "");
    files.hashes = 0, chronology.Reset(), records.clear();
    Run();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Operation, FileOperation::AlreadyImported);
    EXPECT_EQ(records[0].OutputFileName, "20041225_180911.JPG");
    EXPECT_EQ(files.hashes, 2);
    EXPECT_NE(record.files[0].Hash, "");

    fs::remove(in + "/IMG_0001.JPG");
    File("IMG_0003.JPG", 0, "two");  // the size of the first, other bytes
    files.hashes = 0, chronology.Reset(), records.clear();
    Run();
    EXPECT_EQ(records[0].Operation, FileOperation::Moved);
    EXPECT_EQ(files.hashes, 0);
    // A large file and one that differs from it only between its ends.
    std::string large(3 * kSampleBytes, 'a');
    File("IMG_0005.JPG", 3, large);
    Run();
    large[kSampleBytes + 1] = 'b';
    File("IMG_0006.JPG", 4, large);
    files.hashes = 0, chronology.Reset(), records.clear();
    Run();
    EXPECT_EQ(records[0].Operation, FileOperation::Moved);
    EXPECT_EQ(files.hashes, 2);
    dir.Write("out/20041225_180911.JPG", "uno");  // replaced since: its kept hash no longer counts
    File("IMG_0001.JPG", 0, "one");
    chronology.Reset(), records.clear();
    Run();
    EXPECT_EQ(records[0].Operation, FileOperation::Moved);

    // Many files of one size and other bytes (uncompressed raw files): each
    // costs the same few look-ups, not one for every file placed before it;
    // a copy among them, of another time, is known by the run's own note.
    for (int i = 0; i < 60; ++i) File("IMG_1" + std::to_string(100 + i) + ".JPG", 5, "r" + std::to_string(100 + i));
    File("IMG_1999.JPG", 6, "r130");
    files.lookups = 0, files.hashes = 0, chronology.Reset(), records.clear();
    Run();
    ASSERT_EQ(records.size(), 61u);
    EXPECT_LT(files.lookups, 6 * 61);
    EXPECT_EQ(files.hashes, 2);
    EXPECT_EQ(records.back().Operation, FileOperation::AlreadyImported);

    // The imports since taken out of the output folder: the card's files of
    // their sizes are not read at all.
    fs::remove_all(in), fs::create_directory(in), fs::remove_all(out), fs::create_directory(out);
    for (const std::string bytes : {"abc", "abcdef", "wxyz"}) File("IMG_3" + std::to_string(bytes.size()) + "00.JPG", 7, bytes);
    files.sampled.clear(), files.hashes = 0, chronology.Reset(), records.clear();
    Run();
    EXPECT_EQ(records.size(), 3u);
    for (const std::string& path : files.sampled) EXPECT_EQ(path.rfind(in, 0), std::string::npos) << path;
    EXPECT_EQ(files.hashes, 0);
}

// "Always", the setting of a first start, numbers every file from 001, in
// the preview as in the run.
TEST_F(RenameFilesTest, AlwaysNumbersEveryFileFromOne) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG"}) File(f);
    File("IMG_0003.JPG", 1);
    options.AddSerial = AddSerial::Always;
    Run(false);
    EXPECT_EQ(chronology.Text(), "|20041225180911#1|20041225180911#2|20041225180912#1|");
    chronology.Reset();
    Run();
    EXPECT_EQ(List(out), (Names{"20041225_180911_001.JPG", "20041225_180911_002.JPG", "20041225_180912_001.JPG"}));
}

// A burst of one second costs each file a few names built, in a preview as in
// a run: each family of names goes on from the last serial number it used.
TEST_F(RenameFilesTest, ABurstInOneSecondCostsEachFileAFewTries) {
    options.AddSerial = AddSerial::Always;
    // One name for the whole burst, as the date and serial number make it;
    // then a name of each file's own (its file number in it), a name on the
    // disk in the way of one of them.
    for (bool own : {false, true})
        for (bool perform : {false, true}) {
            chronology.Reset();
            if (own) dir.Write("out/20041225_180911_501_500.JPG", "theirs");
            const ProblemReporter report{port, false};
            PlacementContext placement{files, options, chronology, report};
            long built = 0;
            std::vector<std::int32_t> serials;
            for (int i = 0; i < 1000; ++i) {
                FileFacts facts;
                facts.SourceFilePath = in + "/IMG.JPG";
                if (perform) dir.Write("in/IMG.JPG", "x");  // moved away each time
                facts.TimestampDateTime = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);
                PlaceFile(placement, facts, out, perform, tally, [&](std::int32_t serial) {
                    ++built;
                    return "20041225_180911_" + std::to_string(serial) + (own ? "_" + std::to_string(i) : "") + ".JPG";
                });
                serials.push_back(facts.SequenceNumber);
            }
            EXPECT_EQ(serials[499], 500);
            EXPECT_EQ(serials[500], own ? 502 : 501);
            EXPECT_EQ(serials[501], own ? 501 : 502);  // the number passed over is free in this run
            EXPECT_EQ(serials[999], 1000);
            EXPECT_LE(built, 1000 * 4);
            fs::remove_all(out), fs::create_directory(out);
        }
}

// "Never" with a taken name; a template without %s, where the serial loop must
// still end; built names that are no plain name, which never reach the disk.
TEST_F(RenameFilesTest, AFileWithNoUsableNameStaysWhereItIs) {
    File("IMG_0001.JPG");
    dir.Write("out/2004-12-25 @18-09-11}.jpg", "older");  // what "%d%e" builds with no date prefix
    options.FilenameFormat = FilenameFormat::Custom;
    const std::string moved = "moved due to the following error: File exists";
    const std::string invalid = "copied due to the following error: Invalid file name";
    const struct {
        int addSerial, moveOrCopy;
        std::string tmpl, prefix, error;
    } cases[] = {{0, 0, "%d%e", "", moved},       {1, 0, "%d%e", "", moved},     {1, 1, "../x", "", invalid},
                 {1, 1, "a/b", "", invalid},      {1, 1, "", "", invalid},       {1, 1, "..", "", invalid},
                 {1, 1, "%d%e", "../", invalid},
                 {1, 1, std::string(300, 'x'), "", "copied due to the following error: File name too long"}};
    const Names before = Snapshot(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpl + " serial " + std::to_string(c.addSerial));
        options.AddSerial = static_cast<AddSerial>(c.addSerial), options.MoveOrCopy = static_cast<MoveOrCopy>(c.moveOrCopy);
        options.CustomFormat.Template = c.tmpl, options.CustomFormat.DatePrefix = c.prefix;
        Run();
        EXPECT_EQ(Snapshot(dir.path()), before);
        EXPECT_EQ(tally.NumberOfLockedFiles, 1);
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text, "IMG_0001.JPG could not be " + c.error + ".");
        EXPECT_EQ(port.messages[0].icon, MsgIcon::Exclamation);
        port.messages.clear();
    }
}

TEST_F(RenameFilesTest, PreviewTouchesNothingAndPreservingKeepsOnlyFoldersThatReceivedFiles) {
    for (const char* f : {"IMG_0001.JPG", "Holiday.jpg", "Sub/IMG_0002.JPG", "Skipped/IMG_0004.JPG"}) File(f);
    File("Sub/Deeper/IMG_0003.JPG", 1);
    dir.Mkdir("in/Empty");
    dir.Mkdir("out/Empty");  // an empty output folder of that name goes too
    options.ProcessSubfolders = ProcessSubfolders::Preserve;
    options.ExcludePattern = options.IncludePattern = true;
    options.ExcludePatternList = "Sk*";  // an excluded folder takes everything below it
    options.IncludePatternList = "*.JPG";  // include patterns never stop the descent
    const Names before = Snapshot(dir.path());
    Run(false);
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(tally.NumberOfSourceObjects, 4);
    EXPECT_EQ(tally.SourceObjectNumber, 4);
    EXPECT_EQ(chronology.Text(), "|20041225180911#0|20041225180911#1|20041225180912#0|");
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, "Holiday.jpg does not have a valid DCF file name.");
    chronology.Reset();
    Run();
    EXPECT_EQ(List(out), (Names{"20041225_180911.JPG", "Sub"}));
    EXPECT_EQ(List(out + "/Sub"), (Names{"20041225_180911_001.JPG", "Deeper"}));
    EXPECT_EQ(List(out + "/Sub/Deeper"), Names{"20041225_180912.JPG"});
    EXPECT_EQ(tally.NumberOfInvalidDCFFiles, 1);
}

TEST_F(RenameFilesTest, CancelOrAnOutputFolderThatCannotBeMadeEndsThePass) {
    for (const char* f : {"A/Holiday.jpg", "A/IMG_0002.JPG", "B/IMG_0003.JPG"}) File(f);
    options.ProcessSubfolders = ProcessSubfolders::Preserve;  // A receives nothing, so its output folder goes again
    port.onPump = [](test::FakePort& p) { p.SetCancel(true); };
    EngineContext context{files, port, options, chronology, this};
    tally.NumberOfSourceObjects = 1204;
    RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), true, tally);
    EXPECT_EQ(tally.SourceObjectNumber, 1);
    EXPECT_EQ(port.progressMessages, std::vector<std::string>{"1 of 1,204"});
    EXPECT_TRUE(List(out).empty());
    EXPECT_EQ(List(in + "/A"), (Names{"Holiday.jpg", "IMG_0002.JPG"}));
    port.onPump = nullptr, port.cancel = false;
    dir.Write("out/A", "a file where the folder should go");
    try { Run(); ADD_FAILURE() << "the pass went on"; } catch (const EngineFailure& e) { EXPECT_EQ(e.Number, 76); }
    // An output subfolder that is a link is never written through.
    std::filesystem::remove(out + "/A");
    const std::string elsewhere = dir.Mkdir("elsewhere");
    std::filesystem::create_directory_symlink(elsewhere, out + "/A");
    try { Run(); ADD_FAILURE() << "the pass went on"; } catch (const EngineFailure& e) {
        EXPECT_NE(std::string(e.what()).find("a link stands on its way"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(List(elsewhere).empty());
    EXPECT_EQ(List(in + "/A"), (Names{"Holiday.jpg", "IMG_0002.JPG"}));
}

// The output folder swapped for a link once a subfolder's place in it was
// checked: that subfolder's files, and those of every later one, go nowhere
// but into the folders first reached.
TEST_F(RenameFilesTest, AnOutputFolderSwappedForALinkSendsNoFileWhereItLeads) {
    for (const char* f : {"A/IMG_0001.JPG", "B/IMG_0002.JPG", "C/IMG_0003.JPG"}) File(f);
    options.ProcessSubfolders = ProcessSubfolders::Preserve;
    const std::string elsewhere = dir.Mkdir("elsewhere");
    for (const char* sub : {"A", "B", "C"}) dir.Mkdir(std::string("elsewhere/") + sub);
    files.afterReach = [&] {
        std::filesystem::rename(out, out + ".old");
        std::filesystem::create_directory_symlink(elsewhere, out);
    };
    try { Run(); } catch (const EngineFailure& e) { EXPECT_EQ(e.Number, 76); }
    for (const char* sub : {"A", "B", "C"}) EXPECT_TRUE(List(elsewhere + "/" + sub).empty()) << sub;
    EXPECT_EQ(List(in + "/A"), Names{"IMG_0001.JPG"});
    EXPECT_EQ(List(in + "/C"), Names{"IMG_0003.JPG"});
}

// Each file goes into the folders of its date, made as needed; a preview
// makes none but names as the run does; serial numbers count per folder.
TEST_F(RenameFilesTest, DateFoldersTakeEachFileWithSerialsPerFolder) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG", "Sub/IMG_0003.JPG"}) File(f);
    File("IMG_0004.JPG", 86400);
    File("IMG_0004.CR2", 86400);  // a pair shares one serial number, in one date folder
    dir.Write("out/20041225_180911.JPG", "older, beside the date folders");
    dir.Write("out/2004/2004-12-26/20041226_180911.JPG", "older, in the date folder");
    options.DateFolders = true;
    options.ProcessSubfolders = ProcessSubfolders::Preserve;
    const Names before = Snapshot(dir.path());
    Run(false);
    EXPECT_EQ(Snapshot(dir.path()), before);
    const std::string previewed = chronology.Text();
    EXPECT_EQ(previewed, "|20041225180911#0|20041225180911#1|20041226180911#1|20041225180911#2|");
    EXPECT_EQ(tally.NumberOfLockedFiles, 0);
    chronology.Reset();
    Run();
    EXPECT_EQ(chronology.Text(), previewed);
    const std::string day = out + "/2004/2004-12-25";
    EXPECT_EQ(List(day), (Names{"20041225_180911.JPG", "20041225_180911_001.JPG"}));
    EXPECT_EQ(List(out + "/2004/2004-12-26"),
              (Names{"20041226_180911.JPG", "20041226_180911_001.CR2", "20041226_180911_001.JPG"}));
    EXPECT_EQ(List(out + "/Sub/2004/2004-12-25"), Names{"20041225_180911_002.JPG"});
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].OutputFolder, day);
    EXPECT_EQ(records[4].OutputFolder, out + "/Sub/2004/2004-12-25");
    EXPECT_TRUE(port.messages.empty());
}

// A copy that fails at its batch's commit takes away the date folder made
// for it when that is left empty, never a folder that was there before.
TEST_F(RenameFilesTest, ACopyFailingAtItsCommitLeavesNoEmptyFolderItMade) {
    File("IMG_0001.JPG");
    File("IMG_0002.JPG", 366 * 86400);
    dir.Mkdir("out/2004");
    options.DateFolders = true, options.MoveOrCopy = MoveOrCopy::Copy, options.VerifyCopies = true;
    files.spoilStage = 1;
    Run();
    EXPECT_EQ(tally.NumberOfLockedFiles, 1);
    EXPECT_EQ(List(out), (Names{"2004", "2005"}));
    EXPECT_TRUE(List(out + "/2004").empty());
    EXPECT_EQ(List(out + "/2005/2005-12-26"), Names{"20051226_180911.JPG"});
}

// A file or a link where a date folder should be stops that file only, in
// the preview as in the run; nothing is made outside the output folder, and
// the folders made for a file that then could not be placed go again.
TEST_F(RenameFilesTest, DateFoldersNeverLeadOutsideTheOutputFolder) {
    File("IMG_0001.JPG");           // 2004: a link to a folder outside
    File("IMG_0002.JPG", 366 * 86400);  // 2005-12-26: a file in the way
    File("IMG_0003.JPG", 731 * 86400);  // 2006: its move is refused
    const std::string elsewhere = dir.Mkdir("elsewhere");
    fs::create_directory_symlink(elsewhere, out + "/2004");
    dir.Write("out/2005/2005-12-26", "a file where the folder should go");
    options.DateFolders = true;
    for (const bool perform : {false, true}) {
        SCOPED_TRACE(perform ? "run" : "preview");
        files.refuseMoves = true;
        port.messages.clear();
        chronology.Reset();
        Run(perform);
        EXPECT_EQ(tally.NumberOfLockedFiles, perform ? 3 : 2);
        ASSERT_EQ(port.messages.size(), perform ? 3u : 2u);
        EXPECT_EQ(port.messages[0].text, "IMG_0001.JPG could not be moved due to the following error: a link stands "
                                         "on its way.");
        EXPECT_EQ(port.messages[1].text, "IMG_0002.JPG could not be moved due to the following error: Not a "
                                         "directory.");
    }
    EXPECT_TRUE(List(elsewhere).empty());
    EXPECT_EQ(List(out), (Names{"2004", "2005"}));
    EXPECT_EQ(List(in).size(), 3u);
}

// A folder swapped for a link mid-run (a date folder just after a move, the
// output folder itself between a batch's copies and their names) stops each
// file that would go there, with the folder named; nothing reaches the link's
// target and every original stays where it was, once. The file just moved
// goes back too: the one look after its move cannot tell a swap just after it
// from one just before.
TEST_F(RenameFilesTest, AFolderSwappedMidRunStopsItsFilesInsteadOfWritingElsewhere) {
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}) File(f);
    const std::string elsewhere = dir.Mkdir("elsewhere"), day = out + "/2004/2004-12-25";
    const auto swap = [&](const std::string& folder) {
        fs::rename(folder, folder + ".kept");
        fs::create_directory_symlink(elsewhere, folder);
    };
    const auto expectStopped = [&](const std::vector<std::string>& sources, const std::string& folder,
                                   const char* verb) {
        EXPECT_TRUE(List(elsewhere).empty());
        EXPECT_EQ(tally.NumberOfLockedFiles, static_cast<int>(sources.size()));
        ASSERT_EQ(port.messages.size(), sources.size());
        for (std::size_t i = 0; i < sources.size(); ++i)
            EXPECT_EQ(port.messages[i].text, sources[i] + " could not be " + verb + " due to the following error: "
                                             "The output folder " + folder + " was replaced during the run.");
    };
    options.DateFolders = true;
    // Between two moves: the first file stays where it went.
    files.afterListedMove = [&] { swap(day); };
    Run();
    expectStopped({"IMG_0002.JPG", "IMG_0003.JPG"}, day, "moved");
    EXPECT_EQ(List(day + ".kept"), Names{"20041225_180911.JPG"});
    const Names left{"IMG_0002.JPG", "IMG_0003.JPG"};
    EXPECT_EQ(List(in), left);

    // Just after a move, before it was looked at.
    fs::remove(day);
    fs::rename(day + ".kept", day + ".first");
    port.messages.clear();
    chronology.Reset();
    files.afterMove = [&] { swap(day); };
    Run();
    expectStopped({"IMG_0002.JPG", "IMG_0003.JPG"}, day, "moved");
    EXPECT_TRUE(List(day + ".kept").empty());
    EXPECT_EQ(List(in), left);

    fs::remove(day);
    options.DateFolders = false;
    options.MoveOrCopy = MoveOrCopy::Copy;
    port.messages.clear();
    chronology.Reset();
    files.beforeName = [&](StagedCopy&) { swap(out); };
    Run();
    expectStopped({"IMG_0002.JPG", "IMG_0003.JPG"}, out, "copied");
    EXPECT_EQ(List(out + ".kept"), Names{"2004"});  // no copy, named or half-made, in the folder swapped away
    EXPECT_EQ(List(in), left);
}

// A TIFF (as a CR2 is) with only DateTimeOriginal; subIfdFirst puts its
// directory before IFD0, so the reader begins again.
std::string ExifTiff(const std::string& date, bool subIfdFirst = false) {
    const auto u16 = [](unsigned v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const auto u32 = [&](unsigned v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    const auto ifd = [&](unsigned tag, unsigned type, unsigned count, unsigned at) {  // one entry, no next IFD
        return u16(1) + u16(tag) + u16(type) + u32(count) + u32(at) + u32(0);
    };
    const std::string text = date + '\0', tiff = std::string("II*\0", 4) +
        (subIfdFirst ? u32(46) + ifd(0x9003, 2, 20, 26) + text + ifd(0x8769, 4, 1, 8)  // sub-directory at 8, IFD0 at 46
                     : u32(8) + ifd(0x8769, 4, 1, 26) + ifd(0x9003, 2, 20, 44) + text);  // IFD0 at 8, sub-dir. at 26
    return tiff;
}

// The same in a JPEG's APP1.
std::string ExifJpeg(const std::string& date, bool subIfdFirst = false) {
    const std::string app1 = std::string("Exif\0\0", 6) + ExifTiff(date, subIfdFirst);
    const auto n = static_cast<unsigned>(app1.size() + 2);
    return std::string("\xFF\xD8\xFF\xE1") + char(n >> 8) + char(n & 0xFF) + app1 + "\xFF\xD9";
}

TEST_F(RenameFilesTest, JpegsAreNamedFromTheirExifDates) {
    options.DateMode = DateMode::MetadataOnly;
    File("IMG_0001.JPG", 0, ExifJpeg("2001:02:03 04:05:06", false));
    File("IMG_0002.JPG", 0, ExifJpeg("2001:02:03 04:05:07", true));
    Run();
    EXPECT_EQ(List(out), (Names{"20010203_040506.JPG", "20010203_040507.JPG"}));
    // The reader's note on the restart is shown, but the record begins afresh.
    EXPECT_EQ(records.at(1).Notes, "");
    EXPECT_EQ(port.messages.at(0).text, "Proceeding with parsing of IMG_0002.JPG even though it contains an "
                                        "out-of-sequence TIFF APP1 SubIFD.");
}

// The files of one shot share a serial number in every mode, the next shot
// takes the next one, and sidecars follow their picture even where they have
// no metadata date, and are skipped with it; with the option off each file
// is numbered on its own again.
TEST_F(RenameFilesTest, FilesOfOneShotShareASerialNumberAndSidecarsFollowTheirPicture) {
    struct Case {
        AddSerial serial;
        bool together;
        Names placed;
    };
    const std::string t = "20010203_040506";
    const Case cases[] = {
        {AddSerial::DuplicatesOnly, true,
         {t + ".CR2", t + ".JPG", t + ".XMP", t + "_001.CR2", t + "_001.JPG", t + "_001.WAV", t + "_002.AAE",
          t + "_002.JPG"}},
        {AddSerial::Always, true,
         {t + "_001.CR2", t + "_001.JPG", t + "_001.XMP", t + "_002.CR2", t + "_002.JPG", t + "_002.WAV",
          t + "_003.AAE", t + "_003.JPG"}},
        {AddSerial::DuplicatesOnly, false,
         {t + ".CR2", t + "_001.JPG", t + "_002.CR2", t + "_003.JPG", t + "_004.JPG", t + "_005.THM"}},
    };
    options.DateMode = DateMode::MetadataOnly;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.serial) * 2 + c.together);
        fs::remove_all(in), fs::remove_all(out), fs::create_directories(in), fs::create_directories(out);
        const std::string date = "2001:02:03 04:05:06";
        File("IMG_0050.CR2", 0, ExifTiff(date)), File("IMG_0050.JPG", 0, ExifJpeg(date));
        File("IMG_0050.xmp", 0, "<x:xmpmeta/>");
        File("IMG_0051.CR2", 0, ExifTiff(date)), File("IMG_0051.JPG", 0, ExifJpeg(date));
        File("IMG_0051.WAV", 0, "no RIFF here");
        File("MVI_0052.MOV", 0, "no movie metadata"), File("MVI_0052.THM", 0, ExifJpeg(date));
        File("IMG_0060.xmp", 0, "<x:xmpmeta/>");  // its picture is not there
        File("IMG_0053.JPG", 0, ExifJpeg(date)), File("IMG_0053.AAE", 0, "<plist/>");  // an iPhone's edits
        options.AddSerial = c.serial, options.KeepPairsTogether = c.together;
        chronology.Reset(), records.clear(), port.messages.clear();
        Run();
        EXPECT_EQ(List(out), c.placed);
        ASSERT_EQ(records.size(), 11u);
        EXPECT_EQ(tally.NumberOfInvalidEXIFFiles + tally.NumberOfInvalidDateFiles, c.together ? 3 : 5);
        EXPECT_EQ(tally.SourceObjectNumber, 11);
        if (!c.together) continue;
        EXPECT_EQ(test::ReadAll(out + "/" + t + (c.serial == AddSerial::Always ? "_001.XMP" : ".XMP")), "<x:xmpmeta/>");
        EXPECT_EQ(chronology.Text(), c.serial == AddSerial::Always
                                         ? "|20010203040506#1|20010203040506#2|20010203040506#3|"
                                         : "|20010203040506#0|20010203040506#1|20010203040506#2|");
        EXPECT_EQ(List(in), (Names{"IMG_0060.xmp", "MVI_0052.MOV", "MVI_0052.THM"}));
        const auto thm = std::find_if(records.begin(), records.end(),
                                      [](const FileFacts& f) { return f.SourceFileName == "MVI_0052.THM"; });
        ASSERT_NE(thm, records.end());
        EXPECT_EQ(thm->Notes, "MVI_0052.THM is skipped with MVI_0052.MOV.");
        EXPECT_EQ(records.at(2).SourceFileName, "IMG_0050.xmp");
        EXPECT_EQ(records.at(2).DateSource, records.at(0).DateSource);
    }
}

// A shot takes the first serial number that is free for every one of its
// files, a name taken for one of them pushing all of them up.
TEST_F(RenameFilesTest, AShotTakesTheFirstSerialNumberFreeForEachOfItsFiles) {
    options.DateMode = DateMode::MetadataOnly;
    const std::string date = "2001:02:03 04:05:06", t = "20010203_040506";
    for (const char* taken : {"20010203_040506.JPG", "20010203_040506_002.CR2"}) dir.Write("out/" + std::string(taken), "x");
    File("IMG_0050.CR2", 0, ExifTiff(date)), File("IMG_0050.JPG", 0, ExifJpeg(date));
    File("IMG_0051.CR2", 0, ExifTiff(date)), File("IMG_0051.JPG", 0, ExifJpeg(date));
    Run(false);
    ASSERT_EQ(tally.NumberOfLockedFiles, 0);
    EXPECT_EQ(chronology.Text(), "|20010203040506#1|20010203040506#3|");
    chronology.Reset();
    Run();
    EXPECT_EQ(List(out), (Names{t + ".JPG", t + "_002.CR2", t + "_001.CR2", t + "_001.JPG", t + "_003.CR2",
                                t + "_003.JPG"}));
}

// The time shift moves names made from metadata dates, across midnight and a
// month's end, and leaves names made from file-system dates alone.
TEST_F(RenameFilesTest, TimeShiftMovesMetadataNamesOnly) {
    options.DateMode = DateMode::FileSystemWhenNoMetadata, options.TimeShift = "+01:00:00";
    File("IMG_0001.JPG", 0, ExifJpeg("2024:02:29 23:30:00", false));
    File("IMG_0002.JPG", 0, ExifJpeg("2023:12:31 23:00:00", false));
    File("IMG_0003.JPG");  // no metadata: the file's own 2004-12-25 18:09:11
    Run();
    EXPECT_EQ(List(out), (Names{"20240301_003000.JPG", "20240101_000000.JPG", "20041225_180911.JPG"}));
}

// A camera's offset moves its own files only, on top of the run's shift.
// A movie that stores only UTC is named in the zone of its camera's photos,
// though the photos come after it in the walk, and a movie of no such camera
// by the zone at its position; the photos keep their own clock's names.
TEST_F(RenameFilesTest, MoviesTakeTheirZoneFromTheirCamerasPhotosAndTheirPlace) {
    options.DateMode = DateMode::MetadataOnly, options.ProcessSubfolders = ProcessSubfolders::Flatten;
    const auto seed = [](const std::string& name) {
        std::ifstream in(std::string(RAVLEN_FUZZ_CORPUS "/") + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    File("MVI_0001.MOV", 0, seed("iso_media/canon_utc.mov"));
    File("MVI_0002.MOV", 0, seed("iso_media/udta_xyz.mov"));
    dir.Mkdir("in/sub");
    File("sub/IMG_0001.JPG", 0, seed("jpeg_tiff/canon_tokyo.jpg"));
    EngineContext context{files, port, options, chronology, this, intents};
    context.zoneAt = [](double, double, std::int64_t) {
        return std::optional<PositionZone>(PositionZone{"Asia/Tokyo", 9 * 3600});
    };
    context.movieZone = [](std::int64_t) { return 0; };
    tally.NumberOfSourceObjects = CountFiles(files, in, FileFilter::Of(options), false);
    RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), true, tally);
    EXPECT_EQ(List(out), (Names{"20230312_103000.MOV", "20230312_080000.MOV", "20230312_100000.JPG"}));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].Notes + records[1].Notes, "");
    EXPECT_EQ(records[0].MovieZoneSource, "Same camera's photos: +09:00");
    EXPECT_EQ(records[1].MovieZoneSource, "Position: Asia/Tokyo");
    EXPECT_EQ(records[2].MovieZoneSource, "");
}

TEST_F(RenameFilesTest, CameraOffsetMovesThatCamerasFilesOnly) {
    options.DateMode = DateMode::MetadataOnly, options.TimeShift = "+01:00:00";
    options.CameraOffsets = "|Slow Cam|=-00:10:00;|Other|1=+5 00:00:00";
    File("IMG_0001.JPG", 0, test::CameraJpeg("2024:01:31 23:30:00", "", "Slow Cam"));
    File("IMG_0002.JPG", 0, test::CameraJpeg("2024:01:31 23:30:00", "", "Fast Cam"));
    Run();
    EXPECT_EQ(List(out), (Names{"20240201_002000.JPG", "20240201_003000.JPG"}));
    EXPECT_EQ(records.at(0).CameraModel, "Slow Cam");
    EXPECT_EQ(records.at(0).CameraOffsetSeconds, -600);
    EXPECT_EQ(records.at(0).ShiftSeconds, 3000);
    EXPECT_EQ(records.at(1).CameraOffsetSeconds, 0);
}

// Moves within one file system are planned a batch at a time, in one write
// of the record that need not reach the disk before they are made (a rename
// leaves its file whole). A moved file's plan may outlive its record only
// where recovery would settle it as that record says: the CSV log keeps it,
// no log at all lets it go back; a text log alone would call moved a file
// put back.
TEST_F(RenameFilesTest, StrikesOutAMovesPlanLaterOnlyWhereRecoveryAgrees) {
    struct Calls : IntentRecord {
        std::vector<std::string> calls;
        FsStatus Plan(PlannedPlacement& plan) override {
            plan.Id = 7;
            return FsStatus::Ok();
        }
        FsStatus PlanAll(std::vector<PlannedPlacement>& plans, bool durable) override {
            calls.push_back("plan " + std::to_string(plans.size()) + (durable ? " flushed" : ""));
            return IntentRecord::PlanAll(plans, durable);
        }
        void Done(std::int64_t) override { calls.push_back("done"); }
        void DoneLater(std::int64_t) override { calls.push_back("later"); }
        void Settle() override { calls.push_back("settle"); }
        std::vector<PlannedPlacement> Abandoned() override { return {}; }
    } calls;
    intents = &calls;
    using Seen = std::vector<std::string>;
    for (const CreateLog log : {CreateLog::No, CreateLog::Text, CreateLog::Csv, CreateLog::Both}) {
        options.CreateLog = log;
        calls.calls.clear();
        File("IMG_0001.JPG"), File("IMG_0002.JPG", 1), File("IMG_0003.JPG", 2);
        Run();
        const char* struck = log == CreateLog::Text ? "done" : "later";
        EXPECT_EQ(calls.calls, (Seen{"plan 3", struck, struck, struck, "settle"})) << static_cast<int>(log);
    }
    // Copies are flushed with their plans.
    options.MoveOrCopy = MoveOrCopy::Copy;
    calls.calls.clear();
    File("IMG_0001.JPG");
    Run();
    EXPECT_EQ(calls.calls.front(), "plan 1 flushed");
}

// A batch's moves are made in the files' order, each recorded before the
// next: once a log cannot be written, no file is moved unrecorded, and those
// waiting stay where they were, each told why.
TEST_F(RenameFilesTest, ALogThatFailsStopsTheMovesWaitingInTheBatch) {
    struct FailingLog : FileRecordSink {
        std::size_t takes = 2;
        std::vector<std::string> names;
        void WriteFileRecord(const FileFacts& facts) override {
            if (!Failed()) names.push_back(facts.SourceFileName);
        }
        bool Failed() const override { return names.size() >= takes; }
    } log;
    for (int i = 1; i <= 5; ++i) File("IMG_000" + std::to_string(i) + ".JPG", i);
    EngineContext context{files, port, options, chronology, &log, intents};
    tally.ResetPass();
    tally.NumberOfSourceObjects = CountFiles(files, in, FileFilter::Of(options), false);
    RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), true, tally);
    EXPECT_EQ(log.names, (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG"}));
    EXPECT_EQ(List(out).size(), 2u);
    EXPECT_EQ(List(in), (Names{"IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG"}));
    EXPECT_EQ(tally.NumberOfLockedFiles, 3);
    ASSERT_FALSE(port.messages.empty());
    EXPECT_EQ(port.messages[0].text, "IMG_0003.JPG could not be moved due to the following error: The log could not "
                                     "be written.");
    EXPECT_TRUE(plans.left.empty());
}

// A file of the card whose bytes an earlier file of the same run brought to
// the output folder is told as already imported, though its twin's copy is
// not yet named, or its move not yet made, when it is looked at.
TEST_F(RenameFilesTest, TwinsOnOneCardArePlacedOnce) {
    MemoryImports record;
    imports = &record;
    options.SkipImported = true;
    for (const MoveOrCopy mode : {MoveOrCopy::Move, MoveOrCopy::Copy}) {
        SCOPED_TRACE(static_cast<int>(mode));
        options.MoveOrCopy = mode;
        fs::remove_all(in), fs::create_directory(in), fs::remove_all(out), fs::create_directory(out);
        record.files.clear(), records.clear(), chronology.Reset();
        File("IMG_0001.JPG", 0, "the same bytes"), File("IMG_0002.JPG", 0, "the same bytes");
        Run();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].Operation, FileOperation::AlreadyImported);
        EXPECT_EQ(records[1].OutputFileName, records[0].OutputFileName);
        EXPECT_EQ(List(out).size(), 1u);
    }
}

// SetFileTime: each plan keeps its source's time to the nanosecond (a file
// the recovery puts back gets it again), a batch's plans too; the placed
// file's time becomes its recording time, or the record says why not.
TEST_F(RenameFilesTest, PlansKeepTheSourcesTimeWhenTheRunSetsFileTimes) {
    struct Plans : IntentRecord {
        std::vector<PlannedPlacement> all;
        FsStatus Plan(PlannedPlacement& plan) override {
            plan.Id = static_cast<std::int64_t>(all.size()) + 1;
            all.push_back(plan);
            return FsStatus::Ok();
        }
        void Done(std::int64_t) override {}
        std::vector<PlannedPlacement> Abandoned() override { return {}; }
    } plans;
    intents = &plans;
    options.SetFileTime = true;
    for (const bool across : {false, true}) {
        files.across = across;
        File("IMG_0001.JPG", 5);
        const FileTime kept = *files.ModifiedTime(in + "/IMG_0001.JPG");
        ASSERT_TRUE(files.SetModifiedTime(in + "/IMG_0001.JPG", {kept.Seconds, 987654321}));
        Run();
        ASSERT_EQ(plans.all.size(), across ? 2u : 1u);
        EXPECT_EQ(plans.all.back().OriginalModifiedTime, (FileTime{kept.Seconds, 987654321})) << across;
        EXPECT_EQ(records.back().OriginalModifiedTime, plans.all.back().OriginalModifiedTime);
        EXPECT_EQ(files.ModifiedTime(plans.all.back().Target), (FileTime{kept.Seconds, 0}));
    }
    // A time that cannot be set is noted in the file's record, which still
    // tells it placed, and counted for the summary.
    files.refuseTimes = true;
    for (const bool across : {false, true}) {
        files.across = across;
        File("IMG_0002.JPG");
        Run();
        EXPECT_EQ(records.back().Operation, FileOperation::Moved);
        EXPECT_NE(records.back().Notes.find("'s modified time could not be set due to the following error: "
                                            "Operation not permitted."), std::string::npos) << across;
        EXPECT_EQ(tally.NumberOfTimesNotSet, 1);
    }
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// A file that cannot be opened: noted with the system's reason in DateMode 1
// (and counted as lacking metadata), silent in DateMode 2.
// Records the order of first-read hints and opens, by file name.
struct HintFs : PosixFileSystem {
    std::vector<std::string> events;
    std::function<void(const std::string& name)> onOpen;
    static std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }
    void WillRead(const std::string& path) override {
        events.push_back("hint " + Name(path));
        PosixFileSystem::WillRead(path);
    }
    void ReadsOver() override { events.push_back("over"); }
    std::unique_ptr<ReadStream> OpenRead(const std::string& path, FsStatus& status) override {
        events.push_back("open " + Name(path));
        if (onOpen) onOpen(Name(path));
        return PosixFileSystem::OpenRead(path, status);
    }
};

// The next files' first reads are started a bounded window ahead, only for
// files the walk will read, and a file changed after its hint is read as it
// is at its turn.
TEST(ReadAhead, HintsTheNextFilesWithinTheWindowAndReadsEachAfresh) {
    test::TempDir tmp;
    const std::string in = tmp.Mkdir("in"), out = tmp.Mkdir("out");
    const std::size_t count = kReadAheadFiles * 2 + 3;
    auto name = [](std::size_t i) { return "IMG_" + std::to_string(1000 + i) + ".JPG"; };
    for (std::size_t i = 0; i < count; ++i) tmp.Write("in/" + name(i), ExifJpeg("2001:02:03 04:05:06", false));
    tmp.Write("in/M0100.CTG", "catalog");
    for (DateMode mode : {DateMode::FileSystemOnly, DateMode::MetadataOnly}) {  // a preview, then a run
        HintFs files;
        test::FakePort port;
        RunOptions options;
        options.DateMode = mode, options.FilenameFormat = FilenameFormat::DcfStyle;
        options.AddBatchVolume = AddBatchVolume::Neither, options.AddSerial = AddSerial::DuplicatesOnly;
        files.onOpen = [&](const std::string& opened) {
            if (opened == name(0)) tmp.Write("in/" + name(5), ExifJpeg("2009:08:07 06:05:04", false));
        };
        ChronologyList chronology;
        RunTally tally;
        std::vector<std::string> placed;
        struct : FileRecordSink {
            std::vector<std::string>* names;
            void WriteFileRecord(const FileFacts& facts) override { names->push_back(facts.OutputFileName); }
        } sink;
        sink.names = &placed;
        EngineContext context{files, port, options, chronology, &sink};
        const bool run = mode == DateMode::MetadataOnly;
        RenameFiles(context, *files.GetFolder(in), *files.GetFolder(out), run, tally);
        // Whatever the hints held is let go once the walk is over.
        ASSERT_FALSE(files.events.empty());
        EXPECT_EQ(files.events.back(), "over");
        files.events.pop_back();
        if (!run) {
            EXPECT_TRUE(files.events.empty());
            continue;
        }
        ASSERT_EQ(placed.size(), count);
        EXPECT_EQ(placed[5], "20090807_060504.JPG");
        std::size_t opened = 0, hinted = 0;
        for (const std::string& e : files.events) {
            if (e.rfind("open ", 0) == 0) {
                EXPECT_EQ(e, "open " + name(opened));
                ++opened;
            } else {
                EXPECT_EQ(e, "hint " + name(hinted + 1)) << "each file after the first once, in order";
                ++hinted;
                EXPECT_LE(hinted, opened + kReadAheadFiles) << "never more than the window ahead";
            }
        }
        EXPECT_EQ(opened, count);
        EXPECT_EQ(hinted, count - 1);
    }
}

// A file that cannot be opened lacks metadata only in the strict mode; one
// removed since it was listed lacks nothing: in every mode it is not placed.
TEST(ReadMetadataOpen, AFileThatCannotBeOpenedIsNotedOnlyInStrictModeAndAVanishedOneIsNotPlaced) {
    test::TempDir tmp;
    PosixFileSystem files;
    tmp.Mkdir("IMG_0002.JPG");  // a folder where a file was: cannot be opened as one
    for (DateMode mode : {DateMode::MetadataOnly, DateMode::FileSystemWhenNoMetadata}) {
        const bool strict = mode == DateMode::MetadataOnly;
        for (const char* name : {"IMG_0001.JPG", "IMG_0002.JPG"}) {
            const bool gone = name == std::string("IMG_0001.JPG");
            test::FakePort port;
            RunOptions options;
            options.DateMode = mode;
            RunTally tally;
            FileFacts facts;
            facts.SourceFileName = name;
            facts.SourceFilePath = tmp / name;
            MetadataPass pass;
            EXPECT_EQ(ReadMetadata(files, PortReadHooks(port, options.ReportErrors), options, facts, pass, tally),
                      MetadataOutcome::Done);
            EXPECT_FALSE(facts.TIFFMetadata || facts.RIFFMetadata || facts.CIFFMetadata);
            const std::string expected = gone     ? "IMG_0001.JPG no longer exists."
                                         : strict ? "IMG_0002.JPG could not be opened due to the following error: "
                                                    "Is a directory."
                                                  : "";
            EXPECT_EQ(facts.Notes, expected);
            EXPECT_EQ(tally.NumberOfInvalidEXIFFiles, !gone && strict ? 1 : 0);
            EXPECT_EQ(tally.NumberOfLockedFiles, gone ? 1 : 0);
            EXPECT_EQ(facts.Timestamped, !gone && !strict);
        }
    }
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// Random cards of single files, RAW+JPEG pairs and pictures or movies with
// sidecars, placed by every mode in batches of a few files: whatever shot a
// batch boundary splits, every file a record calls placed holds its
// original's bytes at its new name, and every original exists exactly once
// at its source or placed (and still at its source after a copy).
TEST_F(RenameFilesTest, EveryFileRecordedAsPlacedIsPlacedWhereverABatchEnds) {
    const std::vector<std::vector<std::string>> kinds = {
        {"JPG"}, {"CR2", "JPG"}, {"JPG", "WAV"}, {"AVI", "THM"}, {"CR2", "JPG", "XMP"}, {"MOV"}, {"HEIC", "AAE"}};
    struct Mode {
        MoveOrCopy how;
        bool across, refuse, record;
    };
    const Mode modes[] = {{MoveOrCopy::Copy, false, false, true},
                          {MoveOrCopy::Move, false, false, true},
                          {MoveOrCopy::Move, false, false, false},
                          {MoveOrCopy::Move, true, false, true},
                          {MoveOrCopy::CopyWhenUnableToMove, false, true, true},
                          {MoveOrCopy::CopyWhenUnableToMove, true, false, true}};
    std::mt19937 random(20261207);
    int card = 0;
    for (const std::size_t batch : {2u, 3u, 5u})
        for (const Mode& mode : modes)
            for (int round = 0; round < 4; ++round, ++card) {
                const std::string tag = "card " + std::to_string(card) + " batch " + std::to_string(batch);
                in = dir.Mkdir("in" + std::to_string(card)), out = dir.Mkdir("out" + std::to_string(card));
                // Every other card is backed up too, one of them into date folders.
                const std::string backup = round % 2 == 1 ? dir.Mkdir("backup" + std::to_string(card)) : "";
                options.BackupPaths = backup, options.DateFolders = round == 3;
                const std::string folder = "in" + std::to_string(card) + "/";
                std::map<std::string, std::string> originals;  // name -> bytes
                const int shots = 3 + static_cast<int>(random() % 12);
                for (int shot = 0; shot < shots; ++shot)
                    for (const std::string& extension : kinds[random() % kinds.size()]) {
                        const std::string name = "IMG_" + std::to_string(1000 + shot) + "." + extension;
                        originals[name] = name + std::string(1 + random() % 64, static_cast<char>('a' + random() % 26));
                        const std::string relative = name;
                        const std::string path = dir.Write(folder + relative, originals[name]);
                        const timespec times[2] = {{1103998151 + static_cast<int>(random() % 3), 0},
                                                   {1103998151 + static_cast<int>(random() % 3), 0}};
                        utimensat(AT_FDCWD, path.c_str(), times, 0);
                    }
                records.clear(), chronology.Reset(), tally = RunTally{};
                options.MoveOrCopy = mode.how, options.VerifyCopies = batch == 3;
                files.across = mode.across, files.refuseMoves = mode.refuse;
                intents = mode.record ? &plans : nullptr;
                batchFiles = batch;
                Run();

                ASSERT_EQ(records.size(), originals.size()) << tag;
                EXPECT_EQ(tally.NumberOfLockedFiles, 0) << tag;
                std::map<std::string, int> seen;  // bytes -> copies found
                for (const auto& [path, bytes] : test::Tree(in)) ++seen[bytes];
                for (const auto& [path, bytes] : test::Tree(out)) ++seen[bytes];
                if (!backup.empty())
                    for (const auto& [path, bytes] : test::Tree(backup)) ++seen[bytes];
                for (const FileFacts& r : records) {
                    ASSERT_TRUE(r.Operation == FileOperation::Copied || r.Operation == FileOperation::Moved) << tag << " " << r.SourceFileName;
                    const std::string placed = JoinPath(r.OutputFolder, r.OutputFileName);
                    ASSERT_TRUE(fs::exists(placed)) << tag << " " << r.SourceFileName << " logged at " << placed;
                    EXPECT_EQ(test::ReadAll(placed), originals[r.SourceFileName]) << tag;
                    if (!backup.empty()) {
                        EXPECT_EQ(test::ReadAll(backup + placed.substr(out.size())), originals[r.SourceFileName]) << tag;
                    }
                    EXPECT_EQ(fs::exists(r.SourceFilePath), r.Operation == FileOperation::Copied) << tag << " " << r.SourceFileName;
                }
                const int destinations = backup.empty() ? 1 : 2;
                for (const FileFacts& r : records)
                    EXPECT_EQ(seen[originals[r.SourceFileName]], destinations + (r.Operation == FileOperation::Copied ? 1 : 0)) << tag;
                EXPECT_TRUE(plans.left.empty()) << tag;
            }
}

// With a backup folder every file is copied there too, under its name below
// the output folder, and is placed only once both copies are named and on
// the disk: a move within one file system renames the file into the output
// folder only then, one to another file system gives up its source only
// then. A backup copy that cannot be named, or a backup folder that is gone,
// leaves the file placed in the output folder and kept at its source.
TEST_F(RenameFilesTest, AFileIsPlacedOnlyOnceItsBackupCopyIsNamedAndOnTheDisk) {
    const std::string backup = dir.Mkdir("backup");
    options.BackupPaths = " " + backup + "/ ; " + backup, options.DateFolders = true;
    File("IMG_0001.JPG");
    bool backedUpFirst = false;
    files.afterMove = [&] { backedUpFirst = fs::exists(backup + "/2004/2004-12-25/20041225_180911.JPG"); };
    Run();
    EXPECT_TRUE(backedUpFirst);
    EXPECT_EQ(files.steps, (std::vector<std::string>{"stage IMG_0001.JPG", "flush", "name 20041225_180911.JPG", "flush",
                                                     "record IMG_0001.JPG"}));
    EXPECT_EQ(test::ReadAll(out + "/2004/2004-12-25/20041225_180911.JPG"), "IMG_0001.JPG");
    EXPECT_TRUE(List(in).empty());
    EXPECT_TRUE(plans.left.empty());

    files.across = true, files.steps.clear(), records.clear(), chronology.Reset();
    File("IMG_0002.JPG", 1);
    Run();
    EXPECT_EQ(files.steps, (std::vector<std::string>{"stage IMG_0002.JPG", "stage IMG_0002.JPG", "flush", "flush",
                                                     "name 20041225_180912.JPG", "name 20041225_180912.JPG", "flush",
                                                     "flush", "give up IMG_0002.JPG", "record IMG_0002.JPG"}));
    EXPECT_EQ(test::ReadAll(backup + "/2004/2004-12-25/20041225_180912.JPG"), "IMG_0002.JPG");
    EXPECT_EQ(records.at(0).BackupFilePaths, std::vector<std::string>{backup + "/2004/2004-12-25/20041225_180912.JPG"});

    for (const MoveOrCopy how : {MoveOrCopy::Move, MoveOrCopy::Copy, MoveOrCopy::CopyWhenUnableToMove}) {
        // Its name refused, or its disk failing when flushed.
        const bool flush = how == MoveOrCopy::CopyWhenUnableToMove;
        files.across = how != MoveOrCopy::Move, records.clear(), chronology.Reset();
        files.refuseFlushIn = flush ? backup : "", files.refuseNamesIn = flush ? "" : backup;
        options.MoveOrCopy = how;
        File("IMG_0003.JPG", 2);
        Run();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].Operation, FileOperation::Copied);
        EXPECT_TRUE(records[0].BackupFilePaths.empty());
        EXPECT_EQ(records[0].MissingBackups, std::vector<std::string>{backup + ": Input/output error"});
        EXPECT_EQ(tally.NumberOfLockedFiles, 0);
        EXPECT_EQ(tally.NumberWithoutBackup, 1);
        EXPECT_TRUE(fs::exists(in + "/IMG_0003.JPG"));
        EXPECT_EQ(test::ReadAll(out + "/2004/2004-12-25/20041225_180913.JPG"), "IMG_0003.JPG");
        fs::remove(out + "/2004/2004-12-25/20041225_180913.JPG");
        EXPECT_EQ(test::Tree(backup).size(), 2u);
        EXPECT_TRUE(plans.left.empty());
    }
    // A backup folder that is gone: the same, its copy never staged.
    files.across = false, files.refuseNamesIn.clear(), files.refuseFlushIn.clear(), records.clear(), chronology.Reset();
    options.MoveOrCopy = MoveOrCopy::Move, options.BackupPaths = backup + "/gone;" + backup;
    Run();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Operation, FileOperation::Copied);
    EXPECT_EQ(records[0].MissingBackups, std::vector<std::string>{backup + "/gone: No such file or directory"});
    EXPECT_EQ(records[0].BackupFilePaths, std::vector<std::string>{backup + "/2004/2004-12-25/20041225_180913.JPG"});
    EXPECT_TRUE(fs::exists(in + "/IMG_0003.JPG"));
    EXPECT_TRUE(fs::exists(out + "/2004/2004-12-25/20041225_180913.JPG"));
    EXPECT_FALSE(fs::exists(backup + "/gone"));
    EXPECT_TRUE(plans.left.empty());
}

// A file's copies (its own, and one for each backup folder) are written from
// one read of it, yet each stands alone: a backup copy whose write fails or
// that reads back spoilt leaves that backup without the file, which is placed
// and kept at its source; its own copy failing places it nowhere. A backup
// folder swapped for another mid-run is held to: nothing goes into the new one.
TEST_F(RenameFilesTest, CopiesFromOneReadStandAlone) {
    const std::string backup = dir.Mkdir("backup"), placed = out + "/2004/2004-12-25/20041225_180911.JPG";
    options.BackupPaths = backup, options.MoveOrCopy = MoveOrCopy::Move, options.VerifyCopies = true;
    options.DateFolders = true;
    files.across = true;
    struct Fault {
        int spoil, fail;
        std::string why;
    };
    for (const Fault& fault : {Fault{0, 1, ""},
                               Fault{2, 0, "The copy read back from the disk differs from the original"},
                               Fault{0, 2, "No space left on device"}}) {
        records.clear(), chronology.Reset(), tally = RunTally{};
        File("IMG_0001.JPG");
        files.writes = 0, files.spoilWrite = fault.spoil, files.failWrite = fault.fail;
        Run();
        ASSERT_EQ(records.size(), 1u) << fault.fail;
        EXPECT_TRUE(fs::exists(in + "/IMG_0001.JPG"));
        EXPECT_TRUE(test::Tree(backup).empty());
        EXPECT_TRUE(plans.left.empty());
        if (fault.why.empty()) {
            // Not placed: the backup folder is left as it was, no date folder made.
            EXPECT_EQ(tally.NumberOfLockedFiles, 1);
            EXPECT_TRUE(List(out).empty());
            EXPECT_TRUE(List(backup).empty());
            continue;
        }
        EXPECT_EQ(records[0].Operation, FileOperation::Copied);
        EXPECT_EQ(records[0].MissingBackups, std::vector<std::string>{backup + ": " + fault.why});
        EXPECT_EQ(test::ReadAll(placed), "IMG_0001.JPG");
        fs::remove(placed);
    }
    files.writes = files.failWrite = 0, records.clear(), chronology.Reset();
    files.beforeName = [&](StagedCopy&) {
        fs::rename(backup, backup + "-was");
        fs::create_directory(backup);
    };
    Run();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].BackupFilePaths.empty());
    EXPECT_EQ(records[0].MissingBackups,
              std::vector<std::string>{backup + ": The backup folder " + backup + " was replaced during the run"});
    EXPECT_TRUE(List(backup).empty());
    EXPECT_TRUE(test::Tree(backup + "-was").empty());
    EXPECT_TRUE(fs::exists(in + "/IMG_0001.JPG"));
}

// Backups catch up: with SkipImported, a file the output folder holds
// already but a backup lacks gets only its backup copy, from its source; the
// output folder is left alone. Each copy's hash, taken while copying, is
// kept with the copy and its source, so that the card's verdict reads no
// byte again; a source changed since has its bytes read afresh.
TEST_F(RenameFilesTest, BackupsCatchUpAndTheCopiesHashesAreKept) {
    MemoryImports record;
    imports = &record;
    options.SkipImported = true, options.MoveOrCopy = MoveOrCopy::Copy;
    File("IMG_0001.JPG", 0, "one");
    File("IMG_0002.JPG", 1, "second");
    Run();
    ASSERT_EQ(record.stamped.size(), 4u);
    CardCheckRequest request;
    request.Source = in, request.Output = out;
    files.hashes = 0;
    EXPECT_TRUE(CheckCard(files, files, &record, request).Safe());
    EXPECT_EQ(files.hashes, 0);

    const std::string backup = dir.Mkdir("backup");
    dir.Write("backup/20041225_180912.JPG", "second");  // backed up already
    options.BackupPaths = backup;
    const Names before = Snapshot(out);
    records.clear(), chronology.Reset();
    Run();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Operation, FileOperation::AlreadyImported);
    EXPECT_EQ(records[0].BackupFilePaths, std::vector<std::string>{backup + "/20041225_180911.JPG"});
    EXPECT_EQ(records[0].Notes, kCaughtUpText);
    EXPECT_EQ(records[1].Operation, FileOperation::AlreadyImported);
    EXPECT_TRUE(records[1].BackupFilePaths.empty());
    EXPECT_EQ(test::ReadAll(backup + "/20041225_180911.JPG"), "one");
    EXPECT_EQ(Snapshot(out), before);
    EXPECT_EQ(tally.NumberWithoutBackup, 0);
    EXPECT_TRUE(plans.left.empty());
    request.Backups = {backup};
    files.hashes = 0;
    EXPECT_TRUE(CheckCard(files, files, &record, request).Safe());
    EXPECT_EQ(files.hashes, 1);  // the backup's own "second", never copied by a run

    // A card file changed since (same size, other bytes, another time) is read again.
    dir.Write("in/IMG_0001.JPG", "uno");
    files.hashes = 0;
    const CardVerdict changed = CheckCard(files, files, &record, request);
    ASSERT_EQ(changed.Unsafe.size(), 1u);
    EXPECT_EQ(changed.Unsafe[0].Path, in + "/IMG_0001.JPG");
    EXPECT_GE(files.hashes, 1);
}

// The serial number is chosen free in the output folder and in every backup
// folder at once, in the preview as in the run.
TEST_F(RenameFilesTest, ASerialIsChosenFreeInEveryDestination) {
    const std::string backup = dir.Mkdir("backup"), second = dir.Mkdir("second");
    options.BackupPaths = backup + ";" + second;
    dir.Write("backup/20041225_180911.JPG", "theirs");
    dir.Write("second/20041225_180911_001.JPG", "theirs");
    dir.Write("out/20041225_180911_002.JPG", "theirs");
    File("IMG_0001.JPG");
    Run(false);
    EXPECT_EQ(chronology.Text(), "|20041225180911#3|");
    chronology.Reset();
    Run();
    for (const std::string& folder : {out, backup, second})
        EXPECT_EQ(test::ReadAll(folder + "/20041225_180911_003.JPG"), "IMG_0001.JPG") << folder;
}

// A camera on a cable, whose files have no path on the computer: every read,
// listing, copy and removal of its files goes through the source, and a path
// it gives means nothing to the file system.
struct CameraSource : FileSource {
    CameraSource(PosixFileSystem& disk, std::string card) : disk(disk), card(std::move(card)) {}
    PosixFileSystem& disk;
    std::string card;
    std::vector<std::string> givenUp;
    std::string Real(const std::string& path) const { return card + path.substr(std::string_view("camera:").size()); }
    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override {
        if (!disk.ListFolder(Real(path), files, folders)) return false;
        for (std::vector<FsItem>* items : {&files, &folders})
            for (FsItem& item : *items) item.Path = JoinPath(path, item.Name);
        return true;
    }
    std::optional<FsItem> GetFile(const std::string& path) override {
        std::optional<FsItem> item = disk.GetFile(Real(path));
        if (item) item->Path = path;
        return item;
    }
    std::unique_ptr<ReadStream> OpenRead(const std::string& path, FsStatus& status) override {
        return disk.OpenRead(Real(path), status);
    }
    FsStatus ReadSample(const std::string& path, FileSample& sample) override { return disk.ReadSample(Real(path), sample); }
    FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) override {
        return disk.ContentHash(Real(path), hash, pump);
    }
    std::optional<FileTime> ModifiedTime(const std::string& path) override { return disk.ModifiedTime(Real(path)); }
    bool SameFileSystem(const std::string&, const std::string&) override { return false; }
    FsStatus MoveFile(const std::string&, const std::string&) override { return FsStatus::Fail("No renames here"); }
    FsStatus CopyFile(const std::string& from, const std::string& to) override { return disk.CopyFile(Real(from), to); }
    std::unique_ptr<StagedCopy> StageCopy(const std::string& from, const std::string& to, bool verify,
                                          FsStatus& status) override {
        return disk.StageCopy(Real(from), to, verify, status);
    }
    FsStatus GiveUpSource(StagedCopy& copy) override {
        givenUp.push_back(fs::path(copy.Source).filename().string());
        return disk.GiveUpSource(copy);
    }
};

TEST_F(RenameFilesTest, ACameraWithoutPathsIsWalkedReadCopiedAndGivenUpThroughItsSource) {
    const auto pictures = [&] {
        dir.Write("in/DCIM/100CANON/IMG_0001.JPG", test::CameraJpeg("2021:06:01 10:00:00", "Canon", "EOS R6"));
        dir.Write("in/DCIM/100CANON/IMG_0002.JPG", test::CameraJpeg("2021:06:01 10:00:05", "Canon", "EOS R6"));
    };
    pictures();
    options.DateMode = DateMode::MetadataOnly, options.ProcessSubfolders = ProcessSubfolders::Flatten;
    options.SkipImported = true, options.SetFileTime = true, options.VerifyCopies = true;
    MemoryImports record;
    CameraSource camera(files, in);
    const FolderRef card{"camera:", true, "", {}};
    const auto run = [&] {
        EngineContext context{files, port, options, chronology, this, intents};
        context.imports = &record, context.source = &camera;
        tally.ResetPass();
        tally.NumberOfSourceObjects = CountFiles(camera, card.Path, FileFilter::Of(options), false);
        RenameFiles(context, card, *files.GetFolder(out), true, tally);
    };
    run();
    EXPECT_EQ(tally.NumberOfSourceObjects, 2);
    EXPECT_EQ(List(out), (Names{"20210601_100000.JPG", "20210601_100005.JPG"}));
    EXPECT_EQ(camera.givenUp, (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG"}));
    EXPECT_TRUE(List(in + "/DCIM/100CANON").empty());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].SourceFilePath, "camera:/DCIM/100CANON/IMG_0001.JPG");
    EXPECT_EQ(records[0].Operation, FileOperation::Moved);
    EXPECT_TRUE(plans.left.empty());
    EXPECT_TRUE(port.messages.empty());

    // The same pictures again are known by their bytes, read through the source.
    pictures();
    records.clear(), chronology.Reset();
    options.MoveOrCopy = MoveOrCopy::Copy;
    run();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Operation, FileOperation::AlreadyImported);
    EXPECT_EQ(List(out).size(), 2u);
}

}  // namespace
}  // namespace ravlen
