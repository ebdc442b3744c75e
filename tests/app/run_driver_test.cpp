#include "app/run_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/temp_dir.h"

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
const std::string kInvalidOutput = "The output path you specified is invalid.";

// The real file system with faults and listings put in on request.
class FaultyFileSystem : public PosixFileSystem {
public:
    std::set<std::string> createFails, getFolderFails;
    std::map<std::string, std::vector<FsItem>> fakeFiles;  // listing of these folders: these files only
    bool textFilesFail = false;

    std::optional<FolderRef> GetFolder(const std::string& path) override {
        if (getFolderFails.count(path)) return std::nullopt;
        return PosixFileSystem::GetFolder(path);
    }
    FsStatus CreateFolder(const std::string& path) override {
        if (createFails.count(path)) return FsStatus::Fail("Permission denied");
        return PosixFileSystem::CreateFolder(path);
    }
    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override {
        const auto fake = fakeFiles.find(path);
        if (fake == fakeFiles.end()) return PosixFileSystem::ListFolder(path, files, folders);
        files = fake->second;
        folders.clear();
        return true;
    }
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) override {
        if (textFilesFail) {
            error = "Permission denied";
            return nullptr;
        }
        return PosixFileSystem::CreateTextFile(path, error);
    }
};

// A source folder, an output folder and the driver's collaborators, with
// options that ask nothing unless a test says so.
struct Harness {
    TempDir dir;
    std::string src = dir.Mkdir("src");
    std::string out = dir.Mkdir("out");
    FaultyFileSystem files;
    FakePort port;
    std::vector<std::string> calls;  // the seams, in order
    RunOptions options;
    RunTally tally;

    Harness() {
        options.SourcePath = src;
        options.OutputPath = out;
        options.AutoDetect = options.RequestConfirmation = 0;
        options.DateMode = 3;  // file-system dates: any DCF-named file is timestamped
    }
    void AddPhotos(int n, const std::string& folder = "src") {
        for (int i = 1; i <= n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/IMG_%04d.JPG", i);
            dir.Write(folder + name, "photo");
        }
    }
    RunOutcome Go() {
        RunServices services{files, port,
                             [this](const RunOptions&) { calls.push_back("save"); },
                             [this](RunOptions& o) {
                                 calls.push_back(port.busy ? "detect(busy)" : "detect");
                                 o.SourcePath = src;
                             },
                             ProgramFacts{}};
        RunDriver driver(services);
        const RunOutcome outcome = driver.Go(options);
        tally = driver.Tally();
        return outcome;
    }
    static int Count(const std::string& folder) {
        int n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
        return n;
    }
    const test::ShownMessage& Last() const { return port.messages.back(); }
};

TEST(RunDriverChecks, EachCheckEndsTheRunWithItsMessage) {
    // Each case arranges one fault (or two, to show which check comes first)
    // and gives the message expected.
    const std::vector<std::function<std::string(Harness&)>> cases = {
        [](Harness& h) { h.options.SourcePath = ""; return "Please specify a source folder."; },
        [](Harness& h) {
            h.options.SourcePath = h.dir / "nope";
            return "The source folder you specified doesn't exist.";
        },
        [](Harness&) { return kNoFiles; },
        [](Harness& h) {
            h.AddPhotos(2);
            h.options.IncludePattern = 1;
            h.options.IncludePatternList = "*.xyz";
            h.options.OutputPath = "relative";
            return kNoFiles;
        },
        [](Harness& h) { h.AddPhotos(1); h.options.OutputPath = "photos/out"; return kInvalidOutput; },
        [](Harness& h) {
            h.AddPhotos(1);
            h.options.OutputPath = h.dir / "gone/out";
            return "Output parent folder \"" + (h.dir / "gone") + "\" doesn't exist.";
        },
        [](Harness& h) {
            h.AddPhotos(1);
            h.options.OutputPath = h.dir / "new";
            h.files.createFails.insert(h.dir / "new");
            return "Unable to create output folder \"" + (h.dir / "new") + "\".";
        },
        [](Harness& h) {
            h.AddPhotos(1);
            h.options.OutputPath = h.dir.Mkdir("src/a/Renamed");
            h.options.ProcessSubfolders = 1;
            return kNesting;
        },
        [](Harness& h) {
            h.options.SourcePath = "/";
            h.files.fakeFiles["/"].resize(1);  // one file, and no walk of the whole machine
            h.options.ProcessSubfolders = 2;
            return kNesting;
        },
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        Harness h;
        const std::string expected = cases[i](h);
        const int before = Harness::Count(h.src);
        EXPECT_EQ(h.Go(), RunOutcome::Ended);
        ASSERT_FALSE(h.port.messages.empty());
        EXPECT_EQ(h.Last().text, expected);
        EXPECT_EQ(h.Last().icon, MsgIcon::Exclamation);
        EXPECT_EQ(h.Last().buttons, MsgButtons::OK);
        EXPECT_EQ(h.Last().title, "Ravlen");
        EXPECT_EQ(h.port.showCount, 0);
        EXPECT_EQ(h.calls, std::vector<std::string>{"save"});
        EXPECT_EQ(Harness::Count(h.src), before);
    }
}

