#include "metadata/date_selection.h"

#include <optional>
#include <string>

#include "model/time_shift.h"


namespace ravlen {
namespace {

// What a format's rule takes, or the reason it takes nothing.
struct Choice {
    std::optional<DateTime> value;
    bool hasTime = true;
    const char* missing = "";  // the note, after the file's name, when nothing is taken
};

Choice Take(const std::optional<DateTime>& value, const char* missing) { return {value, true, missing}; }

Choice TiffRule(const FileFacts& f, DateModeTIFF mode) {
    switch (mode) {
        case DateModeTIFF::DateTimeOriginal: return Take(f.EXIFDateOriginal, " contains valid TIFF metadata but has no DateTimeOriginal information.");
        case DateModeTIFF::DateTimeDigitized: return Take(f.EXIFDateDigitized, " contains valid TIFF metadata but has no DateTimeDigitized information.");
        case DateModeTIFF::DateTime: return Take(f.EXIFDateModified, " contains valid TIFF metadata but has no DateTime information.");
        default: break;
    }
    const char* missing = " contains valid TIFF metadata but has no date information.";
    for (const auto* d : {&f.EXIFDateOriginal, &f.EXIFDateDigitized, &f.EXIFDateModified})
        if (*d) return Take(*d, missing);
    return Take(std::nullopt, missing);
}

// The ICRD date with the etim time of day added; empty when either is absent
// or the sum leaves the calendar.
std::optional<DateTime> IcrdWithEtim(const FileFacts& f) {
    if (!f.RIFFICRDDate || !f.RIFFetimTime) return std::nullopt;
    const DateTime sum = f.RIFFICRDDate->PlusSeconds(f.RIFFetimTime->SecondsOfDay());
    if (sum.Fields().year > 9999) return std::nullopt;
    return sum;
}

Choice RiffRule(const FileFacts& f, DateModeRIFF mode) {
    const bool etim = f.RIFFetimTime.has_value();
    switch (mode) {
        case DateModeRIFF::IcrdEtim: {
            const char* missing =
                etim ? " contains valid RIFF metadata including etim time of original recording but has no ICRD date information."
                     : " contains valid RIFF metadata but has no ICRD/etim information.";
            if (auto both = IcrdWithEtim(f)) return Take(both, missing);
            if (f.RIFFICRDDate) return {f.RIFFICRDDate, false, missing};
            return Take(std::nullopt, missing);
        }
        case DateModeRIFF::Idit: return Take(f.RIFFIDITDate, " contains valid RIFF metadata but has no IDIT information.");
        case DateModeRIFF::Strd: return Take(f.RIFFstrdDate, " contains valid RIFF metadata but has no strd information.");
        case DateModeRIFF::Cmnt: return Take(f.RIFFcmntDate, " contains valid RIFF metadata but has no cmnt information.");
        default: break;
    }
    const char* missing =
        etim ? " contains valid RIFF metadata including etim time of original recording but has no ICRD, IDIT, cmnt, or strd date information."
             : " contains valid RIFF metadata but has no date or time information.";
    if (auto both = IcrdWithEtim(f)) return Take(both, missing);
    for (const auto* d : {&f.RIFFIDITDate, &f.RIFFstrdDate, &f.RIFFcmntDate})
        if (*d) return Take(*d, missing);
    if (f.RIFFICRDDate) return {f.RIFFICRDDate, false, missing};
    return Take(std::nullopt, missing);
}

Choice FormatRule(const FileFacts& f, const RunOptions& options) {
    if (f.MovieMetadata)
        return Take(f.MovieDate, " contains valid movie metadata but has no recording date information.");
    if (f.InternalFormat == "RIFF") return RiffRule(f, options.DateModeRIFF);
    if (f.InternalFormat == "CIFF")
        return Take(f.CIFFCapturedDate, " contains valid CIFF metadata but has no CapturedTime information.");
    return TiffRule(f, options.DateModeTIFF);
}

DateTime FileSystemRule(const FileFacts& f, DateModeFileSystem mode) {
    switch (mode) {
        case DateModeFileSystem::Created: return f.FileSystemDateCreated;
        case DateModeFileSystem::Modified: return f.FileSystemDateModified;
        default:
            return f.FileSystemDateCreated < f.FileSystemDateModified ? f.FileSystemDateCreated
                                                                       : f.FileSystemDateModified;
    }
}

}  // namespace

void ChooseTimestamp(FileFacts& facts, const RunOptions& options, RunTally& tally, const ProblemSink& report) {
    if (!facts.Timestamped) return;
    facts.TimestampHasTime = true;

    if (options.DateMode == DateMode::FileSystemOnly) {
        facts.TimestampDateTime = facts.DateBeforeShift = FileSystemRule(facts, options.DateModeFileSystem);
        return;
    }
    const Choice choice = FormatRule(facts, options);
    if (choice.value) {
        // Only the camera's clock is corrected; the file system's is the computer's.
        const TimeShift shift = TimeShift::Parse(options.TimeShift).value_or(TimeShift{});
        const std::optional<DateTime> shifted = shift.Apply(*choice.value);
        facts.DateBeforeShift = *choice.value;
        facts.ShiftSeconds = shift.Seconds;
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
        return;
    }
    if (options.DateMode == DateMode::MetadataOnly) {
        facts.Timestamped = false;
        ++tally.NumberOfInvalidDateFiles;
        if (report) report(facts.Notes, facts.SourceFileName + choice.missing, MsgIcon::Exclamation);
        return;
    }
    facts.TimestampDateTime = facts.DateBeforeShift = FileSystemRule(facts, options.DateModeFileSystem);
}

}  // namespace ravlen
