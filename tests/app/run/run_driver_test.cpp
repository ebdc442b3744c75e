#include "app/run/run_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>

#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"
#include "support/tmpfs_mount.h"

namespace ravlen {
namespace {

using test::FakePort;
using test::TempDir;
namespace fs = std::filesystem;

const std::string kNesting =
    "When processing source subfolders, the output folder may not be contained within the source folder. You can "
    "either select source and output folders that are completely separate, or make the source and output folders "
    "the same, or disable processing of source subfolders.";
const std::string kNoFiles = "The source folder does not contain any files that meet the filter criteria.";

// The real file system with faults put in on request.
class FaultyFileSystem : public PosixFileSystem {
public:
    std::string createFails;
    bool rootHoldsOneFile = false, textFilesFail = false;

    FsStatus CreateFolder(const std::string& path) override {
        return path == createFails ? FsStatus::Fail("Permission denied") : PosixFileSystem::CreateFolder(path);
    }
    std::vector<std::string> removeAfterCount;  // files removed once they are counted
    int lists = 0;
    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override {
        const bool listed = path != "/" || !rootHoldsOneFile ? PosixFileSystem::ListFolder(path, files, folders)
                                                              : (files.assign(1, FsItem{}), folders.clear(), true);
        // root: one file, and no walk of the whole machine
        if (++lists == 1)
            for (const std::string& file : removeAfterCount) fs::remove(file);
        return listed;
    }
    int textWritesLeft = -1;  // writes to text files that succeed before the disk is full; -1: all
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) override {
        if (textFilesFail) error = "Permission denied";
        if (textFilesFail) return nullptr;
        auto file = PosixFileSystem::CreateTextFile(path, error);
        return file && textWritesLeft >= 0 ? std::make_unique<FullDisk>(std::move(file), textWritesLeft) : std::move(file);
    }

private:
    struct FullDisk : TextFile {
        std::unique_ptr<TextFile> file;
        int& left;
        FullDisk(std::unique_ptr<TextFile> f, int& l) : file(std::move(f)), left(l) {}
        FsStatus Write(std::string_view text) override {
            return left-- > 0 ? file->Write(text) : FsStatus::Fail("No space left on device");
        }
        FsStatus Close() override { return file->Close(); }
    };
};

// Folders and collaborators; options that ask nothing, and file-system dates for any DCF name.
struct Harness {
    TempDir dir;
    std::string src = dir.Mkdir("src"), out = dir.Mkdir("out");
    FaultyFileSystem files;
    FakePort port;
    std::vector<std::string> calls;  // the seams, in order
    RunOptions options{.SourcePath = src, .OutputPath = out, .DateMode = DateMode::FileSystemOnly,
                       .AutoDetect = false, .RequestConfirmation = false};
    RunDriver driver{RunServices{
        files, port, [this](const RunOptions&) { calls.push_back("save"); },
        [this](RunOptions& o) { calls.push_back(port.busy ? "detect(busy)" : "detect"); o.SourcePath = src; }, {}}};

