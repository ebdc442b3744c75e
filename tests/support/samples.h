#pragma once
// The real phone and camera files (files/ and exiftool's dates.tsv), in the
// folder CMake names; tests skip the parts that read them, visibly, where
// the folder is absent.

#include <filesystem>
#include <string>

namespace ravlen::test {

inline std::string SamplesFolder() { return RAVLEN_SAMPLES; }
inline std::string SampleFiles() { return SamplesFolder() + "/files/"; }
inline bool SamplesPresent() { return std::filesystem::exists(SamplesFolder() + "/dates.tsv"); }
inline std::string NoSamples() { return "no sample files at " + SamplesFolder(); }

}  // namespace ravlen::test