TEST(RunDriverChecks, MissingOutputFolderIsCreatedOnlyAfterYes) {
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        Harness h;
        h.AddPhotos(2);
        const std::string wanted = h.dir / "out/new";
        h.options.OutputPath = wanted;
        h.port.answers = {answer};
        const RunOutcome outcome = h.Go();
        ASSERT_FALSE(h.port.messages.empty());
        EXPECT_EQ(h.port.messages[0].text, "Create output folder \"" + wanted + "\"?");
        EXPECT_EQ(h.port.messages[0].icon, MsgIcon::Question);
        EXPECT_EQ(h.port.messages[0].buttons, MsgButtons::YesNo);
        if (answer == MsgAnswer::No) {
            EXPECT_EQ(outcome, RunOutcome::Ended);
            EXPECT_EQ(h.port.messages.size(), 1u);
            EXPECT_FALSE(fs::exists(wanted));
            EXPECT_EQ(Harness::Count(h.src), 2);
        } else {
            EXPECT_EQ(outcome, RunOutcome::Completed);
            EXPECT_EQ(Harness::Count(wanted), 2);
            EXPECT_EQ(h.options.OutputPath, h.files.GetFolder(wanted)->Path);
        }
    }
}

TEST(RunDriverReports, PreviewReportAfterAStoppedPreview) {
    RunTally t{45, 120, 2, 0, 1, 0};
    EXPECT_EQ(PreviewReport(t),
              "042  files will probably be successfully timestamped\r\n"
              "002  files will be skipped due to invalid DCF filenames\r\n"
              "000  files will be skipped due to lack of valid metadata\r\n"
              "001  files will be skipped due to lack of valid dates\r\n"
              "===\r\n"
              "045  subtotal files previewed\r\n"
              "075  files not previewed due to termination\r\n"
              "===\r\n"
              "120  total files will be attempted");
}

TEST(RunDriverReports, SummaryReportLayouts) {
    EXPECT_EQ(SummaryReport(RunTally{1000, 1000, 0, 0, 0, 3}),
              "0997  files successfully timestamped\r\n"
              "0000  files skipped due to invalid DCF filenames\r\n"
              "0000  files skipped due to lack of valid metadata\r\n"
              "0000  files skipped due to lack of valid dates\r\n"
              "0003  files could not be moved/copied\r\n"
              "====\r\n"
              "1000  total files attempted");
    // A file added after the count: more attempted than counted.
    const std::string grown = SummaryReport(RunTally{8, 7, 0, 0, 0, 0});
    EXPECT_EQ(grown.substr(grown.find("=")), "=\r\n8  total files attempted");
}

TEST(RunDriverReports, RunFailureMessage) {
    EXPECT_EQ(RunFailureMessage(76, "Path not found"),
              "Ravlen was unable to complete processing due to the following:\r\n\r\n"
              "          Error 76: Path not found\r\n\r\n"
              "If this problem persists, please contact Morvane for assistance.");
}

