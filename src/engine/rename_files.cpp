// The folder walk: filters, the road of each file through the stages, the
// progress step and the Cancel poll, then the subfolders.

#include "engine/rename_files.h"

#include <map>
#include <optional>
#include <set>
#include <span>
#include <algorithm>
#include <utility>
#include <vector>

#include "engine/dcf.h"
#include "engine/file_time_setting.h"
#include "engine/filters.h"
#include "engine/output_folders.h"
#include "engine/placement.h"
#include "engine/placement_batch.h"
#include "engine/shot_groups.h"
#include "metadata/date_selection.h"
#include "metadata/metadata.h"
#include "model/report.h"
#include "model/report_text.h"
#include "naming/filename_builder.h"

namespace ravlen {
namespace {

// Everything a file's record knows before any stage has looked at it.
void BeginFile(FileFacts& facts, const FsItem& file, const FolderRef& source, const FolderRef& output) {
    const DateTime start = facts.StartTime;
    facts = FileFacts{};
    facts.StartTime = start;
    facts.SourceFileName = file.Name;
    facts.SourceFilePath = file.Path;
    facts.SourceFolder = source.Path;
    facts.OutputFolder = output.Path;
    facts.Size = file.Size;
    facts.SourceId = file.Id;
    facts.FileSystemDateCreated = file.Created;
    facts.FileSystemDateModified = file.Modified;
    facts.AttributeReadOnly = (file.Attributes & kAttrReadOnly) != 0;
    facts.AttributeHidden = (file.Attributes & kAttrHidden) != 0;
    facts.AttributeSystem = (file.Attributes & kAttrSystem) != 0;
    facts.Extension = ExtensionOf(file.Name);
}

class Walk {
public:
    Walk(EngineContext& context, bool performActions, RunTally& tally, std::string root)
        : context_(context),
          source_(context.source ? *context.source : context.fs),
          options_(context.options),
          performActions_(performActions),
          tally_(tally),
          filter_(FileFilter::Of(context.options)),
          report_{context.port, context.options.ReportErrors},
          readHooks_(PortReadHooks(context.port, context.options.ReportErrors)),
          root_(std::move(root)) {
        if (performActions) {
            batch_.emplace(source_, context.fs, context.options, context.intents, context.sink, report_, tally,
                           context.batchFiles);
            // The card's verdict after the run reads no byte the copies read.
            batch_->KeepHashesIn(context.imports);
        }
    }

    // The open batch's copies made durable and recorded.
    void Finish() {
        if (!batch_) return;
        batch_->Finish();
        dateFolders_.Settle(context_.fs, tally_.NumberOfLockedFiles != lockedAtFinish_);
        lockedAtFinish_ = tally_.NumberOfLockedFiles;
    }

    // Files already imported are told by their bytes within the top output folder.
    void SkipImported(const std::string& top) {
        if (options_.SkipImported)
            imports_.emplace(source_, context_.fs, context_.imports, top, performActions_, [this] { context_.port.PumpEvents(); });
    }

    // Every file placed below `top` is copied into each backup folder too; a
    // backup folder that is not there (asked about before the run, or gone
    // since) leaves each file without that copy, and at its source.
    void BackUp(const std::string& top) {
        if (plan_.BackupFolders.empty()) return;
        outputTop_ = top;
        if (!batch_) return;
        const std::optional<FolderRef> output = context_.fs.GetFolder(top);
        for (const std::string& folder : plan_.BackupFolders) {
            const std::optional<FolderRef> backup = context_.fs.GetFolder(folder);
            // Its copies would take the names of the files themselves.
            if (backup && output && backup->Id.Known() && backup->Id == output->Id)
                throw EngineFailure(76, "The backup folder " + folder + " is the output folder.");
        }
        // Held like the output folder while the pass lasts; one that cannot
        // be held now leaves each file's copy there to say why.
        for (const std::string& folder : plan_.BackupFolders) (void)context_.fs.HoldBackup(folder);
        batch_->BackUpInto(top, plan_.BackupFolders);
    }

