// The folder walk: filters, the road of each file through the stages, the
// progress step and the Cancel poll, then the subfolders.

#include "engine/rename_files.h"

#include <optional>
#include <vector>

#include "engine/dcf.h"
#include "engine/filters.h"
#include "engine/placement.h"
#include "engine/placement_batch.h"
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
    facts.FileSystemDateCreated = file.Created;
    facts.FileSystemDateModified = file.Modified;
    facts.AttributeReadOnly = (file.Attributes & kAttrReadOnly) != 0;
    facts.AttributeHidden = (file.Attributes & kAttrHidden) != 0;
    facts.AttributeSystem = (file.Attributes & kAttrSystem) != 0;
    facts.Extension = ExtensionOf(file.Name);
}

class Walk {
public:
    Walk(EngineContext& context, bool performActions, RunTally& tally)
        : context_(context),
          options_(context.options),
          performActions_(performActions),
          tally_(tally),
          filter_(FileFilter::Of(context.options)),
          report_{context.port, context.options.ReportErrors},
          readHooks_(PortReadHooks(context.port, context.options.ReportErrors)) {
        if (performActions)
            batch_.emplace(context.fs, context.options, context.intents, context.sink, report_, tally);
    }

    // The open batch's copies made durable and recorded.
    void Finish() {
        if (batch_) batch_->Finish();
    }

    // Returns false when the user asked to stop.
    bool Folder(const FolderRef& source, const FolderRef& output) {
        std::vector<FsItem> files, folders;
        if (!context_.fs.ListFolder(source.Path, files, folders)) {
            files.clear();
            folders.clear();
        }
        // The run's own logs, when it writes them into the folder it walks, are passed over.
        std::vector<const FsItem*> chosen;
        for (const FsItem& file : files) {
            const Exclusion exclusion = filter_.ExclusionOf(file);
            if (exclusion != Exclusion::None) {
                if (context_.list) context_.list->AddExcluded(file, source.Path, ExclusionWord(exclusion));
            } else if (!(performActions_ && context_.sink && context_.sink->Holds(file))) {
                chosen.push_back(&file);
            }
        }
        // The next files' first reads are under way while one is processed;
        // only hints, so results and order are those of a plain walk.
        const bool reading = options_.DateMode != DateMode::FileSystemOnly;
        std::size_t hinted = 1;  // the first file is read at once anyway
        // In a pass that copies, the next file is read while this one is written.
        const bool copying = batch_ && batch_->CopiesBetween(source, output);
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            for (; reading && hinted < chosen.size() && hinted <= i + kReadAheadFiles; ++hinted)
                context_.fs.WillRead(chosen[hinted]->Path);
            if (copying && i + 1 < chosen.size()) context_.fs.WillCopy(chosen[i + 1]->Path);
            if (!File(*chosen[i], source, output)) return false;
            if (!ProgressStep()) return false;
        }
        if (!filter_.IncludeSubfolders) return true;

