#include "naming/date_folders.h"

#include <algorithm>
#include <iterator>

#include "naming/filename_builder.h"
#include "naming/format_validation.h"

namespace ravlen {
namespace {

constexpr std::string_view kFolderSymbols = "cnlajq";

// A symbol's value as its format writes it, made fit for a folder's name.
std::string SymbolText(char symbol, const FilenameValues& v, const FilenameFormatDefinition& f) {
    std::string text;
    switch (symbol) {
    case 'c': text = v.Camera.empty() ? "" : FormatTextValue(v.Camera, f.CameraFormat); break;
    case 'n': text = v.BodySerial.empty() ? "" : FormatTextValue(v.BodySerial, f.BodySerialFormat); break;
    case 'l': text = v.Lens.empty() ? "" : FormatTextValue(v.Lens, f.LensFormat); break;
    case 'a': text = v.Artist.empty() ? "" : FormatTextValue(v.Artist, f.ArtistFormat); break;
    case 'j': text = v.Job.empty() ? "" : FormatTextValue(v.Job, f.JobFormat); break;
    default: text = v.Sequence < 1 ? "" : FormatNumberValue(v.Sequence, f.SequenceFormat); break;
    }
    return NameValue(text);
}

// A folder's date format with the symbols outside quotes put in as quoted
// text (a value never holds a double quote), so that the date codes leave
// them alone.
std::string WithSymbols(const std::string& part, const FilenameValues& v, const FilenameFormatDefinition& f) {
    if (part.find('%') == std::string::npos) return part;
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < part.size(); ++i) {
        const char c = part[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '%' && i + 1 < part.size() && kFolderSymbols.find(part[i + 1]) != std::string_view::npos) {
            out += '"' + SymbolText(part[i + 1], v, f) + '"';
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The runs of letters outside double quotes that are neither a date code nor
// a "%" symbol, each quoted, joined by ", ": "Summer" would otherwise become
// "Su10er". Empty when there are none.
std::string StrayLetters(std::string_view part) {
    static constexpr std::string_view kCodes[] = {"yyyy", "mm", "dd", "hh", "nn", "ss"};
    std::string found, run;
    const auto endRun = [&] {
        if (run.empty()) return;
        found += (found.empty() ? "\"" : ", \"") + run + "\"";
        run.clear();
    };
    bool quoted = false;
    for (std::size_t i = 0; i < part.size();) {
        const char c = part[i];
        if (c == '"') quoted = !quoted;
        if (quoted || c == '"') {
            endRun();
            ++i;
            continue;
        }
        const std::string_view rest = part.substr(i);
        const auto code = std::find_if(std::begin(kCodes), std::end(kCodes),
                                       [rest](std::string_view k) { return rest.starts_with(k); });
        if (code != std::end(kCodes) || (c == '%' && rest.size() > 1 && IsLetter(rest[1]))) {
            endRun();
            i += code != std::end(kCodes) ? code->size() : 2;
        } else if (IsLetter(c)) {
            run.push_back(c);
            ++i;
        } else {
            endRun();
            ++i;
        }
    }
    endRun();
    return found;
}

}  // namespace

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
    for (const std::string& part : pattern.parts_)
        if (std::string letters = StrayLetters(part); !letters.empty())
            return refuse("Letters that are not date codes: " + letters);
    // Date codes give digits only, so one date shows what every date gives;
    // the symbols' values are made fit for a name, so their samples stand
    // for them.
    const DateTime sample = *DateTime::FromFields(2004, 12, 25, 18, 9, 11);
    FilenameValues values;
    AddSampleCameraValues(values);
    const FilenameFormatDefinition formats;
    for (const std::string& part : pattern.parts_) {
        const std::string name = FormatDate(sample, WithSymbols(part, values, formats), values.SubSeconds);
        if (name.empty()) return refuse("Empty folder name");
        if (name.find('\0') != std::string::npos) return refuse("Illegal character: NUL");
        if (std::string why = NameTextProblem(name); !why.empty()) return refuse(std::move(why));
        if (name == "." || name == "..") return refuse("Folder name \"" + name + "\" not allowed");
    }
    return pattern;
}

std::vector<std::string> DateFolderPattern::Folders(const DateTime& when) const {
    return Folders(when, FilenameValues{}, FilenameFormatDefinition{});
}

std::vector<std::string> DateFolderPattern::Folders(const DateTime& when, const FilenameValues& values,
                                                    const FilenameFormatDefinition& formats) const {
    std::vector<std::string> names;
    names.reserve(parts_.size());
    for (const std::string& part : parts_)
        if (std::string name = FormatDate(when, WithSymbols(part, values, formats), values.SubSeconds); !name.empty())
            names.push_back(std::move(name));
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
    FilenameValues values;
    AddSampleCameraValues(values);
    for (const std::string& name : pattern->Folders(when, values, FilenameFormatDefinition{})) path += (path.empty() ? "" : "/") + name;
    return path;
}

}  // namespace ravlen
