#pragma once
// Opening the user guide and the maker's links with the desktop.

#include <functional>
#include <string>

#include "ui/messages.h"

namespace ravlen::ui {

// Opens a document or link with the desktop; false, with the reason in
// `error` (possibly empty), when it cannot.
using DesktopOpener = std::function<bool(const std::string& target, std::string& error)>;

inline constexpr const char* kUserGuideName = "Ravlen User Guide.htm";

// The user guide beside the program.
std::string UserGuidePath(const std::string& programFolder);

// "Unable to open "<what>"." or, with a reason, "... due to the following error: <reason>."
std::string UnableToOpenMessage(const std::string& what, const std::string& error);

// Opens the user guide; on failure tells the user ("Show Help") and returns false.
bool ShowHelp(const Messenger& messenger, const DesktopOpener& open, const std::string& programFolder);

}  // namespace ravlen::ui