TEST(RunDriverQuestions, ConfirmationTexts) {
    struct Case {
        int files;
        bool preview;
        std::string begins, ends;
    };
    const std::vector<Case> cases = {
        {1, false, "Timestamp 1 file?", "Timestamp 1 file?"},
        {25, false, "Timestamp 25 files?", "Timestamp 25 files?"},
        {7, true, "7  files will probably be successfully timestamped\r\n",
         "\r\n=\r\n7  total files will be attempted\r\n\r\n\r\nDo you want to proceed?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files);
        Harness h;
        h.AddPhotos(c.files);
        h.options.RequestConfirmation = 1;
        h.options.PreviewResults = c.preview ? 1 : 0;
        h.port.answers = {MsgAnswer::No};
        EXPECT_EQ(h.Go(), RunOutcome::Ended);
        ASSERT_EQ(h.port.messages.size(), 1u);
        EXPECT_TRUE(h.Last().text.starts_with(c.begins));
        EXPECT_TRUE(h.Last().text.ends_with(c.ends));
        EXPECT_EQ(h.Last().icon, MsgIcon::Question);
        EXPECT_EQ(h.port.showCount, c.preview ? 1 : 0);
        EXPECT_EQ(Harness::Count(h.src), c.files);
        EXPECT_EQ(Harness::Count(h.out), 0);
    }
}

TEST(RunDriverPasses, SummaryAfterProcessing) {
    struct Case {
        int photos;
        bool otherFile;   // a name that fails the DCF check
        int subfolders;   // with the output inside the source (Ignore) or the source itself
        RunOutcome outcome;
        std::string message;
    };
    const std::vector<Case> cases = {{1, false, 0, RunOutcome::Completed, "One file successfully timestamped."},
                                     {2, false, 1, RunOutcome::Completed, "Both files successfully timestamped."},
                                     {3, false, 2, RunOutcome::Completed, "All 3 files successfully timestamped."},
                                     {2, true, 1, RunOutcome::Incomplete, "2  files successfully timestamped\r\n"}};
    for (const Case& c : cases) {
        Harness h;
        h.AddPhotos(c.photos);
        if (c.otherFile) h.dir.Write("src/holiday.jpg", "x");
        h.options.ProcessSubfolders = c.subfolders;
        if (c.subfolders == 0) h.options.OutputPath = h.dir.Mkdir("src/Renamed");
        if (c.subfolders == 2) h.options.OutputPath = h.src;
        // Detection runs first, with the busy pointer, and may supply the source.
        h.options.SourcePath = "";
        h.options.AutoDetect = 1;
        EXPECT_EQ(h.Go(), c.outcome);
        EXPECT_EQ(h.calls, (std::vector<std::string>{"save", "detect(busy)"}));
        EXPECT_TRUE(h.Last().text.starts_with(c.message));
        if (c.otherFile) {
            EXPECT_EQ(h.Last().text, SummaryReport(h.tally));
            EXPECT_EQ(h.Last().icon, MsgIcon::Exclamation);
        } else {
            EXPECT_EQ(h.Last().text, c.message);
            EXPECT_EQ(h.Last().icon, MsgIcon::Information);
            EXPECT_EQ(Harness::Count(h.options.OutputPath), c.photos);
        }
    }
}

// Every progress call, so that the set-up and tear-down can be checked in order.
struct RecordingPort : FakePort {
    std::vector<std::string> log;
    void SetBusy(bool b) override { log.push_back(b ? "busy" : "normal"); FakePort::SetBusy(b); }
    void SetMainWindowEnabled(bool e) override { log.push_back(e ? "enable" : "disable"); FakePort::SetMainWindowEnabled(e); }
    void ProgressSetTitle(const std::string& t) override { log.push_back("title " + t); FakePort::ProgressSetTitle(t); }
    void ProgressSetRange(int a, int b) override {
        log.push_back("range " + std::to_string(a) + "-" + std::to_string(b));
        FakePort::ProgressSetRange(a, b);
    }
    void ProgressSetButtonCaption(const std::string& c) override { log.push_back("caption " + c); }
    void ProgressShow() override { log.push_back("show"); FakePort::ProgressShow(); }
    void ProgressHide() override { log.push_back("hide"); FakePort::ProgressHide(); }
    void SetCancel(bool c) override { log.push_back(c ? "cancel" : "clear"); FakePort::SetCancel(c); }
};

TEST(RunDriverPasses, StoppedPreviewThenFullProcessingWithSetUpAndTearDown) {
    Harness h;
    RecordingPort port;
    h.AddPhotos(3);
    h.options.PreviewResults = 1;
    // Stop the preview after its first file; the processing pass clears it.
    port.onPump = [](FakePort& p) {
        if (p.progressTitle == "Previewing Files..." && p.progressValue == 1) p.cancel = true;
    };
    RunServices services{h.files, port, {}, {}, ProgramFacts{}};
    RunDriver driver(services);
    EXPECT_EQ(driver.Go(h.options), RunOutcome::Completed);

    // The count under the busy pointer, then the pass set-up.
    const std::vector<std::string> setUp = {"busy", "normal", "busy", "clear", "range 0-3",
                                            "title Previewing Files...", "caption Stop", "show", "disable"};
    ASSERT_GE(port.log.size(), setUp.size());
    EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + setUp.size()), setUp);
    EXPECT_EQ(port.progressMessages.front(), "0 of 3");
    EXPECT_EQ(std::vector<std::string>(port.log.end() - 3, port.log.end()),
              (std::vector<std::string>{"enable", "hide", "normal"}));
    EXPECT_TRUE(port.mainEnabled);

    ASSERT_EQ(port.messages.size(), 2u);
    EXPECT_EQ(port.messages[0].icon, MsgIcon::Information);
    EXPECT_NE(port.messages[0].text.find("1  subtotal files previewed\r\n2  files not previewed due to termination"),
              std::string::npos);
    EXPECT_EQ(port.messages[1].text, "All 3 files successfully timestamped.");
    // Only the processing pass's names remain in the run list.
    EXPECT_EQ(std::count(driver.Chronology().Text().begin(), driver.Chronology().Text().end(), '|'), 4);
}

