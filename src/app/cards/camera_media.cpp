#include "app/cards/camera_media.h"

#include <exception>
#include <filesystem>
#include <optional>

#include "engine/rename_files.h"
#include "model/version.h"

namespace ravlen {

namespace {

// "/media/card/" and "/media/card" name the same mount point.
std::string Normalised(const std::string& path) {
    if (path.empty()) return path;
    std::string text = std::filesystem::path(path).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool IsCameraCard(const DriveInfo& drive, FileSystem& fs) {
    if (!drive.Ready || !drive.Removable || drive.MountPoint.empty()) return false;
    try {
        return fs.FolderExists(JoinPath(drive.MountPoint, "DCIM"));
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<DriveInfo> DrivesOrNone(DriveList& drives) {
    try {
        return drives.Drives();
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<DriveInfo> FirstCameraDrive(const RunOptions& options, DriveList& drives, FileSystem& fs) {
    const std::string source = Normalised(options.SourcePath);
    for (const DriveInfo& drive : DrivesOrNone(drives)) {
        // A card that is already the source is passed over, so that a second
        // card is offered instead.
        if (IsCameraCard(drive, fs) && Normalised(drive.MountPoint) != source) return drive;
    }
    return std::nullopt;
}

}  // namespace

std::vector<DriveInfo> CameraCards(DriveList& drives, FileSystem& fs) {
    std::vector<DriveInfo> cards;
    for (DriveInfo& drive : DrivesOrNone(drives))
        if (IsCameraCard(drive, fs)) cards.push_back(std::move(drive));
    return cards;
}

std::string CameraMediaQuestion(const DriveInfo& drive) {
    const std::string label = drive.VolumeLabel.empty() ? "(Removable Disk)" : "(" + drive.VolumeLabel + ")";
    return Version().ProductName + " has found digital camera files on drive:\r\n\r\n\t" + drive.MountPoint + "  " +
           label + "\r\n\r\nSet Source Folder to the root of this drive?";
}

void DetectCameraMedia(bool ask, RunOptions& options, DriveList& drives, FileSystem& fs, UserPort& port) {
    const std::optional<DriveInfo> drive = FirstCameraDrive(options, drives, fs);
    if (!drive) return;

    std::int32_t found = 0;
    try {
        FileFilter filter = FileFilter::Of(options);
        filter.IncludeSubfolders = true;  // a card keeps its pictures in folders below DCIM
        found = CountFiles(fs, JoinPath(drive->MountPoint, "DCIM"), filter, true);
    } catch (const std::exception&) {
        found = 0;
    }
    // Only the first card with a DCIM folder is examined.
    if (found <= 0) return;

    if (ask && port.MessageBox(CameraMediaQuestion(*drive), MsgIcon::Question, MsgButtons::YesNo,
                               Version().Title) != MsgAnswer::Yes)
        return;
    // The root of the card, not its DCIM folder, with the pictures of every
    // DCIM subfolder gathered into the output folder.
    options.SourcePath = drive->MountPoint;
    options.ProcessSubfolders = ProcessSubfolders::Flatten;
}

}  // namespace ravlen
