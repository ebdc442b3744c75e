#pragma once
// The text log and the CSV log of one processing pass.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/program_facts.h"
#include "model/date_time.h"
#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/log_sink.h"
#include "model/run_options.h"

namespace ravlen {

// The CSV log's column names, in the order of its header line.
const std::vector<std::string>& CsvLogColumns();

// The columns of the CSV log's first layout. Every log starts with them;
// columns added since follow them, so a reader finds these in any log.
inline constexpr std::size_t kCsvFirstLayoutColumns = 47;

// The names of the columns the undo reads back.
namespace csv_column {
inline constexpr std::string_view kSourceFileName = "SourceFileName";
inline constexpr std::string_view kSourceFolder = "SourceFolder";
inline constexpr std::string_view kSize = "Size";
inline constexpr std::string_view kTimestamped = "Timestamped";
inline constexpr std::string_view kOperation = "Operation";
inline constexpr std::string_view kOutputFileName = "OutputFileName";
inline constexpr std::string_view kOutputFolder = "OutputFolder";
inline constexpr std::string_view kOriginalModifiedTime = "OriginalModifiedTime";  // absent from older logs
inline constexpr std::string_view kFileSystemDateModified = "FileSystemDateModified";
inline constexpr std::string_view kRunId = "RunId";  // absent from older logs
// The file's copies in the backup folders, separated by ";" (N/A for none);
// absent from older logs.
inline constexpr std::string_view kBackupPaths = "BackupPaths";
inline constexpr std::string_view kContinuingNumber = "ContinuingNumber";  // these two: absent from older logs
inline constexpr std::string_view kContinuingScope = "ContinuingScope";
}  // namespace csv_column

// The Operation column's text ("" for None), and the operation such a text
// names (nothing for a text the logs never hold).
std::string_view OperationText(FileOperation operation);
std::optional<FileOperation> OperationFromText(std::string_view text);

// "<outputFolder>/Ravlen Log yyyy-mm-dd @hh-nn-ss" + extension (a second log
// of the same second adds " (2)" before the extension, and so on)
std::string LogFilePath(const std::string& outputFolder, const DateTime& when, const std::string& extension);

// What the file system says of a record's file as the record is written.
struct LiveFacts;
class RunLogs;

class TextLog {
public:
    // Creates the file exclusively and writes the header. Null, with the
    // reason in `error`, when the file cannot be created.
    static std::unique_ptr<TextLog> Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now,
                                           const RunOptions& options, const ProgramFacts& program,
                                           std::string* error = nullptr);
    // `live`: the file system's facts of the file, when asked already.
    void WriteBlock(const FileFacts& facts, const LiveFacts* live = nullptr);
    void Close();
    // The first failure to write or close the file, "" while there is none.
    const std::string& Error() const;
    const std::string& Path() const;
    // The file itself, as found when it was created.
    const FileId& Id() const;
    ~TextLog();

private:
    friend class RunLogs;  // asks the file system once for both logs
    struct Impl;
    explicit TextLog(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class CsvLog {
public:
    // `runId`: the run's journal on this computer, named in every row ("" for none).
    static std::unique_ptr<CsvLog> Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now,
                                          std::string* error = nullptr, const std::string& runId = {});
    void WriteRow(const FileFacts& facts, const LiveFacts* live = nullptr);
    void Close();
    const std::string& Error() const;
    const std::string& Path() const;
    const FileId& Id() const;
    ~CsvLog();

private:
    struct Impl;
    explicit CsvLog(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Both logs as the engine's record sink: the text block first, then the CSV row.
class RunLogs : public FileRecordSink {
public:
    std::unique_ptr<TextLog> text;
    std::unique_ptr<CsvLog> csv;
    void WriteFileRecord(const FileFacts& facts) override;
    bool Failed() const override { return !Failure().empty(); }
    bool Holds(const FsItem& file) const override;
    // The first failure of either log, naming it; "" while both are whole.
    std::string Failure() const;
};

}  // namespace ravlen
