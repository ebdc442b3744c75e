#include "platform/desktop_services.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <unordered_map>

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QProcess>
#include <QString>
#include <QUrl>

namespace ravlen {
namespace {

bool (*sessionOpener)(const std::string& url) = nullptr;

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PlainDescription(const std::string& path) {
    const std::string name = NameOf(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size()) return "File";
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext + " file";
}

// "http://...", "mailto:...": a scheme of two or more letters, then ":".
bool LooksLikeUrl(const std::string& target) {
    std::size_t i = 0;
    while (i < target.size()) {
        const char c = target[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!(letter || (i > 0 && other))) break;
        ++i;
    }
    return i >= 2 && i < target.size() && target[i] == ':';
}

std::string ProgramPath() {
    std::error_code ec;
    std::string exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec) return {};
    // A program file replaced while running reads "... (deleted)".
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.resize(exe.size() - deleted.size());
    return exe;
}

}  // namespace

std::string MimeTypeDescription(const std::string& path) {
    // The database matches a name against every pattern it knows, a cost of
    // each file logged; a card's names differ in their numbers alone, and no
    // pattern tells types apart by the digits before a name's first dot.
    std::string key = NameOf(path);
    for (char& c : key) {
        if (c == '.') break;
        if (c >= '0' && c <= '9') c = '0';
    }
    static std::mutex guard;
    static std::unordered_map<std::string, std::string> known;
    constexpr std::size_t kKnown = 1024;
    {
        const std::lock_guard<std::mutex> lock(guard);
        if (const auto found = known.find(key); found != known.end()) return found->second;
    }
    static const QMimeDatabase db;
    // By name only: reading the content of every file would cost a disk read each.
    std::string description;
    const QList<QMimeType> types = db.mimeTypesForFileName(QFile::decodeName(key.c_str()));
    if (!types.isEmpty()) description = types.first().comment().toStdString();
    if (description.empty()) description = PlainDescription(path);
    const std::lock_guard<std::mutex> lock(guard);
    if (known.size() >= kKnown) known.clear();
    known.emplace(std::move(key), description);
    return description;
}

bool OpenWithDesktop(const std::string& target, std::string& error) {
    error.clear();
    std::string text = target;
    // Callers may hand over a target quoted the way a shell would want it.
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    if (text.empty()) {
        error = std::generic_category().message(ENOENT);
        return false;
    }

    QUrl url;
    if (!text.empty() && text.front() != '/' && LooksLikeUrl(text)) {
        url = QUrl(QString::fromStdString(text), QUrl::TolerantMode);
    } else {
        struct stat st{};
        if (stat(text.c_str(), &st) != 0) {
            error = std::generic_category().message(errno);
            return false;
        }
        url = QUrl::fromLocalFile(QFileInfo(QFile::decodeName(text.c_str())).absoluteFilePath());
    }
    if (!url.isValid()) {
        error = "The address is not valid: " + url.errorString().toStdString();
        return false;
    }

    if (sessionOpener) {
        if (sessionOpener(url.toString(QUrl::FullyEncoded).toStdString())) return true;
        error = "No application could open it";
        return false;
    }
    // Without a desktop session of our own (the terminal program), the
    // desktop's own opener does the same job.
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)})) return true;
    error = "No application could open it";
    return false;
}

void SetSessionOpener(bool (*open)(const std::string& url)) { sessionOpener = open; }

std::string ProgramFolder() {
    const std::string exe = ProgramPath();
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string ProgramFileName() {
    const std::string name = NameOf(ProgramPath());
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace ravlen