    // Returns false when the user asked to stop.
    bool Folder(const FolderRef& source, const FolderRef& output) {
        std::vector<FsItem> files, folders;
        const bool listed = context_.listings ? context_.listings->List(source_, source.Path, files, folders)
                                              : source_.ListFolder(source.Path, files, folders);
        if (!listed) {
            files.clear();
            folders.clear();
        }
        // The run's own logs, when it writes them into the folder it walks, are passed over.
        std::vector<const FsItem*> chosen;
        for (const FsItem& file : files) {
            const Exclusion exclusion = filter_.ExclusionOf(file);
            if (exclusion != Exclusion::None) {
                if (context_.list) context_.list->AddExcluded(file, source.Path, ExclusionWord(exclusion));
            } else if (context_.choice && !context_.choice->Chosen(file.Path)) {
                if (!NotSelected(file, source, output)) return false;
            } else if (const std::optional<std::string> seen = imports_ ? imports_->Seen(file) : std::nullopt) {
                if (!SeenBefore(file, source, output, *seen)) return false;
            } else if (!(performActions_ && context_.sink && context_.sink->Holds(file))) {
                chosen.push_back(&file);
            }
        }
        // The files of one shot are taken together, where the first of them stands.
        std::vector<std::string> names;
        if (options_.KeepPairsTogether)
            for (const FsItem* file : chosen) names.push_back(file->Name);
        else
            names.resize(chosen.size());
        const std::vector<ShotCluster> shots = ClusterShots(names, options_.KeepPairsTogether);
        std::vector<const FsItem*> order;
        // Never read: a sidecar that follows its picture, a file DCFMode stops.
        std::vector<bool> read;
        order.reserve(chosen.size());
        for (const ShotCluster& shot : shots)
            for (const ShotMember& member : shot) {
                order.push_back(chosen[member.file]);
                read.push_back(!member.follows && PassesDcfMode(BaseName(chosen[member.file]->Name), options_));
            }
        // The next files' first reads are under way while one is processed;
        // only hints, so results and order are those of a plain walk.
        const bool reading = options_.DateMode != DateMode::FileSystemOnly;
        std::size_t hinted = 1;  // the first file is read at once anyway
        // In a pass that copies, the next file is read while this one is written.
        const bool copying = batch_ && batch_->CopiesBetween(source, output);
        std::size_t at = 0;
        for (const ShotCluster& shot : shots) {
            for (; reading && hinted < order.size() && hinted < at + shot.size() + kReadAheadFiles; ++hinted)
                if (read[hinted]) source_.WillRead(order[hinted]->Path);
            if (copying && at + 1 < order.size()) source_.WillCopy(order[at + 1]->Path);
            if (!Shot(shot, std::span(order).subspan(at, shot.size()), source, output)) return false;
            at += shot.size();
        }
        if (!filter_.IncludeSubfolders) return true;

        const bool preserve = options_.ProcessSubfolders == ProcessSubfolders::Preserve;
        const bool preserving = performActions_ && preserve;
        for (const FsItem& sub : folders) {
            if (!filter_.PassesFolder(sub)) continue;
            std::optional<FolderRef> targetFolder = preserve ? OutputSubfolder(output, sub.Name) : output;
            const FolderRef subFolder{sub.Path, false, source.Path, sub.Id};
            const bool carryOn = Folder(subFolder, *targetFolder);
            // Copies still unnamed do not count as the folder's files.
            if (preserving) Finish();
            // An output subfolder that received nothing goes again.
            if (preserving && context_.fs.CountItems(targetFolder->Path) == 0)
                context_.fs.DeleteFolder(targetFolder->Path);
            if (!carryOn || context_.port.Cancel()) return false;
        }
        return true;
    }

private:
    // The output folder of a source subfolder, by the name it has below the
    // pass's output folder. The processing pass reaches it from the held
    // output folder one name at a time, never through a link, and keeps that
    // path: a resolved path would lead wherever a link swapped in meanwhile
    // points.
    std::optional<FolderRef> OutputSubfolder(const FolderRef& output, const std::string& name) {
        const std::string target = JoinPath(output.Path, name);
        if (performActions_) {
            if (!context_.fs.FolderExists(target)) context_.fs.CreateFolder(target);
            FileId id;
            if (const FsStatus beneath = context_.fs.ReachFolderBeneath(output.Path, target, &id); !beneath) {
                if (!context_.fs.FileExists(target)) throw EngineFailure(76, "Path not found: " + target);
                throw EngineFailure(76, "The output folder " + target + " cannot be used: " + beneath.error);
            }
            return FolderRef{target, false, output.Path, id};
        }
        // A link standing as the output subfolder is refused, never written through.
        if (context_.fs.FileExists(target))
            if (const FsStatus beneath = context_.fs.ReachFolderBeneath(output.Path, target, nullptr); !beneath)
                throw EngineFailure(76, "The output folder " + target + " cannot be used: " + beneath.error);
        std::optional<FolderRef> folder = context_.fs.GetFolder(target);
        // A preview creates no folder, yet places the files where the run
        // will: in the output subfolder it would make.
        if (!folder && !context_.fs.FileExists(target)) folder = FolderRef{target, false, output.Path, {}};
        if (!folder) throw EngineFailure(76, "Path not found: " + target);
        return folder;
    }

