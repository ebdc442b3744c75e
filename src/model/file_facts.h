#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/date_time.h"
#include "model/file_source.h"
#include "model/file_time.h"

namespace ravlen {

// What the run did with a file; its text is the log's (log/run_logs.h).
enum class FileOperation : std::uint8_t {
    None,             // not placed, nor meant to be
    Moved,
    Copied,
    Failed,           // a placement that could not be made
    AlreadyImported,  // its identical bytes were already in the output folder
};

// What is learnt about one source file; one field per CSV log column plus
// SourceFilePath and TimestampHasTime. A fresh record is made for each file.
struct FileFacts {
    DateTime StartTime;
    DateTime FinishTime;
    std::string SourceFileName;
    std::string SourceFilePath;
    std::string SourceFolder;
    std::int64_t Size = 0;
    DateTime FileSystemDateCreated;
    DateTime FileSystemDateModified;
    bool AttributeReadOnly = false;
    bool AttributeHidden = false;
    bool AttributeSystem = false;
    bool DCFFilename = true;
    std::string DCFBatch;
    std::int32_t DCFVolume = 0;
    int DCFVolumeDigits = 0;  // count of volume digits (4 to 8), not the option of that name
    std::string Extension;
    std::string ExternalFormat;
    std::string InternalFormat = "Unknown";
    bool CIFFMetadata = false;
    std::string CIFFSubType = "Unknown";
    std::optional<DateTime> CIFFCapturedDate;
    bool RIFFMetadata = false;
    std::string RIFFForm = "Unknown";
    std::optional<DateTime> RIFFICRDDate;
    std::optional<DateTime> RIFFetimTime;  // time of day only: the date part carries no meaning
    std::optional<DateTime> RIFFIDITDate;
    std::optional<DateTime> RIFFcmntDate;
    std::optional<DateTime> RIFFstrdDate;
    bool TIFFMetadata = false;
    std::int16_t APPXSkipCount = 0;
    std::int32_t APP1Offset = -1;
    std::int32_t APP1Length = -1;
    std::int32_t TIFFOffset = -1;
    std::string TIFFByteAlign = "Unknown";
    std::int32_t IFD0Offset = -1;
    std::int32_t IFD0Entries = -1;
    std::optional<DateTime> EXIFDateModified;
    std::int32_t SubIFDOffset = -1;
    std::int32_t SubIFDEntries = -1;
    std::optional<DateTime> EXIFDateOriginal;
    std::optional<DateTime> EXIFDateDigitized;
    bool Timestamped = true;
    DateTime TimestampDateTime;
    bool TimestampHasTime = true;
    std::int32_t SequenceNumber = 0;
    FileOperation Operation = FileOperation::None;
    std::string OutputFileName;
    std::string OutputFolder;
    std::string Notes;
    // A movie's recording date (ISO media, AVCHD): the local time of the
    // camera's clock as the file states it, never converted when the file
    // gives its zone.
    bool MovieMetadata = false;
    std::optional<DateTime> MovieDate;
    std::string MovieDateSource = "Unknown";     // where MovieDate came from, e.g. "Keys:CreationDate", "mvhd"
    std::optional<std::int32_t> MovieUTCOffset;  // minutes east of UTC of MovieDate, when known
    // The chosen date before the clock corrections, and the correction in
    // seconds applied to it; no correction for a file-system date.
    DateTime DateBeforeShift;
    std::optional<std::int64_t> ShiftSeconds;
    // Where the chosen date came from: the tag ("EXIF DateTimeOriginal",
    // "RIFF IDIT", "QuickTime Keys:CreationDate") or "File system modified"
    // or "created"; empty while no date is chosen.
    std::string DateSource;
    // Where an EXIF thumbnail (a JPEG) lies in the file, when a container's
    // EXIF block names one; not logged.
    std::int64_t ThumbnailOffset = -1;
    std::int64_t ThumbnailLength = 0;
    // The camera as the file names it (EXIF Make, Model, BodySerialNumber;
    // a movie's maker and model); empty when the file does not say.
    std::string CameraMake;
    std::string CameraModel;
    std::string CameraSerial;
    // Of ShiftSeconds, the part that is this camera's own offset.
    std::int64_t CameraOffsetSeconds = 0;
    // The placed file's modified time before SetFileTime changed it.
    std::optional<FileTime> OriginalModifiedTime;
    // The file's copies in the backup folders, once all of them are named and
    // on the disk: the paths, in the order of the folders.
    std::vector<std::string> BackupFilePaths;
    // Beside each of them, its facts as its naming found them (none where
    // nothing looked).
    std::vector<std::optional<FsItem>> BackupsPlaced;
    // The source's identity as listed, and the placed file's facts where the
    // placement itself learnt them (the records need not ask again).
    FileId SourceId;
    std::optional<FsItem> Placed;
    // The backup folders that have no copy of the placed file, each with why
    // ("<folder>: <error>"): its source stays, even with Move.
    std::vector<std::string> MissingBackups;
    // MovieDate is the movie header's UTC instant, not yet turned into local
    // time (the zone is chosen outside the readers).
    bool MovieDateIsUTC = false;
    // What the file says of its zone and place: EXIF OffsetTimeOriginal,
    // OffsetTimeDigitized and OffsetTime (minutes east of UTC),
    // SubSecTimeOriginal's digits, the GPS directory's UTC date and time, and
    // a position (the GPS directory's, a movie's ©xyz or Keys location).
    std::optional<std::int32_t> EXIFOffsetOriginal;
    std::optional<std::int32_t> EXIFOffsetDigitized;
    std::optional<std::int32_t> EXIFOffsetModified;
    std::string EXIFSubSecOriginal;
    std::optional<DateTime> GPSDateTime;
    std::optional<double> Latitude;   // degrees, north positive
    std::optional<double> Longitude;  // degrees, east positive
    std::string PositionSource;       // "GPS", "udta ©xyz", "Keys:location.ISO6709"
    // Which zone turned a UTC-only movie date into local time (ZoneSourceText).
    std::string MovieZoneSource;
    // More of what the camera wrote, for names and folders: SubSecTimeOriginal
    // as written, the lens model, and the artist (else the camera's owner);
    // empty when the file does not say.
    std::string SubSecTimeOriginal;
    std::string LensModel;
    std::string Artist;
    // The number that continues between imports (%q) and the scope it counts
    // in (model/continuing_numbers.h); 0 when none was taken.
    std::int64_t ContinuingNumber = 0;
    std::string ContinuingScope;
    // The run's job code (%j); empty when it has none.
    std::string JobCode;
    // The date of an embedded XMP packet, as written (metadata/xmp_text.h):
    // names a file that has no EXIF date. Its tag ("xmp:CreateDate"), whether
    // it has a time of day, and the zone it states (logged, never applied).
    std::optional<DateTime> XMPDate;
    std::string XMPDateTag;
    bool XMPDateHasTime = true;
    std::optional<std::int32_t> XMPUTCOffset;
};

// The base name: the file name before its last "." (the whole name when it has none).
inline std::string BaseName(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}
// The extension: the text after the last "." (empty when the name has none).
inline std::string ExtensionOf(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
}

}  // namespace ravlen
