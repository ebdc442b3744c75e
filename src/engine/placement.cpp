#include "engine/placement.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#include "engine/file_time_setting.h"
#include "engine/placement_batch.h"
#include "naming/filename_builder.h"

namespace ravlen {

std::string UnusableFilenameReason(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return "Invalid file name";
    if (name.size() > kMaxFilenameBytes) return "File name too long";
    return {};
}

namespace {

// The file system's own words for a taken name, as a move or copy onto it
// reports them.
std::string NameTakenText() { return std::make_error_code(std::errc::file_exists).message(); }

// Taken on disk, or by an earlier file of this run: in a preview nothing
// lands on disk, so only the run's own memory of its names can tell.
bool NameTaken(PlacementContext& context, const std::string& folder, const std::string& name) {
    if (context.chronology.Produced(folder, name)) return true;
    if (context.emptyFolders && context.emptyFolders->Empty(context.fs, folder)) return false;
    return context.fs.NameTaken(folder, name);
}

// The folders below each backup folder that receive what goes into `folder`.
std::vector<std::string> BackupFoldersFor(const PlacementContext& context, const std::string& folder) {
    std::vector<std::string> folders;
    if (!context.backupFolders || folder.compare(0, context.outputTop.size(), context.outputTop) != 0) return folders;
    const std::string below = folder.substr(context.outputTop.size());
    for (const std::string& top : *context.backupFolders)
        folders.push_back(below.empty() ? top : JoinPath(top, below.front() == '/' ? below.substr(1) : below));
    return folders;
}

}  // namespace

std::vector<NameChoice> ChooseNames(PlacementContext& context, std::span<NameCandidate> files,
                                    const std::string& outputFolderPath) {
    const RunOptions& options = context.options;
    std::vector<NameChoice> choices(files.size());
    if (files.empty()) return choices;
    // The files whose bytes are already in the output folder take no part.
    const auto allThere = [&] {
        return std::all_of(choices.begin(), choices.end(), [](const NameChoice& c) { return !c.alreadyImported.empty(); });
    };
    const auto holdsItsBytes = [&](std::size_t i, const std::string& name) {
        if (!context.imports || !choices[i].alreadyImported.empty()) return false;
        const std::string path = JoinPath(outputFolderPath, name);
        if (!context.imports->Holds(files[i].facts, path)) return false;
        choices[i].alreadyImported = path;
        return true;
    };
    if (context.imports)
        for (std::size_t i = 0; i < files.size(); ++i)
            if (std::optional<std::string> there = context.imports->Recorded(files[i].facts))
                choices[i].alreadyImported = std::move(*there);
    if (allThere()) return choices;
    const DateTime timestamp = files.front().facts.TimestampDateTime;
    const auto build = [&](std::int32_t serial) {
        std::vector<std::string> names;
        names.reserve(files.size());
        for (const NameCandidate& file : files) names.push_back(file.buildName(serial));
        return names;
    };
    const auto unusableName = [&](const std::vector<std::string>& names) {
        for (const std::string& name : names)
            if (!UnusableFilenameReason(name).empty()) return true;
        return false;
    };

    // Serial-number loop: "Always" starts at 1, the others at 0 (no serial part).
    const std::int32_t start = options.AddSerial == AddSerial::Always ? 1 : 0;
    std::int32_t serial = start;
    std::vector<std::string> names = build(serial);
    std::vector<std::string> previousNames;
    bool havePrevious = false;
    std::vector<std::string> families;
    if (options.AddSerial != AddSerial::Never) {
        // Files of one second often share every part of their name but the
        // serial number; start above the numbers their family already took.
        std::int32_t settled = -1;
        for (const std::string& name : names) {
            families.push_back(outputFolderPath + '\0' + name);
            settled = std::max(settled, context.chronology.Settled(families.back()));
        }
        if (settled >= start && settled < std::numeric_limits<std::int32_t>::max() - kMaxSerialTries) {
            previousNames = build(settled);
            havePrevious = true;
            serial = settled + 1;
            names = build(serial);
        }
    }
    // A serial number free in the output folder and in every backup folder at once.
    const std::vector<std::string> backups = BackupFoldersFor(context, outputFolderPath);
    const auto taken = [&](const std::string& name) {
        if (NameTaken(context, outputFolderPath, name)) return true;
        for (const std::string& folder : backups)
            if (context.fs.NameTaken(folder, name)) return true;
        return false;
    };
    // Zeros alone (or none) write the whole serial number, padded.
    const auto wholeSerial = [&] {
        const std::string format = options.FilenameFormat == FilenameFormat::Custom
                                       ? options.CustomFormat.SerialFormat
                                       : BuiltInFormat(options.FilenameFormat, true).SerialFormat;
        return format.find_first_not_of('0') == std::string::npos;
    };
    bool foundFree = false;
    for (std::int32_t tries = 1;; ++tries) {
        if (havePrevious && names == previousNames) {
            // The serial number does not show in the names, so no later try
            // can free them: keep the try before.
            --serial;
            break;
        }
        if (unusableName(names) || options.AddSerial == AddSerial::Never || tries >= kMaxSerialTries) break;
        if (!context.chronology.Contains(timestamp, serial)) {
            // Every member is looked at: each taken name may hold its own file's bytes.
            foundFree = true;
            for (std::size_t i = 0; i < names.size(); ++i)
                if (choices[i].alreadyImported.empty() && taken(names[i]) && !holdsItsBytes(i, names[i]))
                    foundFree = false;
        }
        if (foundFree || allThere()) break;
        // The numbers this second already took in the run are passed over at
        // once where the loop would only count through them: the names show
        // the whole number (they differ at each step, and grow no shorter), so
        // none between could have ended the loop.
        if (havePrevious && context.chronology.Contains(timestamp, serial) && wholeSerial()) {
            const std::int32_t next = context.chronology.FirstFreeFrom(timestamp, serial);
            if (next - 1 > serial && std::int64_t{tries} + (next - 1 - serial) < kMaxSerialTries)
                if (std::vector<std::string> before = build(next - 1); !unusableName(before)) {
                    tries += next - 1 - serial;
                    serial = next - 1;
                    names = std::move(before);
                }
        }
        previousNames = std::move(names);
        havePrevious = true;
        names = build(++serial);
    }
    // Under "Never" the names built are never tried in the loop.
    if (!foundFree)
        for (std::size_t i = 0; i < names.size(); ++i)
            if (UnusableFilenameReason(names[i]).empty()) holdsItsBytes(i, names[i]);
    const bool usable = !unusableName(names);
    if (usable && serial > start)
        for (const std::string& family : families) context.chronology.Settle(family, serial);
    for (std::size_t i = 0; i < files.size(); ++i) {
        FileFacts& facts = files[i].facts;
        facts.OutputFolder = outputFolderPath;
        facts.SequenceNumber = serial;
        facts.OutputFileName = std::move(names[i]);
        choices[i].unusable = UnusableFilenameReason(facts.OutputFileName);
        if (choices[i].unusable.empty()) choices[i].unusable = context.folderProblem;
        choices[i].seenFree = foundFree;
    }
    context.chronology.Append(timestamp, serial);
    return choices;
}

void CarryOutPlacement(PlacementContext& context, FileFacts& facts, const NameChoice& choice,
                       bool PerformActions, RunTally& tally) {
    context.planned = 0;
    if (!choice.alreadyImported.empty()) {
        // Backups catch up on a file the output folder holds already.
        if (PerformActions && context.batch) context.batch->CatchUp(facts, choice.alreadyImported);
        return MarkAlreadyImported(facts, tally, choice.alreadyImported);
    }
    const RunOptions& options = context.options;
    FileSource& source = context.source ? *context.source : context.fs;
    const std::string& outputFolderPath = facts.OutputFolder;
    const std::string& name = facts.OutputFileName;
    std::string unusable = choice.unusable;
    const std::string target = unusable.empty() ? JoinPath(outputFolderPath, name) : std::string();
    // The plan is written down before the file is touched, so that a run
    // killed half-way leaves a record of what it may have left half-done.
    context.planned = 0;
    // A copy, or a move to another file system, joins the batch that makes
    // copies durable together; the batch writes its plan with the others'.
    bool batched = PerformActions && unusable.empty() && context.batch &&
                   context.batch->Takes(facts.SourceFilePath, outputFolderPath);
    // So does a Move within one file system, its rename made at the commit:
    // one transaction of the record for the batch's plans.
    const bool movesLater = PerformActions && unusable.empty() && context.batch && !batched &&
                            context.batch->MovesLater();
    if (PerformActions && unusable.empty() && context.intents && !batched && !movesLater) {
        PlannedPlacement plan{0, facts.SourceFilePath, target};
        plan.Moves = options.MoveOrCopy != MoveOrCopy::Copy;
        plan.FinalNameCopy = context.fs.CopiesUnderFinalName(outputFolderPath);
        plan.OriginalModifiedTime = TimeToKeep(source, options, facts.SourceFilePath);
        const FsStatus planned = context.intents->Plan(plan);
        if (planned) context.planned = plan.Id;
        else unusable = planned.error.empty() ? std::string("Unknown error") : planned.error;
    }
    // An unusable name never reaches the file system, not even in a preview;
    // a preview fails where the run would, on a name that is taken.
    const auto place = [&](FsStatus (FileSource::*operation)(const std::string&, const std::string&)) {
        if (!unusable.empty()) return FsStatus::Fail(unusable);
        if (batched) return context.batch->Stage(facts, target, operation == &FileSource::MoveFile);
        if (movesLater) return context.batch->StageMove(facts, target);
        if (PerformActions) return (source.*operation)(facts.SourceFilePath, target);
        return choice.seenFree || !NameTaken(context, outputFolderPath, name) ? FsStatus::Ok() : FsStatus::Fail(NameTakenText());
    };
    const auto move = [&] { return place(&FileSource::MoveFile); };
    const auto copy = [&] { return place(&FileSource::CopyFile); };

    facts.Operation = FileOperation::Failed;
    FsStatus status;
    if (options.MoveOrCopy == MoveOrCopy::Move) {
        status = move();
        if (status) facts.Operation = FileOperation::Moved;
    } else {
        // "Copy", "Copy when unable to move"; an unknown mode copies, which never loses the source.
        if (options.MoveOrCopy == MoveOrCopy::CopyWhenUnableToMove) {
            status = move();
            if (status) facts.Operation = FileOperation::Moved;
        }
        if (facts.Operation != FileOperation::Moved) {
            // A move refused on one file system (a card locked against
            // writing) falls back to a copy made durable with the batch's,
            // planned with them; the move's plan is moot.
            if (!batched && PerformActions && unusable.empty() && context.batch) {
                if (context.planned != 0) context.intents->Done(std::exchange(context.planned, 0));
                batched = true;
            }
            status = copy();
            if (status) facts.Operation = FileOperation::Copied;
        }
    }
    if (status) {
        context.chronology.Produce(outputFolderPath, name);
        if (PerformActions && context.imports) context.imports->Placed(facts, target);
    } else {
        FailPlacement(context.report, facts, tally, options.MoveOrCopy == MoveOrCopy::Move, status);
    }
}

void FailPlacement(const ProblemReporter& report, FileFacts& facts, RunTally& tally, bool moving,
                   const FsStatus& status) {
    facts.Operation = FileOperation::Failed;
    facts.Timestamped = false;
    ++tally.NumberOfLockedFiles;
    const char* failure = moving ? " could not be moved due to the following error: "
                                 : " could not be copied due to the following error: ";
    // Removed since it was listed: nothing failed but the file's presence.
    const std::string& error = status.error;
    const std::string message = status.Is(FsFault::Gone) ? std::string(" no longer exists.")
                                : failure + (error.empty() ? std::string("Unknown error") : error) + ".";
    report(facts.Notes, facts.SourceFileName + message, MsgIcon::Exclamation);
}

void PlaceFile(PlacementContext& context, FileFacts& facts, const std::string& outputFolderPath,
               bool PerformActions, RunTally& tally, const NameBuilder& buildName) {
    NameCandidate file{facts, buildName};
    const std::vector<NameChoice> choices = ChooseNames(context, std::span(&file, 1), outputFolderPath);
    CarryOutPlacement(context, facts, choices.front(), PerformActions, tally);
}

}  // namespace ravlen
