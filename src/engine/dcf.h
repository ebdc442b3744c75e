#pragma once
// Camera (DCF) filenames: four free characters and a four-digit file number,
// such as IMG_0001, split into a batch and a volume.

#include <cstdint>
#include <string>
#include <string_view>

#include "model/file_facts.h"
#include "model/report.h"
#include "model/run_options.h"
#include "model/run_tally.h"

namespace ravlen {

// Whether a base name (the name before its last ".") is a DCF name: exactly
// eight bytes, the first four from 0-9 A-Z _ (lower-case letters allowed),
// the last four decimal digits, not 0000.
bool IsDcfBaseName(std::string_view baseName);
// Whether DCFMode lets a file of this base name on to be read and named.
bool PassesDcfMode(std::string_view baseName, const RunOptions& options);

struct DcfSplit {
    std::string Batch;
    std::int32_t Volume = 0;
    int VolumeDigits = 4;
};

// Batch and volume of a valid DCF base name, the volume capped at 4 digits
// (Standard4) up to 8 (AllDigits), one more for each step of the option.
DcfSplit SplitDcfBaseName(std::string_view baseName, DCFVolumeDigits volumeDigits);

// The DCF step of one file: the check, the DCFMode::ValidOnly stop with its message
// and count, and the split of a valid name. Returns false when the file is
// stopped (Timestamped is then false).
bool AnalyseDcfName(FileFacts& facts, std::string_view baseName, const RunOptions& options, RunTally& tally,
                    const ProblemReporter& report);

}  // namespace ravlen
