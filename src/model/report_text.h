#pragma once
// The program's way of writing counts: progress texts and the zero-padded
// reports shown before and after a pass.

#include <cstdint>
#include <string>

namespace ravlen {

// A count as "#,##0" writes it: 1204 -> "1,204".
std::string GroupedCount(std::int64_t value);
// "1,204 of 3,000"
std::string ProgressText(std::int64_t done, std::int64_t total);
// A size in the desktop's decimal units, to a tenth: "512 bytes", "12.4 GB".
std::string ByteSizeText(std::uint64_t bytes);
// A span of time as a clock shows it: "0:04", "27:46:30".
std::string ClockText(long long seconds);
// How far a pass has come in bytes, with its rate and the time left at that
// rate once `seconds` say something: "12.3 MB of 45.6 MB  4.5 MB/s  0:07 left".
std::string ByteProgressText(std::int64_t done, std::int64_t total, double seconds);

// Report lines: each count zero-padded to as many digits as the total has,
// then its text; rules of "=" as wide; lines joined by CR LF, none after the last.
class ReportBuilder {
public:
    explicit ReportBuilder(std::int64_t total);
    void Line(std::int64_t count, const char* text);
    void Rule();
    const std::string& Text() const { return text_; }

private:
    void Append(const std::string& line);
    std::size_t width_;
    std::string text_;
};

}  // namespace ravlen