    void AddPhotos(int n, const std::string& folder = "src") {
        for (int i = 1; i <= n; ++i) dir.Write(folder + "/IMG_" + std::to_string(10000 + i).substr(1) + ".JPG", folder + std::to_string(i));
    }
    RunOutcome Go() { return driver.Go(options); }
    static int Count(const std::string& path) { return std::distance(fs::directory_iterator(path), {}); }
    const test::ShownMessage& Last() const { return port.messages.back(); }
    std::string At(const std::string& text) const {  // with every "@" standing for the test's folder
        return std::regex_replace(text, std::regex("@"), dir / "");
    }
};

TEST(RunDriverChecks, EachCheckEndsTheRunWithItsMessage) {
    // One fault each (or two, to show which check comes first), in the order the checks run.
    struct Case {
        std::string source, output;
        int photos, subfolders;
        bool nothingIncluded, createFails;
        std::string message;
    } const cases[] = {
        {"", "@out", 0, 0, false, false, "Please specify a source folder."},
        {"@nope", "@out", 0, 0, false, false, "The source folder you specified doesn't exist."},
        {"@src/IMG_0001.JPG", "@out", 1, 0, false, false, "The source path you specified is not a folder."},
        {"@src", "@out", 0, 0, false, false, kNoFiles},
        {"@src", "relative", 2, 0, true, false, kNoFiles},
        {"@src", "photos/out", 1, 0, false, false, "The output path you specified is invalid."},
        {"@src", "@src/IMG_0001.JPG", 1, 0, false, false, "The output path you specified is not a folder."},
        {"@src", "@gone/out", 1, 0, false, false, "Output parent folder \"@gone\" doesn't exist."},
        {"@src", "@new", 1, 0, false, true, "Unable to create output folder \"@new\".\r\nPermission denied"},
        // The nesting rule: no output below the source while processing subfolders.
        {"@src", "@src/a/Renamed", 1, 1, false, false, kNesting},
        {"/", "@out", 0, 2, false, false, kNesting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.output);
        Harness h;
        h.options.SourcePath = h.At(c.source);
        h.options.OutputPath = h.At(c.output);
        h.AddPhotos(c.photos);
        h.options.ProcessSubfolders = static_cast<ProcessSubfolders>(c.subfolders);
        h.options.IncludePattern = c.nothingIncluded;
        h.options.IncludePatternList = "*.xyz";
        if (c.createFails) h.files.createFails = h.options.OutputPath;
        const bool outputInSource = c.output.starts_with("@src/a/");
        if (outputInSource) fs::create_directories(h.options.OutputPath);
        h.files.rootHoldsOneFile = c.source == "/";
        EXPECT_EQ(h.Go(), RunOutcome::Ended);
        ASSERT_FALSE(h.port.messages.empty());
        EXPECT_EQ(h.Last().text, h.At(c.message));
        EXPECT_EQ(h.Last().icon, MsgIcon::Exclamation);
        EXPECT_EQ(h.Last().buttons, MsgButtons::OK);
        EXPECT_EQ(h.port.showCount, 0);
        EXPECT_EQ(h.calls, std::vector<std::string>{"save"});
        EXPECT_EQ(Harness::Count(h.src), c.photos + (outputInSource ? 1 : 0));
    }
}

// Clock settings the run cannot use end it before any file moves; those it uses are named in the question.
TEST(RunDriverChecks, ClockSettingsAreCheckedAndNamed) {
    const std::pair<std::function<void(RunOptions&)>, std::string> refused[] = {
        {[](RunOptions& o) { o.TimeShift = "1:00"; }, "The time shift \"1:00\" is not valid."},
        {[](RunOptions& o) { o.MovieTimeZone = "Mars/Olympus"; }, "The movie time zone \"Mars/Olympus\" is not"},
        {[](RunOptions& o) { o.SetFileTime = true, o.CreateLog = CreateLog::Text; }, kSetFileTimeNeedsCsv},
        {[](RunOptions& o) { o.CameraOffsets = "Canon=+01:00:00"; }, "The camera clock offsets \"Canon"},
    };
    for (const auto& [change, message] : refused) {
        Harness h;
        h.AddPhotos(1);
        change(h.options);
        EXPECT_EQ(h.Go(), RunOutcome::Ended);
        ASSERT_EQ(h.port.messages.size(), 1u);
        EXPECT_TRUE(h.Last().text.starts_with(message)) << h.Last().text;
        EXPECT_EQ(Harness::Count(h.src), 1);
    }
    Harness h;
    h.AddPhotos(1);
    h.options.RequestConfirmation = true, h.options.TimeShift = "-00:00:30";
    h.options.CameraOffsets = "Canon|Canon EOS R5|0123=+01:00:00;Apple|iPhone 12|=-1 00:00:00";
    h.port.defaultAnswer = MsgAnswer::No;
    EXPECT_EQ(h.Go(), RunOutcome::Ended);
    EXPECT_TRUE(h.port.messages.at(0).text.starts_with(
        "Metadata dates will be shifted by -00:00:30.\r\nCamera clock offsets in force: Canon EOS R5 #0123 "
        "+01:00:00, Apple iPhone 12 -1 00:00:00.\r\n\r\nThe files will be moved from " + h.src + " to " + h.out +
        ".\r\n\r\nTimestamp 1 file?"))
        << h.port.messages.at(0).text;
}

// The source seen again through a bind mount (root only): the nesting rule
// and the run's own logs go by identity, not by path text.
TEST(RunDriverChecks, ABindMountOfTheSourceIsTheSourceStill) {
    Harness h;
    h.AddPhotos(2);
    const std::string view = h.dir.Mkdir("view");
    if (mount(h.src.c_str(), view.c_str(), nullptr, MS_BIND, nullptr) != 0) GTEST_SKIP() << "no bind mounts here";
    struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } const unmount{view};
    fs::create_directory(view + "/out");
    h.options.OutputPath = view + "/out";
    h.options.ProcessSubfolders = ProcessSubfolders::Flatten;
    EXPECT_EQ(h.Go(), RunOutcome::Ended);
    EXPECT_EQ(h.Last().text, kNesting);
    fs::remove(view + "/out");

    h.options.OutputPath = view;  // logs written through the mount, walked at the source
    h.options.ProcessSubfolders = ProcessSubfolders::Ignore;
    h.options.CreateLog = CreateLog::Csv;
    h.options.IncludePattern = false;
    EXPECT_EQ(h.Go(), RunOutcome::Completed);
    int logs = 0;
    for (const auto& e : fs::directory_iterator(h.src))
        logs += e.path().filename().string().starts_with("Ravlen Log ");
    EXPECT_EQ(logs, 1) << "the log kept its name";
}

