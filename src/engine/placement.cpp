#include "engine/placement.h"

#include <limits>
#include <system_error>

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

}  // namespace

void PlaceFile(PlacementContext& context, FileFacts& facts, const std::string& outputFolderPath,
               bool PerformActions, RunTally& tally, const NameBuilder& buildName) {
    const RunOptions& options = context.options;
    facts.OutputFolder = outputFolderPath;

    // Serial-number loop: "Always" starts at 1, the others at 0 (no serial part).
    const std::int32_t start = options.AddSerial == AddSerial::Always ? 1 : 0;
    std::int32_t serial = start;
    std::string name = buildName(serial);
    std::string previousName;
    bool havePrevious = false;
    std::string family;
    if (options.AddSerial != AddSerial::Never) {
        // Files of one second often share every part of their name but the
        // serial number; start above the numbers their family already took.
        family = outputFolderPath + '\0' + name;
        const std::int32_t settled = context.chronology.Settled(family);
        if (settled >= start && settled < std::numeric_limits<std::int32_t>::max() - kMaxSerialTries) {
            previousName = buildName(settled);
            havePrevious = true;
            serial = settled + 1;
            name = buildName(serial);
        }
    }
    // Taken on disk, or by an earlier file of this run: in a preview nothing
    // lands on disk, so only the run's own memory of its names can tell.
    const auto taken = [&](const std::string& candidate) {
        return context.chronology.Produced(outputFolderPath, candidate) ||
               context.fs.FileExists(JoinPath(outputFolderPath, candidate));
    };
    std::string unusable;
    bool foundFree = false;
    for (std::int32_t tries = 1;; ++tries) {
        if (havePrevious && name == previousName) {
            // The serial number does not show in the name, so no later try can
            // free it: keep the try before.
            --serial;
            break;
        }
        unusable = UnusableFilenameReason(name);
        if (!unusable.empty() || options.AddSerial == AddSerial::Never || tries >= kMaxSerialTries) break;
        foundFree = !context.chronology.Contains(facts.TimestampDateTime, serial) && !taken(name);
        if (foundFree) break;
        previousName = std::move(name);
        havePrevious = true;
        name = buildName(++serial);
    }
    unusable = UnusableFilenameReason(name);
    if (!family.empty() && unusable.empty() && serial > start) context.chronology.Settle(family, serial);
    facts.SequenceNumber = serial;
    facts.OutputFileName = name;
    context.chronology.Append(facts.TimestampDateTime, serial);

    const std::string target = unusable.empty() ? JoinPath(outputFolderPath, name) : std::string();
    // The plan is written down before the file is touched, so that a run
    // killed half-way leaves a record of what it may have left half-done.
    context.planned = 0;
    if (PerformActions && unusable.empty() && context.intents) {
        PlannedPlacement plan{0, facts.SourceFilePath, target};
        const FsStatus planned = context.intents->Plan(plan);
        if (planned) context.planned = plan.Id;
        else unusable = planned.error.empty() ? std::string("Unknown error") : planned.error;
    }
    // An unusable name never reaches the file system, not even in a preview;
    // a preview fails where the run would, on a name that is taken.
    const auto place = [&](FsStatus (FileSystem::*operation)(const std::string&, const std::string&)) {
        if (!unusable.empty()) return FsStatus::Fail(unusable);
        if (PerformActions) return (context.fs.*operation)(facts.SourceFilePath, target);
        return foundFree || !taken(name) ? FsStatus::Ok() : FsStatus::Fail(NameTakenText());
    };
    const auto move = [&] { return place(&FileSystem::MoveFile); };
    const auto copy = [&] { return place(&FileSystem::CopyFile); };

    facts.Operation = "Failed";
    FsStatus status;
    std::string failure;
    if (options.MoveOrCopy == MoveOrCopy::Move) {
        status = move();
        if (status) facts.Operation = "Moved";
        else failure = " could not be moved due to the following error: ";
    } else {
        // "Copy", "Copy when unable to move"; an unknown mode copies, which never loses the source.
        if (options.MoveOrCopy == MoveOrCopy::CopyWhenUnableToMove) {
            status = move();
            if (status) facts.Operation = "Moved";
        }
        if (facts.Operation != "Moved") {
            status = copy();
            if (status) facts.Operation = "Copied";
            else failure = " could not be copied due to the following error: ";
        }
    }
    if (status) {
        context.chronology.Produce(outputFolderPath, name);
        return;
    }

    facts.Timestamped = false;
    ++tally.NumberOfLockedFiles;
    const std::string error = status.error.empty() ? std::string("Unknown error") : status.error;
    context.report(facts.Notes, facts.SourceFileName + failure + error + ".", MsgIcon::Exclamation);
}

}  // namespace ravlen
