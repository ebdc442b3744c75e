#include "app/clocks/camera_survey.h"

#include <algorithm>
#include <map>
#include <utility>

namespace ravlen {

std::vector<CameraSummary> SummarizeCameras(const std::vector<FileRow>& rows, const std::vector<CameraOffset>& offsets) {
    std::map<CameraId, std::vector<FileRow>> byCamera;
    std::vector<FileRow> unnamed;
    for (const FileRow& row : rows) {
        if (row.Status != ListStatus::Place) continue;
        (row.Camera.Known() ? byCamera[row.Camera] : unnamed).push_back(row);
    }
    std::vector<CameraSummary> cameras;
    for (auto& [camera, files] : byCamera) cameras.push_back({camera, std::move(files), OffsetFor(offsets, camera), std::nullopt});
    if (!unnamed.empty()) cameras.push_back({CameraId{}, std::move(unnamed), TimeShift{}, std::nullopt});
    for (CameraSummary& camera : cameras) {
        std::stable_sort(camera.Files.begin(), camera.Files.end(), [](const FileRow& a, const FileRow& b) {
            return a.DateBeforeShift < b.DateBeforeShift;
        });
        std::vector<std::int64_t> errors;
        for (const FileRow& file : camera.Files)
            if (file.ClockError) errors.push_back(*file.ClockError);
        // The median: a photo whose GPS had no fix yet does not move it.
        if (!errors.empty() && camera.Camera.Known()) {
            std::nth_element(errors.begin(), errors.begin() + static_cast<std::ptrdiff_t>(errors.size() / 2), errors.end());
            camera.ClockError = errors[errors.size() / 2];
        }
    }
    return cameras;
}

CameraSurvey SurveyCameras(RunServices services, RunOptions options) {
    services.cameraNames = true;
    services.saveSettings = nullptr;
    UserPort& port = services.port;
    RunDriver driver(std::move(services));
    CameraSurvey survey;
    survey.Outcome = driver.List(options);
    if (survey.Outcome == RunOutcome::Ended) return survey;
    survey.Stopped = port.Cancel();
    // The check of the run has refused offsets of another form already.
    survey.Cameras = SummarizeCameras(driver.Files().Rows(), KeptCameraOffsets(options.CameraOffsets));
    return survey;
}

std::string CameraLine(const CameraSummary& camera) {
    std::string line = EscapeListField(camera.Camera.Make);
    for (const std::string& field :
         {camera.Camera.Model, camera.Camera.Serial, std::to_string(camera.Files.size()), camera.First().FormatFull(),
          camera.Last().FormatFull(), camera.Offset.IsNone() ? std::string() : camera.Offset.Text(),
          camera.ClockError ? TimeShift{*camera.ClockError}.Text() : std::string()})
        line += '\t' + EscapeListField(field);
    return line;
}

}  // namespace ravlen
