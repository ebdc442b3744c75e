#pragma once
// The cameras of a source folder, for setting their clocks right: the files
// of each that the run would place, when its clock says the first and the
// last were recorded, and the offset kept for it.

#include <string>
#include <vector>

#include "app/run/run_driver.h"
#include "model/camera_clock.h"
#include "model/file_list.h"

namespace ravlen {

struct CameraSummary {
    CameraId Camera;  // empty for the files that name no camera
    // Its files, in the order its clock recorded them (DateBeforeShift).
    std::vector<FileRow> Files;
    TimeShift Offset;  // the offset in force for it
    // Its clock's lead over the GPS time its files store (their median), in
    // seconds; nothing when none stores both.
    std::optional<std::int64_t> ClockError;

    const DateTime& First() const { return Files.front().DateBeforeShift; }
    const DateTime& Last() const { return Files.back().DateBeforeShift; }
};

// The rows the run would place, by camera: cameras in order of make, model
// and serial number, then one entry for the files that name no camera (an
// offset never applies to them, yet they show what is left uncorrected).
std::vector<CameraSummary> SummarizeCameras(const std::vector<FileRow>& rows, const std::vector<CameraOffset>& offsets);

struct CameraSurvey {
    RunOutcome Outcome = RunOutcome::Ended;  // Ended: a check refused the run (its message was shown)
    bool Stopped = false;                    // Stop came first: only the files read before it
    std::vector<CameraSummary> Cameras;
};

// The run's own preview pass over the source folder (its checks, filters,
// reads ahead and Stop), each camera named as a run with offsets names it;
// nothing placed, created or saved.
CameraSurvey SurveyCameras(RunServices services, RunOptions options);

// A camera's line of `ravlen-run --cameras`, without its newline: make,
// model, serial, number of files, first and last recording time, offset in
// force (empty for none), the clock's error against GPS (empty for none),
// tab-separated and escaped as --list escapes.
std::string CameraLine(const CameraSummary& camera);

}  // namespace ravlen
