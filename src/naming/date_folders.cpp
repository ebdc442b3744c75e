#include "naming/date_folders.h"

#include "naming/filename_builder.h"
#include "naming/format_validation.h"

namespace ravlen {

std::optional<DateFolderPattern> DateFolderPattern::Parse(std::string_view format, std::string* problem) {
    const auto refuse = [problem](std::string why) {
        if (problem) *problem = std::move(why);
        return std::nullopt;
    };
    if (format.empty()) return refuse("Zero length");
    if (format.front() == '/') return refuse("Begins with \"/\"");
    // "/" inside quotes is text of the folder's name, and is refused below as such.
    DateFolderPattern pattern;
    pattern.parts_.emplace_back();
    bool quoted = false;
    for (const char c : format) {
        if (c == '"') quoted = !quoted;
        if (c == '/' && !quoted) pattern.parts_.emplace_back();
        else pattern.parts_.back().push_back(c);
    }
    if (quoted) return refuse("Double quote not closed");
    // Date codes give digits only, so one date shows what every date gives.
    const DateTime sample = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);
    for (const std::string& part : pattern.parts_) {
        const std::string name = FormatDate(sample, part);
        if (name.empty()) return refuse("Empty folder name");
        if (name.find('\0') != std::string::npos) return refuse("Illegal character: NUL");
        if (std::string why = NameTextProblem(name); !why.empty()) return refuse(std::move(why));
        if (name == "." || name == "..") return refuse("Folder name \"" + name + "\" not allowed");
    }
    return pattern;
}

std::vector<std::string> DateFolderPattern::Folders(const DateTime& when) const {
    std::vector<std::string> names;
    names.reserve(parts_.size());
    for (const std::string& part : parts_) names.push_back(FormatDate(when, part));
    return names;
}

std::string DateFolderFormatProblem(std::string_view format) {
    std::string problem;
    DateFolderPattern::Parse(format, &problem);
    return problem;
}

std::string DateFolderFormatMessage(std::string_view format, const std::string& problem) {
    return "The date folder format \"" + std::string(format) + "\" cannot be used.\r\n\r\nProblem:  " + problem +
           "\r\n\r\nSeparate the folders with \"/\", write the date with yyyy, mm, dd, hh, nn and ss, and put "
           "other text between double quotes, for example yyyy/yyyy-mm-dd or yyyy/\"Summer \"yyyy.";
}

std::string DateFolderSample(std::string_view format, const DateTime& when) {
    const std::optional<DateFolderPattern> pattern = DateFolderPattern::Parse(format);
    if (!pattern) return {};
    std::string path;
    for (const std::string& name : pattern->Folders(when)) path += (path.empty() ? "" : "/") + name;
    return path;
}

}  // namespace ravlen
