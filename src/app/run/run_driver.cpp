#include "app/run/run_driver.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <unordered_map>

#include "app/run/movie_zone.h"
#include "app/run/progress_session.h"
#include "app/records/recovery.h"
#include "app/undo/undo_plan.h"
#include "engine/rename_files.h"
#include "log/run_logs.h"
#include "model/camera_clock.h"
#include "model/date_time.h"
#include "model/run_plan.h"
#include "model/report_text.h"
#include "model/time_shift.h"
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

std::int64_t NotTimestamped(const RunTally& t) {
    return SkippedInPreview(t) + t.NumberOfLockedFiles + t.NumberOfAlreadyImported + t.NumberOfNotSelected;
}

// The preview went through every file and would place none of them.
bool NothingToPlace(const RunTally& t) {
    return t.SourceObjectNumber >= t.NumberOfSourceObjects && t.SourceObjectNumber - NotTimestamped(t) <= 0;
}

const char* const kNothingToPlace = "No file needs to be moved or copied.";

// The bytes the run writes at most: those of the files a finished preview
// would place, else those of every file counted.
std::int64_t BytesNeeded(const RunTally& t) {
    return t.SourceObjectNumber >= t.NumberOfSourceObjects ? t.BytesToPlace : t.SourceBytes;
}

// Every counted file handled and none skipped or left in place.
bool AllTimestamped(const RunTally& t) {
    return NotTimestamped(t) == 0 && t.SourceObjectNumber == t.NumberOfSourceObjects;
}

