#pragma once
// The text log and the CSV log of one processing pass.

#include <memory>
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
}  // namespace csv_column

// "<outputFolder>/Ravlen Log yyyy-mm-dd @hh-nn-ss" + extension
std::string LogFilePath(const std::string& outputFolder, const DateTime& when, const std::string& extension);

class TextLog {
public:
    // Creates the file exclusively and writes the header. Null when the file
    // cannot be created; every write error after that is ignored.
    static std::unique_ptr<TextLog> Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now,
                                           const RunOptions& options, const ProgramFacts& program);
    void WriteBlock(const FileFacts& facts);
    void Close();
    const std::string& Path() const;
    ~TextLog();

private:
    struct Impl;
    explicit TextLog(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class CsvLog {
public:
    static std::unique_ptr<CsvLog> Create(FileSystem& fs, const std::string& outputFolder, const DateTime& now);
    void WriteRow(const FileFacts& facts);
    void Close();
    const std::string& Path() const;
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
};

}  // namespace ravlen