    // A file the user left out: recorded, counted, never read. False to stop.
    bool NotSelected(const FsItem& file, const FolderRef& source, const FolderRef& output) {
        context_.port.ProgressSetFile(file.Name);
        FileFacts facts;
        facts.StartTime = DateTime::Now();
        BeginFile(facts, file, source, output);
        facts.Timestamped = false;
        facts.Notes = kNotSelected;
        ++tally_.NumberOfNotSelected;
        Record(facts, 0);
        return ProgressStep(file.Size);
    }

    // A device's file placed before with this name, size and time: already
    // imported, and never read over the cable. False to stop.
    bool SeenBefore(const FsItem& file, const FolderRef& source, const FolderRef& output, const std::string& existing) {
        context_.port.ProgressSetFile(file.Name);
        FileFacts facts;
        facts.StartTime = DateTime::Now();
        BeginFile(facts, file, source, output);
        // As any file the output folder holds already: its backups catch up.
        PlacementContext placement = Placement();
        CarryOutPlacement(placement, facts, NameChoice{{}, false, existing}, performActions_, tally_);
        Record(facts, 0);
        return ProgressStep(file.Size);
    }

    // False when a Stop came while the file was read: it is left untouched
    // and unlogged, one of the files not attempted.
    bool File(const FsItem& file, const FolderRef& source, const FolderRef& output) {
        context_.port.ProgressSetFile(file.Name);
        const bool stoppedBefore = readHooks_.stopped();
        FileFacts facts = Analyse(file, source, output);
        if (!stoppedBefore && options_.DateMode != DateMode::FileSystemOnly && readHooks_.stopped()) return false;
        std::int64_t planned = 0;
        if (facts.Timestamped && TakeNumber(facts, facts.ContinuingNumber)) {
            if (facts.ContinuingNumber > 0)
                facts.ContinuingScope = NumberScope(options_.SequenceScope, facts.TimestampDateTime, options_.JobCode);
            KeepNumber(facts.ContinuingNumber, facts.TimestampDateTime);
            planned = Place(facts, output);
            if (!SettleNumber(facts.ContinuingNumber, facts.TimestampDateTime, Placed(facts))) facts.ContinuingNumber = 0;
        }
        Record(facts, planned);
        return true;
    }

