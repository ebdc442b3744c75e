#include "metadata/date_selection.h"

#include <optional>
#include <string>
#include <utility>

#include "metadata/iso_media_reader.h"
#include "metadata/xmp_text.h"
#include "model/camera_clock.h"
#include "model/time_shift.h"


namespace ravlen {
namespace {

// What a format's rule takes, or the reason it takes nothing.
struct Choice {
    std::optional<DateTime> value;
    bool hasTime = true;
    const char* missing = "";  // the note, after the file's name, when nothing is taken
    std::string source;        // the tag the value came from
};

Choice Take(const std::optional<DateTime>& value, const char* missing, std::string source = {}) {
    return {value, true, missing, value ? std::move(source) : std::string()};
}

Choice TiffRule(const FileFacts& f, DateModeTIFF mode) {
    // An embedded XMP packet's date is the last source: only where no EXIF date exists.
    if (!HasExifDate(f) && f.XMPDate)
        return {f.XMPDate, f.XMPDateHasTime, "", "XMP " + f.XMPDateTag};
    switch (mode) {
        case DateModeTIFF::DateTimeOriginal: return Take(f.EXIFDateOriginal, " contains valid TIFF metadata but has no DateTimeOriginal information.", "EXIF DateTimeOriginal");
        case DateModeTIFF::DateTimeDigitized: return Take(f.EXIFDateDigitized, " contains valid TIFF metadata but has no DateTimeDigitized information.", "EXIF DateTimeDigitized");
        case DateModeTIFF::DateTime: return Take(f.EXIFDateModified, " contains valid TIFF metadata but has no DateTime information.", "EXIF DateTime");
        default: break;
    }
    const char* missing = " contains valid TIFF metadata but has no date information.";
    if (f.EXIFDateOriginal) return Take(f.EXIFDateOriginal, missing, "EXIF DateTimeOriginal");
    if (f.EXIFDateDigitized) return Take(f.EXIFDateDigitized, missing, "EXIF DateTimeDigitized");
    return Take(f.EXIFDateModified, missing, "EXIF DateTime");
}

// The ICRD date with the etim time of day added; empty when either is absent
// or the sum leaves the calendar.
std::optional<DateTime> IcrdWithEtim(const FileFacts& f) {
    if (!f.RIFFICRDDate || !f.RIFFetimTime) return std::nullopt;
    const DateTime sum = f.RIFFICRDDate->PlusSeconds(f.RIFFetimTime->SecondsOfDay());
    if (sum.Fields().year > 9999) return std::nullopt;
    return sum;
}

const char* const kIcrdEtim = "RIFF ICRD+etim";
const char* const kIcrd = "RIFF ICRD";

Choice RiffRule(const FileFacts& f, DateModeRIFF mode) {
    const bool etim = f.RIFFetimTime.has_value();
    switch (mode) {
        case DateModeRIFF::IcrdEtim: {
            const char* missing =
                etim ? " contains valid RIFF metadata including etim time of original recording but has no ICRD date information."
                     : " contains valid RIFF metadata but has no ICRD/etim information.";
            if (auto both = IcrdWithEtim(f)) return Take(both, missing, kIcrdEtim);
            if (f.RIFFICRDDate) return {f.RIFFICRDDate, false, missing, kIcrd};
            return Take(std::nullopt, missing);
        }
        case DateModeRIFF::Idit: return Take(f.RIFFIDITDate, " contains valid RIFF metadata but has no IDIT information.", "RIFF IDIT");
        case DateModeRIFF::Strd: return Take(f.RIFFstrdDate, " contains valid RIFF metadata but has no strd information.", "RIFF strd");
        case DateModeRIFF::Cmnt: return Take(f.RIFFcmntDate, " contains valid RIFF metadata but has no cmnt information.", "RIFF cmnt");
        default: break;
    }
    const char* missing =
        etim ? " contains valid RIFF metadata including etim time of original recording but has no ICRD, IDIT, cmnt, or strd date information."
             : " contains valid RIFF metadata but has no date or time information.";
    if (auto both = IcrdWithEtim(f)) return Take(both, missing, kIcrdEtim);
    if (f.RIFFIDITDate) return Take(f.RIFFIDITDate, missing, "RIFF IDIT");
    if (f.RIFFstrdDate) return Take(f.RIFFstrdDate, missing, "RIFF strd");
    if (f.RIFFcmntDate) return Take(f.RIFFcmntDate, missing, "RIFF cmnt");
    if (f.RIFFICRDDate) return {f.RIFFICRDDate, false, missing, kIcrd};
    return Take(std::nullopt, missing);
}

Choice FormatRule(const FileFacts& f, const RunOptions& options) {
    if (f.MovieMetadata)
        return Take(f.MovieDate, " contains valid movie metadata but has no recording date information.",
                    (f.InternalFormat == kFormatIsoMedia || f.InternalFormat == kFormatHeif ? "QuickTime " : "AVCHD ") +
                        f.MovieDateSource);
    if (f.InternalFormat == "RIFF") return RiffRule(f, options.DateModeRIFF);
    if (f.InternalFormat == "CIFF")
        return Take(f.CIFFCapturedDate, " contains valid CIFF metadata but has no CapturedTime information.",
                    "CIFF CapturedTime");
    return TiffRule(f, options.DateModeTIFF);
}

// Sets the date from the file system, and says which of its dates it is. A
// file with neither date (a camera that tells no file times lists them so) has
// none to give: it is not timestamped.
void TakeFileSystemDate(FileFacts& f, DateModeFileSystem mode, RunTally& tally, const ProblemSink& report) {
    if (f.FileSystemDateCreated == DateTime() && f.FileSystemDateModified == DateTime()) {
        f.Timestamped = false;
        ++tally.NumberOfInvalidDateFiles;
        if (report) report(f.Notes, f.SourceFileName + " has no file system date.", MsgIcon::Exclamation);
        return;
    }
    const bool created = mode == DateModeFileSystem::Created ||
                         (mode != DateModeFileSystem::Modified && f.FileSystemDateCreated < f.FileSystemDateModified);
    f.TimestampDateTime = f.DateBeforeShift = created ? f.FileSystemDateCreated : f.FileSystemDateModified;
    f.DateSource = created ? "File system created" : "File system modified";
}

// The offset kept for the file's camera.
TimeShift CameraOffsetOf(const FileFacts& facts, const RunPlan& plan) {
    if (plan.CameraOffsets.empty()) return {};
    return OffsetFor(plan.CameraOffsets, CameraId::Of(facts));
}

}  // namespace

void ChooseTimestamp(FileFacts& facts, const RunOptions& options, RunTally& tally, const ProblemSink& report) {
    ChooseTimestamp(facts, options, PlanOf(options), tally, report);
}

void ChooseTimestamp(FileFacts& facts, const RunOptions& options, const RunPlan& plan, RunTally& tally,
                     const ProblemSink& report) {
    if (!facts.Timestamped) return;
    facts.TimestampHasTime = true;

    if (options.DateMode == DateMode::FileSystemOnly) {
        TakeFileSystemDate(facts, options.DateModeFileSystem, tally, report);
        return;
    }
    const Choice choice = FormatRule(facts, options);
    if (choice.value) {
        // Only the camera's clock is corrected; the file system's is the computer's.
        const TimeShift camera = CameraOffsetOf(facts, plan);
        const TimeShift shift{plan.Shift.Seconds + camera.Seconds};
        const std::optional<DateTime> shifted = shift.Apply(*choice.value);
        facts.DateBeforeShift = *choice.value;
        facts.ShiftSeconds = shift.Seconds;
        facts.CameraOffsetSeconds = camera.Seconds;
        if (!shifted) {
            facts.Timestamped = false;
            ++tally.NumberOfInvalidDateFiles;
            if (report)
                report(facts.Notes, facts.SourceFileName + " has a date that the time shift " + shift.Text() +
                                        " moves outside the years 1 to 9999.",
                       MsgIcon::Exclamation);
            return;
        }
        facts.TimestampDateTime = *shifted;
        facts.TimestampHasTime = choice.hasTime;
        facts.DateSource = choice.source;
        return;
    }
    if (options.DateMode == DateMode::MetadataOnly) {
        facts.Timestamped = false;
        ++tally.NumberOfInvalidDateFiles;
        if (report) report(facts.Notes, facts.SourceFileName + choice.missing, MsgIcon::Exclamation);
        return;
    }
    TakeFileSystemDate(facts, options.DateModeFileSystem, tally, report);
}

}  // namespace ravlen
