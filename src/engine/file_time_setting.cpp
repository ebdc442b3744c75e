#include "engine/file_time_setting.h"

namespace ravlen {

std::optional<FileTime> TimeToKeep(FileSource& source, const RunOptions& options, const std::string& path) {
    return options.SetFileTime ? source.ModifiedTime(path) : std::nullopt;
}

void WriteRecordSettingTime(FileRecordSink& sink, FileSystem& fs, const RunOptions& options, FileFacts& facts,
                            const ProblemReporter& report, RunTally& tally, bool planKeepsTime) {
    const std::string placed = JoinPath(facts.OutputFolder, facts.OutputFileName);
    if (options.SetFileTime && facts.Timestamped) facts.OriginalModifiedTime = fs.ModifiedTime(placed);
    // Only a time kept somewhere (the plan, or else the log) may change.
    const bool setTime = options.SetFileTime && facts.Timestamped && facts.OriginalModifiedTime;
    const auto set = [&] {
        const FsStatus status = fs.SetModifiedTime(placed, FileTime::FromLocal(facts.TimestampDateTime));
        if (status) return true;
        ++tally.NumberOfTimesNotSet;
        report(facts.Notes,
               facts.OutputFileName + "'s modified time could not be set due to the following error: " +
                   (status.error.empty() ? std::string("Unknown error") : status.error) + ".",
               MsgIcon::Exclamation);
        return false;
    };
    const bool setFirst = setTime && planKeepsTime && set();
    if (setFirst) facts.Placed.reset();  // its modified time is no longer what the placement saw
    facts.FinishTime = DateTime::Now();
    sink.WriteFileRecord(facts);
    // A record that could not be written leaves the file as it was found.
    if (setFirst && sink.Failed()) (void)fs.SetModifiedTime(placed, *facts.OriginalModifiedTime);
    if (setTime && !planKeepsTime && !sink.Failed()) set();
}

}  // namespace ravlen