    // The files of one shot, each with its own progress step. False to stop;
    // a Stop while they are read leaves them untouched and unlogged.
    bool Shot(const ShotCluster& shot, std::span<const FsItem* const> files, const FolderRef& source,
              const FolderRef& output) {
        if (shot.size() == 1) return File(*files.front(), source, output) && ProgressStep(files.front()->Size);
        std::vector<FileFacts> facts(shot.size());
        std::vector<std::int32_t RunTally::*> skippedAs(shot.size(), nullptr);
        const bool stoppedBefore = readHooks_.stopped();
        for (std::size_t i = 0; i < shot.size(); ++i) {
            context_.port.ProgressSetFile(files[i]->Name);
            if (!shot[i].follows) {
                const RunTally before = tally_;
                facts[i] = Analyse(*files[i], source, output);
                // A Stop during the reads leaves the whole shot untouched and unlogged.
                if (!stoppedBefore && options_.DateMode != DateMode::FileSystemOnly && readHooks_.stopped())
                    return false;
                skippedAs[i] = RaisedCounter(before);
                continue;
            }
            // A sidecar has no date of its own worth reading: it goes where its picture goes.
            const std::size_t picture = *shot[i].follows;
            facts[i].StartTime = DateTime::Now();
            BeginFile(facts[i], *files[i], source, output);
            FollowPicture(facts[i], facts[picture]);
            if (!facts[i].Timestamped) SkipWith(facts[i], facts[picture], skippedAs[picture]);
        }
        std::vector<std::int64_t> planned(shot.size(), 0);
        for (const std::vector<std::size_t>& group : ShotGroups(shot, facts)) {
            // The files of one shot share their continuing number.
            std::int64_t number = 0;
            if (!TakeNumber(facts[group.front()], number)) {
                for (const std::size_t i : group) facts[i].Timestamped = false;
                continue;
            }
            for (const std::size_t i : group) {
                facts[i].ContinuingNumber = number;
                facts[i].ContinuingScope = NumberScope(options_.SequenceScope, facts[group.front()].TimestampDateTime,
                                                       options_.JobCode);
            }
            KeepNumber(number, facts[group.front()].TimestampDateTime);
            PlaceTogether(shot, group, facts, planned, output);
            const bool placed = std::any_of(group.begin(), group.end(), [&](std::size_t i) { return Placed(facts[i]); });
            if (!SettleNumber(number, facts[group.front()].TimestampDateTime, placed))
                for (const std::size_t i : group) facts[i].ContinuingNumber = 0;
        }
        bool carryOn = true;
        for (std::size_t i = 0; i < shot.size(); ++i) Record(facts[i], planned[i]);
        for (std::size_t i = 0; i < shot.size(); ++i) carryOn = ProgressStep(files[i]->Size) && carryOn;
        return carryOn;
    }

    // The counter of skipped files that a file's analysis raised; the one its
    // sidecars are skipped under.
    std::int32_t RunTally::*RaisedCounter(const RunTally& before) const {
        for (auto counter : {&RunTally::NumberOfInvalidDCFFiles, &RunTally::NumberOfInvalidEXIFFiles,
                             &RunTally::NumberOfInvalidDateFiles})
            if (tally_.*counter != before.*counter) return counter;
        return &RunTally::NumberOfInvalidDateFiles;
    }

    void SkipWith(FileFacts& sidecar, const FileFacts& picture, std::int32_t RunTally::*counter) {
        sidecar.Timestamped = false;
        ++(tally_.*counter);
        report_(sidecar.Notes, sidecar.SourceFileName + " is skipped with " + picture.SourceFileName + ".",
                MsgIcon::Exclamation);
    }

