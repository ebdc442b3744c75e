#include "log/csv_text.h"

namespace ravlen {

std::string CsvQuoted(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

void CsvSplitter::AddChar(char c) {
    if (bytes_ >= kMaxRecordBytes) {
        record_.TooLong = true;
        return;
    }
    field_ += c;
    ++bytes_;
}

void CsvSplitter::EndField() {
    // A separator counts toward the limit too: a file of commas alone must not
    // become an endless list of empty fields.
    if (bytes_ >= kMaxRecordBytes) {
        record_.TooLong = true;
    } else {
        record_.Fields.push_back(std::move(field_));
        ++bytes_;
    }
    field_.clear();
    state_ = State::FieldStart;
}

void CsvSplitter::EndRecord() {
    if (started_) {
        EndField();
        sink_(std::move(record_));
    }
    record_ = CsvRecord{};
    field_.clear();
    bytes_ = 0;
    started_ = false;
    state_ = State::FieldStart;
}

void CsvSplitter::Feed(std::string_view text) {
    for (const char c : text) {
        if (skipLineFeed_) {
            skipLineFeed_ = false;
            if (c == '\n') continue;
        }
        const bool lineEnd = c == '\r' || c == '\n';
        switch (state_) {
            case State::FieldStart:
                if (lineEnd) {
                    EndRecord();
                    skipLineFeed_ = c == '\r';
                    break;
                }
                started_ = true;
                if (c == '"') {
                    state_ = State::Quoted;
                } else if (c == ',') {
                    EndField();
                } else {
                    AddChar(c);
                    state_ = State::Bare;
                }
                break;
            case State::Bare:
                if (lineEnd) {
                    EndRecord();
                    skipLineFeed_ = c == '\r';
                } else if (c == ',') {
                    EndField();
                } else {
                    if (c == '"') record_.BadQuotes = true;
                    AddChar(c);
                }
                break;
            case State::Quoted:
                if (c == '"') state_ = State::QuoteInQuoted;
                else AddChar(c);
                break;
            case State::QuoteInQuoted:
                if (c == '"') {
                    AddChar('"');
                    state_ = State::Quoted;
                } else if (c == ',') {
                    EndField();
                } else if (lineEnd) {
                    EndRecord();
                    skipLineFeed_ = c == '\r';
                } else {
                    // A lone quote inside a quoted field (a writer that does not
                    // double them): keep going as bare text so that the record
                    // still ends at its own line end.
                    record_.BadQuotes = true;
                    AddChar('"');
                    AddChar(c);
                    state_ = State::Bare;
                }
                break;
        }
    }
}

void CsvSplitter::Finish() {
    if (state_ == State::Quoted) record_.Unterminated = true;
    skipLineFeed_ = false;
    EndRecord();
}

std::vector<CsvRecord> SplitCsv(std::string_view text) {
    std::vector<CsvRecord> records;
    CsvSplitter splitter([&records](CsvRecord&& r) { records.push_back(std::move(r)); });
    splitter.Feed(text);
    splitter.Finish();
    return records;
}

std::optional<std::size_t> CsvHeader::Find(std::string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name) return i;
    return std::nullopt;
}

}  // namespace ravlen
