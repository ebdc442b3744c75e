#pragma once
// What Go does: the checks, the preview, the question, the processing pass,
// the logs and the summary.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/run/run_plan.h"
#include "engine/camera_zones.h"
#include "engine/card_verdict.h"
#include "engine/chronology_list.h"
#include "engine/folder_listings.h"
#include "log/program_facts.h"
#include "model/file_choice.h"
#include "model/file_facts.h"
#include "model/continuing_numbers.h"
#include "model/file_list.h"
#include "model/file_system.h"
#include "model/import_record.h"
#include "model/intent_record.h"
#include "model/log_sink.h"
#include "model/run_journal.h"
#include "model/run_options.h"
#include "model/run_tally.h"
#include "model/user_port.h"

namespace ravlen {

enum class RunOutcome {
    Completed,   // every counted file was timestamped or already imported
    Ended,       // a check message or a No ended the run before processing
    Incomplete,  // files were skipped, could not be placed, or the pass was stopped
};

struct RunServices {
    FileSystem& fs;
    UserPort& port;
    // Step 1: save every option to the settings store in use.
    std::function<void(const RunOptions&)> saveSettings;
    // Step 2 (AutoDetect ticked): camera media detection with asking on; may change
    // SourcePath and ProcessSubfolders.
    std::function<void(RunOptions&)> detectCameraMedia;
    ProgramFacts program;
    // Where each placement is planned before it is acted on; none: no record.
    IntentRecord* intents = nullptr;
    // Where word of a run left unfinished goes (the runner's error stream);
    // unset: a message box.
    std::function<void(const std::string&)> notice = {};
    // The record of earlier imports; none: only taken names are compared.
    ImportRecord* imports = nullptr;
    // List: each camera's names read wherever they lie (EngineContext::cameraNames).
    bool cameraNames = false;
    // Each file's row kept for Files(): the window's preview and results, a
    // list. A run that shows none (the runner's) keeps none.
    bool keepRows = true;
    // The files a script chose (ravlen-run --only); none: every file.
    const FileChoice* choice = nullptr;
    // After the processing pass: whether the card may be formatted, said with
    // the summary (never for files renamed where they lie). Off: no verdict.
    bool checkCard = false;
    std::size_t cardLines = SIZE_MAX;  // the files not safe that the summary names at most
    // EjectWhenDone after a safe verdict: unmounts the file system holding
    // the source and powers its drive off; "" when done, else why not.
    std::function<std::string(const std::string& source)> eject = {};
    // The processing pass and the verdict are done, `seconds` after the pass
    // began; the summary is still to be shown (a desktop notification).
    std::function<void(const CardCheck& card, double seconds)> runEnded = {};
    // Where a run that places files keeps its journal; none: no journal.
    RunJournal* journal = nullptr;
    // The numbers that continue between imports; needed by a run whose names
    // or folders hold %q (EngineContext::numbers).
    ContinuingNumbers* numbers = nullptr;
    // The source a SourcePath names when it is no folder (a device on a
    // cable), kept open until the next call: null with `refusal` empty for
    // a folder, null with `refusal` said when it cannot be opened. Unset:
    // sources are folders. `outputPath` is the run's output folder as typed.
    std::function<FileSource*(const std::string& sourcePath, const std::string& outputPath, std::string& refusal)>
        openSource = {};
};

// What a card check needs of a run's options: the source, the output and
// backup folders, the filters.
CardCheckRequest CardCheckOf(const RunOptions& options);

class RunDriver {
public:
    explicit RunDriver(RunServices services) : services_(std::move(services)) {}
    // Runs Go with these options; SourcePath and OutputPath are rewritten to
    // the folders' paths once they are known to exist.
    RunOutcome Go(RunOptions& options);
    // The checks and the preview pass alone, for the list of what each file
    // would become: no settings saved, no folder created, no log, nothing
    // recovered. Completed when every counted file would be timestamped.
    RunOutcome List(RunOptions& options);
    const RunTally& Tally() const { return tally_; }
    // Every file of the last pass: the preview's while its report is shown.
    const FileList& Files() const { return files_; }
    const ChronologyList& Chronology() const { return chronology_; }
    // The verdict on the card after the last processing pass (checkCard).
    const std::optional<CardVerdict>& Verdict() const { return verdict_; }

private:
    struct Folders {
        FolderRef source, output;
    };
    // Steps before any file is read: the settings kept, the source and output
    // folders found. Nothing when a check message or a No ended the run.
    std::optional<Folders> Check(RunOptions& options);
    std::optional<FolderRef> CheckSource(RunOptions& options);
    std::optional<FolderRef> CheckOutput(RunOptions& options);
    bool CheckOutputOutsideSource(const RunOptions& options, const Folders& folders);
    // Before the first file: whether the output folder takes a file at all,
    // and whether its file system has room for the bytes the run writes.
    bool CheckWritable(const Folders& folders);
    bool CheckSpace(const Folders& folders, const RunOptions& options);
    // The backup folders: one missing but for its last part is created (a
    // question), one out of reach or short of room for the run is a
    // question; false for a No. A Yes runs on without the copies that cannot
    // be made, and their files stay at their source.
    bool CheckBackups(const RunOptions& options);
    bool CheckBackupSpace(const RunOptions& options);
    // The preview pass; its report.
    std::string Preview(const Folders& folders, const RunOptions& options);
    // The question or the preview report as the options ask; false for a No.
    bool Confirm(const RunOptions& options, const std::optional<std::string>& previewReport);
    // The processing pass with its logs, then the summary.
    RunOutcome Process(const Folders& folders, const RunOptions& options);
    // The verdict after the processing pass, and the eject it allows; the
    // card's part of the summary.
    CardCheck CheckCardAfterRun(const RunOptions& options, CardCheckRequest request);

