#include "metadata/place_text.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace ravlen {
namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view t) {
    if (const auto zero = t.find('\0'); zero != std::string_view::npos) t = t.substr(0, zero);
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
}

// One ISO 6709 coordinate at `i`: its sign, `degreeDigits` digits of
// degrees, then minutes and seconds by how many digits precede the point.
std::optional<double> Coordinate(std::string_view t, std::size_t& i, std::size_t degreeDigits) {
    if (i >= t.size() || (t[i] != '+' && t[i] != '-')) return std::nullopt;
    const bool negative = t[i++] == '-';
    std::size_t whole = 0;
    while (i + whole < t.size() && Digit(t[i + whole])) ++whole;
    // Phones write degrees without their leading zeros ("-0.2431"); minutes
    // and seconds only ever follow the full count of degree digits.
    if (whole == 0 || (whole > degreeDigits && whole != degreeDigits + 2 && whole != degreeDigits + 4))
        return std::nullopt;
    const std::size_t degreeCount = std::min(whole, degreeDigits);
    double parts[3] = {0, 0, 0};
    std::size_t part = 0;
    for (std::size_t taken = 0; taken < whole; ++part) {
        const std::size_t n = part == 0 ? degreeCount : 2;
        for (std::size_t k = 0; k < n; ++k) parts[part] = parts[part] * 10 + (t[i + taken + k] - '0');
        taken += n;
    }
    i += whole;
    double fraction = 0, scale = 1;
    if (i < t.size() && t[i] == '.') {
        ++i;
        for (int k = 0; i < t.size() && Digit(t[i]); ++i, ++k)
            if (k < 9) fraction = fraction * 10 + (t[i] - '0'), scale *= 10;
    }
    parts[part - 1] += fraction / scale;
    if (parts[1] >= 60 || parts[2] >= 60) return std::nullopt;
    const double degrees = parts[0] + parts[1] / 60 + parts[2] / 3600;
    return negative ? -degrees : degrees;
}

}  // namespace

std::optional<std::int32_t> ParseOffsetText(std::string_view text) {
    const std::string_view t = Trimmed(text);
    if (t.size() != 6 || (t[0] != '+' && t[0] != '-') || t[3] != ':') return std::nullopt;
    for (const std::size_t i : {1u, 2u, 4u, 5u})
        if (!Digit(t[i])) return std::nullopt;
    const std::int32_t hours = (t[1] - '0') * 10 + (t[2] - '0');
    const std::int32_t minutes = (t[4] - '0') * 10 + (t[5] - '0');
    if (minutes >= 60 || hours * 60 + minutes > 14 * 60) return std::nullopt;
    const std::int32_t total = hours * 60 + minutes;
    return t[0] == '-' ? -total : total;
}

bool OnGlobe(const GeoPoint& p) {
    return std::isfinite(p.latitude) && std::isfinite(p.longitude) && std::fabs(p.latitude) <= 90 &&
           std::fabs(p.longitude) <= 180;
}

std::optional<GeoPoint> ParseIso6709(std::string_view text) {
    const std::string_view t = Trimmed(text);
    std::size_t i = 0;
    const auto latitude = Coordinate(t, i, 2);
    if (!latitude) return std::nullopt;
    const auto longitude = Coordinate(t, i, 3);
    if (!longitude) return std::nullopt;
    const GeoPoint p{*latitude, *longitude};
    if (!OnGlobe(p)) return std::nullopt;
    return p;
}

}  // namespace ravlen