        const bool preserve = options_.ProcessSubfolders == ProcessSubfolders::Preserve;
        const bool preserving = performActions_ && preserve;
        for (const FsItem& sub : folders) {
            if (!filter_.PassesFolder(sub)) continue;
            const std::string target = preserve ? JoinPath(output.Path, sub.Name) : output.Path;
            if (preserving && !context_.fs.FolderExists(target)) context_.fs.CreateFolder(target);
            // A link standing as the output subfolder is refused, never written through.
            if (preserve && context_.fs.FileExists(target))
                if (const FsStatus beneath = context_.fs.ReachFolderBeneath(output.Path, target); !beneath)
                    throw EngineFailure(76, "The output folder " + target + " cannot be used: " + beneath.error);
            std::optional<FolderRef> targetFolder = context_.fs.GetFolder(target);
            // A preview creates no folder, yet places the files where the run
            // will: in the output subfolder it would make.
            if (!targetFolder && !performActions_ && !context_.fs.FileExists(target))
                targetFolder = FolderRef{target, false, output.Path, {}};
            if (!targetFolder) throw EngineFailure(76, "Path not found: " + target);
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
    // False when a Stop came while the file was read: it is left untouched
    // and unlogged, one of the files not attempted.
    bool File(const FsItem& file, const FolderRef& source, const FolderRef& output) {
        context_.port.ProgressSetFile(file.Name);
        const bool stoppedBefore = readHooks_.stopped();
        FileFacts facts = Analyse(file, source, output);
        if (!stoppedBefore && options_.DateMode != DateMode::FileSystemOnly && readHooks_.stopped()) return false;
        const std::int64_t planned = facts.Timestamped ? Place(facts, output) : 0;
        Record(facts, planned);
        return true;
    }

    // What the file is and when it was made: its name, its metadata, its timestamp.
    FileFacts Analyse(const FsItem& file, const FolderRef& source, const FolderRef& output) {
        FileFacts facts;
        facts.StartTime = DateTime::Now();
        MetadataPass pass;
        bool restarted = false;
        for (;;) {
            BeginFile(facts, file, source, output);
            if (!AnalyseDcfName(facts, BaseName(file.Name), options_, tally_, report_)) break;
            if (options_.DateMode == DateMode::FileSystemOnly) break;
            const MetadataOutcome outcome = ReadMetadata(context_.fs, readHooks_, options_, facts, pass, tally_);
            if (outcome == MetadataOutcome::Done || restarted) break;
            // The reader asked to begin the file again; it may do so once.
            restarted = true;
        }
        ChooseTimestamp(facts, options_, tally_, readHooks_.report);
        return facts;
    }

    // A timestamped file's new name and its move or copy; the plan it was
    // recorded under, 0 for none.
    std::int64_t Place(FileFacts& facts, const FolderRef& output) {
        PlacementContext placement = Placement();
        PlaceFile(placement, facts, output.Path, performActions_, tally_,
                  [&](std::int32_t serial) { return NewFilename(facts, options_, serial); });
        return placement.planned;
    }

    PlacementContext Placement() {
        return PlacementContext{context_.fs, options_, context_.chronology, report_,
                                performActions_ ? context_.intents : nullptr, 0, batch_ ? &*batch_ : nullptr};
    }

    // The file's log records; then its plan is done.
    void Record(FileFacts& facts, std::int64_t planned) {
        // A run's records reach the list through the sink, once they are final.
        if (context_.list && !performActions_) context_.list->Add(facts);
        if (batch_) return batch_->Add(facts, planned);
        if (performActions_ && context_.sink) {
            facts.FinishTime = DateTime::Now();
            context_.sink->WriteFileRecord(facts);
        }
        // Placed and logged: nothing left for a later run to finish.
        if (planned != 0) context_.intents->Done(planned);
    }

    // The count, the bar, the events, the Cancel poll. False to stop.
    bool ProgressStep() {
        ++tally_.SourceObjectNumber;
        context_.port.ProgressSetMessage(ProgressText(tally_.SourceObjectNumber, tally_.NumberOfSourceObjects));
        context_.port.ProgressSetValue(tally_.SourceObjectNumber);
        context_.port.PumpEvents();
        // A log that cannot be written stops the pass: no file goes unrecorded.
        if (performActions_ && context_.sink && context_.sink->Failed()) return false;
        return !context_.port.Cancel();
    }

    EngineContext& context_;
    const RunOptions& options_;
    bool performActions_;
    RunTally& tally_;
    const FileFilter filter_;
    ProblemReporter report_;
    ReadHooks readHooks_;
    std::optional<PlacementBatch> batch_;  // processing pass only; committed before the walk ends
};

}  // namespace

void RenameFiles(EngineContext& context, const FolderRef& SourceFolder, const FolderRef& OutputFolder,
                 bool PerformActions, RunTally& tally) {
    Walk walk(context, PerformActions, tally);
    walk.Folder(SourceFolder, OutputFolder);
    walk.Finish();
}

ReadHooks PortReadHooks(UserPort& port, bool reportErrors) {
    return {[&port] { port.PumpEvents(); }, ProblemReporter{port, reportErrors}, [&port] { return port.Cancel(); }};
}

std::int32_t CountFiles(FileSystem& fs, const std::string& FolderPath, const FileFilter& filter,
                        bool stopAfterFirst, ExclusionCounts* excluded) {
    std::vector<FsItem> files, folders;
    if (!fs.ListFolder(FolderPath, files, folders)) return 0;
    std::int32_t count = 0;
    for (const FsItem& file : files) {
        const Exclusion reason = filter.ExclusionOf(file);
        if (reason == Exclusion::None) ++count;
        else if (excluded) excluded->Add(reason);
        if (stopAfterFirst && count > 0) return count;
    }
    if (!filter.IncludeSubfolders) return count;
    for (const FsItem& sub : folders) {
        if (filter.PassesFolder(sub)) count += CountFiles(fs, sub.Path, filter, stopAfterFirst, excluded);
        if (stopAfterFirst && count > 0) return count;
    }
    return count;
}

}  // namespace ravlen