    // One serial number for a group of one shot, then each file's move or
    // copy; a sidecar whose picture could not be placed stays with it.
    void PlaceTogether(const ShotCluster& shot, const std::vector<std::size_t>& group, std::vector<FileFacts>& facts,
                       std::vector<std::int64_t>& planned, const FolderRef& output) {
        std::vector<NameCandidate> candidates;
        for (const std::size_t i : group) {
            FileFacts named = facts[shot[i].follows.value_or(i)];
            named.Extension = facts[i].Extension;
            candidates.push_back(NameCandidate{facts[i], SerialNamer(named, options_, cameraValues_.For(named, options_))});
        }
        // Names that only the serial number could tell apart (a template
        // without the extension) cannot share one: each file goes alone.
        std::set<std::string> distinct;
        const std::int32_t first = options_.AddSerial == AddSerial::Always ? 1 : 0;
        for (const NameCandidate& candidate : candidates) distinct.insert(candidate.buildName(first));
        const bool together = distinct.size() == candidates.size();
        PlacementContext placement = Placement();
        const std::string folder = dateFolders_.Enter(context_.fs, output.Path, candidates.front().facts.TimestampDateTime,
                                                      performActions_, placement.folderProblem,
                                                      FolderValues(facts[shot[group.front()].follows.value_or(group.front())]));
        std::vector<NameChoice> choices;
        if (together) choices = ChooseNames(placement, candidates, folder);
        for (std::size_t k = 0; k < group.size(); ++k) {
            const std::size_t i = group[k];
            if (!together) choices = ChooseNames(placement, std::span(candidates).subspan(k, 1), folder);
            const NameChoice& choice = choices[together ? k : 0];
            // A sidecar already imported with its picture is told as such.
            if (shot[i].follows && !facts[*shot[i].follows].Timestamped && choice.alreadyImported.empty()) {
                facts[i].Operation = FileOperation::Failed;
                SkipWith(facts[i], facts[*shot[i].follows], &RunTally::NumberOfLockedFiles);
                continue;
            }
            CarryOutPlacement(placement, facts[i], choice, performActions_, tally_);
            planned[i] = placement.planned;
        }
        dateFolders_.Leave(context_.fs, std::any_of(group.begin(), group.end(),
                                                    [&facts](std::size_t i) { return facts[i].Timestamped; }));
    }

    // What the file is and when it was made: its name, its metadata, its timestamp.
    FileFacts Analyse(const FsItem& file, const FolderRef& source, const FolderRef& output) {
        FileFacts facts;
        facts.StartTime = DateTime::Now();
        MetadataPass pass;
        pass.CameraTextsAnywhere = !options_.CameraOffsets.empty() || context_.cameraNames;
        bool restarted = false;
        for (;;) {
            BeginFile(facts, file, source, output);
            if (!AnalyseDcfName(facts, BaseName(file.Name), options_, tally_, report_)) break;
            if (options_.DateMode == DateMode::FileSystemOnly) break;
            const MetadataOutcome outcome = ReadMetadata(source_, readHooks_, options_, facts, pass, tally_);
            if (outcome == MetadataOutcome::Done || restarted) break;
            // The reader asked to begin the file again; it may do so once.
            restarted = true;
        }
        // Every photo's zone is known before the first movie that needs one is named.
        CameraZones& zones = context_.cameraZones ? *context_.cameraZones : ownZones_;
        if (facts.MovieDateIsUTC && !zones.surveyed && !root_.empty())
            SurveyCameraZones(source_, readHooks_, options_, filter_, root_, zones);
        ChooseMovieZone(facts, {&zones, context_.zoneAt, context_.movieZone, options_.MovieTimeZone});
        ChooseTimestamp(facts, options_, plan_, tally_, readHooks_.report);
        return facts;
    }

    // A timestamped file's new name and its move or copy; the plan it was
    // recorded under, 0 for none.
    std::int64_t Place(FileFacts& facts, const FolderRef& output) {
        PlacementContext placement = Placement();
        const std::string folder = dateFolders_.Enter(context_.fs, output.Path, facts.TimestampDateTime,
                                                      performActions_, placement.folderProblem, FolderValues(facts));
        PlaceFile(placement, facts, folder, performActions_, tally_,
                  SerialNamer(facts, options_, cameraValues_.For(facts, options_)));
        dateFolders_.Leave(context_.fs, facts.Timestamped);
        return placement.planned;
    }

