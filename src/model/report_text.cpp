#include "model/report_text.h"

#include <cmath>
#include <cstdio>
#include <iterator>

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

std::string ByteSizeText(std::uint64_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    // Tenths of the unit, rounded; a value that rounds to 1000 takes the next unit.
    std::uint64_t scale = 1000;
    std::size_t unit = 0;
    while (unit + 1 < std::size(kUnits) && bytes / scale >= 1000) {
        scale *= 1000;
        ++unit;
    }
    const auto tenthsOf = [bytes](std::uint64_t unitBytes) {
        const std::uint64_t tenth = unitBytes / 10;
        return bytes / tenth + (bytes % tenth >= tenth / 2 ? 1 : 0);
    };
    std::uint64_t tenths = tenthsOf(scale);
    if (tenths >= 10000 && unit + 1 < std::size(kUnits)) {
        scale *= 1000;
        ++unit;
        tenths = tenthsOf(scale);
    }
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit];
}

std::string ClockText(long long seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::string ByteProgressText(std::int64_t done, std::int64_t total, double seconds) {
    // Below half a second, or before a byte has gone by, a rate says nothing yet.
    constexpr double kRateAfterSeconds = 0.5;
    const auto size = [](std::int64_t bytes) { return ByteSizeText(bytes < 0 ? 0 : static_cast<std::uint64_t>(bytes)); };
    std::string text = size(done) + " of " + size(total);
    if (seconds < kRateAfterSeconds || done <= 0) return text;
    const double rate = static_cast<double>(done) / seconds;
    text += "  " + size(std::llround(rate)) + "/s";
    if (total > done) text += "  " + ClockText(std::llround(static_cast<double>(total - done) / rate)) + " left";
    return text;
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
