#include "app/run/run_plan.h"

#include "app/run/movie_zone.h"
#include "model/camera_clock.h"
#include "model/time_shift.h"
#include "naming/date_folders.h"
#include "naming/filename_builder.h"

namespace ravlen {

std::optional<OptionRefusal> RefusedOption(const RunOptions& options) {
    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    if (!TimeShift::Parse(options.TimeShift))
        return OptionRefusal{OptionRefused::TimeShift, "The time shift " + quoted(options.TimeShift) +
                                                            " is not valid. " + kTimeShiftForm};
    if (options.DateFolders)
        if (const std::string problem = DateFolderFormatProblem(options.DateFolderFormat); !problem.empty())
            return OptionRefusal{OptionRefused::DateFolderFormat,
                                 DateFolderFormatMessage(options.DateFolderFormat, problem)};
    if (!IsKnownTimeZone(options.MovieTimeZone))
        return OptionRefusal{OptionRefused::MovieTimeZone,
                             "The movie time zone " + quoted(options.MovieTimeZone) +
                                 " is not a time zone this computer knows. Type a name such as Europe/Paris, or "
                                 "leave it empty for this computer's zone."};
    if (options.SetFileTime && !options.WritesCsvLog())
        return OptionRefusal{OptionRefused::SetFileTimeNeedsCsv, kSetFileTimeNeedsCsv};
    if (!ParseCameraOffsets(options.CameraOffsets))
        return OptionRefusal{OptionRefused::CameraOffsets, "The camera clock offsets " +
                                                                quoted(options.CameraOffsets) +
                                                                " are not valid. Set them again in Camera clocks...."};
    if (NeedsJobCode(options) && NameValue(options.JobCode).empty())
        return OptionRefusal{OptionRefused::JobCodeNeeded, kJobCodeNeeded};
    return std::nullopt;
}

}  // namespace ravlen
