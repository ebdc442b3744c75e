#include "naming/sample.h"

#include <string_view>
#include <vector>

#include "model/utf8.h"
#include "naming/filename_builder.h"

namespace ravlen {

std::size_t SampleWrapWidth(FilenameFormat format) {
    switch (format) {
    case FilenameFormat::Vantor2Short: return 48;
    case FilenameFormat::Vantor2Long: return 158;
    default: return 0;
    }
}

std::string FilenameSample(FilenameFormat format, AddSerial serial, AddBatchVolume batchVolume,
                           const FilenameFormatDefinition& custom, const DateTime& now) {
    FilenameValues v;
    v.DateTime = now;
    v.SerialNumber = serial == AddSerial::Never ? 0 : 1;
    v.Extension = "JPG";
    AddSampleCameraValues(v);
    const bool plain = format == FilenameFormat::DcfStyle || format == FilenameFormat::Vantor1;
    if (plain) {
        // "Both" shows the whole DCF name, as the run does for these formats.
        if (batchVolume == AddBatchVolume::BatchOnly) v.Batch = "ABCD";
        if (batchVolume == AddBatchVolume::VolumeOnly) v.Volume = "1234";
        if (batchVolume == AddBatchVolume::Both) v.Original = "ABCD1234";
    } else {
        const bool both = batchVolume == AddBatchVolume::Both;
        if (batchVolume == AddBatchVolume::BatchOnly || both) v.Batch = "ABCD";
        if (batchVolume == AddBatchVolume::VolumeOnly || both) v.Volume = "1234";
    }
    // The sample always shows the time of day, whatever a file may lack.
    const FilenameFormatDefinition definition =
        format == FilenameFormat::Custom ? custom : BuiltInFormat(format, true);
    return WrapSample(BuildFilename(definition, v), SampleWrapWidth(format));
}

std::string WrapSample(const std::string& text, std::size_t width) {
    if (width == 0 || text.find('}') == std::string::npos) return text;
    // Positions below are 1-based character positions, as the breaking rule counts them.
    std::vector<std::string_view> s = utf8::SplitChars(text);
    auto at = [&s](std::size_t pos) { return s[pos - 1]; };
    std::size_t i = 1;
    while (s.size() > i && s.size() - i > width) {
        std::size_t j = i + width;
        std::size_t close = 0;
        for (std::size_t p = i + 1; p <= s.size(); ++p)
            if (at(p) == "}") { close = p; break; }
        if (close != 0 && close <= j)
            while (at(j) != "}") --j;
        s.insert(s.begin() + static_cast<std::ptrdiff_t>(j), {std::string_view("\r"), std::string_view("\n")});
        i = j + 2;
    }
    std::string out;
    out.reserve(text.size() + 8);
    for (auto c : s) out.append(c);
    return out;
}

}  // namespace ravlen
