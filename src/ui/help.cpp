#include "ui/help.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include "ui/help_viewer.h"

namespace ravlen::ui {

namespace {

bool IsFile(const std::string& path) { return QFileInfo(QString::fromStdString(path)).isFile(); }

// An error text that already ends in a full stop does not get a second one.
std::string Sentence(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text;
}

}  // namespace

std::string UserGuidePath(const std::string& programFolder) {
    const QString folder = QString::fromStdString(programFolder);
    const std::string beside = QDir::cleanPath(folder + "/" + kUserGuideName).toStdString();
    if (IsFile(beside)) return beside;
    return QDir::cleanPath(folder + "/../share/ravlen/" + kUserGuideName).toStdString();
}

std::string UnableToOpenMessage(const std::string& what, const std::string& error) {
    std::string text = "Unable to open \"" + what + "\"";
    std::string reason = Sentence(error);
    if (!reason.empty()) text += " due to the following error: " + reason;
    return text + ".";
}

bool ShowHelp(const Messenger& messenger, const DesktopOpener& open, const std::string& programFolder,
              QWidget* owner) {
    const std::string path = UserGuidePath(programFolder);
    // A missing guide is a failure whatever the desktop's handler would make
    // of it (some open an empty browser tab and report success).
    if (!IsFile(path)) {
        messenger.Show(UnableToOpenMessage(path, {}), MsgIcon::Exclamation, MsgButtons::OK, "Show Help");
        return false;
    }
    std::string error;
    if (open && open(path, error)) return true;
    ShowHelpViewer(owner, path);
    return true;
}

}  // namespace ravlen::ui