// Every counted file placed or found already imported; more files than
// counted (added during the run) is still every file.
bool EveryFilePlacedOrThere(const RunTally& t) {
    return NotTimestamped(t) == std::int64_t{t.NumberOfAlreadyImported} + t.NumberOfNotSelected &&
           t.SourceObjectNumber >= t.NumberOfSourceObjects;
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

// One line per reason the filters passed files over, after a report's own
// lines, so that no file stays behind unmentioned.
struct ExclusionLine {
    Exclusion reason;
    const char* preview;
    const char* summary;
};
constexpr ExclusionLine kExclusionLines[] = {
    {Exclusion::ReadOnly, "  files will be left out as read-only (protected)", "  files left out as read-only (protected)"},
    {Exclusion::Hidden, "  files will be left out as hidden", "  files left out as hidden"},
    {Exclusion::System, "  files will be left out as system files", "  files left out as system files"},
    {Exclusion::ExcludePattern, "  files will be left out by the exclude patterns",
     "  files left out by the exclude patterns"},
    {Exclusion::NotIncluded, "  files will be left out by the include patterns",
     "  files left out by the include patterns"},
};

// Files skipped for their names are common from phones: the report says,
// once a run, where to include them.
std::string WithDcfHint(const std::string& report, const RunTally& t, bool preview) {
    if (t.NumberOfInvalidDCFFiles == 0) return report;
    return report + kCrLf + kCrLf + "Files without a DCF file name (a camera's name, such as IMG_1234.JPG) " +
           (preview ? "will be" : "were") +
           " skipped. To timestamp them too, choose \"Timestamp all files\" in the DCF box of the Filter tab "
           "(DCFMode=2 for ravlen-run).";
}

// The report's text followed, after an empty line, by the exclusion lines
// whose count is above zero.
std::string WithExclusions(const std::string& report, const RunTally& t, bool preview) {
    ReportBuilder lines(t.NumberOfSourceObjects);
    bool any = false;
    for (const ExclusionLine& line : kExclusionLines) {
        if (t.Excluded[line.reason] == 0) continue;
        lines.Line(t.Excluded[line.reason], preview ? line.preview : line.summary);
        any = true;
    }
    return any ? report + kCrLf + kCrLf + lines.Text() : report;
}

// A run's final records, written once each file's move or copy is done
// (for a batch, at its end): into the logs, when there are any, into the
// run's list of files, and each placed file into the run's journal.
class ListedRecords : public FileRecordSink {
public:
    ListedRecords(FileRecordSink* logs, FileList* files, RunJournal* journal, FileSystem& fs)
        : logs_(logs), files_(files), journal_(journal), fs_(fs) {}
    // Why each file left unplaced was left, for the card's verdict.
    void KeepReasons(std::unordered_map<std::string, UnsafeReason>* reasons, const RunOptions* options) {
        reasons_ = reasons, options_ = options;
    }
    // Where each file went, for the verdict on a device, whose files it
    // would otherwise download again.
    void KeepPlaced(std::unordered_map<std::string, std::string>* placed) { placed_ = placed; }
    // The placed files a backup folder lacks, for the summary.
    const std::vector<FileFacts>& Unbacked() const { return unbacked_; }
    void WriteFileRecord(const FileFacts& facts) override {
        if (files_) files_->Add(facts);
        if (!facts.MissingBackups.empty()) {
            FileFacts kept;
            kept.SourceFilePath = facts.SourceFilePath, kept.MissingBackups = facts.MissingBackups;
            unbacked_.push_back(std::move(kept));
        }
        if (reasons_ && facts.Operation != FileOperation::Moved && facts.Operation != FileOperation::Copied &&
            facts.Operation != FileOperation::AlreadyImported)
            (*reasons_)[facts.SourceFilePath] = UnplacedReason(facts, *options_);
        else if (placed_ && !facts.OutputFileName.empty())
            (*placed_)[facts.SourceFilePath] = JoinPath(facts.OutputFolder, facts.OutputFileName);
        if (logs_) logs_->WriteFileRecord(facts);
        // A file placed, or one imported before whose backup copies this run made.
        const bool placed = facts.Timestamped &&
                            (facts.Operation == FileOperation::Moved || facts.Operation == FileOperation::Copied);
        const bool caughtUp = facts.Operation == FileOperation::AlreadyImported && !facts.BackupFilePaths.empty();
        if (journal_ && (placed || caughtUp)) {
            JournalEntry entry;
            entry.Source = facts.SourceFilePath;
            entry.Target = JoinPath(facts.OutputFolder, facts.OutputFileName);
            entry.Operation = facts.Operation;
            // The placed file as the undo will find it, unless something changed it since.
            if (const std::optional<FsItem> file = facts.Placed ? facts.Placed : fs_.GetFile(entry.Target)) {
                entry.Id = file->Id;
                entry.Size = file->Size;
                entry.Modified = file->Modified;
            } else {
                entry.Size = facts.Size;
            }
            entry.OriginalModifiedTime = facts.OriginalModifiedTime;
            for (std::size_t i = 0; i < facts.BackupFilePaths.size(); ++i) {
                const std::string& path = facts.BackupFilePaths[i];
                JournalBackup& backup = entry.Backups.emplace_back(JournalBackup{path, {}, 0, {}});
                const bool looked = i < facts.BackupsPlaced.size() && facts.BackupsPlaced[i];
                if (const std::optional<FsItem> copy = looked ? facts.BackupsPlaced[i] : fs_.GetFile(path))
                    backup.Id = copy->Id, backup.Size = copy->Size, backup.Modified = copy->Modified;
            }
            journal_->Placed(entry);
        }
    }
    bool Failed() const override { return logs_ && logs_->Failed(); }
    bool Holds(const FsItem& file) const override { return logs_ && logs_->Holds(file); }

private:
    FileRecordSink* logs_;
    FileList* files_;
    RunJournal* journal_;
    FileSystem& fs_;
    std::unordered_map<std::string, UnsafeReason>* reasons_ = nullptr;
    std::unordered_map<std::string, std::string>* placed_ = nullptr;
    const RunOptions* options_ = nullptr;
    std::vector<FileFacts> unbacked_;
};

}  // namespace

std::string ProtectedLeftWarning(const RunTally& tally, const RunOptions& options) {
    const std::int32_t left = tally.Excluded[Exclusion::ReadOnly];
    if (options.MoveOrCopy != MoveOrCopy::Move || left == 0) return {};
    return (left == 1 ? std::string("1 read-only (protected) file stays")
                      : DigitsOf(left) + " read-only (protected) files stay") +
           " in the source folder: do not erase or format the card before you have saved " +
           (left == 1 ? "it." : "them.");
}

std::string NoBackupWarning(const std::vector<FileFacts>& files) {
    if (files.empty()) return {};
    const bool one = files.size() == 1;
    std::string text = (one ? std::string("1 file has") : DigitsOf(std::int64_t(files.size())) + " files have") +
                       " no copy in a backup folder and stayed in the source folder: do not erase or format the "
                       "card before you have backed " + (one ? "it" : "them") + " up.";
    for (const FileFacts& f : files) {
        text += kCrLf + std::string("  ") + f.SourceFilePath + " (";
        for (std::size_t i = 0; i < f.MissingBackups.size(); ++i) text += (i ? "; " : "") + f.MissingBackups[i];
        text += ")";
    }
    return text;
}

std::string ActionSentence(const RunOptions& options) {
    std::string text = std::string("The files will be ") +
                       (options.MoveOrCopy == MoveOrCopy::Copy ? "copied" : "moved") + " from " + options.SourcePath +
                       " to " + options.OutputPath;
    if (options.MoveOrCopy == MoveOrCopy::CopyWhenUnableToMove) text += ", or copied where they cannot be moved";
    return text + ".";
}

