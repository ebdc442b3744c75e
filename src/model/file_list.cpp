#include "model/file_list.h"

#include <cstring>
#include <utility>

#include "model/file_facts.h"
#include "model/gps_clock.h"
#include "model/name_value.h"

namespace ravlen {

const char* StatusWord(ListStatus status) {
    switch (status) {
        case ListStatus::Place: return "place";
        case ListStatus::Skip: return "skip";
        case ListStatus::AlreadyImported: return "already-imported";
        case ListStatus::Excluded: return "excluded";
    }
    return "skip";
}

void FileList::Add(const FileFacts& f) {
    FileRow row;
    row.SourceName = f.SourceFileName;
    row.SourceFolder = f.SourceFolder;
    row.HasDate = !f.DateSource.empty();
    row.Date = f.TimestampDateTime;
    row.DateSource = f.DateSource;
    row.Size = f.Size;
    row.ThumbnailOffset = f.ThumbnailOffset;
    row.ThumbnailLength = f.ThumbnailLength;
    row.Camera = CameraId::Of(f);
    row.DateBeforeShift = f.DateBeforeShift;
    row.ClockError = ClockErrorSeconds(f);
    row.CameraName = NameValue(ShortCameraName(f.CameraMake, f.CameraModel));
    row.BodySerial = NameValue(f.CameraSerial);
    row.Lens = NameValue(f.LensModel);
    row.Artist = NameValue(f.Artist);
    row.JobCode = NameValue(f.JobCode);
    if (f.Timestamped && f.ContinuingNumber > 0) row.ContinuingNumber = std::to_string(f.ContinuingNumber);
    // The re-import check names the identical file already there as the output.
    if (f.Operation == FileOperation::AlreadyImported) row.Status = ListStatus::AlreadyImported;
    else row.Status = f.Timestamped ? ListStatus::Place : ListStatus::Skip;
    if (row.Status != ListStatus::Skip) {
        row.OutputName = f.OutputFileName;
        row.OutputFolder = f.OutputFolder;
    } else {
        row.Reason = f.Notes;
    }
    rows_.push_back(std::move(row));
}

void FileList::AddExcluded(const FsItem& file, const std::string& folder, std::string reason) {
    FileRow row;
    row.SourceName = file.Name;
    row.SourceFolder = folder;
    row.Status = ListStatus::Excluded;
    row.Size = file.Size;
    row.Reason = std::move(reason);
    rows_.push_back(std::move(row));
}

std::string EscapeListField(std::string_view text) {
    // Most fields hold nothing to escape: four fast scans say so, and a
    // line is made for every file.
    if (text.empty()) return {};
    std::size_t first = text.size();
    for (const char c : {'\t', '\n', '\r', '\\'})
        if (const void* at = std::memchr(text.data(), c, first))
            first = static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
    std::string out;
    out.reserve(text.size() + (first < text.size() ? 8 : 0));
    out.append(text, 0, first);
    for (std::size_t i = first; i < text.size(); ++i) {
        switch (const char c = text[i]) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

std::string ListLine(const FileRow& row) {
    std::string line = EscapeListField(row.SourcePath());
    for (const std::string& field : {row.OutputPath(), row.HasDate ? row.Date.FormatFull() : std::string(),
                                     row.DateSource, std::string(StatusWord(row.Status)), row.Reason,
                                     row.CameraName, row.BodySerial, row.Lens, row.Artist, row.JobCode,
                                     row.ContinuingNumber})
        line.append(1, '\t').append(EscapeListField(field));
    return line;
}

}  // namespace ravlen
