#include "engine/camera_zones.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "model/run_tally.h"

namespace ravlen {
namespace {

// Files that hold no photo's zone: passed over by the survey unread.
constexpr std::array<std::string_view, 14> kNoPhotoExtensions = {
    "mov", "mp4", "m4v", "3gp", "3g2", "mts", "m2ts", "avi", "lrv", "insv", "wav", "mp3", "m4a", "thm"};

std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

std::string ExtensionFolded(const std::string& name) { return Folded(ExtensionOf(name)); }

void SurveyFolder(FileSource& fs, const ReadHooks& hooks, const RunOptions& options, const FileFilter& filter,
                  const std::string& folder, CameraZones& zones) {
    std::vector<FsItem> files, folders;
    if (!fs.ListFolder(folder, files, folders)) return;
    for (const FsItem& file : files) {
        if (hooks.stopped && hooks.stopped()) return;
        const std::string extension = ExtensionFolded(file.Name);
        if (!filter.PassesFile(file) ||
            std::find(kNoPhotoExtensions.begin(), kNoPhotoExtensions.end(), extension) != kNoPhotoExtensions.end())
            continue;
        FileFacts facts;
        MetadataPass pass;
        pass.CameraTextsAnywhere = true;
        RunTally scratch;
        for (int attempt = 0; attempt < 2; ++attempt) {
            facts = FileFacts{};
            facts.SourceFileName = file.Name, facts.SourceFilePath = file.Path, facts.Size = file.Size;
            facts.Extension = ExtensionOf(file.Name);
            if (ReadMetadata(fs, hooks, options, facts, pass, scratch) == MetadataOutcome::Done) break;
        }
        zones.Learn(facts);
    }
    if (!filter.IncludeSubfolders) return;
    for (const FsItem& sub : folders)
        if (filter.PassesFolder(sub)) SurveyFolder(fs, hooks, options, filter, sub.Path, zones);
}

std::string OffsetName(std::int32_t minutes) {
    const std::int32_t m = std::abs(minutes);
    auto two = [](std::int32_t v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
    return std::string(minutes < 0 ? "-" : "+") + two(m / 60) + ":" + two(m % 60);
}

}  // namespace

void CameraZones::Learn(const FileFacts& photo) {
    if (photo.MovieMetadata || (photo.CameraMake.empty() && photo.CameraModel.empty())) return;
    const auto clock = photo.EXIFDateOriginal ? photo.EXIFDateOriginal : photo.EXIFDateDigitized;
    const auto minutes = PhotoZoneMinutes(photo);
    if (!clock || !minutes) return;
    photos_.push_back({Folded(photo.CameraMake), Folded(photo.CameraModel), photo.CameraSerial, *clock, *minutes});
}

std::optional<std::int32_t> CameraZones::MinutesFor(const FileFacts& movie) const {
    if (!movie.MovieDate || (movie.CameraMake.empty() && movie.CameraModel.empty())) return std::nullopt;
    const std::string make = Folded(movie.CameraMake), model = Folded(movie.CameraModel);
    std::vector<const Photo*> body;
    for (const Photo& p : photos_)
        if (p.make == make && p.model == model) body.push_back(&p);
    if (movie.CameraSerial.empty()) {
        // Without a serial number only one body of the make and model answers.
        for (const Photo* p : body)
            if (p->serial != body.front()->serial) return std::nullopt;
    } else {
        std::erase_if(body, [&](const Photo* p) { return p->serial != movie.CameraSerial; });
    }
    const std::int64_t utc = movie.MovieDate->CivilSeconds();
    const Photo* nearest = nullptr;
    std::int64_t distance = 0;
    for (const Photo* p : body) {
        const DateTime local = movie.MovieDate->PlusSeconds(std::int64_t{p->minutes} * 60);
        if (local.DateOnly() != p->local.DateOnly()) continue;
        const std::int64_t d = std::llabs(utc - (p->local.CivilSeconds() - std::int64_t{p->minutes} * 60));
        if (!nearest || d < distance) nearest = p, distance = d;
    }
    if (!nearest) return std::nullopt;
    return nearest->minutes;
}

void SurveyCameraZones(FileSource& source, const ReadHooks& hooks, const RunOptions& options, const FileFilter& filter,
                       const std::string& folder, CameraZones& zones) {
    // The survey's notes are not the run's: the walk gives each file's own.
    ReadHooks quiet = hooks;
    quiet.report = nullptr;
    SurveyFolder(source, quiet, options, filter, folder, zones);
    zones.surveyed = true;
}

void ChooseMovieZone(FileFacts& facts, const MovieZoneRules& rules) {
    if (!facts.MovieDateIsUTC || !facts.MovieDate) {
        if (facts.MovieMetadata && facts.MovieDate && facts.MovieUTCOffset) facts.MovieZoneSource = kZoneFromFile;
        return;
    }
    const std::int64_t utc = facts.MovieDate->CivilSeconds();
    auto apply = [&](std::int32_t seconds, std::string source) {
        facts.MovieDate = facts.MovieDate->PlusSeconds(seconds);
        facts.MovieUTCOffset = seconds / 60;
        facts.MovieZoneSource = std::move(source);
    };
    if (rules.cameras)
        if (const auto minutes = rules.cameras->MinutesFor(facts))
            return apply(*minutes * 60, std::string(kZoneFromCamera) + ": " + OffsetName(*minutes));
    if (rules.position && facts.Latitude && facts.Longitude)
        if (const auto zone = rules.position(*facts.Latitude, *facts.Longitude, utc))
            return apply(zone->OffsetSeconds, std::string(kZoneFromPosition) + ": " + zone->Name);
    if (!rules.given) return;
    apply(rules.given(utc),
          rules.givenName.empty() ? std::string(kZoneFromComputer) : std::string(kZoneFromOption) + ": " + rules.givenName);
}

}  // namespace ravlen