    // One engine call under the run-failure handling, in its own progress
    // window; false when it failed.
    bool RunPass(const char* title, bool performActions, const Folders& folders, const RunOptions& options,
                 FileRecordSink* sink);
    // The rows unticked in the preview's list, left out of the run.
    void KeepUnticked();
    // Word of a run left unfinished: to the notice channel, else a message box.
    void Notice(const std::string& text);
    // A check message: OK button, exclamation icon.
    std::nullopt_t Refuse(const std::string& message);

    RunServices services_;
    RunTally tally_;
    ChronologyList chronology_;
    FileList files_;
    std::optional<CardVerdict> verdict_;
    FolderListings counted_;  // the count's listings, for a pass that follows at once
    CameraZones cameraZones_;  // the run's photos' zones, surveyed once for both passes
    bool listing_ = false;  // List: an output folder still to be created is only imagined
    std::optional<FileChoice> unticked_;  // the preview's unticked rows, for the run that follows it
    FileSource* source_ = nullptr;  // the run's source when it is no folder (openSource)
};

// The preview report and the summary report, lines joined by CR LF.
std::string PreviewReport(const RunTally& tally, const RunOptions& options);
std::string SummaryReport(const RunTally& tally);

// With Move, the warning that read-only (protected) files the filters passed
// over stay on the source; empty when none do.
std::string ProtectedLeftWarning(const RunTally& tally, const RunOptions& options);

// The files placed without a copy in every backup folder, each named with
// the folders it lacks and why; empty when there are none.
std::string NoBackupWarning(const std::vector<FileFacts>& files);


// What the processing pass will do, said before the question: "The files
// will be moved from <source> to <output>."
std::string ActionSentence(const RunOptions& options);

// The sentence naming the clock corrections in force; empty when there are none.
std::string ClockCorrections(const RunOptions& options);

// The message shown when the engine fails with an error it does not handle.
std::string RunFailureMessage(long long number, const std::string& description);

}  // namespace ravlen
