#pragma once
// Building a new filename from a template and the six variables.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/date_time.h"
#include "model/file_facts.h"
#include "model/filename_format.h"
#include "model/name_value.h"
#include "model/run_options.h"

namespace ravlen {

struct FilenameValues {
    ravlen::DateTime DateTime;      // absent when not after DateTime::Zero()
    std::int32_t SerialNumber = 0;  // absent when below 1
    std::string Batch;              // absent when empty (likewise the next three)
    std::string Volume;
    std::string Original;
    std::string Extension;
    // What the camera wrote and the import's own values; absent when empty
    // (the sequence when below 1). SubSeconds feeds the date code "ff".
    std::string SubSeconds{};
    std::string Camera{};
    std::string BodySerial{};
    std::string Lens{};
    std::string Artist{};
    std::string Job{};
    std::int64_t Sequence = 0;
};

// The hundredths of a second a SubSecTime text gives: its first two digits
// ("4" gives "40", "123" gives "12"), "00" when it holds none.
std::string Hundredths(std::string_view subSeconds);

// Whether a definition's names can hold a value of the camera or the import:
// one of %c %n %l %a %j %q in its template or in a text put into it, or the
// date code ff.
bool HoldsCameraSymbols(const FilenameFormatDefinition& format);

// The values of the symbols %c %n %l %a %j %q and the sub-seconds of a
// file's record, made fit for a name; `job` is the run's job code.
void FillCameraValues(FilenameValues& values, const FileFacts& facts, const std::string& job);

// The values the samples show for the symbols of the camera and the import.
void AddSampleCameraValues(FilenameValues& values);

// Whether a template or a folder format uses symbol `letter` ("%" then it).
bool UsesSymbol(std::string_view text, char letter);
// Whether a run's names (the custom template) or its date folders use it.
bool RunUsesSymbol(const RunOptions& options, char letter);
// Whether a run needs a job code: %j in its names or folders, or the
// continuing number counted per job code.
bool NeedsJobCode(const RunOptions& options);

// A date written with a date format: yyyy mm dd hh nn ss, and ff for the
// hundredths of a second (`subSeconds`, a SubSecTime text), text between
// double quotes as it stands (an unclosed quote runs to the end), every other
// character copied.
std::string FormatDate(const DateTime& when, std::string_view format, std::string_view subSeconds = {});

// A text or number value written with its format, as a symbol of the
// template writes it.
std::string FormatTextValue(std::string_view text, std::string_view format);
std::string FormatNumberValue(std::int64_t number, std::string_view format);

// Expands %d %s %b %v %o %e %c %n %l %a %j %q in that order; later symbols are also replaced
// inside text inserted for earlier ones.
std::string BuildFilename(const FilenameFormatDefinition& format, const FilenameValues& values);

// The four built-in definitions, with or without the time; Custom gives the
// DCF style, as does any value outside the list.
FilenameFormatDefinition BuiltInFormat(FilenameFormat format, bool hasTime);

// The definition a run uses for a file: a built-in one, or the custom one.
FilenameFormatDefinition FormatForRun(const RunOptions& options, bool hasTime);

// The per-file naming step: the new filename of a timestamped file for the
// given serial number (0: no serial part).
std::string NewFilename(const FileFacts& facts, const RunOptions& options, std::int32_t serialNumber);
// The values of the camera and the import a run's names take from a file
// (none when its format holds no such symbol): made once per file, not for
// every serial number tried.
FilenameValues CameraValuesFor(const FileFacts& facts, const RunOptions& options);
std::string NewFilename(const FileFacts& facts, const RunOptions& options, std::int32_t serialNumber,
                        const FilenameValues& camera);

// CameraValuesFor over the files of a walk, one after another: the values
// of the camera met last are made fit for a name once, not for every file.
// The options are the walk's, the same at every call; what is returned
// holds until the next call.
class CameraValueMemo {
public:
    const FilenameValues& For(const FileFacts& facts, const RunOptions& options);
    // FillCameraValues, likewise.
    const FilenameValues& Fill(const FileFacts& facts, const std::string& job);

private:
    std::array<std::string, 6> met_;  // make, model, serial, lens, artist, job
    FilenameValues values_, none_;
    bool held_ = false;
    std::optional<bool> holds_;  // whether the walk's names take the camera's values
};

// A file's new names, one for each serial number tried: everything but the
// serial number's part is built once.
class SerialNamer {
public:
    SerialNamer(const FileFacts& facts, const RunOptions& options, const FilenameValues& camera);
    std::string operator()(std::int32_t serialNumber) const;

private:
    struct Made {
        const FilenameFormatDefinition* format;  // the run's options' or a built-in one
        FilenameValues values;
        std::vector<std::string> pieces;  // the name around its serial parts; empty: built whole each time
    };
    std::shared_ptr<const Made> made_;  // shared by the copies a placement takes
};

}  // namespace ravlen
