#include "model/report_text.h"

namespace ravlen {
namespace {

// Through unsigned, so that the most negative value has a magnitude too.
std::string Magnitude(std::int64_t value) {
    return std::to_string(value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
}

}  // namespace

std::string GroupedCount(std::int64_t value) {
    const std::string digits = Magnitude(value);
    std::string out = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string ProgressText(std::int64_t done, std::int64_t total) {
    return GroupedCount(done) + " of " + GroupedCount(total);
}

ReportBuilder::ReportBuilder(std::int64_t total) : width_(std::to_string(total).size()) {}

void ReportBuilder::Line(std::int64_t count, const char* text) {
    std::string number = Magnitude(count);
    if (number.size() < width_) number.insert(0, width_ - number.size(), '0');
    if (count < 0) number.insert(0, 1, '-');
    Append(number + text);
}

void ReportBuilder::Rule() { Append(std::string(width_, '=')); }

void ReportBuilder::Append(const std::string& line) {
    if (!text_.empty()) text_ += "\r\n";
    text_ += line;
}

}  // namespace ravlen
