#include "ui/folder_picker.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QString>

namespace ravlen::ui {

std::string ChooseFolderWithDesktop(QWidget* parent, const std::string& title, const std::string& start) {
    return QFileDialog::getExistingDirectory(parent, QString::fromStdString(title), QString::fromStdString(start),
                                             QFileDialog::ShowDirsOnly)
        .toStdString();
}

std::string ChooseRunLog(QWidget* parent, const std::string& start) {
    const QString file = QFileDialog::getOpenFileName(parent, QObject::tr("Undo a run"), QString::fromStdString(start),
                                                      QObject::tr("CSV logs (*.csv)"));
    return QFile::encodeName(file).toStdString();
}

std::string PickerStart(FileSystem& fs, const std::string& current, const std::string& fallback) {
    return !current.empty() && fs.FolderExists(current) ? current : fallback;
}

std::string HomeFolder() { return QFile::encodeName(QDir::homePath()).toStdString(); }

std::string CardsFolder(FileSystem& fs) {
    const passwd* user = getpwuid(getuid());
    const std::string media = user ? JoinPath("/media", user->pw_name) : std::string();
    return !media.empty() && fs.FolderExists(media) ? media : HomeFolder();
}

std::optional<std::string> PickFolder(QWidget* parent, const FolderDialog& dialog, const Messenger& messenger,
                                      FileSystem& fs, const std::string& title, const std::string& start) {
    // A chooser that keeps answering with nonsense is given up on rather than
    // trapping the user in a loop of messages.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = dialog(parent, title, start);
        if (name.empty()) return std::nullopt;
        if (name.find('/') == std::string::npos) {
            messenger.Show("You have selected an invalid folder. Please try again.", MsgIcon::Information,
                           MsgButtons::OK, title);
            continue;
        }
        while (name.size() > 1 && name.back() == '/') name.pop_back();
        if (!fs.FolderExists(name)) {
            messenger.Show("CommonDialog returned invalid path despite cdlOFNPathMustExist", MsgIcon::Critical,
                           MsgButtons::OK, title);
            return std::nullopt;
        }
        return name;
    }
    return std::nullopt;
}

}  // namespace ravlen::ui
