#include "app/run_driver.h"

#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "engine/rename_files.h"
#include "log/run_logs.h"
#include "model/date_time.h"
#include "model/report_text.h"
#include "model/version.h"

namespace ravlen {

namespace {

const char* const kCrLf = "\r\n";
const char kQuote = '"';

// Error numbers for failures that carry none of their own: the classic
// "Out of memory" and "Internal error".
constexpr long long kOutOfMemory = 7;
constexpr long long kInternalError = 51;

std::string DigitsOf(std::int64_t value) { return std::to_string(value); }

std::int64_t SkippedInPreview(const RunTally& t) {
    return std::int64_t{t.NumberOfInvalidDCFFiles} + t.NumberOfInvalidEXIFFiles + t.NumberOfInvalidDateFiles;
}

std::int64_t NotTimestamped(const RunTally& t) { return SkippedInPreview(t) + t.NumberOfLockedFiles; }

// Every counted file handled and none skipped or left in place.
bool AllTimestamped(const RunTally& t) {
    return NotTimestamped(t) == 0 && t.SourceObjectNumber == t.NumberOfSourceObjects;
}

std::string SuccessMessage(std::int32_t total) {
    std::string files;
    if (total == 1) {
        files = "One file";
    } else if (total == 2) {
        files = "Both files";
    } else {
        files = "All " + DigitsOf(total) + " files";
    }
    return files + " successfully timestamped.";
}

std::string PassProgress(const RunTally& t) { return ProgressText(t.SourceObjectNumber, t.NumberOfSourceObjects); }

}  // namespace

std::string RunFailureMessage(long long number, const std::string& description) {
    return Version().Title + " was unable to complete processing due to the following:" + kCrLf + kCrLf +
           "          Error " + std::to_string(number) + ": " + description + kCrLf + kCrLf +
           "If this problem persists, please contact " + Version().CompanyName + " for assistance.";
}

std::string PreviewReport(const RunTally& t) {
    ReportBuilder r(t.NumberOfSourceObjects);
    r.Line(t.SourceObjectNumber - SkippedInPreview(t), "  files will probably be successfully timestamped");
    r.Line(t.NumberOfInvalidDCFFiles, "  files will be skipped due to invalid DCF filenames");
    r.Line(t.NumberOfInvalidEXIFFiles, "  files will be skipped due to lack of valid metadata");
    r.Line(t.NumberOfInvalidDateFiles, "  files will be skipped due to lack of valid dates");
    if (t.NumberOfSourceObjects > t.SourceObjectNumber) {
        r.Rule();
        r.Line(t.SourceObjectNumber, "  subtotal files previewed");
        r.Line(std::int64_t{t.NumberOfSourceObjects} - t.SourceObjectNumber,
               "  files not previewed due to termination");
    }
    r.Rule();
    r.Line(t.NumberOfSourceObjects, "  total files will be attempted");
    return r.Text();
}

std::string SummaryReport(const RunTally& t) {
    ReportBuilder r(t.NumberOfSourceObjects);
    r.Line(t.SourceObjectNumber - NotTimestamped(t), "  files successfully timestamped");
    r.Line(t.NumberOfInvalidDCFFiles, "  files skipped due to invalid DCF filenames");
    r.Line(t.NumberOfInvalidEXIFFiles, "  files skipped due to lack of valid metadata");
    r.Line(t.NumberOfInvalidDateFiles, "  files skipped due to lack of valid dates");
    r.Line(t.NumberOfLockedFiles, "  files could not be moved/copied");
    r.Rule();
    if (t.NumberOfSourceObjects <= t.SourceObjectNumber) {
        r.Line(t.SourceObjectNumber, "  total files attempted");
    } else {
        r.Line(t.SourceObjectNumber, "  subtotal files attempted");
        r.Line(std::int64_t{t.NumberOfSourceObjects} - t.SourceObjectNumber,
               "  files not attempted due to termination");
        r.Rule();
        r.Line(t.NumberOfSourceObjects, "  total files would have been attempted");
    }
    return r.Text();
}

RunOutcome RunDriver::Refuse(const std::string& message) {
    services_.port.MessageBox(message, MsgIcon::Exclamation, MsgButtons::OK, Version().Title);
    return RunOutcome::Ended;
}

void RunDriver::SetUpPass(const char* title) {
    UserPort& port = services_.port;
    port.SetBusy(true);
    tally_.ResetPass();
    port.SetCancel(false);
    port.ProgressSetRange(0, tally_.NumberOfSourceObjects);
    port.ProgressSetValue(0);
    port.ProgressSetTitle(title);
    port.ProgressSetMessage(PassProgress(tally_));
    port.ProgressSetButtonCaption("Stop");
    port.ProgressShow();
    port.SetMainWindowEnabled(false);
    port.PumpEvents();
}

void RunDriver::TearDownPass() {
    UserPort& port = services_.port;
    port.SetMainWindowEnabled(true);
    port.ProgressHide();
    port.SetBusy(false);
}

bool RunDriver::RunPass(bool performActions, const FolderRef& source, const FolderRef& output,
                        const RunOptions& options, FileRecordSink* sink) {
    EngineContext context{services_.fs, services_.port, options, chronology_, sink};
    long long number = 0;
    std::string description;
    try {
        RenameFiles(context, source, output, performActions, tally_);
        return true;
    } catch (const EngineFailure& e) {
        number = e.Number;
        description = e.what();
    } catch (const std::system_error& e) {
        number = e.code().value();
        description = e.code().message();
    } catch (const std::bad_alloc&) {
        number = kOutOfMemory;
        description = "Out of memory";
    } catch (const std::exception& e) {
        number = kInternalError;
        description = e.what();
    } catch (...) {
        number = kInternalError;
        description = "Internal error";
    }
    services_.port.MessageBox(RunFailureMessage(number, description), MsgIcon::Critical, MsgButtons::OK,
                              Version().Title);
    return false;
}

RunOutcome RunDriver::Go(RunOptions& options) {
    FileSystem& fs = services_.fs;
    UserPort& port = services_.port;
    const std::string& title = Version().Title;
    tally_ = RunTally{};

    // 1. Keep what the user chose, whatever happens next.
    if (services_.saveSettings) services_.saveSettings(options);

    // 2. A camera card attached since the start may become the source.
    if (options.AutoDetect == 1 && services_.detectCameraMedia) {
        port.SetBusy(true);
        services_.detectCameraMedia(options);
        port.SetBusy(false);
    }

    // 3-4. The source folder.
    if (options.SourcePath.empty()) return Refuse("Please specify a source folder.");
    std::optional<FolderRef> source;
    if (fs.FolderExists(options.SourcePath)) source = fs.GetFolder(options.SourcePath);
    if (!source) return Refuse("The source folder you specified doesn't exist.");

    // 5. Count what the filters let through.
    options.SourcePath = source->Path;
    port.SetBusy(true);
    tally_.NumberOfSourceObjects =
        CountFiles(fs, source->Path, options.ProcessSubfolders > 0, options.ExcludeReadOnly != 0,
                   options.ExcludeHidden != 0, options.ExcludeSystem != 0, options.ExcludePatterns(),
                   options.IncludePatterns(), false);
    port.SetBusy(false);

    // 6.
    if (tally_.NumberOfSourceObjects == 0)
        return Refuse("The source folder does not contain any files that meet the filter criteria.");

    // 7. The output folder, created on request when only its last part is missing.
    const std::string typed = options.OutputPath;
    if (!fs.FolderExists(typed)) {
        const std::string invalid = "The output path you specified is invalid.";
        if (fs.DrivePart(typed).empty()) return Refuse(invalid);
        const std::string parent = fs.ParentPart(typed);
        if (parent.empty()) return Refuse(invalid);
        if (!fs.FolderExists(parent))
            return Refuse("Output parent folder " + std::string(1, kQuote) + parent + kQuote + " doesn't exist.");
        const MsgAnswer answer = port.MessageBox("Create output folder " + std::string(1, kQuote) + typed + kQuote + "?",
                                                 MsgIcon::Question, MsgButtons::YesNo, title);
        if (answer != MsgAnswer::Yes) return RunOutcome::Ended;
        fs.CreateFolder(typed);  // a failure shows in the test that follows
        if (!fs.FolderExists(typed))
            return Refuse("Unable to create output folder " + std::string(1, kQuote) + typed + kQuote + ".");
    }

    // 8. A folder that vanished between the test and here is as good as invalid.
    const std::optional<FolderRef> output = fs.GetFolder(typed);
    if (!output) return Refuse("The output path you specified is invalid.");
    options.OutputPath = output->Path;

    // 9. Processing subfolders into a folder below the source would walk into
    // the files just placed. The output folder itself is never compared, so
    // source = output passes; a source at the root catches every output.
    if (options.ProcessSubfolders > 0) {
        FolderRef current = *output;
        while (!current.IsRoot) {
            std::optional<FolderRef> parent = fs.GetFolder(current.ParentPath);
            if (!parent) break;
            current = *parent;
            if (current.Path == source->Path)
                return Refuse(
                    "When processing source subfolders, the output folder may not be contained within the "
                    "source folder. You can either select source and output folders that are completely "
                    "separate, or make the source and output folders the same, or disable processing of "
                    "source subfolders.");
        }
    }

    const bool preview = options.PreviewResults > 0;
    std::string report;
    if (preview) {
        SetUpPass("Previewing Files...");
        RunPass(false, *source, *output, options, nullptr);
        TearDownPass();
        report = PreviewReport(tally_);
    }

    if (options.RequestConfirmation > 0) {
        const std::string question =
            preview ? report + kCrLf + kCrLf + kCrLf + "Do you want to proceed?"
                    : "Timestamp " + DigitsOf(tally_.NumberOfSourceObjects) + " file" +
                          (tally_.NumberOfSourceObjects == 1 ? "" : "s") + "?";
        if (port.MessageBox(question, MsgIcon::Question, MsgButtons::YesNo, title) != MsgAnswer::Yes)
            return RunOutcome::Ended;
    } else if (preview) {
        port.MessageBox(report, MsgIcon::Information, MsgButtons::OK, title);
    }

    // The processing pass.
    chronology_.Reset();
    SetUpPass("Timestamping Files...");

    // A log that cannot be created is simply absent; the run goes on.
    RunLogs logs;
    const bool textLog = options.CreateLog == 1 || options.CreateLog == 3;
    const bool csvLog = options.CreateLog == 2 || options.CreateLog == 3;
    if (textLog) {
        try {
            logs.text = TextLog::Create(fs, output->Path, DateTime::Now(), options, services_.program);
        } catch (...) {
        }
    }
    if (csvLog) {
        try {
            logs.csv = CsvLog::Create(fs, output->Path, DateTime::Now());
        } catch (...) {
        }
    }

    const bool finished = RunPass(true, *source, *output, options, (logs.text || logs.csv) ? &logs : nullptr);

    if (logs.text) {
        try {
            logs.text->Close();
        } catch (...) {
        }
    }
    if (logs.csv) {
        try {
            logs.csv->Close();
        } catch (...) {
        }
    }
    TearDownPass();

    if (options.SummarizeResults > 0) {
        if (AllTimestamped(tally_)) {
            port.MessageBox(SuccessMessage(tally_.NumberOfSourceObjects), MsgIcon::Information, MsgButtons::OK,
                            title);
        } else {
            port.MessageBox(SummaryReport(tally_), MsgIcon::Exclamation, MsgButtons::OK, title);
        }
    }

    // More files than counted (added during the run) all timestamped is still
    // a complete run; a run the engine could not finish never is.
    const bool complete = finished && NotTimestamped(tally_) == 0 &&
                          tally_.SourceObjectNumber >= tally_.NumberOfSourceObjects;
    return complete ? RunOutcome::Completed : RunOutcome::Incomplete;
}

}  // namespace ravlen
