#pragma once
#include <string>

#include "model/filename_format.h"

namespace ravlen {

// The values of the list and mode options, named. Each value is the integer
// the settings file, the console runner and the text log use: a list's
// 0-based item position, or DateMode and DCFMode 1 to 3.
enum class ProcessSubfolders : int { Ignore = 0, Flatten = 1, Preserve = 2 };
enum class MoveOrCopy : int { Move = 0, Copy = 1, CopyWhenUnableToMove = 2 };
enum class AddSerial : int { Never = 0, DuplicatesOnly = 1, Always = 2 };
enum class AddBatchVolume : int { Neither = 0, BatchOnly = 1, VolumeOnly = 2, Both = 3 };
enum class FilenameFormat : int { DcfStyle = 0, Vantor1 = 1, Vantor2Short = 2, Vantor2Long = 3, Custom = 4 };
enum class DateMode : int { MetadataOnly = 1, FileSystemWhenNoMetadata = 2, FileSystemOnly = 3 };
enum class DCFMode : int { ValidOnly = 1, PreserveAsComment = 2, ReplaceNonDcf = 3 };
enum class DateModeTIFF : int { DateTimeOriginal = 0, DateTimeDigitized = 1, DateTime = 2, BestAvailable = 3 };
enum class DateModeRIFF : int { IcrdEtim = 0, Idit = 1, Strd = 2, Cmnt = 3, BestAvailable = 4 };
enum class DateModeFileSystem : int { Created = 0, Modified = 1, Earliest = 2 };
enum class DCFVolumeDigits : int { Standard4 = 0, UpTo5 = 1, UpTo6 = 2, UpTo7 = 3, AllDigits = 4 };
enum class DCFBatchCleanup : int { DoNothing = 0, RemoveFinalUnderscore = 1 };
enum class CreateLog : int { No = 0, Text = 1, Csv = 2, Both = 3 };
enum class SequenceScope : int { Forever = 0, PerDay = 1, PerJob = 2 };

// The stored integer of a named value.
template <typename Named>
constexpr int StoredValue(Named value) {
    return static_cast<int>(value);
}

// Every option a run reads, one field per settings key; check boxes are bool
// (stored as 0 or 1). Defaults are those of a first start with an empty
// settings store.
struct RunOptions {
    // Main
    std::string SourcePath;
    std::string OutputPath;
    ravlen::ProcessSubfolders ProcessSubfolders = ProcessSubfolders::Flatten;
    ravlen::MoveOrCopy MoveOrCopy = MoveOrCopy::Move;
    ravlen::AddSerial AddSerial = AddSerial::Always;
    ravlen::AddBatchVolume AddBatchVolume = AddBatchVolume::Both;
    ravlen::FilenameFormat FilenameFormat = FilenameFormat::Vantor2Short;
    // Filter
    ravlen::DateMode DateMode = DateMode::MetadataOnly;
    ravlen::DCFMode DCFMode = DCFMode::ValidOnly;
    bool ExcludeReadOnly = true;
    bool ExcludeHidden = true;
    bool ExcludeSystem = true;
    bool ExcludePattern = true;
    std::string ExcludePatternList = "*.ctg;*.ind;*.log";
    bool IncludePattern = false;
    std::string IncludePatternList = "*.jpg;*.avi;*.mpg;*.mov";
    // Feedback
    bool AutoDetect = true;
    bool DisplayWarning = true;
    bool PreviewResults = false;
    bool RequestConfirmation = true;
    bool ReportErrors = false;
    bool SummarizeResults = true;
    // Advanced
    ravlen::DateModeTIFF DateModeTIFF = DateModeTIFF::BestAvailable;
    ravlen::DateModeRIFF DateModeRIFF = DateModeRIFF::BestAvailable;
    ravlen::DateModeFileSystem DateModeFileSystem = DateModeFileSystem::Earliest;
    ravlen::DCFVolumeDigits DCFVolumeDigits = DCFVolumeDigits::Standard4;
    ravlen::DCFBatchCleanup DCFBatchCleanup = DCFBatchCleanup::RemoveFinalUnderscore;
    ravlen::CreateLog CreateLog = CreateLog::No;
    // Format: the custom filename format (section "Format", keys named as its fields)
    FilenameFormatDefinition CustomFormat{
        "%d%s%b%v%o%e",
        "{DT=", "yyyy-mm-dd @hh-nn-ss", "}",
        "{SN=", "000", "}",
        "{BA=", "&", "}",
        "{VO=", "&", "}",
        "{CO=", "&", "}",
        ".", "<&", ""};
    // Time: a correction of every metadata date for this run only; never
    // saved, so that it cannot silently shift the next card.
    std::string TimeShift{};
    // Time, saved: each camera's own clock offset (model/camera_clock.h),
    // applied to its files on top of TimeShift.
    std::string CameraOffsets{};
    // Time, saved: the zone that turns a movie's UTC-only date into local
    // time (an IANA name; empty is this computer's zone).
    std::string MovieTimeZone{};
    // Time, saved: each placed file's modified time becomes its recording
    // time; the undo puts the old one back from the CSV log.
    bool SetFileTime = false;
    // Copy: each copy read back from the disk and compared with the source.
    bool VerifyCopies = false;
    // Import
    bool KeepPairsTogether = true;  // the files of one shot share a serial number; sidecars follow their picture
    bool DateFolders = false;  // each file in folders named by its date, below the output folder
    std::string DateFolderFormat = "yyyy/yyyy-mm-dd";
    bool SkipImported = true;  // a file whose bytes are already in the output folder is not placed again
    // Import, saved: folders separated by ";" that receive a copy of every
    // placed file under its name below the output folder (model/run_plan.h).
    std::string BackupPaths{};
    bool EjectWhenDone = false;  // a card found safe to format is unmounted and powered off
    std::string JobCode{};  // the job code names and folders may hold (%j)
    // What the number that continues between imports (%q) counts within.
    ravlen::SequenceScope SequenceScope = SequenceScope::Forever;
    std::string RecentJobCodes{};  // the window's last ten job codes (app/settings/job_codes.h)

    // The pattern texts handed to the filters: the list when its box is ticked, else "".
    std::string ExcludePatterns() const { return ExcludePattern ? ExcludePatternList : std::string(); }
    std::string IncludePatterns() const { return IncludePattern ? IncludePatternList : std::string(); }
    bool WritesTextLog() const { return CreateLog == CreateLog::Text || CreateLog == CreateLog::Both; }
    bool WritesCsvLog() const { return CreateLog == CreateLog::Csv || CreateLog == CreateLog::Both; }

    bool operator==(const RunOptions&) const = default;
};

}  // namespace ravlen