TEST(RunDriverPasses, StopDuringProcessingEndsWithTheSummary) {
    Harness h;
    h.AddPhotos(12);
    h.port.onPump = [](FakePort& p) {
        if (p.progressValue == 4) p.cancel = true;
    };
    EXPECT_EQ(h.Go(), RunOutcome::Incomplete);
    const std::string& text = h.Last().text;
    EXPECT_EQ(text.substr(text.find("==")),
              "==\r\n04  subtotal files attempted\r\n08  files not attempted due to termination\r\n"
              "==\r\n12  total files would have been attempted");
    EXPECT_EQ(Harness::Count(h.src), 8);
}

TEST(RunDriverPasses, EngineFailureIsReportedAndThePassEnds) {
    Harness h;
    h.AddPhotos(1, "src/A");
    h.options.ProcessSubfolders = 2;
    h.files.getFolderFails.insert(h.out + "/A");
    EXPECT_EQ(h.Go(), RunOutcome::Incomplete);
    ASSERT_EQ(h.port.messages.size(), 2u);
    const test::ShownMessage& failure = h.port.messages[0];
    EXPECT_EQ(failure.icon, MsgIcon::Critical);
    EXPECT_TRUE(failure.text.starts_with(
        "Ravlen was unable to complete processing due to the following:\r\n\r\n          Error "));
    EXPECT_TRUE(failure.text.ends_with("\r\n\r\nIf this problem persists, please contact Morvane for assistance."));
    // The pass counts as ended: torn down, then the summary.
    EXPECT_FALSE(h.port.progressVisible);
    EXPECT_TRUE(h.port.mainEnabled);
    EXPECT_EQ(h.Last().text, SummaryReport(h.tally));
}

TEST(RunDriverLogs, LogsAreWrittenOrSkippedWithoutStoppingTheRun) {
    struct Case {
        int createLog;
        bool fail;
        int logs;
    };
    for (const Case c : {Case{0, false, 0}, Case{3, false, 2}, Case{3, true, 0}}) {
        SCOPED_TRACE(c.createLog);
        Harness h;
        h.AddPhotos(2);
        h.options.CreateLog = c.createLog;
        h.files.textFilesFail = c.fail;
        EXPECT_EQ(h.Go(), RunOutcome::Completed);
        int logs = 0;
        for (const auto& e : fs::directory_iterator(h.out))
            if (e.path().filename().string().rfind("Ravlen Log ", 0) == 0) ++logs;
        EXPECT_EQ(logs, c.logs);
    }
}

}  // namespace
}  // namespace ravlen