TEST(RunDriverQuestions, NoEndsTheRunBeforeAnyFileMoves) {
    // A missing output folder is offered for creation; confirmation asks about the files, after the preview if on.
    struct Case {
        int files;
        std::string output;
        bool confirm, preview, yes;
        std::string begins, ends;  // the whole question (ends empty), or its beginning and end
    } const cases[] = {
        {2, "@out/new", false, false, false, "Create output folder \"@out/new\"?", ""},
        {2, "@out/new", false, false, true, "Create output folder \"@out/new\"?", ""},
        // What will happen comes first, the question as it always was last.
        {1, "@out", true, false, false, "The files will be moved from @src to @out.\r\n\r\nTimestamp 1 file?", ""},
        {25, "@out", true, false, false, "The files will be moved from @src to @out.\r\n\r\nTimestamp 25 files?", ""},
        {7, "@out", true, true, false, "7  files will probably be successfully timestamped\r\n",
         "\r\n=\r\n7  total files will be attempted\r\n\r\nThe files will be moved from @src to @out.\r\n\r\n\r\n"
         "Do you want to proceed?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.begins);
        Harness h;
        h.AddPhotos(c.files);
        const std::string out = h.options.OutputPath = h.At(c.output);
        h.options.RequestConfirmation = c.confirm;
        h.options.PreviewResults = c.preview;
        h.port.answers = {c.yes ? MsgAnswer::Yes : MsgAnswer::No};
        EXPECT_EQ(h.Go(), c.yes ? RunOutcome::Completed : RunOutcome::Ended);
        ASSERT_EQ(h.port.messages.size(), c.yes ? 2u : 1u);
        const std::string& asked = h.port.messages[0].text;
        EXPECT_EQ(c.ends.empty() ? asked : asked.substr(0, h.At(c.begins).size()), h.At(c.begins));
        EXPECT_TRUE(asked.ends_with(h.At(c.ends))) << asked;
        EXPECT_EQ(h.port.messages[0].icon, MsgIcon::Question);
        EXPECT_EQ(h.port.messages[0].buttons, MsgButtons::YesNo);
        EXPECT_EQ(h.port.showCount, c.preview + c.yes);
        EXPECT_EQ(Harness::Count(h.src), c.yes ? 0 : c.files);
        EXPECT_EQ(fs::exists(out) ? Harness::Count(out) : -1, c.yes ? c.files : c.confirm ? 0 : -1);
        EXPECT_EQ(h.options.OutputPath, fs::exists(out) ? h.files.GetFolder(out)->Path : out);
    }
}

TEST(RunDriverReports, PreviewSummaryAndFailureLayouts) {
    EXPECT_EQ(PreviewReport(RunTally{45, 120, 2, 0, 1, 0, {}}, RunOptions{}),
              "042  files will probably be successfully timestamped\r\n"
              "002  files will be skipped due to invalid DCF filenames\r\n"
              "000  files will be skipped due to lack of valid metadata\r\n"
              "001  files will be skipped due to lack of valid dates\r\n===\r\n"
              "045  subtotal files previewed\r\n075  files not previewed due to termination\r\n===\r\n"
              "120  total files will be attempted");
    // Files the preview found no usable name for: one line more, after the skips.
    RunOptions copying;
    copying.MoveOrCopy = MoveOrCopy::Copy;
    EXPECT_EQ(PreviewReport(RunTally{45, 45, 0, 0, 1, 3, {}}, copying),
              "41  files will probably be successfully timestamped\r\n"
              "00  files will be skipped due to invalid DCF filenames\r\n"
              "00  files will be skipped due to lack of valid metadata\r\n"
              "01  files will be skipped due to lack of valid dates\r\n"
              "03  files will not be copied\r\n==\r\n45  total files will be attempted");
    EXPECT_EQ(SummaryReport(RunTally{1000, 1000, 0, 0, 0, 3, {}}),
              "0997  files successfully timestamped\r\n0000  files skipped due to invalid DCF filenames\r\n"
              "0000  files skipped due to lack of valid metadata\r\n0000  files skipped due to lack of valid dates\r\n"
              "0003  files could not be moved/copied\r\n====\r\n1000  total files attempted");
    const std::string grown = SummaryReport(RunTally{8, 7, 0, 0, 0, 0, {}});  // a file added after the count
    EXPECT_EQ(grown.substr(grown.find("=")), "=\r\n8  total files attempted");
    EXPECT_EQ(RunFailureMessage(76, "Path not found"),
              "Ravlen was unable to complete processing due to the following:\r\n\r\n"
              "          Error 76: Path not found\r\n\r\n"
              "If this problem persists, please contact Morvane for assistance.");
}

TEST(RunDriverPasses, SummaryAfterProcessing) {
    // The nesting rule lets output below the source through without subfolders, and
    // output = source with them, where the run leaves its own logs alone.
    struct Case {
        int photos, subfolders;
        std::string output;
        bool notDcf;  // a file whose name fails the DCF check
        int createLog, logsFail, logs;
        std::string message;
    } const cases[] = {{1, 0, "@src/Renamed", false, 3, 0, 2, "One file successfully timestamped."},
                       {2, 1, "@out", false, 3, 0, 2, "Both files successfully timestamped."},
                       {3, 2, "@src", false, 3, 0, 2, "All 3 files successfully timestamped."},
                       {2, 1, "@out", true, 0, 0, 0, "2  files successfully timestamped\r\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Harness h;
        h.AddPhotos(c.photos);
        if (c.notDcf) h.dir.Write("src/holiday.jpg", "x");
        h.files.textFilesFail = c.logsFail;
        fs::create_directories(h.At(c.output));
        // Detection runs first, with the busy pointer, and supplies the source.
        h.options = {.SourcePath = "",
                     .OutputPath = h.At(c.output),
                     .ProcessSubfolders = static_cast<ProcessSubfolders>(c.subfolders),
                     .DateMode = DateMode::FileSystemOnly,
                     .AutoDetect = true,
                     .RequestConfirmation = false,
                     .CreateLog = static_cast<CreateLog>(c.createLog)};
        EXPECT_EQ(h.Go(), c.notDcf ? RunOutcome::Incomplete : RunOutcome::Completed);
        EXPECT_EQ(h.calls, (std::vector<std::string>{"save", "detect(busy)"}));
        EXPECT_FALSE(h.port.progressVisible || h.port.busy || !h.port.mainEnabled) << "torn down";
        EXPECT_TRUE(c.notDcf || Harness::Count(h.options.OutputPath) == c.photos + c.logs) << "the files and logs";
        ASSERT_EQ(h.port.messages.size(), 1u);
        EXPECT_TRUE(h.Last().text.starts_with(c.message));
        // A file skipped for its name says where to include such files.
        const std::string hint = "\r\n\r\nFiles without a DCF file name (a camera's name, such as IMG_1234.JPG) were "
                                 "skipped. To timestamp them too, choose \"Timestamp all files\" in the DCF box of the "
                                 "Filter tab (DCFMode=2 for ravlen-run).";
        EXPECT_EQ(h.Last().text, c.notDcf ? SummaryReport(h.driver.Tally()) + hint : c.message);
        EXPECT_EQ(h.Last().icon, c.notDcf ? MsgIcon::Exclamation : MsgIcon::Information);
    }
}

TEST(RunDriverPasses, FilesLeftOutAreNamedAndProtectedOnesWarnedOf) {
    struct Case {
        MoveOrCopy mode;
        CreateLog log;
        bool warned;
        std::size_t places;
    } const cases[] = {{MoveOrCopy::Move, CreateLog::Both, true, 2},
                       {MoveOrCopy::Copy, CreateLog::Csv, false, 2},
                       {MoveOrCopy::Move, CreateLog::No, true, 1}};
    for (const Case& c : cases) {
        Harness h;
        h.AddPhotos(3);
        h.dir.Write("src/.IMG_0100.JPG", "x");
        h.dir.Write("src/IMG_0101.JPG", "x");
        h.dir.Write("src/IMG_0102.JPG", "x");
        fs::permissions(h.At("@src/IMG_0101.JPG"), fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_write, fs::perm_options::remove);
        fs::permissions(h.At("@src/IMG_0102.JPG"), fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_write, fs::perm_options::remove);
        h.options.MoveOrCopy = c.mode;
        h.options.CreateLog = c.log;
        h.options.PreviewResults = h.options.RequestConfirmation = true;
        EXPECT_EQ(h.Go(), RunOutcome::Completed);
        const std::string lines = "2  files will be left out as read-only (protected)\r\n"
                                  "1  files will be left out as hidden";
        const std::string warning =
            "2 read-only (protected) files stay in the source folder: do not erase or format the card "
            "before you have saved them.";
        ASSERT_EQ(h.port.messages.size(), 2u);
        const std::string question = h.port.messages[0].text.substr(h.port.messages[0].text.find("3  total")), summary = h.port.messages[1].text;
        EXPECT_EQ(question, "3  total files will be attempted\r\n\r\n" + lines +
                                (c.warned ? "\r\n\r\n" + warning : std::string()) + "\r\n\r\nThe files will be " +
                                (c.mode == MoveOrCopy::Copy ? "copied" : "moved") + " from " + h.src + " to " +
                                h.out + ".\r\n\r\n\r\nDo you want to proceed?");
        EXPECT_EQ(summary, "All 3 files successfully timestamped.\r\n\r\n"
                           "2  files left out as read-only (protected)\r\n1  files left out as hidden" +
                               (c.warned ? "\r\n\r\n" + warning : std::string()));
        EXPECT_EQ(ProtectedLeftWarning(h.driver.Tally(), h.options).empty(), !c.warned);
        ASSERT_EQ(h.port.summaryPlaces.size(), c.places);
        EXPECT_EQ(h.port.summaryPlaces[0].Caption(), "Open output folder");
        EXPECT_EQ(h.port.summaryPlaces[0].Path, h.options.OutputPath);
        if (c.places > 1) {
            EXPECT_EQ(h.port.summaryPlaces[1].Caption(), "Open log");
            EXPECT_TRUE(fs::exists(h.port.summaryPlaces[1].Path));
            EXPECT_EQ(fs::path(h.port.summaryPlaces[1].Path).extension(), c.log == CreateLog::Csv ? ".csv" : ".txt");
        }
    }
}

TEST(RunDriverPasses, ThePreviewPromisesWhatTheRunPlaces) {
    // Names that only clash with names produced earlier in the same pass, a
    // name taken before the run, and names that can never be used.
    struct Case {
        std::string tmpl;
        AddSerial addSerial;
        MoveOrCopy moveOrCopy;
        bool taken;  // "holiday.jpg" already in the output folder
        int placed;
        std::string notPlaced;
        bool preserve = false;  // one photo in each of src, src/A and src/B, each to its own output folder
    } const cases[] = {
        {"%d%s%e", AddSerial::Always, MoveOrCopy::Move, false, 3, ""},
        {"holiday%e", AddSerial::Always, MoveOrCopy::Move, false, 1, "2  files will not be moved"},
        {"holiday%e", AddSerial::Never, MoveOrCopy::Copy, false, 1, "2  files will not be copied"},
        {"holiday%e", AddSerial::DuplicatesOnly, MoveOrCopy::CopyWhenUnableToMove, true, 0,
         "3  files will not be copied"},
        {"%d/%s%e", AddSerial::Always, MoveOrCopy::Copy, false, 0, "3  files will not be copied"},
        {"holiday%e", AddSerial::Never, MoveOrCopy::Move, false, 3, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpl + " serial " + std::to_string(StoredValue(c.addSerial)));
        Harness h;
        h.AddPhotos(c.preserve ? 1 : 3);
        if (c.preserve) {
            h.AddPhotos(1, "src/A"), h.AddPhotos(1, "src/B");
            h.options.ProcessSubfolders = ProcessSubfolders::Preserve;
        }
        if (c.taken) h.dir.Write("out/holiday.jpg", "older");
        h.options.FilenameFormat = FilenameFormat::Custom;
        h.options.CustomFormat.Template = c.tmpl;
        h.options.AddSerial = c.addSerial, h.options.MoveOrCopy = c.moveOrCopy;
        h.options.PreviewResults = h.options.RequestConfirmation = true;
        h.Go();
        // Nothing to place: the preview's report says so, and nothing more is asked.
        ASSERT_EQ(h.port.messages.size(), c.placed == 0 ? 1u : 2u);
        const std::string& preview = h.port.messages[0].text;
        EXPECT_EQ(preview.ends_with("\r\n\r\nNo file needs to be moved or copied."), c.placed == 0) << preview;
        EXPECT_TRUE(preview.starts_with(std::to_string(c.placed) + "  files will probably")) << preview;
        EXPECT_EQ(preview.find("will not be") == std::string::npos, c.notPlaced.empty()) << preview;
        EXPECT_NE(preview.find(c.notPlaced + "\r\n"), std::string::npos) << preview;
        EXPECT_EQ(Harness::Count(h.out), c.placed + c.taken);
        EXPECT_EQ(h.driver.Tally().NumberOfLockedFiles, 3 - c.placed);
        // The preview's list names each file's new path as the run then places it.
        std::vector<std::string> listed, placed;
        for (const FileRow& row : h.port.previewRows) listed.push_back(row.OutputPath());
        for (const FileRow& row : h.driver.Files().Rows()) {
            placed.push_back(row.OutputPath());
            EXPECT_EQ(row.Status == ListStatus::Place, std::filesystem::exists(row.OutputPath())) << row.OutputPath();
        }
        EXPECT_EQ(listed, placed);
        EXPECT_EQ(std::count(listed.begin(), listed.end(), ""), 3 - c.placed);
    }
}

// A log asked for but not created stops the run before any file is touched;
// one that fails half-way stops the pass after the file it was on.
TEST(RunDriverPasses, ALogThatCannotBeWrittenStopsTheRun) {
    for (const bool created : {false, true}) {
        Harness h;
        h.AddPhotos(3);
        h.files.textFilesFail = !created;
        h.files.textWritesLeft = 1;  // the CSV header
        h.options.CreateLog = CreateLog::Csv;
        EXPECT_EQ(h.Go(), created ? RunOutcome::Incomplete : RunOutcome::Ended);
        EXPECT_EQ(Harness::Count(h.src), created ? 2 : 3);
        EXPECT_EQ(Harness::Count(h.out), created ? 2 : 0);  // the first file and the log
        ASSERT_FALSE(h.port.messages.empty());
        const std::string expected = created ? "could not be written: No space left on device. The run was stopped"
                                             : "The log could not be created in the output folder, so no file";
        EXPECT_NE(h.port.messages[h.port.messages.size() - (created ? 2 : 1)].text.find(expected), std::string::npos);
    }
}

// A file removed after the count, before the walk or before its turn, is a
// file not placed, not one skipped for its metadata or one the run never got to.
TEST(RunDriverPasses, FilesRemovedDuringTheRunAreNotPlaced) {
    Harness h;
    h.AddPhotos(4);
    h.options.DateMode = DateMode::FileSystemWhenNoMetadata;
    h.files.removeAfterCount = {h.src + "/IMG_0002.JPG"};
    h.port.onPump = [&h](FakePort& p) {
        if (p.progressValue == 1) fs::remove(h.src + "/IMG_0004.JPG");
    };
    EXPECT_EQ(h.Go(), RunOutcome::Incomplete);
    EXPECT_EQ(h.Last().text, "2  files successfully timestamped\r\n0  files skipped due to invalid DCF filenames\r\n"
                             "0  files skipped due to lack of valid metadata\r\n0  files skipped due to lack of valid "
                             "dates\r\n2  files could not be moved/copied\r\n=\r\n4  total files attempted");
}

// The pass that follows the count at once takes the count's listings; one
// after a question, or one writing into the folders it walks, lists the
// folders afresh.
TEST(RunDriverPasses, TheCountsListingsServeOnlyThePassThatFollowsAtOnce) {
    struct Case {
        bool preview, confirm, elsewhere, inPlace;
        int lists;
    } const cases[] = {{true, true, false, false, 4}, {false, false, false, false, 2}, {false, false, false, true, 4},
                       {false, false, true, false, 2}, {false, true, true, false, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.preview) + std::to_string(c.confirm) + std::to_string(c.elsewhere) +
                     std::to_string(c.inPlace));
        Harness h;
        const TempDir shm(c.elsewhere ? "/dev/shm" : "");
        struct stat a{}, b{};
        if (c.elsewhere && (stat(shm.path().c_str(), &a) != 0 || stat(h.src.c_str(), &b) != 0 || a.st_dev == b.st_dev))
            continue;  // no second file system to copy to
        h.AddPhotos(3), h.AddPhotos(2, "src/A");
        h.options.OutputPath = c.elsewhere ? shm.path() : c.inPlace ? h.src : h.out;
        h.options.ProcessSubfolders = ProcessSubfolders::Flatten;
        h.options.PreviewResults = c.preview, h.options.RequestConfirmation = c.confirm;
        EXPECT_EQ(h.Go(), RunOutcome::Completed);
        EXPECT_EQ(h.files.lists, c.lists);
        EXPECT_EQ(Harness::Count(h.options.OutputPath), c.inPlace ? 6 : 5);  // in place: and the emptied A
    }
}

// A run that shows no rows (the runner's) keeps none; the window's keeps
// each file's, of the preview and of the run.
TEST(RunDriverPasses, RowsAreKeptOnlyWhereTheyAreShown) {
    for (const bool keep : {true, false}) {
        Harness h;
        h.AddPhotos(2);
        h.options.PreviewResults = true;
        RunServices services{h.files, h.port, [](const RunOptions&) {}, [](RunOptions&) {}, {}};
        services.keepRows = keep;
        RunDriver driver(std::move(services));
        EXPECT_EQ(driver.Go(h.options), RunOutcome::Completed);
        EXPECT_EQ(driver.Files().Rows().size(), keep ? 2u : 0u);
        EXPECT_EQ(Harness::Count(h.out), 2);
    }
}

TEST(RunDriverPasses, AStopEndsEachPassWithItsReport) {
    // The preview stops after its first file, the processing pass (which clears the Stop) after its fourth.
    Harness h;
    h.AddPhotos(12);
    h.options.PreviewResults = true;
    h.port.onPump = [](FakePort& p) {
        if (p.progressValue == (p.progressTitle == "Previewing Files..." ? 1 : 4)) p.cancel = true;
    };
    EXPECT_EQ(h.Go(), RunOutcome::Incomplete);
    ASSERT_EQ(h.port.messages.size(), 2u);
    EXPECT_EQ(h.port.messages[0].icon, MsgIcon::Information) << "the preview report";
    EXPECT_NE(h.port.messages[0].text.find("01  subtotal files previewed\r\n11  files"), std::string::npos);
    const std::string& text = h.Last().text;
    EXPECT_EQ(text.substr(text.find("==")),
              "==\r\n04  subtotal files attempted\r\n08  files not attempted due to termination\r\n"
              "==\r\n12  total files would have been attempted");
    EXPECT_EQ(Harness::Count(h.src), 8);
    const std::string& names = h.driver.Chronology().Text();
    EXPECT_EQ(std::count(names.begin(), names.end(), '|'), 5) << "only the processing pass's names: " << names;
}

// The output folder is tried before the first file: a folder that takes no
// file, or a disk too small for the bytes the run writes, ends the run with
// one message and every file still where it was.
TEST(RunDriverChecks, AnOutputFolderThatCannotTakeTheFilesIsRefusedAtOnce) {
    const std::string full = "There is not enough free space in the output folder \"@out\": the run needs ";
    struct Case {
        MoveOrCopy mode;
        bool readOnly, preview;
        int size, imported;  // each file's bytes; files an earlier run placed
        std::string message;  // its beginning; empty: the run goes through
    } const cases[] = {
        {MoveOrCopy::Copy, true, false, 80000, 0,
         "No file can be written into the output folder \"@out\": Read-only file system."},
        {MoveOrCopy::Copy, false, false, 80000, 0, full + "240.0 kB, 204.8 kB free."},
        // A move to another disk writes every byte anew.
        {MoveOrCopy::Move, false, false, 80000, 0, full + "240.0 kB, 204.8 kB free."},
        // Files a preview finds already there need no room; without a preview every file counts.
        {MoveOrCopy::Copy, false, true, 60000, 2, ""},
        {MoveOrCopy::Copy, false, false, 60000, 2, full + "180.0 kB, "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Harness h;
        const test::TmpfsMount disk(h.out, "200k");
        if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs mounts here";
        const auto add = [&](int i) {
            h.dir.Write("src/IMG_000" + std::to_string(i) + ".JPG", std::string(c.size, static_cast<char>('a' + i)));
        };
        h.options.MoveOrCopy = c.mode;
        h.options.SkipImported = true;
        for (int i = 1; i <= c.imported; ++i) add(i);
        if (c.imported > 0) {
            ASSERT_EQ(h.Go(), RunOutcome::Completed);
        }
        for (int i = c.imported + 1; i <= 3; ++i) add(i);
        if (c.readOnly) {
            ASSERT_TRUE(disk.MakeReadOnly());
        }
        h.options.PreviewResults = c.preview;
        h.port.messages.clear();
        const RunOutcome outcome = h.Go();
        EXPECT_EQ(Harness::Count(h.src), 3);
        EXPECT_EQ(Harness::Count(h.out), c.message.empty() ? 3 : c.imported);
        if (c.message.empty()) {
            EXPECT_EQ(outcome, RunOutcome::Completed) << h.port.messages.front().text;
            continue;
        }
        EXPECT_EQ(outcome, RunOutcome::Ended);
        ASSERT_EQ(h.port.messages.size(), 1u);
        EXPECT_TRUE(h.Last().text.starts_with(h.At(c.message))) << h.Last().text;
        EXPECT_EQ(h.Last().buttons, MsgButtons::OK);
    }
}

// A preview that finds every file already imported asks nothing, writes no
// log and tells so; a backup of the run is complete.
TEST(RunDriverQuestions, NothingToPlaceAsksNothing) {
    Harness h;
    h.AddPhotos(2);
    h.options.MoveOrCopy = MoveOrCopy::Copy;
    h.options.SkipImported = true;
    h.options.CreateLog = CreateLog::Both;
    h.options.PreviewResults = h.options.RequestConfirmation = true;
    EXPECT_EQ(h.Go(), RunOutcome::Completed);
    const int placed = Harness::Count(h.out);  // the files and the logs
    h.port.messages.clear();
    EXPECT_EQ(h.Go(), RunOutcome::Completed);
    ASSERT_EQ(h.port.messages.size(), 1u) << h.port.messages.front().text;
    EXPECT_EQ(h.Last().buttons, MsgButtons::OK);
    EXPECT_EQ(h.Last().icon, MsgIcon::Information);
    EXPECT_NE(h.Last().text.find("2  files will be skipped as already imported"), std::string::npos);
    EXPECT_TRUE(h.Last().text.ends_with("\r\n\r\nNo file needs to be moved or copied."));
    EXPECT_EQ(Harness::Count(h.out), placed);
}

// Rows unticked in the preview stay where they are, logged and counted as not selected.
TEST(RunDriverPasses, UntickedRowsAreLeftWhereTheyAre) {
    Harness h;
    h.AddPhotos(4);
    h.options.PreviewResults = h.options.RequestConfirmation = true;
    h.options.CreateLog = CreateLog::Csv;
    h.port.onPreview = [](FileList& files) {
        for (std::size_t i = 0; i < files.Rows().size(); i += 2) files.Rows()[i].Chosen = false;
    };
    EXPECT_EQ(h.Go(), RunOutcome::Completed);
    EXPECT_EQ(Harness::Count(h.src), 2);
    EXPECT_EQ(Harness::Count(h.out), 3);  // two photos and the log
    EXPECT_TRUE(fs::exists(h.At("@src/IMG_0001.JPG")) && fs::exists(h.At("@src/IMG_0003.JPG")));
    EXPECT_NE(h.Last().text.find("2  files skipped as not selected"), std::string::npos) << h.Last().text;
    std::vector<std::string> notes;
    for (const FileRow& row : h.driver.Files().Rows())
        if (row.Status == ListStatus::Skip) notes.push_back(row.SourceName + " " + row.Reason);
    EXPECT_EQ(notes, (std::vector<std::string>{"IMG_0001.JPG Not selected", "IMG_0003.JPG Not selected"}));
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

TEST(RunDriverCard, TheSummarySaysWhetherTheCardMayBeFormattedAndASafeCardIsEjected) {
    for (const bool ejectFails : {false, true}) {
        SCOPED_TRACE(ejectFails);
        Harness h;
        h.AddPhotos(2);
        h.dir.Write("src/holiday.jpg", "not a camera's name");
        h.dir.Write("src/.IMG_0100.JPG", "hidden");
        std::vector<std::string> ejected;
        RunServices services{h.files, h.port, nullptr, nullptr, {}};
        services.checkCard = true;
        services.eject = [&](const std::string& source) {
            ejected.push_back(source);
            return ejectFails ? std::string("The card could not be ejected: it is busy.") : std::string();
        };
        RunDriver driver(services);
        h.options.MoveOrCopy = MoveOrCopy::Copy;
        h.options.EjectWhenDone = true;
        EXPECT_EQ(driver.Go(h.options), RunOutcome::Incomplete);
        ASSERT_TRUE(driver.Verdict());
        std::map<std::string, UnsafeReason> reasons;
        for (const UnsafeFile& f : driver.Verdict()->Unsafe) reasons[f.Path] = f.Reason;
        EXPECT_EQ(reasons, (std::map<std::string, UnsafeReason>{{h.src + "/.IMG_0100.JPG", UnsafeReason::Filtered},
                                                                {h.src + "/holiday.jpg", UnsafeReason::NonDcfName}}));
        EXPECT_TRUE(h.Last().text.ends_with("2 files on " + h.src + " are not in " + h.out +
                                            ": do not format the card.\r\n  .IMG_0100.JPG: excluded by a filter "
                                            "(hidden)\r\n  holiday.jpg: non-DCF name"))
            << h.Last().text;
        EXPECT_EQ(h.Last().icon, MsgIcon::Exclamation);
        EXPECT_TRUE(ejected.empty()) << "a card that is not safe stays";

        // Once the two are saved elsewhere, the card is safe; an eject that fails is news, not a failed run.
        fs::remove(h.src + "/holiday.jpg");
        fs::remove(h.src + "/.IMG_0100.JPG");
        fs::remove_all(h.out);
        fs::create_directory(h.out);
        EXPECT_EQ(driver.Go(h.options), RunOutcome::Completed);
        EXPECT_TRUE(driver.Verdict()->Safe());
        EXPECT_EQ(ejected, std::vector<std::string>{h.src});
        EXPECT_TRUE(h.Last().text.ends_with(
            "All 2 files on " + h.src + " are in " + h.out + ": the card can be formatted.\r\n\r\n" +
            (ejectFails ? "The card could not be ejected: it is busy." : "The card has been ejected: it can be taken out.")))
            << h.Last().text;
        EXPECT_EQ(h.Last().icon, MsgIcon::Information);
    }
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

TEST(RunDriverCard, FilesRenamedWhereTheyLieLeaveNoCardToJudge) {
    Harness h;
    h.AddPhotos(2);
    RunServices services{h.files, h.port, nullptr, nullptr, {}};
    services.checkCard = true;
    RunDriver driver(services);
    h.options.OutputPath = h.src;
    EXPECT_EQ(driver.Go(h.options), RunOutcome::Completed);
    EXPECT_FALSE(driver.Verdict());
    EXPECT_EQ(h.Last().text, "Both files successfully timestamped.");
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// Backup folders before the run: one missing but for its last part is
// created on a Yes; one out of reach, or short of room, runs on only on a
// Yes, and then every file it lacks stays at its source, even with Move; the
// summary names them and the run is not complete.
TEST(RunDriverQuestions, BackupFoldersAreAskedAboutBeforeTheRun) {
    struct Case {
        std::string backup;  // "@" for the test's folder
        MsgAnswer answer;
        std::string question;  // "" for none
        RunOutcome outcome;
        int left;  // files left at the source
    } const cases[] = {
        {"@bak", MsgAnswer::No, "Create backup folder \"@bak\"?", RunOutcome::Ended, 2},
        {"@bak", MsgAnswer::Yes, "Create backup folder \"@bak\"?", RunOutcome::Completed, 0},
        {"@gone/bak", MsgAnswer::No, "@gone/bak is not available. Import without a backup?", RunOutcome::Ended, 2},
        {"@gone/bak", MsgAnswer::Yes, "@gone/bak is not available. Import without a backup?", RunOutcome::Incomplete,
         2},
        {"@src/IMG_0001.JPG", MsgAnswer::Yes, "@src/IMG_0001.JPG is not available. Import without a backup?",
         RunOutcome::Incomplete, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.backup);
        Harness h;
        h.AddPhotos(2);
        h.options.BackupPaths = h.At(c.backup);
        h.options.SummarizeResults = true;
        h.port.answers = {c.answer};
        EXPECT_EQ(h.Go(), c.outcome);
        ASSERT_FALSE(h.port.messages.empty());
        EXPECT_EQ(h.port.messages.front().text, h.At(c.question));
        EXPECT_EQ(h.port.messages.front().buttons, MsgButtons::YesNo);
        EXPECT_EQ(Harness::Count(h.src), c.left);
        if (c.outcome == RunOutcome::Ended) {
            EXPECT_EQ(h.port.messages.size(), 1u);
            EXPECT_EQ(Harness::Count(h.out), 0);
            continue;
        }
        EXPECT_EQ(Harness::Count(h.out), 2);
        if (c.left == 0) EXPECT_EQ(Harness::Count(h.dir / "bak"), 2);
        else
            EXPECT_NE(h.Last().text.find(h.At("2 files have no copy in a backup folder and stayed in the source "
                                              "folder: do not erase or format the card before you have backed them "
                                              "up.\r\n  @src/IMG_0001.JPG (" + c.backup)),
                      std::string::npos)
                << h.Last().text;
    }

    // A backup disk short of room: asked with both sizes; on a Yes, what
    // does not fit stays at its source.
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        Harness h;
        const std::string bak = h.dir.Mkdir("bak");
        const test::TmpfsMount disk(bak, "100k");
        if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs mounts here";
        for (int i = 1; i <= 3; ++i)
            h.dir.Write("src/IMG_000" + std::to_string(i) + ".JPG", std::string(40000, static_cast<char>('a' + i)));
        h.options.BackupPaths = bak;
        h.port.answers = {answer};
        EXPECT_EQ(h.Go(), answer == MsgAnswer::Yes ? RunOutcome::Incomplete : RunOutcome::Ended);
        EXPECT_EQ(h.port.messages.front().text,
                  bak + " has room for 102.4 kB of 120.0 kB. Import with an incomplete backup?");
        if (answer == MsgAnswer::No) continue;
        EXPECT_EQ(Harness::Count(h.out), 3);
        EXPECT_EQ(Harness::Count(bak) + Harness::Count(h.src), 3);
        EXPECT_EQ(h.driver.Tally().NumberWithoutBackup, Harness::Count(h.src));
        EXPECT_EQ(Harness::Count(bak), 2);
    }
}

}  // namespace
}  // namespace ravlen