CardCheckRequest CardCheckOf(const RunOptions& options) {
    CardCheckRequest request;
    request.Source = options.SourcePath;
    request.Output = options.OutputPath;
    request.Backups = BackupFoldersOf(options.BackupPaths);
    request.Filter = FileFilter::Of(options);
    request.DcfNamesOnly = options.DCFMode == DCFMode::ValidOnly;
    return request;
}

std::string ClockCorrections(const RunOptions& options) {
    std::string text;
    const std::optional<TimeShift> shift = TimeShift::Parse(options.TimeShift);
    if (shift && !shift->IsNone()) text = "Metadata dates will be shifted by " + shift->Text() + ".";
    const std::string cameras = CameraOffsetsLabel(KeptCameraOffsets(options.CameraOffsets));
    if (!cameras.empty())
        text += (text.empty() ? "" : kCrLf) + std::string("Camera clock offsets in force: ") + cameras + ".";
    return text;
}

std::string RunFailureMessage(long long number, const std::string& description) {
    return Version().Title + " was unable to complete processing due to the following:" + kCrLf + kCrLf +
           "          Error " + std::to_string(number) + ": " + description + kCrLf + kCrLf +
           "If this problem persists, please contact " + Version().CompanyName + " for assistance.";
}

std::string PreviewReport(const RunTally& t, const RunOptions& options) {
    ReportBuilder r(t.NumberOfSourceObjects);
    r.Line(t.SourceObjectNumber - NotTimestamped(t), "  files will probably be successfully timestamped");
    r.Line(t.NumberOfInvalidDCFFiles, "  files will be skipped due to invalid DCF filenames");
    r.Line(t.NumberOfInvalidEXIFFiles, "  files will be skipped due to lack of valid metadata");
    r.Line(t.NumberOfInvalidDateFiles, "  files will be skipped due to lack of valid dates");
    // Names the preview found taken or unusable; a report without any keeps its usual lines.
    if (t.NumberOfLockedFiles > 0)
        r.Line(t.NumberOfLockedFiles,
               options.MoveOrCopy == MoveOrCopy::Move ? "  files will not be moved" : "  files will not be copied");
    if (t.NumberOfAlreadyImported > 0)
        r.Line(t.NumberOfAlreadyImported, "  files will be skipped as already imported");
    if (t.NumberOfNotSelected > 0) r.Line(t.NumberOfNotSelected, "  files will be skipped as not selected");
    if (t.NumberOfSourceObjects > t.SourceObjectNumber) {
        r.Rule();
        r.Line(t.SourceObjectNumber, "  subtotal files previewed");
        r.Line(std::int64_t{t.NumberOfSourceObjects} - t.SourceObjectNumber,
               "  files not previewed due to termination");
    }
    r.Rule();
    r.Line(t.NumberOfSourceObjects, "  total files will be attempted");
    const std::string report = WithExclusions(r.Text(), t, true);
    const std::string corrections = ClockCorrections(options);
    return corrections.empty() ? report : report + kCrLf + kCrLf + corrections;
}

std::string SummaryReport(const RunTally& t) {
    ReportBuilder r(t.NumberOfSourceObjects);
    r.Line(t.SourceObjectNumber - NotTimestamped(t), "  files successfully timestamped");
    r.Line(t.NumberOfInvalidDCFFiles, "  files skipped due to invalid DCF filenames");
    r.Line(t.NumberOfInvalidEXIFFiles, "  files skipped due to lack of valid metadata");
    r.Line(t.NumberOfInvalidDateFiles, "  files skipped due to lack of valid dates");
    r.Line(t.NumberOfLockedFiles, "  files could not be moved/copied");
    if (t.NumberOfAlreadyImported > 0) r.Line(t.NumberOfAlreadyImported, "  files skipped as already imported");
    if (t.NumberOfNotSelected > 0) r.Line(t.NumberOfNotSelected, "  files skipped as not selected");
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
    if (t.NumberOfTimesNotSet > 0) r.Line(t.NumberOfTimesNotSet, "  files placed whose modified time could not be set");
    if (t.NumberWithoutBackup > 0)
        r.Line(t.NumberWithoutBackup, "  files placed without a copy in every backup folder");
    return WithExclusions(r.Text(), t, false);
}

