#include "engine/dcf.h"

#include <algorithm>

namespace ravlen {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsDcfFreeCharacter(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

bool IsDcfBaseName(std::string_view baseName) {
    if (baseName.size() != 8) return false;
    if (!std::all_of(baseName.begin(), baseName.begin() + 4, IsDcfFreeCharacter)) return false;
    if (!std::all_of(baseName.begin() + 4, baseName.end(), IsDigit)) return false;
    return baseName.substr(4) != "0000";
}

DcfSplit SplitDcfBaseName(std::string_view baseName, DCFVolumeDigits volumeDigits) {
    DcfSplit split;
    if (baseName.size() != 8) return split;
    std::size_t k = 8;  // characters before the trailing run of digits
    while (k > 0 && IsDigit(baseName[k - 1])) --k;
    // The option caps the volume at 4, 5, 6, 7 or 8 digits.
    const std::size_t floor = static_cast<std::size_t>(4 - std::clamp(StoredValue(volumeDigits), 0, 4));
    k = std::max(k, floor);
    split.Batch = std::string(baseName.substr(0, k));
    split.VolumeDigits = static_cast<int>(8 - k);
    std::int32_t volume = 0;
    for (std::size_t i = k; i < 8; ++i) volume = volume * 10 + (baseName[i] - '0');
    split.Volume = volume;
    return split;
}

bool PassesDcfMode(std::string_view baseName, const RunOptions& options) {
    return options.DCFMode != DCFMode::ValidOnly || IsDcfBaseName(baseName);
}

bool AnalyseDcfName(FileFacts& facts, std::string_view baseName, const RunOptions& options, RunTally& tally,
                    const ProblemReporter& report) {
    facts.DCFFilename = IsDcfBaseName(baseName);
    if (facts.DCFFilename) {
        DcfSplit split = SplitDcfBaseName(baseName, options.DCFVolumeDigits);
        facts.DCFBatch = std::move(split.Batch);
        facts.DCFVolume = split.Volume;
        facts.DCFVolumeDigits = split.VolumeDigits;
        return true;
    }
    if (PassesDcfMode(baseName, options)) return true;
    facts.Timestamped = false;
    ++tally.NumberOfInvalidDCFFiles;
    report(facts.Notes, facts.SourceFileName + " does not have a valid DCF file name.", MsgIcon::Exclamation);
    return false;
}

}  // namespace ravlen
