#pragma once
// Opening the user guide and the maker's links with the desktop.

#include <functional>
#include <string>

#include "ui/messages.h"

class QWidget;

namespace ravlen::ui {

// Opens a document or link with the desktop; false, with the reason in
// `error` (possibly empty), when it cannot.
using DesktopOpener = std::function<bool(const std::string& target, std::string& error)>;

inline constexpr const char* kUserGuideName = "Ravlen User Guide.htm";

// The user guide: beside the program (a build tree), else in the data folder
// of the installation the program belongs to (<prefix>/share/ravlen beside
// <prefix>/bin). When neither holds it, the installed place.
std::string UserGuidePath(const std::string& programFolder);

// "Unable to open "<what>"." or, with a reason, "... due to the following error: <reason>."
std::string UnableToOpenMessage(const std::string& what, const std::string& error);

// Opens the user guide with the desktop or, when the desktop cannot (no web
// browser), in the program's own viewer, a window of `owner`. Tells the user
// ("Show Help") and returns false only when there is no guide.
bool ShowHelp(const Messenger& messenger, const DesktopOpener& open, const std::string& programFolder,
              QWidget* owner);

}  // namespace ravlen::ui
