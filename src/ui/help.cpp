#include "ui/help.h"

#include <QFileInfo>
#include <QString>

namespace ravlen::ui {

std::string UserGuidePath(const std::string& programFolder) {
    if (!programFolder.empty() && programFolder.back() == '/') return programFolder + kUserGuideName;
    return programFolder + "/" + kUserGuideName;
}

namespace {

// An error text that already ends in a full stop does not get a second one.
std::string Sentence(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text;
}

}  // namespace

std::string UnableToOpenMessage(const std::string& what, const std::string& error) {
    std::string text = "Unable to open \"" + what + "\"";
    std::string reason = Sentence(error);
    if (!reason.empty()) text += " due to the following error: " + reason;
    return text + ".";
}

bool ShowHelp(const Messenger& messenger, const DesktopOpener& open, const std::string& programFolder) {
    const std::string path = UserGuidePath(programFolder);
    std::string error;
    // A missing guide is a failure whatever the desktop's handler would make
    // of it (some open an empty browser tab and report success).
    const bool opened = QFileInfo(QString::fromStdString(path)).isFile() && open && open(path, error);
    if (opened) return true;
    messenger.Show(UnableToOpenMessage(path, error), MsgIcon::Exclamation, MsgButtons::OK, "Show Help");
    return false;
}

}  // namespace ravlen::ui
