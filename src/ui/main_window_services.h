#pragma once
// What the main window works with, so that tests can stand in for any of it.

#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "app/clocks/camera_clock_table.h"
#include "app/devices/device_arrivals.h"
#include "app/settings/settings_store.h"
#include "model/drive_list.h"
#include "model/file_system.h"
#include "model/run_journal.h"
#include "ui/folder_picker.h"
#include "ui/help.h"
#include "ui/messages.h"

class QWidget;

namespace ravlen::ui {

// Anything left empty is the real thing: the Linux file system, the user's
// settings store, the mounted drives, the desktop's folders, message boxes,
// folder chooser and document opener.
struct MainWindowServices {
    std::unique_ptr<FileSystem> fileSystem;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<DriveList> drives;
    // The cameras and phones on the USB ports (libgphoto2).
    std::shared_ptr<DeviceLister> devices;
    std::unique_ptr<SpecialFolders> specialFolders;
    MessageHook messageHook;
    FolderDialog folderDialog;
    // Asks for a run's CSV log to undo; "" when cancelled.
    std::function<std::string(QWidget* parent, const std::string& start)> logDialog;
    // Asks which of the recent runs to undo (newest first); its id, "" when cancelled.
    std::function<std::string(QWidget* parent, const std::vector<JournalRun>& runs)> runDialog;
    DesktopOpener open;
    std::string programFolder;
    // Stands in for the custom format dialog.
    std::function<std::optional<FilenameFormatDefinition>(QWidget* owner, const FilenameFormatDefinition&)>
        editCustomFormat;
    // Stands in for the Camera clocks dialog: the CameraOffsets text on OK.
    std::function<std::optional<std::string>(QWidget* owner, CameraClockTable table, const std::string& note)>
        editCameraClocks;
    // Stands in for the job code question at Go: the code typed or picked
    // from `recent` (the last ten, the run's own first), nothing on Cancel.
    std::function<std::optional<std::string>(QWidget* owner, const std::vector<std::string>& recent)> askJobCode;
};

}  // namespace ravlen::ui
