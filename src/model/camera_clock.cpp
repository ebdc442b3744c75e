#include "model/camera_clock.h"

#include <algorithm>

namespace ravlen {
namespace {

constexpr char kEscape = '\\', kEntryEnd = ';', kFieldEnd = '|', kValueStart = '=';

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == kEscape || c == kEntryEnd || c == kFieldEnd || c == kValueStart) out.push_back(kEscape);
        out.push_back(c);
    }
    return out;
}

// The text up to the next unescaped `end` (or the end of the input), unescaped;
// the separator found is left first in `text`.
std::optional<std::string> TakeField(std::string_view& text, std::string_view ends) {
    std::string out;
    while (!text.empty() && ends.find(text.front()) == std::string_view::npos) {
        if (text.front() == kEscape) {
            if (text.size() < 2) return std::nullopt;
            text.remove_prefix(1);
        }
        out.push_back(text.front());
        text.remove_prefix(1);
    }
    return out;
}

bool Take(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::string CameraId::Label() const {
    // Many makers repeat their name at the start of the model.
    std::string out = Model.rfind(Make, 0) == 0 ? Model : Make + (Make.empty() || Model.empty() ? "" : " ") + Model;
    if (out.empty()) out = "Unknown camera";
    if (!Serial.empty()) out += " #" + Serial;
    return out;
}

std::optional<std::vector<CameraOffset>> ParseCameraOffsets(std::string_view text) {
    std::vector<CameraOffset> offsets;
    while (!text.empty()) {
        CameraOffset entry;
        const auto make = TakeField(text, "|;=");
        if (!make || !Take(text, kFieldEnd)) return std::nullopt;
        const auto model = TakeField(text, "|;=");
        if (!model || !Take(text, kFieldEnd)) return std::nullopt;
        const auto serial = TakeField(text, "|;=");
        if (!serial || !Take(text, kValueStart)) return std::nullopt;
        const std::size_t end = text.find(kEntryEnd);
        const auto offset = TimeShift::Parse(text.substr(0, end));
        if (!offset || offset->IsNone()) return std::nullopt;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end);
        if (Take(text, kEntryEnd) && text.empty()) return std::nullopt;
        entry.Camera = {*make, *model, *serial};
        if (!entry.Camera.Known()) return std::nullopt;
        entry.Offset = *offset;
        offsets.push_back(std::move(entry));
    }
    return offsets;
}

std::vector<CameraOffset> KeptCameraOffsets(std::string_view text) {
    return ParseCameraOffsets(text).value_or(std::vector<CameraOffset>{});
}

std::string CameraOffsetsText(const std::vector<CameraOffset>& offsets) {
    std::string out;
    for (const CameraOffset& o : offsets) {
        if (!out.empty()) out.push_back(kEntryEnd);
        out += Escaped(o.Camera.Make) + kFieldEnd + Escaped(o.Camera.Model) + kFieldEnd + Escaped(o.Camera.Serial) +
               kValueStart + o.Offset.Text();
    }
    return out;
}

std::string CameraOffsetsLabel(const std::vector<CameraOffset>& offsets) {
    std::string out;
    for (const CameraOffset& o : offsets) out += (out.empty() ? "" : ", ") + o.Camera.Label() + " " + o.Offset.Text();
    return out;
}

TimeShift OffsetFor(const std::vector<CameraOffset>& offsets, const CameraId& camera) {
    if (!camera.Known()) return {};
    for (const CameraOffset& o : offsets)
        if (o.Camera == camera) return o.Offset;
    return {};
}

void SetOffset(std::vector<CameraOffset>& offsets, const CameraId& camera, TimeShift offset) {
    const auto same = [&camera](const CameraOffset& o) { return o.Camera == camera; };
    offsets.erase(std::remove_if(offsets.begin(), offsets.end(), same), offsets.end());
    if (!offset.IsNone() && camera.Known()) offsets.push_back({camera, offset});
}

TimeShift AlignOffset(const DateTime& reference, const DateTime& camera) {
    return TimeShift{reference.CivilSeconds() - camera.CivilSeconds()};
}

}  // namespace ravlen