    // The continuing number of a file (or a shot) about to be placed, when
    // its name or folder holds one: taken in a processing pass, foreseen in
    // a preview. False when it could not be taken: the file is not placed.
    bool TakeNumber(FileFacts& facts, std::int64_t& number) {
        number = 0;
        if (!usesNumber_) return true;
        const std::string scope = NumberScope(options_.SequenceScope, facts.TimestampDateTime, options_.JobCode);
        if (!performActions_) {
            // The record is asked once a scope: the preview counts on from there.
            auto [next, first] = foreseen_.try_emplace(scope, 0);
            if (first) next->second = context_.numbers ? context_.numbers->Next(scope) : 1;
            number = next->second++;
            return true;
        }
        if (context_.numbers) number = context_.numbers->Take(scope);
        if (number > 0) return true;
        facts.Timestamped = false;
        ++tally_.NumberOfLockedFiles;
        report_(facts.Notes,
                facts.SourceFileName + " is not placed: the record of continuing numbers could not be written.",
                MsgIcon::Exclamation);
        return false;
    }

    static bool Placed(const FileFacts& f) {
        return f.Operation == FileOperation::Moved || f.Operation == FileOperation::Copied;
    }

    // A number is the file's before the file is moved or copied: a run
    // killed meanwhile, whose file then stays placed (recovery cannot always
    // put it back), leaves a gap at most, never a number handed out twice.
    void KeepNumber(std::int64_t number, const DateTime& recorded) {
        if (number <= 0 || !performActions_ || !context_.numbers) return;
        context_.numbers->Keep(NumberScope(options_.SequenceScope, recorded, options_.JobCode), number);
    }
    // A number no file of it was placed with is given back. False when it was.
    bool SettleNumber(std::int64_t number, const DateTime& recorded, bool placed) {
        if (number <= 0 || !performActions_ || !context_.numbers || placed) return true;
        context_.numbers->GiveBack(NumberScope(options_.SequenceScope, recorded, options_.JobCode), number);
        return false;
    }

    // What a folder format's symbols stand for with this file.
    FilenameValues FolderValues(const FileFacts& facts) {
        return foldersHoldSymbols_ ? folderValues_.Fill(facts, options_.JobCode) : FilenameValues{};
    }

    PlacementContext Placement() {
        PlacementContext placement{context_.fs, options_, context_.chronology, report_,
                                   performActions_ ? context_.intents : nullptr, 0, batch_ ? &*batch_ : nullptr};
        placement.source = &source_;
        placement.imports = imports_ ? &*imports_ : nullptr;
        if (!performActions_) placement.emptyFolders = &emptyFolders_;
        if (!outputTop_.empty()) placement.backupFolders = &plan_.BackupFolders, placement.outputTop = outputTop_;
        return placement;
    }

    // The file's log records; then its plan is done.
    void Record(FileFacts& facts, std::int64_t planned) {
        facts.JobCode = options_.JobCode;
        // A run's records reach the list through the sink, once they are final.
        if (context_.list && !performActions_) context_.list->Add(facts);
        if (!performActions_ && facts.Timestamped) tally_.BytesToPlace += facts.Size;
        if (batch_) return batch_->Add(facts, planned);
        if (performActions_ && context_.sink)
            WriteRecordSettingTime(*context_.sink, context_.fs, options_, facts, report_, tally_, planned != 0);
        // Placed and logged: nothing left for a later run to finish.
        if (planned != 0) context_.intents->Done(planned);
    }

    // The count, the bar, the events, the Cancel poll, after a file of `bytes`. False to stop.
    bool ProgressStep(std::int64_t bytes) {
        ++tally_.SourceObjectNumber;
        tally_.BytesDone += bytes;
        context_.port.ProgressSetMessage(ProgressText(tally_.SourceObjectNumber, tally_.NumberOfSourceObjects));
        context_.port.ProgressSetBytes(tally_.BytesDone, tally_.SourceBytes);
        context_.port.ProgressSetValue(tally_.SourceObjectNumber);
        context_.port.PumpEvents();
        // A log that cannot be written stops the pass: no file goes unrecorded.
        if (performActions_ && context_.sink && context_.sink->Failed()) return false;
        return !context_.port.Cancel();
    }