namespace {

// Whether one folder is the other or lies inside it, by their real paths
// (links followed); a folder that cannot be resolved may be anywhere.
bool TreesMeet(const std::string& a, const std::string& b) {
    const std::unique_ptr<char, decltype(&std::free)> realA(realpath(a.c_str(), nullptr), &std::free);
    const std::unique_ptr<char, decltype(&std::free)> realB(realpath(b.c_str(), nullptr), &std::free);
    return !realA || !realB || WithinFolder(realA.get(), realB.get()) || WithinFolder(realB.get(), realA.get());
}

}  // namespace

void RunDriver::Notice(const std::string& text) {
    counted_.Clear();  // a message box may wait for the user
    if (services_.notice) services_.notice(text);
    else services_.port.MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, Version().Title);
}

std::nullopt_t RunDriver::Refuse(const std::string& message) {
    counted_.Clear();
    services_.port.MessageBox(message, MsgIcon::Exclamation, MsgButtons::OK, Version().Title);
    return std::nullopt;
}

bool RunDriver::RunPass(const char* title, bool performActions, const Folders& folders, const RunOptions& options,
                        FileRecordSink* sink) {
    tally_.ResetPass();
    files_.Clear();
    // Each pass numbers its own names: a preview after an earlier run in the
    // same window would otherwise count on from that run's serial numbers.
    chronology_.Reset();
    const ProgressSession session(services_.port, title, tally_.NumberOfSourceObjects);
    EngineContext context{services_.fs, services_.port, options, chronology_, sink,
                          performActions ? services_.intents : nullptr, services_.keepRows ? &files_ : nullptr,
                          services_.imports,
                          MovieZoneOffsets(options.MovieTimeZone)};
    context.cameraNames = services_.cameraNames;
    // The files unticked in the preview are left out of the run that follows it.
    context.choice = performActions && unticked_ ? &*unticked_ : services_.choice;
    context.zoneAt = PositionZones();
    context.cameraZones = &cameraZones_;
    context.numbers = services_.numbers;
    context.source = source_;
    // The count's listings serve the pass that follows it, unless that pass
    // writes where it walks (the output folder is the source folder, or one
    // lies inside the other): such a pass lists each folder when it comes to
    // it, after the files placed before.
    const bool elsewhere = folders.source.Id.Known() && folders.output.Id.Known() &&
                           folders.source.Id.Device != folders.output.Id.Device;
    if (!performActions || elsewhere || !TreesMeet(folders.source.Path, folders.output.Path))
        context.listings = &counted_;
    struct Taken {
        FolderListings& listings;
        ~Taken() { listings.Clear(); }
    } taken{counted_};
    long long number = 0;
    std::string description;
    try {
        RenameFiles(context, folders.source, folders.output, performActions, tally_);
        // Files counted but removed before the walk listed them were not
        // placed; nobody stopped the pass for them.
        if (!services_.port.Cancel() && !(sink && sink->Failed()) &&
            tally_.SourceObjectNumber < tally_.NumberOfSourceObjects) {
            tally_.NumberOfLockedFiles += tally_.NumberOfSourceObjects - tally_.SourceObjectNumber;
            tally_.SourceObjectNumber = tally_.NumberOfSourceObjects;
        }
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
    tally_ = RunTally{};
    unticked_.reset();
    cameraZones_ = CameraZones{};
    // A run killed half-way is set right before anything else is read.
    if (services_.intents) {
        const std::string recovered = RecoverAbandonedPlacements(*services_.intents, services_.fs);
        if (!recovered.empty()) Notice(recovered);
    }
    const std::optional<Folders> folders = Check(options);
    if (!folders) return RunOutcome::Ended;
    if (!CheckWritable(*folders)) return RunOutcome::Ended;
    if (!CheckBackups(options)) return RunOutcome::Ended;
    std::optional<std::string> report;
    if (options.PreviewResults) {
        report = Preview(*folders, options);
        if (NothingToPlace(tally_)) {
            // A run that would place nothing asks nothing and leaves no logs behind.
            services_.port.PreviewBox(*report + kCrLf + kCrLf + kNothingToPlace, MsgIcon::Information,
                                      MsgButtons::OK, Version().Title, files_);
            return EveryFilePlacedOrThere(tally_) ? RunOutcome::Completed : RunOutcome::Incomplete;
        }
    }
    if (!CheckSpace(*folders, options)) return RunOutcome::Ended;
    if (!CheckBackupSpace(options)) return RunOutcome::Ended;
    if (!Confirm(options, report)) return RunOutcome::Ended;
    return Process(*folders, options);
}

RunOutcome RunDriver::List(RunOptions& options) {
    tally_ = RunTally{};
    cameraZones_ = CameraZones{};
    listing_ = true;
    const std::optional<Folders> folders = Check(options);
    listing_ = false;
    if (!folders) return RunOutcome::Ended;
    const bool finished = RunPass("Previewing Files...", false, *folders, options, nullptr);
    return finished && EveryFilePlacedOrThere(tally_) ? RunOutcome::Completed : RunOutcome::Incomplete;
}

std::optional<RunDriver::Folders> RunDriver::Check(RunOptions& options) {
    // 1. Keep what the user chose, whatever happens next.
    if (services_.saveSettings) services_.saveSettings(options);
    if (const std::optional<OptionRefusal> refused = RefusedOption(options)) return Refuse(refused->Message);

    // 2. A camera card attached since the start may become the source.
    if (options.AutoDetect && services_.detectCameraMedia) {
        services_.port.SetBusy(true);
        services_.detectCameraMedia(options);
        services_.port.SetBusy(false);
    }

    std::optional<FolderRef> source = CheckSource(options);
    if (!source) return std::nullopt;
    std::optional<FolderRef> output = CheckOutput(options);
    if (!output) return std::nullopt;
    Folders folders{std::move(*source), std::move(*output)};
    if (!CheckOutputOutsideSource(options, folders)) return std::nullopt;
    return folders;
}

std::optional<FolderRef> RunDriver::CheckSource(RunOptions& options) {
    FileSystem& fs = services_.fs;
    // 3-4. The source folder.
    if (options.SourcePath.empty()) return Refuse("Please specify a source folder.");
    std::optional<FolderRef> source;
    source_ = nullptr;
    if (services_.openSource) {
        std::string refusal;
        source_ = services_.openSource(options.SourcePath, options.OutputPath, refusal);
        if (!refusal.empty()) return Refuse(refusal);
        if (source_) source = FolderRef{options.SourcePath, true, "", {}};
    }
    if (!source && fs.FolderExists(options.SourcePath)) source = fs.GetFolder(options.SourcePath);
    if (!source && fs.FileExists(options.SourcePath))
        return Refuse("The source path you specified is not a folder.");
    if (!source) return Refuse("The source folder you specified doesn't exist.");

    // 5. Count what the filters let through.
    options.SourcePath = source->Path;
    services_.port.SetBusy(true);
    counted_.Clear();
    tally_.NumberOfSourceObjects =
        CountFiles(source_ ? *source_ : static_cast<FileSource&>(fs), source->Path, FileFilter::Of(options), false,
                   &tally_.Excluded, &counted_, &tally_.SourceBytes);
    services_.port.SetBusy(false);

    // 6.
    if (tally_.NumberOfSourceObjects == 0)
        return Refuse("The source folder does not contain any files that meet the filter criteria.");
    return source;
}

std::optional<FolderRef> RunDriver::CheckOutput(RunOptions& options) {
    FileSystem& fs = services_.fs;
    // 7. The output folder, created on request when only its last part is missing.
    const std::string typed = options.OutputPath;
    if (!fs.FolderExists(typed) && fs.FileExists(typed))
        return Refuse("The output path you specified is not a folder.");
    if (!fs.FolderExists(typed)) {
        const std::string invalid = "The output path you specified is invalid.";
        if (fs.DrivePart(typed).empty()) return Refuse(invalid);
        const std::string parent = fs.ParentPart(typed);
        if (parent.empty()) return Refuse(invalid);
        if (!fs.FolderExists(parent))
            return Refuse("Output parent folder " + std::string(1, kQuote) + parent + kQuote + " doesn't exist.");
        // The files are listed where the run will put them once it has created the folder.
        if (listing_) return FolderRef{typed, false, parent, {}};
        // The source may change while the question waits for someone.
        if (!services_.port.AnswersAtOnce()) counted_.Clear();
        const MsgAnswer answer =
            services_.port.MessageBox("Create output folder " + std::string(1, kQuote) + typed + kQuote + "?",
                                      MsgIcon::Question, MsgButtons::YesNo, Version().Title);
        if (answer != MsgAnswer::Yes) return std::nullopt;
        const FsStatus made = fs.CreateFolder(typed);  // a failure shows in the test that follows
        if (!fs.FolderExists(typed))
            return Refuse("Unable to create output folder " + std::string(1, kQuote) + typed + kQuote + "." +
                          (made.error.empty() ? "" : kCrLf + made.error));
    }

    // 8. A folder that vanished between the test and here is as good as invalid.
    std::optional<FolderRef> output = fs.GetFolder(typed);
    if (!output) return Refuse("The output path you specified is invalid.");
    options.OutputPath = output->Path;
    return output;
}

bool RunDriver::CheckWritable(const Folders& folders) {
    const FsStatus writable = services_.fs.ProbeWritable(folders.output.Path);
    if (writable) return true;
    Refuse("No file can be written into the output folder " + std::string(1, kQuote) + folders.output.Path + kQuote +
           ": " + writable.error + ".");
    return false;
}

bool RunDriver::CheckSpace(const Folders& folders, const RunOptions& options) {
    // A move within one file system only renames; elsewhere every byte placed is written anew.
    if (options.MoveOrCopy == MoveOrCopy::Move &&
        (source_ ? *source_ : static_cast<FileSource&>(services_.fs)).SameFileSystem(folders.source.Path, folders.output.Path))
        return true;
    const std::uint64_t needed = static_cast<std::uint64_t>(BytesNeeded(tally_));
    const std::optional<std::uint64_t> free = services_.fs.FreeBytes(folders.output.Path);
    if (!free || needed <= *free) return true;
    Refuse("There is not enough free space in the output folder " + std::string(1, kQuote) + folders.output.Path +
           kQuote + ": the run needs " + ByteSizeText(needed) + ", " + ByteSizeText(*free) + " free.");
    return false;
}

bool RunDriver::CheckBackups(const RunOptions& options) {
    FileSystem& fs = services_.fs;
    for (const std::string& folder : BackupFoldersOf(options.BackupPaths)) {
        if (fs.FolderExists(folder)) continue;
        const std::string parent = fs.ParentPart(folder);
        if (fs.FileExists(folder) || fs.DrivePart(folder).empty() || parent.empty() || !fs.FolderExists(parent)) {
            // Run on without it: each file then lacks that copy and stays at its source.
            counted_.Clear();  // the source may change while the question waits
            if (services_.port.AskDefaultNo(folder + " is not available. Import without a backup?", Version().Title) !=
                MsgAnswer::Yes)
                return false;
            continue;
        }
        // Made as the output folder is, when only its last part is missing.
        counted_.Clear();
        if (services_.port.MessageBox("Create backup folder " + std::string(1, kQuote) + folder + kQuote + "?",
                                      MsgIcon::Question, MsgButtons::YesNo, Version().Title) != MsgAnswer::Yes)
            return false;
        const FsStatus made = fs.CreateFolder(folder);
        if (!fs.FolderExists(folder)) {
            Refuse("Unable to create backup folder " + std::string(1, kQuote) + folder + kQuote + "." +
                   (made.error.empty() ? "" : kCrLf + made.error));
            return false;
        }
    }
    return true;
}

bool RunDriver::CheckBackupSpace(const RunOptions& options) {
    const std::uint64_t needed = static_cast<std::uint64_t>(BytesNeeded(tally_));
    for (const std::string& folder : BackupFoldersOf(options.BackupPaths)) {
        const std::optional<std::uint64_t> free =
            services_.fs.FolderExists(folder) ? services_.fs.FreeBytes(folder) : std::nullopt;
        if (!free || needed <= *free) continue;
        // The files that find no room stay at their source.
        counted_.Clear();
        const std::string question = folder + " has room for " + ByteSizeText(*free) + " of " + ByteSizeText(needed) +
                                     ". Import with an incomplete backup?";
        if (services_.port.AskDefaultNo(question, Version().Title) != MsgAnswer::Yes) return false;
    }
    return true;
}

bool RunDriver::CheckOutputOutsideSource(const RunOptions& options, const Folders& folders) {
    // 9. Processing subfolders into a folder below the source would walk into
    // the files just placed. The output folder itself is never compared, so
    // source = output passes; a source at the root catches every output.
    if (options.ProcessSubfolders == ProcessSubfolders::Ignore) return true;
    FolderRef current = folders.output;
    while (!current.IsRoot) {
        std::optional<FolderRef> parent = services_.fs.GetFolder(current.ParentPath);
        if (!parent) break;
        current = *parent;
        // By identity: a bind mount shows the source under another path.
        const bool same = current.Id.Known() && folders.source.Id.Known() ? current.Id == folders.source.Id
                                                                            : current.Path == folders.source.Path;
        if (same) {
            Refuse(
                "When processing source subfolders, the output folder may not be contained within the "
                "source folder. You can either select source and output folders that are completely "
                "separate, or make the source and output folders the same, or disable processing of "
                "source subfolders.");
            return false;
        }
    }
    return true;
}

std::string RunDriver::Preview(const Folders& folders, const RunOptions& options) {
    RunPass("Previewing Files...", false, folders, options, nullptr);
    return WithDcfHint(PreviewReport(tally_, options), tally_, true);
}

bool RunDriver::Confirm(const RunOptions& options, const std::optional<std::string>& previewReport) {
    UserPort& port = services_.port;
    if (options.RequestConfirmation) {
        // The source may change while the question waits for someone.
        if (!port.AnswersAtOnce()) counted_.Clear();
        // The warning of protected files left behind, then what will happen,
        // come before the question they bear on.
        const std::string left = ProtectedLeftWarning(tally_, options);
        const std::string action = ActionSentence(options);
        std::string question;
        if (previewReport) {
            question = *previewReport + (left.empty() ? "" : kCrLf + std::string(kCrLf) + left) + kCrLf + kCrLf +
                       action + kCrLf + kCrLf + kCrLf + "Do you want to proceed?";
        } else {
            question = "Timestamp " + DigitsOf(tally_.NumberOfSourceObjects) + " file" +
                       (tally_.NumberOfSourceObjects == 1 ? "" : "s") + "?";
            question = action + kCrLf + kCrLf + question;
            if (!left.empty()) question = left + kCrLf + kCrLf + question;
            const std::string corrections = ClockCorrections(options);
            if (!corrections.empty()) question = corrections + kCrLf + kCrLf + question;
        }
        const MsgAnswer answer =
            previewReport ? port.PreviewBox(question, MsgIcon::Question, MsgButtons::YesNo, Version().Title, files_)
                          : port.MessageBox(question, MsgIcon::Question, MsgButtons::YesNo, Version().Title);
        if (previewReport) KeepUnticked();
        return answer == MsgAnswer::Yes;
    }
    if (previewReport) {
        port.PreviewBox(*previewReport, MsgIcon::Information, MsgButtons::OK, Version().Title, files_);
        KeepUnticked();
    }
    return true;
}

void RunDriver::KeepUnticked() {
    std::unordered_set<std::string> unticked;
    for (const FileRow& row : files_.Rows())
        if (!row.Chosen) unticked.insert(row.SourcePath());
    unticked_.reset();
    if (!unticked.empty()) unticked_ = FileChoice::AllBut(std::move(unticked));
}

RunOutcome RunDriver::Process(const Folders& folders, const RunOptions& options) {
    // Copies a killed run staged but never planned are its alone to clear.
    if (const int left = services_.intents ? RemoveLeftoverCopies(services_.fs, folders.output.Path) : 0; left > 0)
        Notice("The last run ended before it finished (it was killed, or the computer stopped). The " +
               std::to_string(left) + " unfinished copies it left in " + folders.output.Path + " have been removed.");
    // A log that was asked for but cannot be created or written stops the run
    // before the first file is touched.
    RunLogs logs;
    std::string error;
    RunJournal* journal = services_.journal;
    const std::string runId = journal ? journal->BeginRun(folders.source.Path, folders.output.Path) : std::string();
    const auto open = [&error](auto create) {
        try {
            create();
        } catch (const std::bad_alloc&) {
            error = "Out of memory";
        }
    };
    if (options.WritesTextLog())
        open([&] { logs.text = TextLog::Create(services_.fs, folders.output.Path, DateTime::Now(), options,
                                               services_.program, &error); });
    if (options.WritesCsvLog() && error.empty())
        open([&] { logs.csv = CsvLog::Create(services_.fs, folders.output.Path, DateTime::Now(), &error, runId); });
    if (error.empty()) error = logs.Failure();
    if (!error.empty()) {
        if (logs.text) logs.text->Close();
        if (logs.csv) logs.csv->Close();
        Refuse("The log could not be created in the output folder, so no file has been moved or copied: " + error +
               ".");
        return RunOutcome::Ended;
    }

    // Recovery after a kill keeps a file its log records as placed.
    if (services_.intents) services_.intents->SetRunLog(logs.csv ? logs.csv->Path() : std::string());
    if (journal && logs.csv) journal->SetRunCsvLog(logs.csv->Path());
    ListedRecords records((logs.text || logs.csv) ? &logs : nullptr, services_.keepRows ? &files_ : nullptr,
                          journal, services_.fs);
    std::unordered_map<std::string, UnsafeReason> reasons;
    if (services_.checkCard) records.KeepReasons(&reasons, &options);
    std::unordered_map<std::string, std::string> placed;
    if (services_.checkCard && source_) records.KeepPlaced(&placed);
    verdict_.reset();
    const auto began = std::chrono::steady_clock::now();
    const bool finished = RunPass("Timestamping Files...", true, folders, options, &records);
    if (logs.text) logs.text->Close();
    if (logs.csv) logs.csv->Close();
    if (journal)
        if (const FsStatus kept = journal->EndRun(); !kept)
            Notice(kept.error + ". Only the run's CSV log, if it wrote one, can undo it.");
    // Only a later run's knowledge of these files is at stake, never a file.
    if (services_.imports)
        if (const FsStatus written = services_.imports->Flush(); !written)
            Notice(written.error + ". A later run may not know this run's files as already imported.");
    const std::string logFailure = logs.Failure();
    if (!logFailure.empty())
        services_.port.MessageBox(logFailure + ". The run was stopped after the file it was on.", MsgIcon::Critical,
                                  MsgButtons::OK, Version().Title);

    std::optional<CardCheck> card;
    // Files renamed where they lie leave no card to be formatted.
    const bool inPlace = folders.source.Id.Known() ? folders.source.Id == folders.output.Id
                                                   : folders.source.Path == folders.output.Path;
    if (services_.checkCard && !inPlace) {
        CardCheckRequest request = CardCheckOf(options);
        request.Source = folders.source.Path;
        request.Output = folders.output.Path;
        request.RunReasons = std::move(reasons);
        request.RunPlaced = std::move(placed);
        card = CheckCardAfterRun(options, std::move(request));
        if (services_.runEnded)
            services_.runEnded(*card, std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    }
    if (options.SummarizeResults) {
        // Files a backup lacks are counted in the full report.
        const bool all = AllTimestamped(tally_) && tally_.NumberWithoutBackup == 0;
        std::string text = all ? WithExclusions(SuccessMessage(tally_.NumberOfSourceObjects), tally_, false)
                               : SummaryReport(tally_);
        const std::string left = ProtectedLeftWarning(tally_, options);
        if (!left.empty()) text += std::string(kCrLf) + kCrLf + left;
        const std::string unbacked = NoBackupWarning(records.Unbacked());
        if (!unbacked.empty()) text += std::string(kCrLf) + kCrLf + unbacked;
        if (!options.PreviewResults) text = WithDcfHint(text, tally_, false);  // else the preview told
        std::vector<OpenablePlace> places{{"Output folder", folders.output.Path}};
        // The text log is the one written for reading; the CSV when it is the only one.
        if (logs.text) places.push_back({"Log", logs.text->Path()});
        else if (logs.csv) places.push_back({"Log", logs.csv->Path()});
        // Files already there are no trouble: their report only informs.
        const bool fine = (all || (EveryFilePlacedOrThere(tally_) && left.empty())) && (!card || card->Safe) &&
                          unbacked.empty();
        const MsgIcon icon = fine ? MsgIcon::Information : MsgIcon::Exclamation;
        if (card) services_.port.ShowRunSummary(text, icon, Version().Title, places, *card);
        else services_.port.ShowSummary(text, icon, Version().Title, places);
    }

    // A run the engine could not finish is never complete.
    // A file a backup lacks is placed, but the run did not do all it was asked.
    const bool complete = finished && logFailure.empty() && EveryFilePlacedOrThere(tally_) &&
                          tally_.NumberWithoutBackup == 0;
    return complete ? RunOutcome::Completed : RunOutcome::Incomplete;
}

CardCheck RunDriver::CheckCardAfterRun(const RunOptions& options, CardCheckRequest request) {
    request.pump = [this] { services_.port.PumpEvents(); };
    const std::size_t lines = services_.cardLines;
    // A device's files are checked through the device, as the run read them.
    FileSource* source = source_ ? source_ : &services_.fs;
    const auto check = [this, lines, source](const CardCheckRequest& r, CardCheck& card) {
        services_.port.SetBusy(true);
        verdict_ = CheckCard(*source, services_.fs, services_.imports, r);
        services_.port.SetBusy(false);
        card.Text = VerdictText(*verdict_, lines);
        card.Safe = verdict_->Safe();
    };
    CardCheck card;
    check(request, card);
    if (card.Safe && options.EjectWhenDone && services_.eject && !source_) {  // a device is not ejected
        // The run is done whatever the eject says: its failure is only news.
        const std::string failed = services_.eject(request.Source);
        if (failed.empty()) {
            card.Text += std::string(kCrLf) + kCrLf + "The card has been ejected: it can be taken out.";
            return card;  // nothing left there to check
        }
        if (options.SummarizeResults) card.Text += std::string(kCrLf) + kCrLf + failed;
        else Notice(failed);
    }
    card.Again = [check, request](CardCheck& again) { check(request, again); };
    return card;
}

}  // namespace ravlen
