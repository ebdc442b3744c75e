#pragma once
// The one check of a run's text options, shared by the window and the
// runner before a run starts; the run then reads them parsed (model/run_plan.h).

#include <optional>
#include <string>

#include "model/run_options.h"

namespace ravlen {

// Why SetFileTime is refused without the CSV log.
inline constexpr const char* kSetFileTimeNeedsCsv =
    "Setting the files' modified times needs the CSV log: the undo puts each file's old time back from it. "
    "Choose CSV or Both for the log, or clear the option to set the files' times.";

// Why a run whose names or folders use the job code cannot start without one.
inline constexpr const char* kJobCodeNeeded =
    "This run needs a job code: the filename template, the date folder format or the numbers counted per job "
    "code use it. Type a job code, or take %j out of the formats.";

// Which option a run cannot start with.
enum class OptionRefused { TimeShift, DateFolderFormat, MovieTimeZone, SetFileTimeNeedsCsv, CameraOffsets, JobCodeNeeded };

struct OptionRefusal {
    OptionRefused Option;
    std::string Message;  // what the user is told
};

// The first option the run cannot start with, in the order they are
// checked; nothing when every one can be used.
std::optional<OptionRefusal> RefusedOption(const RunOptions& options);

}  // namespace ravlen
