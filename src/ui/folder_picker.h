#pragma once
// Choosing the source or output folder.

#include <functional>
#include <optional>
#include <string>

#include "model/file_system.h"
#include "ui/messages.h"

class QWidget;

namespace ravlen::ui {

// Shows a folder chooser titled `title` starting at `start`; empty when cancelled.
using FolderDialog = std::function<std::string(QWidget* parent, const std::string& title, const std::string& start)>;

// The desktop's folder chooser.
std::string ChooseFolderWithDesktop(QWidget* parent, const std::string& title, const std::string& start);

// The desktop's file chooser, asking for a run's CSV log; empty when cancelled.
std::string ChooseRunLog(QWidget* parent, const std::string& start);

// Where a chooser opens: the folder now chosen while it exists, else `fallback`.
std::string PickerStart(FileSystem& fs, const std::string& current, const std::string& fallback);
// The user's home folder.
std::string HomeFolder();
// Where the desktop mounts the user's cards (/media/<user>) while it exists,
// else the home folder.
std::string CardsFolder(FileSystem& fs);

// Runs the chooser until it gives a usable answer: the chosen folder without
// a trailing "/" (except the root), or nothing when cancelled or the folder
// does not exist (after telling the user).
std::optional<std::string> PickFolder(QWidget* parent, const FolderDialog& dialog, const Messenger& messenger,
                                      FileSystem& fs, const std::string& title, const std::string& start);

}  // namespace ravlen::ui
