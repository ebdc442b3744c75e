#include "app/settings/special_folders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace ravlen {

namespace {

std::string Location(QStandardPaths::StandardLocation location) {
    return QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString();
}

}  // namespace

std::string QtSpecialFolders::Pictures(bool create) {
    const std::string path = Location(QStandardPaths::PicturesLocation);
    if (path.empty()) return path;
    if (create && !QDir().mkpath(QFile::decodeName(QByteArray::fromStdString(path)))) return {};
    return path;
}

std::string QtSpecialFolders::Documents() { return Location(QStandardPaths::DocumentsLocation); }

std::string QtSpecialFolders::Home() { return Location(QStandardPaths::HomeLocation); }

}  // namespace ravlen
