#include "engine/file_time_setting.h"

namespace ravlen {

std::optional<FileTime> TimeToKeep(FileSystem& fs, const RunOptions& options, const std::string& source) {
    return options.SetFileTime ? fs.ModifiedTime(source) : std::nullopt;
}

void WriteRecordSettingTime(FileRecordSink& sink, FileSystem& fs, const RunOptions& options, FileFacts& facts,
                            const ProblemReporter& report) {
    const bool setTime = options.SetFileTime && facts.Timestamped;
    const std::string placed = JoinPath(facts.OutputFolder, facts.OutputFileName);
    if (setTime) facts.OriginalModifiedTime = fs.ModifiedTime(placed);
    facts.FinishTime = DateTime::Now();
    sink.WriteFileRecord(facts);
    // Only a time the log holds may change.
    if (!setTime || !facts.OriginalModifiedTime || sink.Failed()) return;
    const FsStatus set = fs.SetModifiedTime(placed, FileTime::FromLocal(facts.TimestampDateTime));
    if (!set)
        report(facts.Notes,
               facts.OutputFileName + "'s modified time could not be set due to the following error: " +
                   (set.error.empty() ? std::string("Unknown error") : set.error) + ".",
               MsgIcon::Exclamation);
}

}  // namespace ravlen
