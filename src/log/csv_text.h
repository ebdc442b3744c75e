#pragma once
// CSV text as the logs write it and as the undo reads it back: fields between
// double quotes with inner quotes doubled, records ended by CR LF.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravlen {

// A CSV field between double quotes, inner quotes doubled, so that any
// standard reader splits the row into its columns whatever the names hold.
std::string CsvQuoted(std::string_view value);

// One record of a CSV file, split by the usual rules: fields between double
// quotes may hold commas, line ends and doubled quotes.
struct CsvRecord {
    std::vector<std::string> Fields;
    bool BadQuotes = false;     // a quote where no CSV writer puts one
    bool Unterminated = false;  // a quoted field still open at the end of the file
    bool TooLong = false;       // longer than any row of a log; its fields are cut short
};

// Splits CSV text into records as it arrives, so that a log of any length is
// read in pieces. Lines that are entirely empty are no records.
class CsvSplitter {
public:
    // The longest record kept whole; anything beyond is dropped and the record
    // marked TooLong.
    static constexpr std::size_t kMaxRecordBytes = 1 << 20;

    using Sink = std::function<void(CsvRecord&&)>;
    explicit CsvSplitter(Sink sink) : sink_(std::move(sink)) {}
    void Feed(std::string_view text);
    // The record the text ended in, if any.
    void Finish();

private:
    enum class State { FieldStart, Bare, Quoted, QuoteInQuoted };
    void AddChar(char c);
    void EndField();
    void EndRecord();

    Sink sink_;
    State state_ = State::FieldStart;
    CsvRecord record_;
    std::string field_;
    std::size_t bytes_ = 0;
    bool skipLineFeed_ = false;  // the LF of a CR LF already taken as the line end
    bool started_ = false;       // anything seen since the last line end
};

// All records of a text at once.
std::vector<CsvRecord> SplitCsv(std::string_view text);

// The columns of a CSV file as its header record names them, so that a reader
// finds a column wherever a writer put it.
class CsvHeader {
public:
    explicit CsvHeader(std::vector<std::string> names) : names_(std::move(names)) {}
    // The position of the first column of that name.
    std::optional<std::size_t> Find(std::string_view name) const;
    const std::vector<std::string>& Names() const { return names_; }

private:
    std::vector<std::string> names_;
};

}  // namespace ravlen
