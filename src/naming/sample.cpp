#include "naming/sample.h"

#include <string_view>
#include <vector>

#include "naming/filename_builder.h"
#include "naming/text_chars.h"

namespace ravlen {

std::size_t SampleWrapWidth(int FilenameFormat) {
    switch (FilenameFormat) {
    case 2: return 48;
    case 3: return 158;
    default: return 0;
    }
}

std::string FilenameSample(int FilenameFormat, int AddSerial, int AddBatchVolume,
                           const FilenameFormatDefinition& custom, const DateTime& now) {
    FilenameValues v;
    v.DateTime = now;
    v.SerialNumber = (AddSerial == 1 || AddSerial == 2) ? 1 : 0;
    v.Extension = "JPG";
    const bool plain = FilenameFormat == 0 || FilenameFormat == 1;
    if (plain) {
        // "Both" shows the whole DCF name, as the run does for these formats.
        if (AddBatchVolume == 1) v.Batch = "ABCD";
        if (AddBatchVolume == 2) v.Volume = "1234";
        if (AddBatchVolume == 3) v.Original = "ABCD1234";
    } else {
        if (AddBatchVolume == 1 || AddBatchVolume == 3) v.Batch = "ABCD";
        if (AddBatchVolume == 2 || AddBatchVolume == 3) v.Volume = "1234";
    }
    // The sample always shows the time of day, whatever a file may lack.
    const FilenameFormatDefinition format = FilenameFormat == 4 ? custom : BuiltInFormat(FilenameFormat, true);
    return WrapSample(BuildFilename(format, v), SampleWrapWidth(FilenameFormat));
}

std::string WrapSample(const std::string& text, std::size_t width) {
    if (width == 0 || text.find('}') == std::string::npos) return text;
    // Positions below are 1-based character positions, as the breaking rule counts them.
    std::vector<std::string_view> s = naming_detail::SplitChars(text);
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