    EngineContext& context_;
    FileSource& source_;
    const RunOptions& options_;
    CameraValueMemo cameraValues_, folderValues_;
    bool performActions_;
    RunTally& tally_;
    const FileFilter filter_;
    const RunPlan plan_ = PlanOf(options_);  // the text options parsed once for the pass
    ProblemReporter report_;
    ReadHooks readHooks_;
    std::optional<PlacementBatch> batch_;  // processing pass only; committed before the walk ends
    DateFolders dateFolders_{options_};
    std::int32_t lockedAtFinish_ = tally_.NumberOfLockedFiles;  // files not placed when the last batch was finished
    std::optional<ImportCheck> imports_;
    EmptyFolders emptyFolders_;  // a preview's
    CameraZones ownZones_;
    const std::string root_;  // the pass's source folder, which the zones survey walks
    std::string outputTop_;      // below which the files' names are mirrored in the backup folders, if any
    const bool usesNumber_ = RunUsesSymbol(options_, 'q');
    const bool foldersHoldSymbols_ = options_.DateFolders && options_.DateFolderFormat.find('%') != std::string::npos;
    std::map<std::string, std::int64_t> foreseen_;  // a preview's next number of each scope
};

}  // namespace

void RenameFiles(EngineContext& context, const FolderRef& SourceFolder, const FolderRef& OutputFolder,
                 bool PerformActions, RunTally& tally) {
    struct ReadsOver {
        FileSource& source;
        ~ReadsOver() { source.ReadsOver(); }
    } readsOver{context.source ? *context.source : context.fs};
    // The output folder held open for the pass: every file goes into the
    // folder the run began with, or into none.
    OutputHold held(context.fs);
    if (PerformActions)
        if (const FsStatus status = held.Hold(OutputFolder.Path); !status)
            throw EngineFailure(76, "The output folder " + OutputFolder.Path + " cannot be used: " + status.error);
    // Plans left to strike out are struck out however the pass ends.
    struct SettledPlans {
        IntentRecord* intents;
        ~SettledPlans() {
            if (intents) intents->Settle();
        }
    } settled{PerformActions ? context.intents : nullptr};
    Walk walk(context, PerformActions, tally, SourceFolder.Path);
    walk.SkipImported(OutputFolder.Path);
    walk.BackUp(OutputFolder.Path);
    walk.Folder(SourceFolder, OutputFolder);
    walk.Finish();
}

ReadHooks PortReadHooks(UserPort& port, bool reportErrors) {
    return {[&port] { port.PumpEvents(); }, ProblemReporter{port, reportErrors}, [&port] { return port.Cancel(); }};
}

std::int32_t CountFiles(FileSource& fs, const std::string& FolderPath, const FileFilter& filter,
                        bool stopAfterFirst, ExclusionCounts* excluded, FolderListings* keep, std::int64_t* bytes) {
    std::vector<FsItem> files, folders;
    if (!fs.ListFolder(FolderPath, files, folders)) return 0;
    std::int32_t count = 0;
    for (const FsItem& file : files) {
        const Exclusion reason = filter.ExclusionOf(file);
        if (reason == Exclusion::None) {
            ++count;
            if (bytes) *bytes += file.Size;
        } else if (excluded) {
            excluded->Add(reason);
        }
        if (stopAfterFirst && count > 0) return count;
    }
    if (filter.IncludeSubfolders) {
        for (const FsItem& sub : folders) {
            if (filter.PassesFolder(sub)) count += CountFiles(fs, sub.Path, filter, stopAfterFirst, excluded, keep, bytes);
            if (stopAfterFirst && count > 0) return count;
        }
    }
    if (keep) keep->Keep(FolderPath, std::move(files), std::move(folders));
    return count;
}

}  // namespace ravlen
