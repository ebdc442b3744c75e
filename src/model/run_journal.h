#pragma once
// The journal every run that places files keeps on this computer, whatever
// logs it writes: which file went where, and the placed file's identity, so
// that the run can be undone without its CSV log and a log's rows can be
// checked against what the run really did.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/date_time.h"
#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/file_time.h"

namespace ravlen {

// A copy the run made in a backup folder, as it stood once made and logged.
struct JournalBackup {
    std::string Path;
    FileId Id;  // unknown for journals written before copies kept their identity
    std::int64_t Size = 0;
    DateTime Modified;
};

// One placed file, or one already imported whose backup copies the run made
// (Operation AlreadyImported: Target is the output folder's file of an
// earlier run, which stays; only the backup copies are the run's).
struct JournalEntry {
    std::string Source;  // the file's path before the run
    std::string Target;  // the placed file's path
    FileOperation Operation = FileOperation::Moved;  // Moved, Copied or AlreadyImported
    // The placed file as it stood once it was placed and logged.
    FileId Id;
    std::int64_t Size = 0;
    DateTime Modified;
    // The source's modified time before the run set the placed file's.
    std::optional<FileTime> OriginalModifiedTime;
    std::vector<JournalBackup> Backups;  // its copies in the backup folders, taken away with it
};

struct JournalRun {
    std::string Id;
    DateTime Started;
    std::string SourceFolder, OutputFolder;
    std::string CsvLog;  // "" when the run wrote none
    int Moved = 0, Copied = 0;
    int CaughtUp = 0;  // files imported before whose missing backup copies the run made
    bool Undone = false;  // an undo of it ended with nothing left to undo
};

class RunJournal {
public:
    virtual ~RunJournal() = default;
    // Starts the journal of a run; its id (also the CSV log's RunId). A run
    // that places nothing and makes no backup copy leaves no journal.
    virtual std::string BeginRun(const std::string& sourceFolder, const std::string& outputFolder) = 0;
    // The CSV log the current run writes, once it exists.
    virtual void SetRunCsvLog(const std::string& csvPath) = 0;
    // A file the current run placed, or backed up alone. Entries are
    // written with the run's other records: at the latest by EndRun.
    virtual void Placed(const JournalEntry& entry) = 0;
    // Writes what is waiting, kept through a power cut; the run's end.
    virtual FsStatus EndRun() = 0;
    // Runs that placed files or made backup copies, newest first (at most `limit`).
    virtual std::vector<JournalRun> Runs(int limit) = 0;
    virtual std::optional<JournalRun> Run(const std::string& id) = 0;
    // The run's files in the order they were placed.
    virtual std::vector<JournalEntry> Files(const std::string& id) = 0;
    virtual void MarkUndone(const std::string& id) = 0;
};

}  // namespace ravlen
