#include "engine/placement.h"

namespace ravlen {

std::string UnusableFilenameReason(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return "Invalid file name";
    if (name.size() > kMaxFilenameBytes) return "File name too long";
    return {};
}

void PlaceFile(PlacementContext& context, FileFacts& facts, const std::string& outputFolderPath,
               bool PerformActions, RunTally& tally, const NameBuilder& buildName) {
    const RunOptions& options = context.options;
    facts.OutputFolder = outputFolderPath;

    // Serial-number loop: "Always" starts at 1, the others at 0 (no serial part).
    std::int32_t serial = options.AddSerial == 2 ? 0 : -1;
    std::string name, previousName, unusable;
    for (std::int32_t tries = 1;; ++tries) {
        ++serial;
        std::string tryName = buildName(serial);
        if (tries > 1 && tryName == previousName) {
            // The serial number does not show in the name, so no later try can
            // free it: keep the try before.
            --serial;
            break;
        }
        name = std::move(tryName);
        unusable = UnusableFilenameReason(name);
        if (!unusable.empty() || options.AddSerial == 0 || tries >= kMaxSerialTries) break;
        if (!context.chronology.Contains(ChronologyList::Key(facts.TimestampDateTime, serial)) &&
            !context.fs.FileExists(JoinPath(outputFolderPath, name)))
            break;
        previousName = name;
    }
    facts.SequenceNumber = serial;
    facts.OutputFileName = name;
    context.chronology.Append(ChronologyList::Key(facts.TimestampDateTime, serial));

    const std::string target = unusable.empty() ? JoinPath(outputFolderPath, name) : std::string();
    // An unusable name never reaches the file system, not even in a preview.
    const auto move = [&] {
        if (!unusable.empty()) return FsStatus::Fail(unusable);
        return PerformActions ? context.fs.MoveFile(facts.SourceFilePath, target) : FsStatus::Ok();
    };
    const auto copy = [&] {
        if (!unusable.empty()) return FsStatus::Fail(unusable);
        return PerformActions ? context.fs.CopyFile(facts.SourceFilePath, target) : FsStatus::Ok();
    };

    facts.Operation = "Failed";
    FsStatus status;
    std::string failure;
    if (options.MoveOrCopy == 0) {
        status = move();
        if (status) facts.Operation = "Moved";
        else failure = " could not be moved due to the following error: ";
    } else {
        // "Copy", "Copy when unable to move"; an unknown mode copies, which never loses the source.
        if (options.MoveOrCopy == 2) {
            status = move();
            if (status) facts.Operation = "Moved";
        }
        if (facts.Operation != "Moved") {
            status = copy();
            if (status) facts.Operation = "Copied";
            else failure = " could not be copied due to the following error: ";
        }
    }
    if (status) return;

    facts.Timestamped = false;
    if (PerformActions) ++tally.NumberOfLockedFiles;
    const std::string error = status.error.empty() ? std::string("Unknown error") : status.error;
    context.report(facts.Notes, facts.SourceFileName + failure + error + ".", MsgIcon::Exclamation);
}

}  // namespace ravlen
